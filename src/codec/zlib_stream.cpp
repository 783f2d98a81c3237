#include "codec/zlib_stream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace zmbv {

Deflater::Deflater(int level) : stream_(std::make_unique<z_stream_s>()) {
    ready_ = deflateInit(stream_.get(), level) == Z_OK;
}

Deflater::~Deflater() {
    if (ready_)
        deflateEnd(stream_.get());
}

bool Deflater::Reset() {
    return ready_ && deflateReset(stream_.get()) == Z_OK;
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
