#pragma once
// A file on disk through the platform's file calls: the byte file the program writes its movies
// to and repairs them in. Positioned reads and writes, so appending frames never seeks back and
// forth through a shared file pointer.

#include "avi/avi_writer.h"
#include "avi/byte_file.h"
#include "framework/handles_win.h"

#include <memory>
#include <string>

namespace avi {

// A writer's failure as the recorder reports it: AVIERR_OK, AVIERR_BADPARAM for a call out of
// order, AVIERR_FILEWRITE for anything the file refused or cannot hold.
[[nodiscard]] HRESULT AviError(WriteStatus status) noexcept;

class WinFile final : public ByteFile {
public:
    // Empty when the file cannot be opened; `error` then holds GetLastError's code. Create
    // replaces any file of that name; CreateNew fails with ERROR_FILE_EXISTS when there is one
    // (two programs picking the same free name: only one gets it); Open wants it to exist and
    // opens it for reading and writing.
    [[nodiscard]] static std::unique_ptr<WinFile> Create(const std::string& path, DWORD& error);
    [[nodiscard]] static std::unique_ptr<WinFile> CreateNew(const std::string& path, DWORD& error);
    [[nodiscard]] static std::unique_ptr<WinFile> Open(const std::string& path, DWORD& error);

    [[nodiscard]] bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    [[nodiscard]] bool Truncate(uint64_t size) override;
    [[nodiscard]] bool Flush() override;
    [[nodiscard]] uint64_t Size() override;
    [[nodiscard]] bool ReadAt(uint64_t offset, void* data, size_t size) override;

    // The code of the last failed call, for the message the user sees.
    [[nodiscard]] DWORD LastError() const noexcept { return lastError_; }

private:
    explicit WinFile(UniqueKernelHandle handle) : handle_(std::move(handle)) {}
    bool Failed();

    UniqueKernelHandle handle_;
    DWORD lastError_ = 0;
};

} // namespace avi
