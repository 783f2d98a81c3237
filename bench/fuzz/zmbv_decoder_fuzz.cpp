// Feeds the ZMBV decoder streams of arbitrary frames, as a damaged or hostile movie would.
// Input: one byte each for the width and height (1 to 64), then frames, each a 16-bit
// little-endian length and that many bytes.

#include "codec/zmbv_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    zmbv::Decoder decoder;
    if (!decoder.Start(data[0] % 64 + 1, data[1] % 64 + 1))
        return 0;
    std::span<const uint8_t> rest(data + 2, size - 2);
    while (rest.size() >= 2) {
        const size_t length = std::min<size_t>(rest[0] | rest[1] << 8, rest.size() - 2);
        const auto frame = rest.subspan(2, length);
        if (decoder.Decode(frame) == zmbv::DecodeResult::Ok && decoder.HasFrame()) {
            // Touch every pixel the decoder claims to hold.
            volatile uint8_t sum = 0;
            for (const uint8_t b : decoder.Pixels())
                sum = sum + b;
        }
        rest = rest.subspan(2 + length);
    }
    return 0;
}
