#pragma once
// Decodes a ZMBV stream, ours or another program's. Every size and vector in a frame is checked
// against the frame before it is used: a malformed frame is refused, and the decoder then waits
// for the next key frame.

#include "codec/zlib_stream.h"
#include "codec/zmbv.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zmbv {

enum class DecodeResult {
    Ok,
    NeedKeyFrame, // a delta frame without a good key frame before it
    BadHeader,    // unknown version, compression, format or block size
    BadData,      // the deflate data is corrupt or inflates to too much
    Truncated,    // the frame holds less than its header and vectors promise
};
std::string_view DecodeResultText(DecodeResult r) noexcept;

class Decoder {
public:
    // Returns false when the size cannot be decoded.
    [[nodiscard]] bool Start(int width, int height);

    // An empty frame repeats the previous one.
    [[nodiscard]] DecodeResult Decode(std::span<const uint8_t> frame);

    // The last good frame, top row first, rows of Width() x BytesPerPixel(Format()) bytes.
    std::span<const uint8_t> Pixels() const noexcept { return {frame_.data(), frameBytes_}; }
    const Palette& PaletteRgb() const noexcept { return palette_; }
    PixelFormat Format() const noexcept { return format_; }
    bool HasFrame() const noexcept { return haveKey_; }
    bool LastWasKey() const noexcept { return lastKey_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }

private:
    DecodeResult ReadKeyHeader(std::span<const uint8_t>& frame);
    DecodeResult ApplyDelta(std::span<const uint8_t> raw, bool deltaPalette);

    int width_ = 0, height_ = 0;
    int blockWidth_ = 0, blockHeight_ = 0, compression_ = 0;
    PixelFormat format_ = PixelFormat::Bgr32;
    size_t frameBytes_ = 0;
    Inflater inflater_;
    std::vector<uint8_t> frame_, next_, raw_;
    Palette palette_{};
    bool started_ = false, haveKey_ = false, lastKey_ = false;
};

} // namespace zmbv
