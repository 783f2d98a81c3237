#include "engine/frame_format.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::string FourccText(uint32_t code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

int64_t RowBytes(int32_t width, int32_t bitsPerPixel) noexcept {
    return (static_cast<int64_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

std::optional<int32_t> ImageSize(int32_t width, int32_t height, int32_t bitsPerPixel) noexcept {
    if (width < 1 || height < 1 || bitsPerPixel < 1 || bitsPerPixel > 32)
        return std::nullopt;
    const int64_t row = RowBytes(width, bitsPerPixel);
    if (row > std::numeric_limits<int32_t>::max() / height)
        return std::nullopt;
    return static_cast<int32_t>(row * height);
}

int32_t ColorCount(int32_t bitsPerPixel) noexcept {
    return bitsPerPixel >= 1 && bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0;
}

uint32_t DefaultHandler(int32_t bitsPerPixel) noexcept {
    if (bitsPerPixel == 8)
        return fourcc::Mrle;
    return bitsPerPixel > 8 ? fourcc::Msvc : fourcc::Dib;
}

uint32_t CompressorQuality(int32_t quality) noexcept {
    return static_cast<uint32_t>(std::clamp(quality, 0, 100)) * 100;
}

uint32_t KeyFrameInterval(int32_t keyFrames) noexcept {
    return static_cast<uint32_t>(std::max(keyFrames, 0));
}

std::optional<StreamRate> VideoStreamRate(double frameRate, double playbackRate) noexcept {
    if (!std::isfinite(frameRate) || !std::isfinite(playbackRate) || frameRate <= 0 ||
        playbackRate <= 0)
        return std::nullopt;
    // Both rates as whole thousandths first, as they are stored, and the scale in integers: the
    // 32-bit build's floating point keeps extra digits, and 1000 * 29.97 cut to an integer gave
    // 29969 there.
    const double rate = std::round(1000.0 * frameRate);
    const double playback = std::round(1000.0 * playbackRate);
    constexpr double kMax = std::numeric_limits<uint32_t>::max();
    if (rate < 1.0 || rate > kMax || playback < 1.0 || playback > kMax * 1000.0)
        return std::nullopt;
    const auto r = static_cast<uint64_t>(rate);
    const auto p = static_cast<uint64_t>(playback);
    const uint64_t scale = (r * 1000 + p / 2) / p;
    if (scale < 1 || scale > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    return StreamRate{static_cast<uint32_t>(r), static_cast<uint32_t>(scale)};
}

void BuildColorTable(const PaletteColor* palette, int32_t count, int32_t staticHalf,
                     ColorEntry* table) noexcept {
    if (count <= 0)
        return;
    for (int32_t i = 0; i < count; ++i)
        table[i] = ColorEntry{palette[i].blue, palette[i].green, palette[i].red, 0};
    table[0] = ColorEntry{0, 0, 0, 0};
    table[count - 1] = ColorEntry{255, 255, 255, 0};
    const int32_t topStatic = count - staticHalf;
    for (int32_t i = 0; i < count; ++i) {
        if (i < staticHalf || i >= topStatic)
            continue;
        bool repeatsStatic = false;
        for (int32_t j = std::max<int32_t>(topStatic, 0); j < count && !repeatsStatic; ++j)
            repeatsStatic = table[i].red == table[j].red && table[i].green == table[j].green &&
                            table[i].blue == table[j].blue;
        table[i].reserved = repeatsStatic ? 1 : 4;
    }
}

int32_t AviErrorNumber(int32_t hresult) noexcept {
    return static_cast<int32_t>(static_cast<uint32_t>(hresult) & 0xFFFF) - 0x4000;
}
