#include "sound/wave_format.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int32_t kSamplesPerBuffer = 2048;
constexpr int32_t kBaseRate = 11025;

uint32_t Read(const std::array<uint8_t, kPcmFormatBytes>& bytes, std::size_t at, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

void Write(std::array<uint8_t, kPcmFormatBytes>& bytes, std::size_t at, int width, uint32_t v) {
    for (int i = 0; i < width; ++i)
        bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

bool IsSupportedWaveFormat(int32_t rate, int32_t bits) noexcept {
    const bool rateOk = rate == 8000 || rate == 11025 || rate == 22050 || rate == 44100;
    return rateOk && (bits == 8 || bits == 16);
}

std::optional<PcmFormat> MonoPcmFormat(int32_t rate, int32_t bits) noexcept {
    if (!IsSupportedWaveFormat(rate, bits))
        return std::nullopt;
    PcmFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = 1;
    f.samplesPerSec = static_cast<uint32_t>(rate);
    f.blockAlign = static_cast<uint16_t>(bits / 8);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    f.bitsPerSample = static_cast<uint16_t>(bits);
    return f;
}

bool IsUsablePcmFormat(const PcmFormat& format) noexcept {
    const auto expected = MonoPcmFormat(static_cast<int32_t>(format.samplesPerSec & 0x7FFFFFFF),
                                        format.bitsPerSample);
    return expected && *expected == format;
}

std::array<uint8_t, kPcmFormatBytes> EncodePcmFormat(const PcmFormat& format) noexcept {
    std::array<uint8_t, kPcmFormatBytes> bytes{};
    Write(bytes, 0, 2, format.formatTag);
    Write(bytes, 2, 2, format.channels);
    Write(bytes, 4, 4, format.samplesPerSec);
    Write(bytes, 8, 4, format.avgBytesPerSec);
    Write(bytes, 12, 2, format.blockAlign);
    Write(bytes, 14, 2, format.bitsPerSample);
    return bytes;
}

PcmFormat DecodePcmFormat(const std::array<uint8_t, kPcmFormatBytes>& bytes) noexcept {
    PcmFormat f;
    f.formatTag = static_cast<uint16_t>(Read(bytes, 0, 2));
    f.channels = static_cast<uint16_t>(Read(bytes, 2, 2));
    f.samplesPerSec = Read(bytes, 4, 4);
    f.avgBytesPerSec = Read(bytes, 8, 4);
    f.blockAlign = static_cast<uint16_t>(Read(bytes, 12, 2));
    f.bitsPerSample = static_cast<uint16_t>(Read(bytes, 14, 2));
    return f;
}

int32_t CaptureBufferBytes(const PcmFormat& format) noexcept {
    const int32_t multiple = std::max<int32_t>(1, format.samplesPerSec / kBaseRate);
    const int32_t sampleBytes = std::max<int32_t>(1, format.bitsPerSample / 8);
    return multiple * sampleBytes * kSamplesPerBuffer;
}

int32_t SamplesInBytes(uint32_t bytes, const PcmFormat& format) noexcept {
    const uint32_t sampleBytes = std::max<uint32_t>(1, format.bitsPerSample / 8u);
    return static_cast<int32_t>(std::min<uint32_t>(bytes / sampleBytes, INT32_MAX));
}

uint8_t SilenceByte(const PcmFormat& format) noexcept {
    return format.bitsPerSample == 8 ? 0x80 : 0x00;
}

SilenceFrame SilenceForFrame(const PcmFormat& format, double playbackRate) noexcept {
    SilenceFrame silence;
    silence.fill = SilenceByte(format);
    if (!(playbackRate > 0))
        return silence;
    // A frame's share in whole thousandths of a frame a second where it can be: the 32-bit
    // build's floating point keeps extra digits, and 22050 / 4.9 cut to an integer gave 4499.
    const double thousandths = std::round(playbackRate * 1000.0);
    const double samples = thousandths >= 1.0 && thousandths <= 1e12
                               ? static_cast<double>(uint64_t{format.samplesPerSec} * 1000 /
                                                     static_cast<uint64_t>(thousandths))
                               : std::trunc(format.samplesPerSec / playbackRate);
    if (!(samples >= 0) || samples > std::numeric_limits<int32_t>::max())
        return silence;
    silence.samples = static_cast<int32_t>(samples);
    silence.bytes =
        static_cast<int64_t>(silence.samples) * std::max<uint16_t>(1, format.blockAlign);
    return silence;
}

int64_t SampleAtFrame(const PcmFormat& format, double playbackRate, int64_t frame) noexcept {
    const double thousandths = std::round(playbackRate * 1000.0);
    if (!(thousandths >= 1.0 && thousandths <= 1e12) || frame <= 0)
        return 0;
    // 128-bit-free: frames below 2^32 times rates below 2^18 and 1000 stay within 63 bits.
    const auto per = static_cast<uint64_t>(thousandths);
    const auto f = static_cast<uint64_t>(std::min<int64_t>(frame, int64_t{1} << 32));
    return static_cast<int64_t>(f * format.samplesPerSec * 1000 / per);
}
