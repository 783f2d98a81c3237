#include "setup/install_text.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using setup::InstallPlace;
using setup::JoinPath;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a line without CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TEST(InstallTextTest, PlainPathsKeepTheirExactBatchBytes) {
    const InstallPlace place{"Vidorra", "C:\\Vidorra", "C:\\WINDOWS\\UnVidra.bat", true};
    const std::string expected = "@echo off\r\n"
                                 "C:\\Vidorra\\Vidorra -uninstall\r\n"
                                 "if errorlevel 1 goto finish\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\file_id.diz\r\n"
                                 "del C:\\Vidorra\\file_id.diz\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\Vidorra.exe\r\n"
                                 "del C:\\Vidorra\\Vidorra.exe\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\VidRes.dll\r\n"
                                 "del C:\\Vidorra\\VidRes.dll\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\Vidorra.hlp\r\n"
                                 "del C:\\Vidorra\\Vidorra.hlp\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\Vidorra.cnt\r\n"
                                 "del C:\\Vidorra\\Vidorra.cnt\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\Vidorra.GID\r\n"
                                 "del C:\\Vidorra\\Vidorra.GID\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\Vidorra.ini\r\n"
                                 "del C:\\Vidorra\\Vidorra.ini\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\Vidorra.tlb\r\n"
                                 "del C:\\Vidorra\\Vidorra.tlb\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\readme.txt\r\n"
                                 "del C:\\Vidorra\\readme.txt\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\VidZmbv32.dll\r\n"
                                 "del C:\\Vidorra\\VidZmbv32.dll\r\n"
                                 "attrib -r -s -h C:\\Vidorra\\VidZmbv64.dll\r\n"
                                 "del C:\\Vidorra\\VidZmbv64.dll\r\n"
                                 "rmdir C:\\Vidorra\r\n"
                                 "cls\r\n"
                                 "echo Please ignore any \"File not found\" or \"Batch file "
                                 "missing\" error messages.\r\n"
                                 "echo They mean that Vidorra was completely uninstalled.\r\n"
                                 "echo You may close this window now.\r\n"
                                 "echo.\r\n"
                                 "del C:\\WINDOWS\\UnVidra.bat\r\n"
                                 ":finish\r\n";
    EXPECT_EQ(setup::UninstallBatchFile(place), expected);
    // Before NT the program is started and waited for.
    const InstallPlace old{"Vidorra", "C:\\Vidorra", "C:\\WINDOWS\\UnVidra.bat", false};
    EXPECT_EQ(Lines(setup::UninstallBatchFile(old))[1],
              "start /wait C:\\Vidorra\\Vidorra -uninstall");
}

TEST(InstallTextTest, NoWildcardsAndOnlyTheInstallationsFilesAreDeleted) {
    const InstallPlace place{"Vidorra", "D:\\Downloads", "C:\\WINDOWS\\UnVidra.bat", true};
    const std::string text = setup::UninstallBatchFile(place);
    EXPECT_EQ(text.find('*'), std::string::npos);
    EXPECT_EQ(text.find("setup"), std::string::npos);
    size_t deletes = 0;
    for (const std::string& line : Lines(text))
        deletes += line.starts_with("del ");
    EXPECT_EQ(deletes, 12u); // eleven files and the batch file itself
}

// Folder names with every character the command interpreter or Program Manager treats specially.
struct SpecialPath {
    const char* destination;
    const char* joinedExe;  // JoinPath (destination, "Vidorra.exe")
    const char* batchDel;   // the batch file's line that deletes the program
    const char* batchRmdir; // and the one that removes the folder
};

const SpecialPath kPaths[] = {
    {"C:\\Tools\\Rec", "C:\\Tools\\Rec\\Vidorra.exe", "del C:\\Tools\\Rec\\Vidorra.exe",
     "rmdir C:\\Tools\\Rec"},
    {"C:\\Program Files\\Vidorra", "\"C:\\Program Files\\Vidorra\\Vidorra.exe\"",
     "del \"C:\\Program Files\\Vidorra\\Vidorra.exe\"", "rmdir \"C:\\Program Files\\Vidorra\""},
    {"C:\\R&D", "\"C:\\R&D\\Vidorra.exe\"", "del \"C:\\R&D\\Vidorra.exe\"", "rmdir \"C:\\R&D\""},
    {"C:\\100%", "\"C:\\100%\\Vidorra.exe\"", "del \"C:\\100%%\\Vidorra.exe\"",
     "rmdir \"C:\\100%%\""},
    {"C:\\%PATH%", "\"C:\\%PATH%\\Vidorra.exe\"", "del \"C:\\%%PATH%%\\Vidorra.exe\"",
     "rmdir \"C:\\%%PATH%%\""},
    {"C:\\Apps(x86)", "\"C:\\Apps(x86)\\Vidorra.exe\"", "del \"C:\\Apps(x86)\\Vidorra.exe\"",
     "rmdir \"C:\\Apps(x86)\""},
    {"C:\\a,b", "\"C:\\a,b\\Vidorra.exe\"", "del \"C:\\a,b\\Vidorra.exe\"", "rmdir \"C:\\a,b\""},
    {"C:\\a;b", "\"C:\\a;b\\Vidorra.exe\"", "del \"C:\\a;b\\Vidorra.exe\"", "rmdir \"C:\\a;b\""},
    {"C:\\a=b", "\"C:\\a=b\\Vidorra.exe\"", "del \"C:\\a=b\\Vidorra.exe\"", "rmdir \"C:\\a=b\""},
    {"C:\\a^b", "\"C:\\a^b\\Vidorra.exe\"", "del \"C:\\a^b\\Vidorra.exe\"", "rmdir \"C:\\a^b\""},
    {"C:\\[x]", "\"C:\\[x]\\Vidorra.exe\"", "del \"C:\\[x]\\Vidorra.exe\"", "rmdir \"C:\\[x]\""},
    {"C:\\tab\there", "\"C:\\tab\there\\Vidorra.exe\"", "del \"C:\\tab\there\\Vidorra.exe\"",
     "rmdir \"C:\\tab\there\""},
};

TEST(InstallTextTest, SpecialCharactersAreQuotedInEveryLineAndCommand) {
    for (const SpecialPath& p : kPaths) {
        SCOPED_TRACE(p.destination);
        EXPECT_EQ(JoinPath(p.destination, "Vidorra.exe"), p.joinedExe);
        const InstallPlace place{"Vidorra", p.destination, "C:\\WINDOWS\\UnVidra.bat", true};
        const std::vector<std::string> lines = Lines(setup::UninstallBatchFile(place));
        ASSERT_EQ(lines.size(), 33u);
        EXPECT_EQ(lines[6], p.batchDel);
        EXPECT_EQ(lines[25], p.batchRmdir);
        // Every line that names a path quotes it whole, or names it bare when nothing needs it.
        const bool quoted = setup::NeedsQuotes(p.destination);
        for (size_t i : {1u, 3u, 4u, 25u})
            EXPECT_EQ(lines[i].find('"') != std::string::npos, quoted) << lines[i];
        const std::vector<std::string> commands = setup::ProgmanInstallCommands(place, true);
        EXPECT_EQ(commands[3], std::string("[AddItem(") + p.joinedExe + ",Vidorra)]");
    }
}

TEST(InstallTextTest, ProgramManagerCommandsInOrder) {
    const InstallPlace place{"Vidorra", "C:\\Vidorra", "C:\\WINDOWS\\UnVidra.bat", true};
    const std::vector<std::string> expected = {
        "[CreateGroup(Vidorra)]",
        "[ShowGroup(Vidorra,1)]",
        "[ReplaceItem(Vidorra)]",
        "[AddItem(C:\\Vidorra\\Vidorra.exe,Vidorra)]",
        "[ReplaceItem(Vidorra Help)]",
        "[AddItem(C:\\Vidorra\\Vidorra.hlp,Vidorra Help)]",
        "[ReplaceItem(Vidorra README)]",
        "[AddItem(notepad C:\\Vidorra\\readme.txt,Vidorra README)]",
        "[ReplaceItem(Uninstall Vidorra)]",
        "[AddItem(C:\\WINDOWS\\UnVidra.bat,Uninstall Vidorra,,,,,,,1)]",
        "[Reload(Vidorra)]",
    };
    EXPECT_EQ(setup::ProgmanInstallCommands(place, true), expected);

    // Without the readme its two commands go; before NT the uninstaller does not run minimised.
    InstallPlace old = place;
    old.nt = false;
    old.batchFile = "C:\\My Windows\\UnVidra.bat";
    const std::vector<std::string> commands = setup::ProgmanInstallCommands(old, false);
    ASSERT_EQ(commands.size(), 9u);
    EXPECT_EQ(commands[6], "[ReplaceItem(Uninstall Vidorra)]");
    EXPECT_EQ(commands[7], "[AddItem(\"C:\\My Windows\\UnVidra.bat\",Uninstall Vidorra,,,,,,,0)]");

    EXPECT_EQ(
        setup::ProgmanUninstallCommands("Vidorra"),
        (std::vector<std::string>{"[ShowGroup(Vidorra,1)]", "[DeleteItem(Vidorra)]",
                                  "[DeleteItem(Vidorra Help)]", "[DeleteItem(Vidorra README)]",
                                  "[DeleteItem(Uninstall Vidorra)]", "[DeleteGroup(Vidorra)]"}));
}

TEST(InstallTextTest, JoinPathDropsATrailingBackslash) {
    EXPECT_EQ(JoinPath("C:\\Vidorra", ""), "C:\\Vidorra");
    EXPECT_EQ(JoinPath("C:\\My Files", ""), "\"C:\\My Files\"");
    EXPECT_EQ(JoinPath("C:\\WINDOWS\\UnVidra.bat", ""), "C:\\WINDOWS\\UnVidra.bat");
    EXPECT_EQ(JoinPath("C:\\Vidorra", "My Help.hlp"), "\"C:\\Vidorra\\My Help.hlp\"");
    // A long name is never cut.
    const std::string deep = "C:\\" + std::string(600, 'a');
    EXPECT_EQ(JoinPath(deep, "Vidorra.exe"), deep + "\\Vidorra.exe");
}

TEST(InstallTextTest, RefusedAndSameDestinations) {
    using setup::DestinationRefusal;
    struct Case {
        const char* path;
        DestinationRefusal expected;
    } const cases[] = {
        {"C:\\", DestinationRefusal::DriveRoot},
        {"C:", DestinationRefusal::DriveRoot},
        {"d:\\\\", DestinationRefusal::DriveRoot},
        {"\\\\server\\share", DestinationRefusal::DriveRoot},
        {"\\\\server\\share\\", DestinationRefusal::DriveRoot},
        {"\\\\?\\C:\\", DestinationRefusal::DriveRoot},
        {"c:\\windows", DestinationRefusal::WindowsFolder},
        {"C:\\WINDOWS\\", DestinationRefusal::WindowsFolder},
        {"C:\\Windows\\System32", DestinationRefusal::SystemFolder},
        {"C:\\Windows\\Vidorra", DestinationRefusal::None},
        {"\\\\server\\share\\Vidorra", DestinationRefusal::None},
        {"C:\\Vidorra", DestinationRefusal::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(setup::RefuseDestination(c.path, "C:\\Windows", "C:\\Windows\\system32"),
                  c.expected)
            << c.path;

    EXPECT_TRUE(setup::SameFolder("C:\\Tools\\Vidorra\\", "c:\\tools\\VIDORRA"));
    EXPECT_FALSE(setup::SameFolder("C:\\Tools\\Vidorra", "C:\\Tools\\Vidorra2"));
    EXPECT_EQ(setup::WithoutTrailingSeparator("C:\\a\\\\"), "C:\\a");
    EXPECT_EQ(setup::WithoutTrailingSeparator("C:\\"), "C:\\");
    EXPECT_EQ(setup::DefaultDestination("C:\\WINDOWS", "Vidorra"), "C:\\Vidorra");
    EXPECT_EQ(setup::DefaultDestination("D:\\OS\\Win", "Vidorra"), "D:\\Vidorra");
}

TEST(InstallTextTest, TheCodecsNameAndWhatTheSummarySays) {
    using setup::CodecOutcome;
    for (const char* ours : {"VidZmbv.dll", "vidzmbv.DLL", "C:\\Windows\\System32\\VidZmbv.dll"})
        EXPECT_TRUE(setup::NamesOurCodec(ours)) << ours;
    for (const char* theirs : {"zmbv.dll", "VidZmbv.dll.old", "", "MyVidZmbv.dll"})
        EXPECT_FALSE(setup::NamesOurCodec(theirs)) << theirs;

    // The worst outcome of the architectures is told; nothing done is no success.
    const struct {
        std::vector<CodecOutcome> each;
        CodecOutcome all;
    } combined[] = {
        {{CodecOutcome::Installed, CodecOutcome::Installed}, CodecOutcome::Installed},
        {{CodecOutcome::Installed, CodecOutcome::AnotherProgramsCodec},
         CodecOutcome::AnotherProgramsCodec},
        {{CodecOutcome::Failed, CodecOutcome::NeedsAdministrator},
         CodecOutcome::NeedsAdministrator},
        {{CodecOutcome::AnotherProgramsCodec, CodecOutcome::Failed}, CodecOutcome::Failed},
        {{}, CodecOutcome::Failed},
    };
    for (const auto& c : combined)
        EXPECT_EQ(setup::CombineCodecOutcomes(c.each), c.all);

    // Without the rights: the one command that does it, quoted where the path needs it.
    const std::string refused = setup::InstallSummary("Vidorra", "C:\\Program Files\\Vidorra",
                                                      CodecOutcome::NeedsAdministrator);
    EXPECT_TRUE(refused.starts_with("Vidorra was installed in C:\\Program Files\\Vidorra.\r\n"));
    EXPECT_NE(refused.find("not installed system-wide"), std::string::npos);
    EXPECT_TRUE(refused.ends_with("\r\n\"C:\\Program Files\\Vidorra\\Vidorra.exe\" -installcodec"));
    EXPECT_NE(setup::InstallSummary("Vidorra", "C:\\V", CodecOutcome::AnotherProgramsCodec)
                  .find("Another program's ZMBV video codec"),
              std::string::npos);
}

TEST(InstallTextTest, TheProductNameIsPrintedNotRun) {
    const InstallPlace place{"R&D 100%", "C:\\Tools", "C:\\WINDOWS\\UnVidra.bat", true};
    const std::vector<std::string> lines = Lines(setup::UninstallBatchFile(place));
    EXPECT_EQ(lines[28], "echo They mean that R^&D 100%% was completely uninstalled.");
}

} // namespace
