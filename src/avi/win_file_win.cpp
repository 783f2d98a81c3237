#include "avi/win_file_win.h"

#include <vfw.h>

#include <algorithm>

namespace avi {

HRESULT AviError(WriteStatus status) noexcept {
    switch (status) {
    case WriteStatus::Ok:
        return AVIERR_OK;
    case WriteStatus::BadCall:
        return AVIERR_BADPARAM;
    default:
        return AVIERR_FILEWRITE;
    }
}

namespace {

// One call moves at most this much: the count is a DWORD.
constexpr size_t kLargestPiece = size_t{1} << 30;

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

std::unique_ptr<WinFile> OpenFile(const std::string& path, DWORD disposition, DWORD& error,
                                  auto make) {
    HANDLE h =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    error = 0;
    return make(UniqueKernelHandle(h));
}

} // namespace

std::unique_ptr<WinFile> WinFile::Create(const std::string& path, DWORD& error) {
    return OpenFile(path, CREATE_ALWAYS, error, [](UniqueKernelHandle h) {
        return std::unique_ptr<WinFile>(new WinFile(std::move(h)));
    });
}

std::unique_ptr<WinFile> WinFile::CreateNew(const std::string& path, DWORD& error) {
    return OpenFile(path, CREATE_NEW, error, [](UniqueKernelHandle h) {
        return std::unique_ptr<WinFile>(new WinFile(std::move(h)));
    });
}

std::unique_ptr<WinFile> WinFile::Open(const std::string& path, DWORD& error) {
    return OpenFile(path, OPEN_EXISTING, error, [](UniqueKernelHandle h) {
        return std::unique_ptr<WinFile>(new WinFile(std::move(h)));
    });
}

bool WinFile::Failed() {
    lastError_ = ::GetLastError();
    return false;
}

bool WinFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const auto piece = static_cast<DWORD>(std::min(size, kLargestPiece));
        OVERLAPPED o = At(offset);
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), p, piece, &written, &o))
            return Failed();
        if (written != piece) { // a full disk can also show as a short write
            lastError_ = ERROR_DISK_FULL;
            return false;
        }
        p += piece;
        offset += piece;
        size -= piece;
    }
    return true;
}

bool WinFile::Truncate(uint64_t size) {
    if (Size() <= size)
        return true;
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle_.get(), to, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle_.get()))
        return Failed();
    return true;
}

bool WinFile::Flush() {
    return ::FlushFileBuffers(handle_.get()) ? true : Failed();
}

uint64_t WinFile::Size() {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle_.get(), &size))
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

bool WinFile::ReadAt(uint64_t offset, void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        const auto piece = static_cast<DWORD>(std::min(size, kLargestPiece));
        OVERLAPPED o = At(offset);
        DWORD read = 0;
        if (!::ReadFile(handle_.get(), p, piece, &read, &o))
            return Failed();
        if (read != piece)
            return false;
        p += piece;
        offset += piece;
        size -= piece;
    }
    return true;
}

} // namespace avi
