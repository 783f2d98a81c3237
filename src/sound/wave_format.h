#pragma once

// The format sound is captured in and the arithmetic built on it: which rates and depths are
// recorded, how long the capture buffers are, how many samples a buffer holds, and what one
// video frame of silence is. Always mono PCM.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The platform's 16-byte PCM wave format, field for field.
struct PcmFormat {
    uint16_t formatTag = 1; // PCM
    uint16_t channels = 1;
    uint32_t samplesPerSec = 11025;
    uint32_t avgBytesPerSec = 11025;
    uint16_t blockAlign = 1;
    uint16_t bitsPerSample = 8;

    bool operator==(const PcmFormat&) const = default;
};

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr std::size_t kPcmFormatBytes = 16;
// Capture buffers per device: while capture runs, this many stay with the device.
inline constexpr int kCaptureBuffers = 8;

// 8000, 11025, 22050 or 44100 samples a second at 8 or 16 bits.
[[nodiscard]] bool IsSupportedWaveFormat(int32_t rate, int32_t bits) noexcept;
// Mono PCM at a supported rate and depth; empty for anything else.
[[nodiscard]] std::optional<PcmFormat> MonoPcmFormat(int32_t rate, int32_t bits) noexcept;
// Mono PCM at a supported rate and depth with its derived fields consistent.
[[nodiscard]] bool IsUsablePcmFormat(const PcmFormat& format) noexcept;

// The 16 bytes the platform lays the format out in (little-endian).
[[nodiscard]] std::array<uint8_t, kPcmFormatBytes>
EncodePcmFormat(const PcmFormat& format) noexcept;
[[nodiscard]] PcmFormat DecodePcmFormat(const std::array<uint8_t, kPcmFormatBytes>& bytes) noexcept;

// Bytes of each capture buffer: 2048 samples, times the rate's multiple of 11025 (at least 1),
// so that a buffer lasts about 186 ms (256 ms at 8000).
[[nodiscard]] int32_t CaptureBufferBytes(const PcmFormat& format) noexcept;
// Whole samples in `bytes` of recorded data.
[[nodiscard]] int32_t SamplesInBytes(uint32_t bytes, const PcmFormat& format) noexcept;

// The value of a silent sample's bytes: 0x80 for unsigned 8-bit sound, 0 for signed 16-bit.
[[nodiscard]] uint8_t SilenceByte(const PcmFormat& format) noexcept;

// One video frame's worth of silence: rate / playbackRate samples (truncated), in the format's
// own sample size, so it always matches the stream it goes into.
struct SilenceFrame {
    int32_t samples = 0;
    int64_t bytes = 0;
    uint8_t fill = 0x80; // unsigned 8-bit silence; 16-bit silence is 0
};
[[nodiscard]] SilenceFrame SilenceForFrame(const PcmFormat& format, double playbackRate) noexcept;

// The sample of the sound stream that plays with video frame `frame` (from 0) at `playbackRate`
// frames a second: where a run of sound whose picture begins at that frame must begin. Exact for
// rates in whole thousandths, so pauses of any number never add up to a drift; 0 for a rate that
// is not one.
[[nodiscard]] int64_t SampleAtFrame(const PcmFormat& format, double playbackRate,
                                    int64_t frame) noexcept;
