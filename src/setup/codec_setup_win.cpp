#include "setup/codec_setup_win.h"

#include "codec/zmbv_driver_win.h"
#include "framework/app_win.h"
#include "framework/handles_win.h"
#include "framework/registry_string_win.h"

#include <shellapi.h>

#include <fstream>
#include <iterator>

namespace {

constexpr char kDrivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr char kDescriptions[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";

std::string Folder(UINT (*query)(LPSTR, UINT)) {
    char buffer[MAX_PATH + 1] = "";
    const UINT length = query(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? setup::WithoutTrailingSeparator(buffer)
                                           : std::string();
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

setup::CodecOutcome Refused(DWORD error) {
    return error == ERROR_ACCESS_DENIED ? setup::CodecOutcome::NeedsAdministrator
                                        : setup::CodecOutcome::Failed;
}

setup::CodecOutcome InstallOne(const std::string& programDirectory, const CodecTarget& t) {
    UniqueRegKey drivers;
    if (const LONG r = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, t.driversKey.c_str(), 0, nullptr, 0,
                                         KEY_QUERY_VALUE | KEY_SET_VALUE | t.view, nullptr,
                                         drivers.put(), nullptr);
        r != ERROR_SUCCESS)
        return Refused(static_cast<DWORD>(r));
    if (const auto value = ReadRegistryString(drivers.get(), setup::kCodecValue, true);
        value && !value->empty() && !setup::NamesOurCodec(*value))
        return setup::CodecOutcome::AnotherProgramsCodec;

    // The library first, so the value never names a file that is not there.
    const std::string source = programDirectory + "\\" + t.library;
    const std::string target = t.systemFolder + "\\" + setup::kCodecLibrary;
    const std::string library = ReadWholeFile(source);
    if (library.empty())
        return setup::CodecOutcome::Failed;
    // A player may have the same library loaded: then it need not be copied again.
    if (!::CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        const DWORD error = ::GetLastError();
        if (ReadWholeFile(target) != library)
            return Refused(error);
    }
    if (const LONG r = WriteRegistryString(drivers.get(), setup::kCodecValue, setup::kCodecLibrary);
        r != ERROR_SUCCESS)
        return Refused(static_cast<DWORD>(r));
    UniqueRegKey descriptions;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, t.descriptionsKey.c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE | t.view, nullptr, descriptions.put(),
                          nullptr) == ERROR_SUCCESS) {
        const std::wstring name(setup::kCodecLibrary,
                                setup::kCodecLibrary + sizeof setup::kCodecLibrary - 1);
        ::RegSetValueExW(descriptions.get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(zmbv_driver::kDescription),
                         sizeof zmbv_driver::kDescription);
    }
    return setup::CodecOutcome::Installed;
}

void UninstallOne(const CodecTarget& t) {
    UniqueRegKey drivers;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, t.driversKey.c_str(), 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE | t.view, drivers.put()) != ERROR_SUCCESS)
        return;
    const auto value = ReadRegistryString(drivers.get(), setup::kCodecValue, true);
    if (!value || !setup::NamesOurCodec(*value))
        return;
    ::RegDeleteValueA(drivers.get(), setup::kCodecValue);
    UniqueRegKey descriptions;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, t.descriptionsKey.c_str(), 0, KEY_SET_VALUE | t.view,
                        descriptions.put()) == ERROR_SUCCESS)
        ::RegDeleteValueA(descriptions.get(), setup::kCodecLibrary);
    const std::string library = t.systemFolder + "\\" + setup::kCodecLibrary;
    // A player still holding it: it goes at the next start of Windows.
    if (!::DeleteFileA(library.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        ::MoveFileExA(library.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool IsElevated() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
        return false;
    const UniqueKernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation,
                                 &size) &&
           elevation.TokenIsElevated != 0;
}

// The same command again, with the rights asked for; its exit code, or 1 when the user said no.
int RunElevatedCopy() {
    const std::string program = Application::ProgramPath();
    if (program.empty())
        return 1;
    SHELLEXECUTEINFOA run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    run.lpVerb = "runas";
    run.lpFile = program.c_str();
    run.lpParameters = "-installcodec elevated";
    run.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExA(&run) || run.hProcess == nullptr)
        return 1;
    const UniqueKernelHandle process(run.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 1;
    return ::GetExitCodeProcess(process.get(), &code) ? static_cast<int>(code) : 1;
}

} // namespace

std::vector<CodecTarget> SystemCodecTargets() {
    const std::string system = Folder([](LPSTR b, UINT n) { return ::GetSystemDirectoryA(b, n); });
    const auto target = [](const char* library, const std::string& folder, REGSAM view) {
        return CodecTarget{library, folder, view, kDrivers32, kDescriptions};
    };
    std::vector<CodecTarget> targets;
#ifdef _WIN64
    targets.push_back(target("VidZmbv64.dll", system, KEY_WOW64_64KEY));
    // 32-bit players look in the 32-bit system folder and the registry's 32-bit view.
    const std::string wow =
        Folder([](LPSTR b, UINT n) { return ::GetSystemWow64DirectoryA(b, n); });
    if (!wow.empty() && IsFolder(wow))
        targets.push_back(target("VidZmbv32.dll", wow, KEY_WOW64_32KEY));
#else
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
        // Our own system folder is the 32-bit one (the file system redirects it); the 64-bit
        // one is reached through its alias for 32-bit programs.
        targets.push_back(target("VidZmbv32.dll", system, KEY_WOW64_32KEY));
        const std::string windows =
            Folder([](LPSTR b, UINT n) { return ::GetWindowsDirectoryA(b, n); });
        // (Windows before Vista has no such alias: there 32-bit players only.)
        if (const std::string native = windows + "\\Sysnative";
            !windows.empty() && IsFolder(native))
            targets.push_back(target("VidZmbv64.dll", native, KEY_WOW64_64KEY));
    } else {
        targets.push_back(target("VidZmbv32.dll", system, 0));
    }
#endif
    return targets;
}

setup::CodecOutcome InstallCodec(const std::string& programDirectory,
                                 const std::vector<CodecTarget>& targets) {
    std::vector<setup::CodecOutcome> each;
    for (const CodecTarget& t : targets)
        each.push_back(InstallOne(programDirectory, t));
    return setup::CombineCodecOutcomes(each);
}

void UninstallCodec(const std::vector<CodecTarget>& targets) {
    for (const CodecTarget& t : targets)
        UninstallOne(t);
}

int RunInstallCodec(const std::string& programDirectory, const std::string& product,
                    bool elevatedCopy) {
    const setup::CodecOutcome outcome = InstallCodec(programDirectory, SystemCodecTargets());
    if (outcome == setup::CodecOutcome::NeedsAdministrator && !elevatedCopy && !IsElevated())
        return RunElevatedCopy();
    const bool done = outcome == setup::CodecOutcome::Installed ||
                      outcome == setup::CodecOutcome::AnotherProgramsCodec;
    const std::string text = setup::CodecOutcomeText(outcome, Application::ProgramPath());
    ::MessageBoxA(nullptr, text.c_str(), product.c_str(),
                  MB_OK | (done ? MB_ICONINFORMATION : MB_ICONWARNING));
    return done ? 0 : 1;
}
