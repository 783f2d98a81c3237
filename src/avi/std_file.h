#pragma once
// A file on disk through the standard library: the byte file of the native build and its tools.
// The Windows program uses its own (win_file_win.h), which can say why a file cannot be opened.

#include "avi/byte_file.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace avi {

class StdFile final : public ByteFile {
public:
    // Empty when the file cannot be opened: Create makes it new (empty), Open wants it to exist.
    [[nodiscard]] static std::unique_ptr<StdFile> Create(const std::filesystem::path& path);
    [[nodiscard]] static std::unique_ptr<StdFile> Open(const std::filesystem::path& path);

    [[nodiscard]] bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    [[nodiscard]] bool Truncate(uint64_t size) override;
    [[nodiscard]] bool Flush() override;
    [[nodiscard]] uint64_t Size() override;
    [[nodiscard]] bool ReadAt(uint64_t offset, void* data, size_t size) override;

private:
    StdFile(std::filesystem::path path, std::fstream stream)
        : path_(std::move(path)), stream_(std::move(stream)) {}

    std::filesystem::path path_;
    std::fstream stream_;
};

} // namespace avi
