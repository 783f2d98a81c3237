#pragma once
// The picture layouts a player may ask the decompressor for, and how a decoded ZMBV frame is
// written into each: players want their display's depth or 24-bit RGB, whatever the stream holds.

#include "codec/zmbv.h"

#include <cstdint>

namespace zmbv {

enum class Layout : uint8_t {
    Pal8,   // indices into the frame's palette
    Rgb555, // 16 bits, 5-5-5
    Rgb565, // 16 bits, 5-6-5
    Bgr24,
    Bgr32,
};

// The layout a stream's own pixels have.
constexpr Layout LayoutOf(PixelFormat f) noexcept {
    switch (f) {
    case PixelFormat::Pal8:
        return Layout::Pal8;
    case PixelFormat::Rgb555:
        return Layout::Rgb555;
    case PixelFormat::Rgb565:
        return Layout::Rgb565;
    case PixelFormat::Bgr32:
        break;
    }
    return Layout::Bgr32;
}

constexpr int LayoutBits(Layout l) noexcept {
    switch (l) {
    case Layout::Pal8:
        return 8;
    case Layout::Rgb555:
    case Layout::Rgb565:
        return 16;
    case Layout::Bgr24:
        return 24;
    case Layout::Bgr32:
        break;
    }
    return 32;
}

// Every frame can be written as direct colour; only a palette frame as palette indices.
constexpr bool CanWrite(PixelFormat from, Layout to) noexcept {
    return to != Layout::Pal8 || from == PixelFormat::Pal8;
}

// Writes one row of `width` pixels of format `from` as `to`. Widening repeats the top bits in
// the new low ones, so white stays white; narrowing keeps the top bits.
void WriteRow(PixelFormat from, const uint8_t* source, const Palette& palette, Layout to,
              uint8_t* target, int width) noexcept;

} // namespace zmbv
