#pragma once
// One deflate or inflate stream that lives across many frames.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct z_stream_s;

namespace zmbv {

class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    [[nodiscard]] bool Reset();
    // Appends `in`, compressed and sync-flushed so that it decodes on its own, to `out`.
    [[nodiscard]] bool Compress(std::span<const uint8_t> in, std::vector<uint8_t>& out);

private:
    std::unique_ptr<z_stream_s> stream_;
    bool ready_ = false;
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
