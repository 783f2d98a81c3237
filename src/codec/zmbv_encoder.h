#pragma once
// Encodes a sequence of screen frames as a ZMBV stream.
//
// Screens barely change between frames, so the encoder looks for unchanged blocks first, then
// for the one motion a scroll gives the whole frame (found once per frame), and only XORs what
// is left. The deflate level trades size for speed; the writer thread has to keep up. With more
// than one thread, the frame is split into bands of block rows that are compared and XORed side
// by side (the same bytes as one thread makes), and the deflate into pieces (a stream that
// inflates to the same bytes).

#include "codec/worker_pool.h"
#include "codec/zlib_stream.h"
#include "codec/zmbv.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace zmbv {

// One frame as the caller holds it: `top` is the first byte of the top row and `stride` the
// distance to the next row down (negative for a bottom-up DIB). `bitsPerPixel` is 8 (with a
// palette), 16 or 32 for the stream's own format, or 24, widened to 32.
struct InputFrame {
    const uint8_t* top = nullptr;
    ptrdiff_t stride = 0;
    int bitsPerPixel = 0;
    const Palette* palette = nullptr;
};

// How an input depth is stored: 16 bits as 5-5-5 unless `rgb565`.
std::optional<PixelFormat> StreamFormatFor(int bitsPerPixel, bool rgb565 = false) noexcept;

inline constexpr int kDefaultLevel = 4;

class Encoder {
public:
    // Returns false when the size or format cannot be encoded. `threads` counts the caller's.
    [[nodiscard]] bool Start(int width, int height, PixelFormat format, int level = kDefaultLevel,
                             int threads = 1);

    // Encodes the next frame into `out` (replacing its contents). The first frame, and any frame
    // after `forceKey`, is a key frame. Returns false on a frame that does not fit the stream.
    [[nodiscard]] bool Encode(const InputFrame& in, bool forceKey, std::vector<uint8_t>& out);

    bool LastWasKey() const noexcept { return lastKey_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    PixelFormat Format() const noexcept { return format_; }
    // Upper bound of one encoded frame, for the stream's buffer size.
    size_t MaxFrameBytes() const noexcept;

private:
    struct Vector {
        int dx = 0, dy = 0;
        bool operator==(const Vector&) const = default;
    };
    static constexpr size_t kCandidates = 3;
    // Rows of blocks [firstRow, endRow) and what the encoder found in them.
    struct Band {
        int firstRow = 0, endRow = 0;
        std::vector<uint32_t> changed;
        std::vector<uint8_t> xorData;
        std::array<uint32_t, kCandidates> uses{};
    };
    void LoadRows(const InputFrame& in, int firstRow, int endRow);
    void FindChanged(Band& band) const;
    void EncodeBand(Band& band, const std::array<Vector, kCandidates>& candidates,
                    uint8_t* vectors) const;
    void EncodeKey(const InputFrame& in);
    [[nodiscard]] bool EncodeDelta(const InputFrame& in);
    void FindGlobalMotion();
    bool BlockEqual(int x, int y, int w, int h, Vector v) const;
    size_t BlockDifference(int x, int y, int w, int h, Vector v, size_t limit) const;
    bool Inside(int x, int y, int w, int h, Vector v) const;

    int width_ = 0, height_ = 0, bpp_ = 0;
    PixelFormat format_ = PixelFormat::Bgr32;
    size_t rowBytes_ = 0;
    std::unique_ptr<SplitDeflater> deflater_; // a piece per thread
    std::unique_ptr<WorkerPool> pool_;
    std::vector<Band> bands_;
    std::vector<uint8_t> cur_, prev_, raw_;
    Palette palette_{};
    bool started_ = false, havePrevious_ = false, lastKey_ = false;
    std::vector<uint32_t> changedBlocks_;
    Vector scroll_, sideways_, lastCommon_;
};

} // namespace zmbv
