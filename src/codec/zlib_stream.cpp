#include "codec/zlib_stream.h"

#include "codec/worker_pool.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace zmbv {

namespace {

constexpr size_t kWindowBytes = size_t{1} << 15;
// Below this a piece costs more to start than it saves.
constexpr size_t kMinPieceBytes = size_t{128} << 10;

} // namespace

Deflater::Deflater(int level, bool raw) : stream_(std::make_unique<z_stream_s>()) {
    ready_ = deflateInit2(stream_.get(), level, Z_DEFLATED, raw ? -15 : 15, 8,
                          Z_DEFAULT_STRATEGY) == Z_OK;
}

Deflater::~Deflater() {
    if (ready_)
        deflateEnd(stream_.get());
}

bool Deflater::Reset() {
    return ready_ && deflateReset(stream_.get()) == Z_OK;
}

bool Deflater::Restart(std::span<const uint8_t> dictionary) {
    if (!Reset())
        return false;
    return dictionary.empty() || deflateSetDictionary(stream_.get(), dictionary.data(),
                                                      static_cast<uInt>(dictionary.size())) == Z_OK;
}

bool Deflater::Compress(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
    if (!ready_ || in.size() > std::numeric_limits<uInt>::max())
        return false;
    z_stream_s& z = *stream_;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    size_t used = out.size();
    // A sync flush ends when it leaves spare room in the output, so grow until it does.
    for (;;) {
        const size_t room = std::max<size_t>(in.size() / 8 + 1024, out.size() - used);
        out.resize(used + room);
        z.next_out = out.data() + used;
        z.avail_out = static_cast<uInt>(room);
        const int rc = deflate(&z, Z_SYNC_FLUSH);
        used = out.size() - z.avail_out;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            out.resize(used);
            return false;
        }
        if (z.avail_out != 0 && z.avail_in == 0)
            break;
    }
    out.resize(used);
    return true;
}

SplitDeflater::SplitDeflater(int level, int pieces) : level_(level) {
    if (pieces <= 1) {
        whole_ = std::make_unique<Deflater>(level);
        return;
    }
    for (int i = 0; i < pieces; ++i)
        pieces_.push_back(std::make_unique<Deflater>(level, true));
    outputs_.resize(pieces_.size());
}

bool SplitDeflater::Reset() {
    fresh_ = true;
    return !whole_ || whole_->Reset();
}

bool SplitDeflater::Compress(std::span<const uint8_t> in, std::vector<uint8_t>& out,
                             WorkerPool& pool) {
    if (whole_)
        return whole_->Compress(in, out);
    if (fresh_) {
        // The zlib header a one-piece stream would start with; its level bits are only a hint.
        const uint8_t cmf = 0x78;
        const uint8_t level = level_ < 2 ? 0 : level_ < 6 ? 1 : level_ == 6 ? 2 : 3;
        uint8_t flg = static_cast<uint8_t>(level << 6);
        flg = static_cast<uint8_t>(flg + 31 - (cmf * 256 + flg) % 31);
        out.push_back(cmf);
        out.push_back(flg);
        history_.clear();
        fresh_ = false;
    }
    const size_t count = std::clamp<size_t>(in.size() / kMinPieceBytes, 1, pieces_.size());
    const size_t each = in.size() / count;
    const auto pieceAt = [&](size_t i) {
        return in.subspan(i * each, i + 1 == count ? in.size() - i * each : each);
    };
    std::vector<char> compressed(count, 0);
    const bool ran = pool.Run(count, [&](size_t i) {
        std::span<const uint8_t> dictionary;
        if (i == 0)
            dictionary = history_;
        else
            dictionary = in.subspan(i * each - std::min(i * each, kWindowBytes),
                                    std::min(i * each, kWindowBytes));
        std::vector<uint8_t>& piece = outputs_[i];
        piece.clear();
        compressed[i] = pieces_[i]->Restart(dictionary) && pieces_[i]->Compress(pieceAt(i), piece);
    });
    if (!ran || std::find(compressed.begin(), compressed.end(), 0) != compressed.end()) {
        fresh_ = true; // what follows cannot refer back to a broken piece
        return false;
    }
    for (size_t i = 0; i < count; ++i)
        out.insert(out.end(), outputs_[i].begin(), outputs_[i].end());
    // The first piece of a frame whose data is shorter than the window still reaches back
    // into the frames before it.
    if (in.size() >= kWindowBytes) {
        history_.assign(in.end() - kWindowBytes, in.end());
    } else {
        history_.insert(history_.end(), in.begin(), in.end());
        if (history_.size() > kWindowBytes)
            history_.erase(history_.begin(), history_.end() - static_cast<ptrdiff_t>(kWindowBytes));
    }
    return true;
}

Inflater::Inflater() : stream_(std::make_unique<z_stream_s>()) {
    ready_ = inflateInit(stream_.get()) == Z_OK;
}

Inflater::~Inflater() {
    if (ready_)
        inflateEnd(stream_.get());
}

bool Inflater::Reset() {
    return ready_ && inflateReset(stream_.get()) == Z_OK;
}

int64_t Inflater::Decompress(std::span<const uint8_t> in, std::span<uint8_t> out) {
    if (!ready_ || in.size() > std::numeric_limits<uInt>::max() ||
        out.size() > std::numeric_limits<uInt>::max())
        return -1;
    z_stream_s& z = *stream_;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && in.empty()))
        return -1;
    // Input left over means the frame inflates to more than any frame can hold.
    if (z.avail_in != 0)
        return -1;
    return static_cast<int64_t>(out.size() - z.avail_out);
}

} // namespace zmbv
