#include "codec/zmbv_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace zmbv {

namespace {

// Enough sampled blocks to outvote noise, few enough to cost well under a millisecond.
constexpr size_t kMotionSamples = 192;

template <typename Pixel>
size_t CountDifferent(const uint8_t* a, const uint8_t* b, int w, int h, size_t stride,
                      size_t limit) {
    size_t count = 0;
    for (int j = 0; j < h && count < limit; ++j, a += stride, b += stride) {
        for (int i = 0; i < w; ++i) {
            Pixel pa, pb;
            std::memcpy(&pa, a + i * sizeof(Pixel), sizeof(Pixel));
            std::memcpy(&pb, b + i * sizeof(Pixel), sizeof(Pixel));
            count += pa != pb;
        }
    }
    return count;
}

// A word at a time and inlined: the C library's memcmp is a call into a DLL whose speed
// depends on the host.
bool BytesEqual(const uint8_t* a, const uint8_t* b, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return false;
    }
    for (; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

void XorBytes(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        x ^= y;
        std::memcpy(out + i, &x, 8);
    }
    for (; i < n; ++i)
        out[i] = static_cast<uint8_t>(a[i] ^ b[i]);
}

} // namespace

std::optional<PixelFormat> StreamFormatFor(int bitsPerPixel, bool rgb565) noexcept {
    switch (bitsPerPixel) {
    case 8:
        return PixelFormat::Pal8;
    case 16:
        return rgb565 ? PixelFormat::Rgb565 : PixelFormat::Rgb555;
    case 24:
    case 32:
        return PixelFormat::Bgr32;
    default:
        return std::nullopt;
    }
}

bool Encoder::Start(int width, int height, PixelFormat format, int level, int threads) {
    started_ = false;
    if (!ValidFrameSize(width, height) || level < 0 || level > 9 || threads < 1)
        return false;
    width_ = width;
    height_ = height;
    format_ = format;
    bpp_ = BytesPerPixel(format);
    rowBytes_ = static_cast<size_t>(width) * bpp_;
    const size_t frameBytes = rowBytes_ * static_cast<size_t>(height);
    cur_.assign(frameBytes, 0);
    prev_.assign(frameBytes, 0);
    raw_.clear();
    raw_.reserve(kPaletteBytes + VectorTableBytes(width, height, kBlockSize, kBlockSize) +
                 frameBytes);
    // A few bands per thread even out their cost: one may hold all of a frame's change.
    const int rows = (height + kBlockSize - 1) / kBlockSize;
    const int bands = threads == 1 ? 1 : std::min(rows, threads * 3);
    bands_.assign(static_cast<size_t>(bands), {});
    for (int i = 0; i < bands; ++i) {
        bands_[static_cast<size_t>(i)].firstRow = rows * i / bands;
        bands_[static_cast<size_t>(i)].endRow = rows * (i + 1) / bands;
    }
    if (!pool_ || pool_->Threads() != threads)
        pool_ = std::make_unique<WorkerPool>(threads);
    deflater_ = std::make_unique<SplitDeflater>(level, threads);
    palette_ = {};
    havePrevious_ = false;
    lastCommon_ = {};
    started_ = true;
    return true;
}

size_t Encoder::MaxFrameBytes() const noexcept {
    const size_t raw = kPaletteBytes + VectorTableBytes(width_, height_, kBlockSize, kBlockSize) +
                       rowBytes_ * static_cast<size_t>(height_);
    // Stored deflate blocks add 5 bytes per 16 KiB at worst, plus the flush markers.
    return kKeyHeaderBytes + raw + raw / 1024 + 64;
}

void Encoder::LoadRows(const InputFrame& in, int firstRow, int endRow) {
    const int y0 = firstRow * kBlockSize, y1 = std::min(height_, endRow * kBlockSize);
    const uint8_t* src = in.top + in.stride * y0;
    uint8_t* dst = cur_.data() + rowBytes_ * static_cast<size_t>(y0);
    for (int y = y0; y < y1; ++y, src += in.stride, dst += rowBytes_) {
        if (in.bitsPerPixel == 24) {
            for (int x = 0; x < width_; ++x) {
                dst[x * 4] = src[x * 3];
                dst[x * 4 + 1] = src[x * 3 + 1];
                dst[x * 4 + 2] = src[x * 3 + 2];
                dst[x * 4 + 3] = 0;
            }
        } else {
            std::memcpy(dst, src, rowBytes_);
        }
    }
}

bool Encoder::Encode(const InputFrame& in, bool forceKey, std::vector<uint8_t>& out) {
    out.clear();
    if (!started_ || in.top == nullptr)
        return false;
    const bool fits = format_ == PixelFormat::Pal8 ? in.bitsPerPixel == 8 && in.palette != nullptr
                      : format_ == PixelFormat::Bgr32
                          ? in.bitsPerPixel == 24 || in.bitsPerPixel == 32
                          : in.bitsPerPixel == 16;
    if (!fits)
        return false;
    lastKey_ = forceKey || !havePrevious_;
    raw_.clear();
    bool ok = true;
    if (lastKey_) {
        out.push_back(kKeyFrame);
        out.insert(out.end(),
                   {kVersionHigh, kVersionLow, kCompressionDeflate, static_cast<uint8_t>(format_),
                    static_cast<uint8_t>(kBlockSize), static_cast<uint8_t>(kBlockSize)});
        ok = deflater_->Reset() && pool_->Run(bands_.size(), [&](size_t i) {
            LoadRows(in, bands_[i].firstRow, bands_[i].endRow);
        });
        EncodeKey(in);
    } else {
        const bool newPalette = format_ == PixelFormat::Pal8 && *in.palette != palette_;
        out.push_back(newPalette ? kDeltaPalette : 0);
        ok = EncodeDelta(in);
    }
    if (!ok || !deflater_->Compress(raw_, out, *pool_)) {
        // The stream is broken for whatever follows: start again with a key frame.
        havePrevious_ = false;
        out.clear();
        return false;
    }
    if (in.palette)
        palette_ = *in.palette;
    cur_.swap(prev_);
    havePrevious_ = true;
    return true;
}

void Encoder::EncodeKey(const InputFrame& in) {
    if (format_ == PixelFormat::Pal8)
        raw_.insert(raw_.end(), in.palette->begin(), in.palette->end());
    raw_.insert(raw_.end(), cur_.begin(), cur_.end());
}

bool Encoder::Inside(int x, int y, int w, int h, Vector v) const {
    return x + v.dx >= 0 && y + v.dy >= 0 && x + v.dx + w <= width_ && y + v.dy + h <= height_;
}

bool Encoder::BlockEqual(int x, int y, int w, int h, Vector v) const {
    const uint8_t* a =
        cur_.data() + static_cast<size_t>(y) * rowBytes_ + static_cast<size_t>(x) * bpp_;
    const uint8_t* b = prev_.data() + static_cast<size_t>(y + v.dy) * rowBytes_ +
                       static_cast<size_t>(x + v.dx) * bpp_;
    const size_t bytes = static_cast<size_t>(w) * bpp_;
    for (int j = 0; j < h; ++j, a += rowBytes_, b += rowBytes_)
        if (!BytesEqual(a, b, bytes))
            return false;
    return true;
}

size_t Encoder::BlockDifference(int x, int y, int w, int h, Vector v, size_t limit) const {
    const uint8_t* a =
        cur_.data() + static_cast<size_t>(y) * rowBytes_ + static_cast<size_t>(x) * bpp_;
    const uint8_t* b = prev_.data() + static_cast<size_t>(y + v.dy) * rowBytes_ +
                       static_cast<size_t>(x + v.dx) * bpp_;
    switch (bpp_) {
    case 1:
        return CountDifferent<uint8_t>(a, b, w, h, rowBytes_, limit);
    case 2:
        return CountDifferent<uint16_t>(a, b, w, h, rowBytes_, limit);
    default:
        return CountDifferent<uint32_t>(a, b, w, h, rowBytes_, limit);
    }
}

// Votes, over a sample of the changed blocks, for the vertical and the horizontal shift that
// brings one of each block's rows back from the previous frame: a scroll moves most blocks by
// the same amount, so its shift collects the most votes.
void Encoder::FindGlobalMotion() {
    scroll_ = sideways_ = {};
    if (changedBlocks_.size() < 2)
        return;
    std::array<uint32_t, 2 * kMaxVector + 1> votesY{}, votesX{};
    const int columns = (width_ + kBlockSize - 1) / kBlockSize;
    const size_t step = std::max<size_t>(1, changedBlocks_.size() / kMotionSamples);
    for (size_t i = 0; i < changedBlocks_.size(); i += step) {
        const int x = static_cast<int>(changedBlocks_[i] % columns) * kBlockSize;
        const int y = static_cast<int>(changedBlocks_[i] / columns) * kBlockSize;
        const int w = std::min(kBlockSize, width_ - x);
        const int h = std::min(kBlockSize, height_ - y);
        const size_t bytes = static_cast<size_t>(w) * bpp_;
        // A row of one colour matches everywhere: take one with some detail.
        int row = -1;
        for (int k = 0; k < h && row < 0; ++k) {
            const int r = y + (h / 2 + k) % h;
            const uint8_t* seg = cur_.data() + r * rowBytes_ + static_cast<size_t>(x) * bpp_;
            if (w > 1 && !BytesEqual(seg, seg + bpp_, bytes - bpp_))
                row = r;
        }
        if (row < 0)
            continue;
        const uint8_t* seg = cur_.data() + row * rowBytes_ + static_cast<size_t>(x) * bpp_;
        for (int d = -kMaxVector; d <= kMaxVector; ++d) {
            if (d == 0)
                continue;
            const int yy = row + d;
            if (yy >= 0 && yy < height_ &&
                BytesEqual(seg, prev_.data() + yy * rowBytes_ + static_cast<size_t>(x) * bpp_,
                           bytes))
                ++votesY[d + kMaxVector];
            const int xx = x + d;
            if (xx >= 0 && xx + w <= width_ &&
                BytesEqual(seg, prev_.data() + row * rowBytes_ + static_cast<size_t>(xx) * bpp_,
                           bytes))
                ++votesX[d + kMaxVector];
        }
    }
    const auto best = [](const auto& votes) {
        const auto it = std::max_element(votes.begin(), votes.end());
        return *it >= 2 ? static_cast<int>(it - votes.begin()) - kMaxVector : 0;
    };
    scroll_ = {0, best(votesY)};
    sideways_ = {best(votesX), 0};
}

void Encoder::FindChanged(Band& band) const {
    const int columns = (width_ + kBlockSize - 1) / kBlockSize;
    band.changed.clear();
    for (int by = band.firstRow; by < band.endRow; ++by)
        for (int bx = 0; bx < columns; ++bx) {
            const int x = bx * kBlockSize, y = by * kBlockSize;
            if (!BlockEqual(x, y, std::min(kBlockSize, width_ - x),
                            std::min(kBlockSize, height_ - y), {}))
                band.changed.push_back(static_cast<uint32_t>(by * columns + bx));
        }
}

// Chooses each changed block's vector and XORs what no vector brings back exactly. Bands touch
// only their own blocks' entries of the vector table.
void Encoder::EncodeBand(Band& band, const std::array<Vector, kCandidates>& candidates,
                         uint8_t* vectors) const {
    const int columns = (width_ + kBlockSize - 1) / kBlockSize;
    band.xorData.clear();
    band.uses = {};
    for (const uint32_t block : band.changed) {
        const int x = static_cast<int>(block % columns) * kBlockSize;
        const int y = static_cast<int>(block / columns) * kBlockSize;
        const int w = std::min(kBlockSize, width_ - x);
        const int h = std::min(kBlockSize, height_ - y);
        Vector chosen{};
        bool exact = false;
        for (size_t c = 0; c < candidates.size() && !exact; ++c) {
            const Vector v = candidates[c];
            if (v != Vector{} && Inside(x, y, w, h, v) && BlockEqual(x, y, w, h, v)) {
                chosen = v;
                exact = true;
                ++band.uses[c];
            }
        }
        if (!exact) {
            // Nothing moved here exactly: XOR against whichever source differs least.
            size_t fewest = BlockDifference(x, y, w, h, {}, std::numeric_limits<size_t>::max());
            for (const Vector v : candidates) {
                if (v == Vector{} || v == chosen || !Inside(x, y, w, h, v))
                    continue;
                const size_t d = BlockDifference(x, y, w, h, v, fewest);
                if (d < fewest) {
                    fewest = d;
                    chosen = v;
                }
            }
        }
        uint8_t* vec = vectors + 2 * block;
        vec[0] = static_cast<uint8_t>((chosen.dx * 2) | (exact ? 0 : 1));
        vec[1] = static_cast<uint8_t>(chosen.dy * 2);
        if (exact)
            continue;
        const uint8_t* a =
            cur_.data() + static_cast<size_t>(y) * rowBytes_ + static_cast<size_t>(x) * bpp_;
        const uint8_t* b = prev_.data() + static_cast<size_t>(y + chosen.dy) * rowBytes_ +
                           static_cast<size_t>(x + chosen.dx) * bpp_;
        const size_t bytes = static_cast<size_t>(w) * bpp_;
        const size_t at = band.xorData.size();
        band.xorData.resize(at + bytes * static_cast<size_t>(h));
        uint8_t* out = band.xorData.data() + at;
        for (int j = 0; j < h; ++j, a += rowBytes_, b += rowBytes_, out += bytes)
            XorBytes(a, b, out, bytes);
    }
}

bool Encoder::EncodeDelta(const InputFrame& in) {
    if (format_ == PixelFormat::Pal8 && *in.palette != palette_)
        for (size_t i = 0; i < kPaletteBytes; ++i)
            raw_.push_back(static_cast<uint8_t>((*in.palette)[i] ^ palette_[i]));
    const size_t vectorsAt = raw_.size();
    raw_.resize(vectorsAt + VectorTableBytes(width_, height_, kBlockSize, kBlockSize), 0);

    if (!pool_->Run(bands_.size(), [&](size_t i) {
            LoadRows(in, bands_[i].firstRow, bands_[i].endRow);
            FindChanged(bands_[i]);
        }))
        return false;
    changedBlocks_.clear();
    for (const Band& band : bands_)
        changedBlocks_.insert(changedBlocks_.end(), band.changed.begin(), band.changed.end());
    if (changedBlocks_.empty())
        return true;
    FindGlobalMotion();

    const std::array<Vector, kCandidates> candidates{scroll_, sideways_, lastCommon_};
    uint8_t* vectors = raw_.data() + vectorsAt;
    if (!pool_->Run(bands_.size(), [&](size_t i) { EncodeBand(bands_[i], candidates, vectors); }))
        return false;
    std::array<uint32_t, kCandidates> uses{};
    for (const Band& band : bands_) {
        raw_.insert(raw_.end(), band.xorData.begin(), band.xorData.end());
        for (size_t c = 0; c < kCandidates; ++c)
            uses[c] += band.uses[c];
    }
    // A window dragged keeps moving by about the same amount: offer its vector next frame.
    const auto most = std::max_element(uses.begin(), uses.end());
    if (*most > 0)
        lastCommon_ = candidates[static_cast<size_t>(most - uses.begin())];
    return true;
}

} // namespace zmbv
