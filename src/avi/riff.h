#pragma once
// Little-endian building blocks of RIFF files: four-character codes, a growing byte image with
// chunk and list helpers, and readers of stored integers.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace avi {

constexpr uint32_t Fourcc(std::string_view s) noexcept {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

// "00dc", "01wb", "ix00": the stream number in two decimal digits and a two-letter kind.
constexpr uint32_t StreamChunkId(int stream, char a, char b) noexcept {
    return static_cast<uint32_t>('0' + stream / 10) |
           static_cast<uint32_t>('0' + stream % 10) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(a)) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b)) << 24;
}
constexpr uint32_t IndexChunkId(int stream) noexcept {
    return static_cast<uint32_t>('i') | static_cast<uint32_t>('x') << 8 |
           static_cast<uint32_t>('0' + stream / 10) << 16 |
           static_cast<uint32_t>('0' + stream % 10) << 24;
}

inline uint16_t LoadU16(const uint8_t* p) noexcept {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadU32(const uint8_t* p) noexcept {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t LoadU64(const uint8_t* p) noexcept {
    return static_cast<uint64_t>(LoadU32(p)) | static_cast<uint64_t>(LoadU32(p + 4)) << 32;
}

class ByteImage {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void U64(uint64_t v) {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void Code(std::string_view s) { U32(Fourcc(s)); }
    void Bytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    void Zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    void PadEven() {
        if (bytes_.size() & 1)
            U8(0);
    }
    void PutU32(size_t at, uint32_t v) noexcept {
        for (int i = 0; i < 4; ++i)
            bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

    // A list or chunk whose size is filled in by End: returns where the size goes.
    size_t BeginList(std::string_view type) {
        Code("LIST");
        const size_t at = Size();
        U32(0);
        Code(type);
        return at;
    }
    size_t BeginChunk(std::string_view id) {
        Code(id);
        const size_t at = Size();
        U32(0);
        return at;
    }
    void End(size_t sizeAt) {
        PutU32(sizeAt, static_cast<uint32_t>(Size() - sizeAt - 4));
        PadEven();
    }

    [[nodiscard]] size_t Size() const noexcept { return bytes_.size(); }
    [[nodiscard]] const uint8_t* Data() const noexcept { return bytes_.data(); }
    [[nodiscard]] std::vector<uint8_t>& Vector() noexcept { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

} // namespace avi
