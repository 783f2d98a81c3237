#pragma once

// A tiny binary archive for objects that save and load themselves: little-endian 32-bit
// integers, runs of raw bytes, and lists kept as their item count followed by the items. A writer
// only appends. A reader fails for good at the first read that runs past its bytes or that its
// caller refuses, so a loader can read everything and look at Ok() once.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

class ArchiveWriter {
public:
    void WriteInt32(int32_t value);
    void WriteBytes(const void* data, std::size_t size);
    // The count, then every item through write(archive, item).
    template <class Range, class WriteItem> void WriteList(const Range& items, WriteItem write) {
        WriteInt32(static_cast<int32_t>(std::size(items)));
        for (const auto& item : items)
            write(*this, item);
    }

    [[nodiscard]] const std::vector<uint8_t>& Bytes() const noexcept { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class ArchiveReader {
public:
    // The bytes must outlive the reader.
    explicit ArchiveReader(std::span<const uint8_t> bytes) noexcept : bytes_(bytes) {}

    [[nodiscard]] bool ReadInt32(int32_t& value) noexcept;
    [[nodiscard]] bool ReadBytes(void* data, std::size_t size) noexcept;
    // Reads the count, then every item through read(archive), which returns false for an item it
    // cannot take. A negative count, or one that the bytes left could not hold even at one byte
    // an item, is refused before any item is read.
    template <class ReadItem> [[nodiscard]] bool ReadList(ReadItem read) {
        int32_t count = 0;
        if (!ReadInt32(count))
            return false;
        if (count < 0 || static_cast<std::size_t>(count) > Remaining())
            return Fail();
        for (int32_t i = 0; i < count; ++i) {
            if (!read(*this))
                return Fail();
        }
        return Ok();
    }

    [[nodiscard]] std::size_t Remaining() const noexcept { return bytes_.size() - position_; }
    [[nodiscard]] bool Ok() const noexcept { return !failed_; }
    // For a loader that read a value it cannot use. Always returns false.
    bool Fail() noexcept;

private:
    std::span<const uint8_t> bytes_;
    std::size_t position_ = 0;
    bool failed_ = false;
};
