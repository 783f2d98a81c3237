#pragma once
// One deflate or inflate stream that lives across many frames.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct z_stream_s;

namespace zmbv {

class WorkerPool;

class Deflater {
public:
    // A zlib stream, or with `raw` bare deflate data without the zlib header.
    explicit Deflater(int level, bool raw = false);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    [[nodiscard]] bool Reset();
    // Starts over as if `dictionary` had just been compressed (raw streams only).
    [[nodiscard]] bool Restart(std::span<const uint8_t> dictionary);
    // Appends `in`, compressed and sync-flushed so that it decodes on its own, to `out`.
    [[nodiscard]] bool Compress(std::span<const uint8_t> in, std::vector<uint8_t>& out);

private:
    std::unique_ptr<z_stream_s> stream_;
    bool ready_ = false;
};

// One deflate stream written in pieces side by side. Each piece is compressed on its own with
// the 32 KiB before it as its dictionary and ends on a sync flush, on a byte boundary with no
// final block, so the pieces join into a stream any inflater reads as one: a little larger than
// one deflater's, and as many times faster as there are threads. With one piece it is one
// deflater's stream, byte for byte.
class SplitDeflater {
public:
    SplitDeflater(int level, int pieces);

    // The next Compress starts a new zlib stream.
    [[nodiscard]] bool Reset();
    [[nodiscard]] bool Compress(std::span<const uint8_t> in, std::vector<uint8_t>& out,
                                WorkerPool& pool);

private:
    std::unique_ptr<Deflater> whole_; // one piece
    std::vector<std::unique_ptr<Deflater>> pieces_;
    std::vector<std::vector<uint8_t>> outputs_;
    std::vector<uint8_t> history_; // the last bytes of the stream so far, up to the window
    int level_;
    bool fresh_ = true;
};

class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    [[nodiscard]] bool Reset();
    // Inflates all of `in` into `out`; returns the bytes written, or -1 when the data is corrupt
    // or would not fit in `out`.
    [[nodiscard]] int64_t Decompress(std::span<const uint8_t> in, std::span<uint8_t> out);

private:
    std::unique_ptr<z_stream_s> stream_;
    bool ready_ = false;
};

} // namespace zmbv
