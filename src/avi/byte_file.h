#pragma once
// What the AVI writer and the repair write to and read from: a file addressed by byte offset.
// Headers are brought up to date in place while the movie grows at the end, so writes are
// positioned; everything else is appended.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace avi {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when not every byte was written (a full disk, a network drive gone).
    [[nodiscard]] virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
    // Drops everything from `size` on: a chunk that was only partly written must not stay.
    [[nodiscard]] virtual bool Truncate(uint64_t size) = 0;
    // Hands what was written so far to the storage, so that it outlives a power cut too.
    [[nodiscard]] virtual bool Flush() = 0;
};

class ByteFile : public ByteSink {
public:
    [[nodiscard]] virtual uint64_t Size() = 0;
    // False when the range is not all there.
    [[nodiscard]] virtual bool ReadAt(uint64_t offset, void* data, size_t size) = 0;
};

// A file in memory, for tests and for building small files. `capacity` stands for the room on
// the disk: a write past it fails as a full disk would.
class MemoryFile final : public ByteFile {
public:
    std::vector<uint8_t> bytes;
    uint64_t capacity = UINT64_MAX;

    [[nodiscard]] bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    [[nodiscard]] bool Truncate(uint64_t size) override;
    [[nodiscard]] bool Flush() override { return true; }
    [[nodiscard]] uint64_t Size() override { return bytes.size(); }
    [[nodiscard]] bool ReadAt(uint64_t offset, void* data, size_t size) override;
};

} // namespace avi
