#include "framework/archive.h"

#include <cstring>

void ArchiveWriter::WriteInt32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        bytes_.push_back(static_cast<uint8_t>(bits >> shift));
}

void ArchiveWriter::WriteBytes(const void* data, std::size_t size) {
    if (size == 0)
        return;
    const auto* first = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), first, first + size);
}

bool ArchiveReader::ReadInt32(int32_t& value) noexcept {
    if (failed_ || Remaining() < 4)
        return Fail();
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<uint32_t>(bytes_[position_ + i]) << (8 * i);
    position_ += 4;
    value = static_cast<int32_t>(bits);
    return true;
}

bool ArchiveReader::ReadBytes(void* data, std::size_t size) noexcept {
    if (failed_ || Remaining() < size)
        return Fail();
    if (size > 0)
        std::memcpy(data, bytes_.data() + position_, size);
    position_ += size;
    return true;
}

bool ArchiveReader::Fail() noexcept {
    failed_ = true;
    return false;
}
