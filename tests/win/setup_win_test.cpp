#include "automation/automation_members.h"
#include "framework/handles_win.h"
#include "setup/installer_win.h"
#include "setup/uninstaller_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A maker and products of the tests' own, so the program's own keys are never touched.
constexpr char kMaker[] = "TalvenorSetupTest";

bool KeyExists(HKEY root, const std::string& path) {
    UniqueRegKey key;
    return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void MakeKey(HKEY root, const std::string& path, const char* value = nullptr,
             const std::string& data = {}) {
    UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS)
        << path;
    if (value) {
        ASSERT_EQ(::RegSetValueExA(key.get(), *value ? value : nullptr, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
    }
}

std::string Software(const std::string& rest) {
    return std::string("SOFTWARE\\") + kMaker + rest;
}

TEST(SetupWinTest, SettingsKeysGoAndTheMakerKeyOnlyWhenNothingElseIsInIt) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, Software("").c_str());
    MakeKey(HKEY_CURRENT_USER, Software("\\One\\State"), "Width", "640");
    MakeKey(HKEY_CURRENT_USER, Software("\\One\\Keys"), "Start Key", "113");
    MakeKey(HKEY_CURRENT_USER, Software("\\Two\\State"), "Width", "800");

    RemoveSettingsKeys(kMaker, "One");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Software("\\One")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Software("\\Two\\State")));

    // Another product's settings go; a value of the maker's own keeps its key.
    MakeKey(HKEY_CURRENT_USER, Software(""), "Licence", "kept");
    RemoveSettingsKeys(kMaker, "Two");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Software("\\Two")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Software("")));

    UniqueRegKey maker;
    ASSERT_EQ(
        ::RegOpenKeyExA(HKEY_CURRENT_USER, Software("").c_str(), 0, KEY_ALL_ACCESS, maker.put()),
        ERROR_SUCCESS);
    ::RegDeleteValueA(maker.get(), "Licence");
    maker.reset();
    // Missing settings keys are skipped; the empty maker key goes.
    RemoveSettingsKeys(kMaker, "Three");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Software("")));
}

TEST(SetupWinTest, TheUninstallEntryGoesWhereverItIs) {
    const std::string entry = UninstallEntryKey("VidorraSetupTest");
    MakeKey(HKEY_LOCAL_MACHINE, entry, "DisplayName", "VidorraSetupTest");
    MakeKey(HKEY_CURRENT_USER, entry, "DisplayName", "VidorraSetupTest");
    RemoveUninstallEntry("VidorraSetupTest");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, entry));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, entry));
}

TEST(SetupWinTest, TheAutomationClassGoesOnlyWhenItNamesThisProgram) {
    const std::string program = "C:\\Tools\\Vidorra\\Vidorra.exe";
    const auto entries = automation::ClassRegistration(program, "C:\\Tools\\Vidorra\\Vidorra.tlb",
                                                       sizeof(void*) == 8);
    auto write = [&] {
        for (const automation::RegistryValue& e : entries)
            MakeKey(HKEY_CURRENT_USER, "Software\\Classes\\" + e.key, e.name.c_str(), e.value);
    };
    write();
    // Another copy's registration (here: the same path under another letter case counts as
    // this one, a different folder does not).
    RemoveAutomationClass("C:\\Other\\Vidorra.exe");
    for (const automation::RegistryValue& e : entries)
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\" + e.key)) << e.key;

    RemoveAutomationClass("c:\\tools\\VIDORRA\\vidorra.exe");
    for (const automation::RegistryValue& e : entries)
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Classes\\" + e.key)) << e.key;
    // The type library's own key went with its only version.
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER,
                           "Software\\Classes\\" +
                               entries[7].key.substr(0, entries[7].key.find_last_of('\\'))));
}

TEST(SetupWinTest, TheProgramCarriesItsManifest) {
    char self[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program = self;
    program = program.substr(0, program.find_last_of('\\') + 1) + "Vidorra.exe";
    const UniqueModule module(::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module) << program;
    const HRSRC found = ::FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const HGLOBAL loaded = ::LoadResource(module.get(), found);
    const std::string text(static_cast<const char*>(::LockResource(loaded)),
                           ::SizeofResource(module.get(), found));
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(text.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
}

} // namespace
