#include "setup/uninstaller_win.h"

#include "automation/automation_members.h"
#include "framework/app_win.h"
#include "framework/handles_win.h"
#include "framework/registry_string_win.h"
#include "resources/resource_ids.h"
#include "setup/codec_setup_win.h"
#include "setup/install_text.h"
#include "setup/installer_win.h"
#include "setup/progman_win.h"

#include <algorithm>
#include <vector>

namespace {

constexpr char kMaker[] = "Talvenor";

UniqueRegKey OpenKey(HKEY root, const std::string& path, REGSAM access) {
    UniqueRegKey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

std::string DefaultValue(HKEY root, const std::string& path) {
    const UniqueRegKey key = OpenKey(root, path, KEY_QUERY_VALUE);
    if (!key)
        return {};
    return ReadRegistryString(key.get(), nullptr).value_or(std::string());
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(),
                                                    static_cast<int>(a.size()), b.c_str(),
                                                    static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The class's keys below `root` (whose names are the registration's, below `prefix`), removed
// when its server is `server`.
void RemoveClassBelow(HKEY root, const std::string& prefix,
                      const std::vector<automation::RegistryValue>& entries,
                      const std::string& server) {
    const auto local = std::find_if(entries.begin(), entries.end(), [](const auto& entry) {
        return entry.key.ends_with("\\LocalServer32");
    });
    if (local == entries.end() ||
        !EqualIgnoringCase(DefaultValue(root, prefix + local->key), server))
        return;
    // Every key the registration writes, each removed with what lies below it; the shortest
    // first, so nothing is visited twice.
    std::vector<std::string> keys;
    for (const automation::RegistryValue& entry : entries)
        keys.push_back(entry.key);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<std::string> tops;
    for (const std::string& key : keys)
        if (std::none_of(tops.begin(), tops.end(),
                         [&](const std::string& top) { return key.starts_with(top + "\\"); }))
            tops.push_back(key);
    for (const std::string& top : tops) {
        ::RegDeleteTreeA(root, (prefix + top).c_str());
        // The type library's versions share one key: it goes when this was its last version.
        const size_t slash = top.find_last_of('\\');
        if (top.starts_with("TypeLib\\") && slash > 8)
            ::RegDeleteKeyA(root, (prefix + top.substr(0, slash)).c_str());
    }
}

} // namespace

void RemoveSettingsKeys(const std::string& maker, const std::string& product) {
    if (const UniqueRegKey settings =
            OpenKey(HKEY_CURRENT_USER, "SOFTWARE\\" + maker + "\\" + product, KEY_ALL_ACCESS)) {
        ::RegDeleteKeyA(settings.get(), "Keys");
        ::RegDeleteKeyA(settings.get(), "State");
    }
    bool makerEmpty = false;
    if (const UniqueRegKey makerKey =
            OpenKey(HKEY_CURRENT_USER, "SOFTWARE\\" + maker, KEY_ALL_ACCESS)) {
        ::RegDeleteKeyA(makerKey.get(), product.c_str());
        DWORD subkeys = 1;
        DWORD values = 1;
        makerEmpty = ::RegQueryInfoKeyA(makerKey.get(), nullptr, nullptr, nullptr, &subkeys,
                                        nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS &&
                     subkeys == 0 && values == 0;
    }
    if (makerEmpty)
        if (const UniqueRegKey software = OpenKey(HKEY_CURRENT_USER, "SOFTWARE", KEY_ALL_ACCESS))
            ::RegDeleteKeyA(software.get(), maker.c_str());
}

void RemoveUninstallEntry(const std::string& product) {
    const std::string path = UninstallEntryKey(product);
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

void RemoveAutomationClass(const std::string& programPath) {
    if (programPath.empty())
        return;
    const auto entries = automation::ClassRegistration(programPath, "", sizeof(void*) == 8);
    const std::string server = "\"" + programPath + "\"";
    RemoveClassBelow(HKEY_CURRENT_USER, "Software\\Classes\\", entries, server);
    // Where the classes root is a store of its own (Wine), the registration was written there too.
    RemoveClassBelow(HKEY_CLASSES_ROOT, "", entries, server);
}

int RunUninstall(const std::string& product) {
    const std::string question = App().LoadString(IDS_CONFIRM_UNINSTALL);
    if (::MessageBoxA(nullptr, question.c_str(), product.c_str(), MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
        return 1;
    ProgmanClient progman;
    if (progman.Start())
        for (const std::string& command : setup::ProgmanUninstallCommands(product))
            progman.Execute(command);
    // The batch file deletes the program next whatever happened above: what is left in the
    // registry now could never be removed.
    RemoveSettingsKeys(kMaker, product);
    RemoveUninstallEntry(product);
    RemoveAutomationClass(Application::ProgramPath());
    UninstallCodec(SystemCodecTargets());
    return 0;
}
