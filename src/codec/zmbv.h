#pragma once
// The ZMBV stream layout shared by our encoder and decoder.
//
// Every frame starts with a flags byte. A key frame follows it with six bytes (version 0.1, the
// compression, the pixel format, the block width and height) and restarts the deflate stream;
// every later frame continues that stream (one sync-flushed piece per frame). Inflated, a key
// frame is [palette, 8-bit only] [pixels, top row first]; a delta frame is [palette XOR, when
// flagged] [two bytes per block: dx << 1 | has-XOR, dy << 1, padded to 4 bytes] [for each block
// with XOR data, the block's pixels XORed with the previous frame's moved block]. Source pixels
// outside the frame read as zero.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace zmbv {

enum class PixelFormat : uint8_t {
    Pal8 = 4,
    Rgb555 = 5,
    Rgb565 = 6,
    Bgr32 = 8,
};

inline constexpr uint8_t kKeyFrame = 1;
inline constexpr uint8_t kDeltaPalette = 2;
inline constexpr uint8_t kVersionHigh = 0;
inline constexpr uint8_t kVersionLow = 1;
inline constexpr uint8_t kCompressionNone = 0;
inline constexpr uint8_t kCompressionDeflate = 1;
inline constexpr size_t kKeyHeaderBytes = 7;
inline constexpr size_t kPaletteBytes = 768;
inline constexpr int kBlockSize = 16;
// A vector component is stored in seven bits.
inline constexpr int kMaxVector = 63;
// Frames larger than this are refused, so every size below fits comfortably in 32 bits.
inline constexpr int kMaxDimension = 16384;
inline constexpr int64_t kMaxPixels = int64_t{1} << 25;

using Palette = std::array<uint8_t, kPaletteBytes>; // red, green, blue per entry

constexpr int BytesPerPixel(PixelFormat f) noexcept {
    switch (f) {
    case PixelFormat::Pal8:
        return 1;
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565:
        return 2;
    case PixelFormat::Bgr32:
        return 4;
    }
    return 0;
}

constexpr std::optional<PixelFormat> PixelFormatFromCode(uint8_t code) noexcept {
    switch (code) {
    case 4:
        return PixelFormat::Pal8;
    case 5:
        return PixelFormat::Rgb555;
    case 6:
        return PixelFormat::Rgb565;
    case 8:
        return PixelFormat::Bgr32;
    default:
        return std::nullopt;
    }
}

constexpr bool ValidFrameSize(int width, int height) noexcept {
    return width > 0 && height > 0 && width <= kMaxDimension && height <= kMaxDimension &&
           int64_t{width} * height <= kMaxPixels;
}

// Bytes of the motion-vector table of a delta frame.
constexpr size_t VectorTableBytes(int width, int height, int blockWidth, int blockHeight) noexcept {
    const size_t blocks = static_cast<size_t>((width + blockWidth - 1) / blockWidth) *
                          static_cast<size_t>((height + blockHeight - 1) / blockHeight);
    return (blocks * 2 + 3) & ~size_t{3};
}

} // namespace zmbv
