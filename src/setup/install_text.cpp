#include "setup/install_text.h"

#include "framework/text_format.h"

#include <algorithm>

namespace setup {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A path inside the batch file: the command interpreter expands "%" even between quotes.
std::string ForBatch(std::string_view path) {
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

// Plain text after "echo": the interpreter's operators are escaped so they print.
std::string ForEcho(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (c == '&' || c == '|' || c == '<' || c == '>' || c == '^')
            out += '^';
        out += c;
    }
    return out;
}

// The files the batch file deletes: those the installation copies, and the index the help viewer
// builds beside the help file.
std::vector<std::string> RemovedFiles(std::string_view product) {
    const std::string p(product);
    return {"file_id.diz", p + ".exe", "VidRes.dll", p + ".hlp",      p + ".cnt",     p + ".GID",
            p + ".ini",    p + ".tlb", kReadme,      "VidZmbv32.dll", "VidZmbv64.dll"};
}

} // namespace

bool NeedsQuotes(std::string_view path) {
    return path.find_first_of(" \t&^(),;=%[]") != std::string_view::npos;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    const bool quoted = NeedsQuotes(directory) || NeedsQuotes(name);
    std::string joined(directory);
    joined += '\\';
    joined += name;
    if (!joined.empty() && joined.back() == '\\')
        joined.pop_back();
    return quoted ? "\"" + joined + "\"" : joined;
}

std::vector<ProgramFile> ProgramFiles(std::string_view product) {
    const std::string p(product);
    return {{"file_id.diz", false},
            {kReadme, false},
            {p + ".exe", true},
            {p + ".hlp", true},
            {"VidRes.dll", true},
            {p + ".cnt", false},
            {p + ".ini", false},
            {p + ".tlb", false},
            // The codec's libraries, for "-installcodec" from the installed folder.
            {"VidZmbv32.dll", false},
            {"VidZmbv64.dll", false}};
}

std::string UninstallBatchFile(const InstallPlace& place) {
    const std::string_view d = place.destination;
    std::string text = "@echo off\r\n";
    const std::string program = ForBatch(JoinPath(d, place.product));
    text += place.nt ? program + " -uninstall\r\n" : "start /wait " + program + " -uninstall\r\n";
    text += "if errorlevel 1 goto finish\r\n";
    for (const std::string& name : RemovedFiles(place.product)) {
        const std::string path = ForBatch(JoinPath(d, name));
        text += "attrib -r -s -h " + path + "\r\n";
        text += "del " + path + "\r\n";
    }
    text += "rmdir " + ForBatch(JoinPath(d, "")) + "\r\n";
    text += "cls\r\n";
    text += "echo Please ignore any \"File not found\" or \"Batch file missing\" error "
            "messages.\r\n";
    text += "echo They mean that " + ForEcho(place.product) + " was completely uninstalled.\r\n";
    text += "echo You may close this window now.\r\necho.\r\n";
    text += "del " + ForBatch(JoinPath(place.batchFile, "")) + "\r\n";
    text += ":finish\r\n";
    return text;
}

std::vector<std::string> ProgmanInstallCommands(const InstallPlace& place, bool withReadme) {
    const std::string& p = place.product;
    const std::string_view d = place.destination;
    std::vector<std::string> commands = {
        "[CreateGroup(" + p + ")]",
        "[ShowGroup(" + p + ",1)]",
        "[ReplaceItem(" + p + ")]",
        "[AddItem(" + JoinPath(d, p + ".exe") + "," + p + ")]",
        "[ReplaceItem(" + p + " Help)]",
        "[AddItem(" + JoinPath(d, p + ".hlp") + "," + p + " Help)]",
    };
    if (withReadme) {
        commands.push_back("[ReplaceItem(" + p + " README)]");
        commands.push_back("[AddItem(notepad " + JoinPath(d, kReadme) + "," + p + " README)]");
    }
    commands.push_back("[ReplaceItem(Uninstall " + p + ")]");
    commands.push_back("[AddItem(" + JoinPath(place.batchFile, "") + ",Uninstall " + p + ",,,,,,," +
                       (place.nt ? "1" : "0") + ")]");
    commands.push_back("[Reload(" + p + ")]");
    return commands;
}

std::vector<std::string> ProgmanUninstallCommands(std::string_view product) {
    const std::string p(product);
    return {"[ShowGroup(" + p + ",1)]",          "[DeleteItem(" + p + ")]",
            "[DeleteItem(" + p + " Help)]",      "[DeleteItem(" + p + " README)]",
            "[DeleteItem(Uninstall " + p + ")]", "[DeleteGroup(" + p + ")]"};
}

bool NamesOurCodec(std::string_view value) {
    const size_t slash = value.find_last_of("\\/");
    return EqualsIgnoringCase(slash == std::string_view::npos ? value : value.substr(slash + 1),
                              kCodecLibrary);
}

CodecOutcome CombineCodecOutcomes(const std::vector<CodecOutcome>& each) {
    for (const CodecOutcome worst : {CodecOutcome::NeedsAdministrator, CodecOutcome::Failed,
                                     CodecOutcome::AnotherProgramsCodec})
        if (std::find(each.begin(), each.end(), worst) != each.end())
            return worst;
    return each.empty() ? CodecOutcome::Failed : CodecOutcome::Installed;
}

std::string CodecOutcomeText(CodecOutcome outcome, std::string_view program) {
    switch (outcome) {
    case CodecOutcome::Installed:
        break;
    case CodecOutcome::AnotherProgramsCodec:
        return "Another program's ZMBV video codec is installed on this computer; it plays the "
               "movies too and was left as it is.";
    case CodecOutcome::NeedsAdministrator:
        return "The video codec was not installed system-wide: that needs administrator rights. "
               "Until it is, Windows Media Player and other Windows players cannot play the "
               "movies. To install it, run:\r\n\r\n" +
               JoinPath(program, "") + " -installcodec";
    case CodecOutcome::Failed:
        return "The video codec could not be installed system-wide (its library is missing or "
               "could not be copied into the Windows system folder). Windows players cannot play "
               "the movies until it is; run " +
               JoinPath(program, "") + " -installcodec to try again.";
    }
    return "The video codec was installed system-wide: Windows Media Player and other Windows "
           "players play the movies.";
}

std::string InstallSummary(std::string_view product, std::string_view destination,
                           CodecOutcome codec) {
    const std::string p(product);
    return p + " was installed in " + std::string(destination) + ".\r\n\r\n" +
           CodecOutcomeText(codec, std::string(destination) + "\\" + p + ".exe");
}

std::string WithoutTrailingSeparator(std::string_view path) {
    std::string out(path);
    while (!out.empty() && IsSeparator(out.back()))
        out.pop_back();
    if (out.empty() && !path.empty())
        return "\\";
    if (out.size() == 2 && out[1] == ':' && path.size() > 2)
        out += '\\';
    return out;
}

bool IsRootPath(std::string_view path) {
    std::string trimmed(path);
    while (!trimmed.empty() && IsSeparator(trimmed.back()))
        trimmed.pop_back();
    if (trimmed.empty())
        return !path.empty();
    if (trimmed.size() == 2 && trimmed[1] == ':')
        return true;
    if (trimmed.size() > 2 && IsSeparator(trimmed[0]) && IsSeparator(trimmed[1])) {
        // \\server\share (and \\?\C: and the like): the first two names make the root.
        const std::string_view rest = std::string_view(trimmed).substr(2);
        const size_t first = rest.find_first_of("\\/");
        if (first == std::string_view::npos)
            return true;
        const std::string_view after = rest.substr(first + 1);
        if (rest.substr(0, first) == "?" || rest.substr(0, first) == ".")
            return after.size() == 2 && after[1] == ':';
        return after.find_first_of("\\/") == std::string_view::npos;
    }
    return false;
}

bool SameFolder(std::string_view a, std::string_view b) {
    return EqualsIgnoringCase(WithoutTrailingSeparator(a), WithoutTrailingSeparator(b));
}

DestinationRefusal RefuseDestination(std::string_view path, std::string_view windowsFolder,
                                     std::string_view systemFolder) {
    if (IsRootPath(path))
        return DestinationRefusal::DriveRoot;
    if (!windowsFolder.empty() && SameFolder(path, windowsFolder))
        return DestinationRefusal::WindowsFolder;
    if (!systemFolder.empty() && SameFolder(path, systemFolder))
        return DestinationRefusal::SystemFolder;
    return DestinationRefusal::None;
}

std::string DefaultDestination(std::string_view windowsFolder, std::string_view product) {
    const size_t slash = windowsFolder.find('\\');
    if (slash == std::string_view::npos)
        return std::string(windowsFolder) + "\\" + std::string(product);
    return std::string(windowsFolder.substr(0, slash + 1)) + std::string(product);
}

} // namespace setup
