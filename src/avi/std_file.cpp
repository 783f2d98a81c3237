#include "avi/std_file.h"

#include <limits>
#include <system_error>

namespace avi {

namespace {

bool FitsStreamOffset(uint64_t offset, size_t size) {
    constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max());
    return offset <= kMax && size <= kMax - offset;
}

} // namespace

std::unique_ptr<StdFile> StdFile::Create(const std::filesystem::path& path) {
    std::fstream stream(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!stream)
        return nullptr;
    return std::unique_ptr<StdFile>(new StdFile(path, std::move(stream)));
}

std::unique_ptr<StdFile> StdFile::Open(const std::filesystem::path& path) {
    std::fstream stream(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!stream)
        return nullptr;
    return std::unique_ptr<StdFile>(new StdFile(path, std::move(stream)));
}

bool StdFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (!FitsStreamOffset(offset, size))
        return false;
    stream_.clear();
    stream_.seekp(static_cast<std::streamoff>(offset));
    stream_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(stream_);
}

bool StdFile::Truncate(uint64_t size) {
    stream_.clear();
    if (!stream_.flush())
        return false;
    std::error_code error;
    if (std::filesystem::file_size(path_, error) <= size || error)
        return !error;
    std::filesystem::resize_file(path_, size, error);
    return !error;
}

bool StdFile::Flush() {
    stream_.clear();
    return static_cast<bool>(stream_.flush());
}

uint64_t StdFile::Size() {
    stream_.clear();
    stream_.flush();
    std::error_code error;
    const auto size = std::filesystem::file_size(path_, error);
    return error ? 0 : size;
}

bool StdFile::ReadAt(uint64_t offset, void* data, size_t size) {
    if (!FitsStreamOffset(offset, size))
        return false;
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset));
    stream_.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(stream_) && stream_.gcount() == static_cast<std::streamsize>(size);
}

} // namespace avi
