#include "setup/installer_win.h"

#include "framework/handles_win.h"
#include "framework/registry_string_win.h"
#include "setup/codec_setup_win.h"
#include "setup/destination_dialog_win.h"
#include "setup/install_text.h"
#include "setup/progman_win.h"

#include <shlobj.h>
#include <vector>

namespace {

std::string FromBuffer(UINT (*query)(LPSTR, UINT)) {
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    const UINT length = query(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return {};
    return setup::WithoutTrailingSeparator(std::string(buffer.data(), length));
}

UINT WindowsDirectory(LPSTR buffer, UINT size) {
    return ::GetWindowsDirectoryA(buffer, size);
}
UINT SystemDirectory(LPSTR buffer, UINT size) {
    return ::GetSystemDirectoryA(buffer, size);
}

bool IsWindowsNt() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL known = ::GetVersionExA(&version);
#pragma GCC diagnostic pop
    return !known || version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool CopyProgramFile(const std::string& name, const std::string& from, const std::string& to) {
    const std::string source = from + "\\" + name;
    const std::string target = to + "\\" + name;
    return ::CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The whole text or nothing: a partial file is removed.
bool WriteWholeFile(const std::string& path, const std::string& text) {
    bool ok = false;
    {
        const UniqueKernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        DWORD written = 0;
        ok = ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) &&
             written == text.size();
    }
    if (!ok)
        ::DeleteFileA(path.c_str());
    return ok;
}

// The user's own application-data folder for the product, made when missing; empty if unknown.
std::string UserProgramDataFolder(const std::string& product) {
    char base[MAX_PATH] = "";
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                  SHGFP_TYPE_CURRENT, base)))
        return {};
    const std::string folder = setup::WithoutTrailingSeparator(base) + "\\" + product;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// The batch file goes into the Windows folder where that may be written, as it always has;
// without administrator rights into the user's own application data. Returns where it went, or
// the first place when it could be written nowhere.
std::string WriteUninstallBatchFile(setup::InstallPlace& place, const std::string& windows) {
    std::vector<std::string> places;
    if (!windows.empty())
        places.push_back(windows + "\\" + setup::kBatchFileName);
    if (const std::string own = UserProgramDataFolder(place.product); !own.empty())
        places.push_back(own + "\\" + setup::kBatchFileName);
    for (const std::string& path : places) {
        place.batchFile = path;
        if (WriteWholeFile(path, setup::UninstallBatchFile(place)))
            return path;
    }
    return places.empty() ? std::string() : places.front();
}

bool SetString(HKEY key, const char* name, const std::string& value) {
    return WriteRegistryString(key, name, value) == ERROR_SUCCESS;
}

bool WriteEntry(HKEY root, const std::string& path, const std::string& product,
                const std::string& uninstall) {
    UniqueRegKey key;
    char keyClass[] = "REG_SZ";
    if (::RegCreateKeyExA(root, path.c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return SetString(key.get(), "DisplayName", product) &&
           SetString(key.get(), "UninstallString", uninstall);
}

// The machine's list where allowed, else the user's own; one entry either way, so a repeated
// installation is listed once.
void WriteUninstallEntry(const setup::InstallPlace& place) {
    const std::string path = UninstallEntryKey(place.product);
    const std::string uninstall = setup::JoinPath(place.batchFile, "");
    if (WriteEntry(HKEY_LOCAL_MACHINE, path, place.product, uninstall))
        ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    else
        WriteEntry(HKEY_CURRENT_USER, path, place.product, uninstall);
}

} // namespace

std::string UninstallEntryKey(const std::string& product) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
}

InstallResult Install(const std::string& programDirectory, const std::string& product) {
    const std::string windows = FromBuffer(WindowsDirectory);
    const std::string system = FromBuffer(SystemDirectory);
    const std::string initial = setup::DefaultDestination(windows, product);
    // The dialog lists the default's drive when the default folder does not exist yet.
    ::SetCurrentDirectoryA(initial.substr(0, initial.find('\\') + 1).c_str());
    const std::optional<std::string> destination =
        ChooseDestination(nullptr, {product, initial, windows, system});
    if (!destination)
        return InstallResult::Cancelled;

    bool readme = false;
    if (setup::SameFolder(FullLongPath(programDirectory), *destination)) {
        readme = FileExists(*destination + "\\" + setup::kReadme);
    } else {
        bool required = true;
        for (const setup::ProgramFile& file : setup::ProgramFiles(product)) {
            const bool copied = CopyProgramFile(file.name, programDirectory, *destination);
            if (file.name == setup::kReadme)
                readme = copied;
            required = required && (copied || !file.required);
        }
        if (!required) {
            const std::string text = "Could not copy all " + product +
                                     " files to the destination path, installation failed.";
            const std::string caption = "Install " + product;
            ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
            return InstallResult::Failed;
        }
    }

    setup::InstallPlace place{product, *destination, {}, IsWindowsNt()};
    place.batchFile = WriteUninstallBatchFile(place, windows);
    WriteUninstallEntry(place);

    ProgmanClient progman;
    if (progman.Start())
        for (const std::string& command : setup::ProgmanInstallCommands(place, readme))
            progman.Execute(command);

    // Without it Windows' own players cannot play the movies; without the rights for it the
    // rest of the installation stands, and the user learns the one command that does it.
    const setup::CodecOutcome codec = InstallCodec(programDirectory, SystemCodecTargets());
    const std::string summary = setup::InstallSummary(product, *destination, codec);
    const std::string caption = "Install " + product;
    const bool codecDone = codec == setup::CodecOutcome::Installed ||
                           codec == setup::CodecOutcome::AnotherProgramsCodec;
    ::MessageBoxA(nullptr, summary.c_str(), caption.c_str(),
                  MB_OK | (codecDone ? MB_ICONINFORMATION : MB_ICONWARNING));
    return InstallResult::Installed;
}
