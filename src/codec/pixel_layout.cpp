#include "codec/pixel_layout.h"

#include <cstring>

namespace zmbv {

namespace {

struct Rgb {
    uint8_t r, g, b;
};

uint8_t Widen5(unsigned v) {
    return static_cast<uint8_t>(v << 3 | v >> 2);
}
uint8_t Widen6(unsigned v) {
    return static_cast<uint8_t>(v << 2 | v >> 4);
}

Rgb Read(PixelFormat from, const uint8_t* p, const Palette& palette) {
    switch (from) {
    case PixelFormat::Pal8:
        return {palette[p[0] * 3u], palette[p[0] * 3u + 1], palette[p[0] * 3u + 2]};
    case PixelFormat::Rgb555: {
        const unsigned v = p[0] | p[1] << 8;
        return {Widen5(v >> 10 & 31), Widen5(v >> 5 & 31), Widen5(v & 31)};
    }
    case PixelFormat::Rgb565: {
        const unsigned v = p[0] | p[1] << 8;
        return {Widen5(v >> 11 & 31), Widen6(v >> 5 & 63), Widen5(v & 31)};
    }
    case PixelFormat::Bgr32:
        break;
    }
    return {p[2], p[1], p[0]};
}

void Write(Layout to, Rgb c, uint8_t* p) {
    unsigned v = 0;
    switch (to) {
    case Layout::Pal8:
        return;
    case Layout::Rgb555:
        v = (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3;
        break;
    case Layout::Rgb565:
        v = (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3;
        break;
    case Layout::Bgr24:
    case Layout::Bgr32:
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        if (to == Layout::Bgr32)
            p[3] = 0;
        return;
    }
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

void WriteRow(PixelFormat from, const uint8_t* source, const Palette& palette, Layout to,
              uint8_t* target, int width) noexcept {
    const size_t in = static_cast<size_t>(BytesPerPixel(from));
    const size_t out = static_cast<size_t>(LayoutBits(to) / 8);
    if (LayoutOf(from) == to) {
        std::memcpy(target, source, in * static_cast<size_t>(width));
        return;
    }
    if (!CanWrite(from, to))
        return;
    for (int x = 0; x < width; ++x, source += in, target += out)
        Write(to, Read(from, source, palette), target);
}

} // namespace zmbv
