#include "codec/zmbv_decoder.h"

#include <algorithm>
#include <cstring>

namespace zmbv {

std::string_view DecodeResultText(DecodeResult r) noexcept {
    switch (r) {
    case DecodeResult::Ok:
        return "ok";
    case DecodeResult::NeedKeyFrame:
        return "delta frame without a key frame";
    case DecodeResult::BadHeader:
        return "unsupported key frame header";
    case DecodeResult::BadData:
        return "corrupt compressed data";
    case DecodeResult::Truncated:
        return "frame shorter than its contents";
    }
    return "unknown";
}

bool Decoder::Start(int width, int height) {
    started_ = haveKey_ = false;
    if (!ValidFrameSize(width, height))
        return false;
    width_ = width;
    height_ = height;
    // Sized for the deepest format, so a key frame may change the format freely.
    const size_t most = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    frame_.assign(most, 0);
    next_.assign(most, 0);
    raw_.assign(kPaletteBytes + VectorTableBytes(width, height, 1, 1) + most, 0);
    frameBytes_ = 0;
    started_ = true;
    return true;
}

DecodeResult Decoder::ReadKeyHeader(std::span<const uint8_t>& frame) {
    if (frame.size() < kKeyHeaderBytes)
        return DecodeResult::Truncated;
    const auto format = PixelFormatFromCode(frame[4]);
    if (frame[1] != kVersionHigh || frame[2] != kVersionLow ||
        (frame[3] != kCompressionNone && frame[3] != kCompressionDeflate) || !format ||
        frame[5] == 0 || frame[6] == 0)
        return DecodeResult::BadHeader;
    if (frame[3] == kCompressionDeflate && !inflater_.Reset())
        return DecodeResult::BadData;
    compression_ = frame[3];
    format_ = *format;
    blockWidth_ = frame[5];
    blockHeight_ = frame[6];
    frameBytes_ = static_cast<size_t>(width_) * static_cast<size_t>(height_) *
                  static_cast<size_t>(BytesPerPixel(format_));
    frame = frame.subspan(kKeyHeaderBytes);
    return DecodeResult::Ok;
}

DecodeResult Decoder::Decode(std::span<const uint8_t> frame) {
    if (!started_)
        return DecodeResult::NeedKeyFrame;
    if (frame.empty()) {
        lastKey_ = false;
        return haveKey_ ? DecodeResult::Ok : DecodeResult::NeedKeyFrame;
    }
    const uint8_t flags = frame[0];
    const bool key = flags & kKeyFrame;
    if (key) {
        haveKey_ = false;
        if (const DecodeResult r = ReadKeyHeader(frame); r != DecodeResult::Ok)
            return r;
    } else {
        if (!haveKey_)
            return DecodeResult::NeedKeyFrame;
        frame = frame.subspan(1);
    }

    std::span<const uint8_t> raw = frame;
    if (compression_ == kCompressionDeflate) {
        const int64_t n = inflater_.Decompress(frame, raw_);
        if (n < 0) {
            haveKey_ = false;
            return DecodeResult::BadData;
        }
        raw = std::span<const uint8_t>(raw_.data(), static_cast<size_t>(n));
    }

    DecodeResult result = DecodeResult::Ok;
    if (key) {
        const size_t paletteBytes = format_ == PixelFormat::Pal8 ? kPaletteBytes : 0;
        if (raw.size() < paletteBytes + frameBytes_)
            return DecodeResult::Truncated;
        std::copy_n(raw.begin(), paletteBytes, palette_.begin());
        std::copy_n(raw.begin() + static_cast<ptrdiff_t>(paletteBytes), frameBytes_,
                    frame_.begin());
    } else {
        result = ApplyDelta(raw, flags & kDeltaPalette);
    }
    haveKey_ = result == DecodeResult::Ok;
    lastKey_ = key && haveKey_;
    return result;
}

DecodeResult Decoder::ApplyDelta(std::span<const uint8_t> raw, bool deltaPalette) {
    size_t at = 0;
    Palette palette = palette_;
    if (deltaPalette && format_ == PixelFormat::Pal8) {
        if (raw.size() < kPaletteBytes)
            return DecodeResult::Truncated;
        for (size_t i = 0; i < kPaletteBytes; ++i)
            palette[i] ^= raw[i];
        at = kPaletteBytes;
    }
    const size_t vectors = at;
    at += VectorTableBytes(width_, height_, blockWidth_, blockHeight_);
    if (raw.size() < at)
        return DecodeResult::Truncated;

    const size_t bpp = static_cast<size_t>(BytesPerPixel(format_));
    const size_t rowBytes = static_cast<size_t>(width_) * bpp;
    size_t block = 0;
    for (int y = 0; y < height_; y += blockHeight_) {
        const int h = std::min(blockHeight_, height_ - y);
        for (int x = 0; x < width_; x += blockWidth_, ++block) {
            const int w = std::min(blockWidth_, width_ - x);
            const uint8_t v0 = raw[vectors + 2 * block], v1 = raw[vectors + 2 * block + 1];
            const bool hasXor = v0 & 1;
            const int dx = static_cast<int8_t>(v0) >> 1;
            const int dy = static_cast<int8_t>(v1) >> 1;
            // Copy the moved block; what lies outside the frame reads as zero.
            for (int j = 0; j < h; ++j) {
                uint8_t* out = next_.data() + static_cast<size_t>(y + j) * rowBytes +
                               static_cast<size_t>(x) * bpp;
                const int sy = y + j + dy;
                if (sy < 0 || sy >= height_) {
                    std::memset(out, 0, static_cast<size_t>(w) * bpp);
                    continue;
                }
                const int from = std::clamp(x + dx, 0, width_);
                const int to = std::clamp(x + dx + w, 0, width_);
                std::memset(out, 0, static_cast<size_t>(w) * bpp);
                if (from < to)
                    std::memcpy(out + static_cast<size_t>(from - x - dx) * bpp,
                                frame_.data() + static_cast<size_t>(sy) * rowBytes +
                                    static_cast<size_t>(from) * bpp,
                                static_cast<size_t>(to - from) * bpp);
            }
            if (!hasXor)
                continue;
            const size_t bytes = static_cast<size_t>(w) * bpp;
            if (raw.size() - at < bytes * static_cast<size_t>(h))
                return DecodeResult::Truncated;
            for (int j = 0; j < h; ++j) {
                uint8_t* out = next_.data() + static_cast<size_t>(y + j) * rowBytes +
                               static_cast<size_t>(x) * bpp;
                for (size_t i = 0; i < bytes; ++i)
                    out[i] ^= raw[at + i];
                at += bytes;
            }
        }
    }
    frame_.swap(next_);
    palette_ = palette;
    return DecodeResult::Ok;
}

} // namespace zmbv
