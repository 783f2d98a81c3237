#include "settings/options_file_win.h"

#include "framework/handles_win.h"
#include "settings/registry_store_win.h"

#include <windows.h>

#include <algorithm>

static_assert(option_answer::MoreData == ERROR_MORE_DATA &&
              option_answer::InvalidData == ERROR_INVALID_DATA &&
              option_answer::InvalidParameter == ERROR_INVALID_PARAMETER);

namespace {

// The file has a few dozen short lines; anything this large is not ours to rewrite.
constexpr DWORD kMaxFileSize = 16 * 1024 * 1024;

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// Writes and closes the file, checking each step: a full disk may only show at the flush or the
// close.
bool WriteAndClose(UniqueKernelHandle file, std::string_view bytes) {
    const bool written = WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get());
    const bool closed = ::CloseHandle(file.release()) != FALSE;
    return written && closed;
}

} // namespace

std::string OptionsFilePath(const std::string& programDirectory, std::string_view productName) {
    std::string path = programDirectory;
    if (!path.empty())
        path += '\\';
    return path.append(productName).append(".ini");
}

FileReadResult ReadOptionsFile(const std::string& path, OptionList& list) {
    list.FreeOptions();
    UniqueKernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? FileReadResult::Missing
                   : FileReadResult::Failed;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileSize)
        return FileReadResult::Failed;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                        &read, nullptr))
            return FileReadResult::Failed;
        if (read == 0)
            break; // cut short by another writer: take what is there
        done += read;
    }
    bytes.resize(done);
    list.Parse(bytes);
    return FileReadResult::Read;
}

bool WriteOptionsFile(const std::string& path, const OptionList& list) {
    // Beside the file, so the replacement is a rename on the same drive.
    const std::string temporary = path + ".new";
    UniqueKernelHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    if (!WriteAndClose(std::move(file), list.Format()) ||
        !::MoveFileExA(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

int DumpOptionsToFile(const std::string& path, const std::string& settingsKey,
                      RecordingOptions& options) {
    LoadState(settingsKey, options);
    LoadKeys(settingsKey, options);
    OptionList list;
    // A missing file gives a new one; one that is there but unreadable is not replaced, or its
    // lines would be lost.
    if (ReadOptionsFile(path, list) == FileReadResult::Failed)
        return 1;
    // Both sections are written whatever the first one gave.
    const bool stateComplete = SaveOptions(list, OptionSection::State, options).empty();
    const bool keysComplete = SaveOptions(list, OptionSection::Keys, options).empty();
    if (!WriteOptionsFile(path, list))
        return 1;
    return stateComplete && keysComplete ? 0 : 1;
}

ImportResult ImportOptionsFile(const std::string& path, const std::string& settingsKey,
                               RecordingOptions& options) {
    OptionList list;
    switch (ReadOptionsFile(path, list)) {
    case FileReadResult::Missing:
        return ImportResult::NoFile;
    case FileReadResult::Failed:
        return ImportResult::Failed;
    case FileReadResult::Read:
        break;
    }
    LoadOptions(list, OptionSection::State, options);
    LoadOptions(list, OptionSection::Keys, options);
    const bool stateSaved = SaveState(settingsKey, options).empty();
    const bool keysSaved = SaveKeys(settingsKey, options).empty();
    return stateSaved && keysSaved ? ImportResult::Imported : ImportResult::Failed;
}

int ReadOptionsFromFile(const std::string& path, const std::string& settingsKey,
                        RecordingOptions& options) {
    return ImportOptionsFile(path, settingsKey, options) == ImportResult::Imported ? 0 : 1;
}
