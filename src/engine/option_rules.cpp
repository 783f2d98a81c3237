#include "engine/option_rules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace option_rules {

bool IsValidRate(double rate) noexcept {
    return std::isfinite(rate) && rate >= kMinRate && rate <= kMaxRate;
}

bool IsValidSize(int64_t v) noexcept {
    return v >= 1 && v <= std::numeric_limits<int32_t>::max();
}

bool IsValidPosition(int64_t v) noexcept {
    return v >= kMinPosition && v <= kMaxPosition;
}

int32_t ClampPosition(int64_t v) noexcept {
    return static_cast<int32_t>(std::clamp<int64_t>(v, kMinPosition, kMaxPosition));
}

bool IsValidKeyFrames(int64_t v) noexcept {
    return v >= kMinKeyFrames && v <= kMaxKeyFrames;
}

bool RatesAllowSound(double frameRate, double playbackRate) noexcept {
    return frameRate == playbackRate;
}

bool MovieHasSound(const RecordingOptions& o) noexcept {
    return o.RecordSound != 0 && RatesAllowSound(o.FrameRate, o.PlaybackRate);
}

bool IsValidFileName(std::string_view name) noexcept {
    if (name.empty() || name.size() > kMaxFileName)
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

uint32_t RateToThousandths(double rate) noexcept {
    if (!(rate > 0.0))
        return 0;
    const double scaled = rate * 1000.0 + 0.5;
    if (scaled >= 4294967295.0)
        return 4294967295u;
    return static_cast<uint32_t>(scaled);
}

double RateFromThousandths(uint32_t stored) noexcept {
    return stored * 0.001;
}

bool LoadRate(uint32_t stored, double& field) noexcept {
    const double rate = RateFromThousandths(stored);
    if (!IsValidRate(rate))
        return false;
    field = rate;
    return true;
}

int32_t TimerPeriodMs(double rate) noexcept {
    if (!IsValidRate(rate))
        return 0;
    // In whole thousandths, so that every build rounds a half alike (3.2 gives 313).
    const uint64_t thousandths = RateToThousandths(rate);
    if (thousandths == 0)
        return 0;
    return static_cast<int32_t>((uint64_t{1000000} + thousandths / 2) / thousandths);
}

int32_t NearestSampleRate(int32_t v) noexcept {
    if (v <= 8000)
        return 8000;
    if (v <= 11025)
        return 11025;
    if (v <= 22050)
        return 22050;
    return 44100;
}

int32_t NearestSampleSize(int32_t v) noexcept {
    return v < 16 ? 8 : 16;
}

bool SetStartX(RecordingOptions& o, int16_t v) noexcept {
    o.StartX = v;
    return true;
}

bool SetStartY(RecordingOptions& o, int16_t v) noexcept {
    o.StartY = v;
    return true;
}

bool SetWidth(RecordingOptions& o, int16_t v, bool busy) noexcept {
    if (busy || !IsValidSize(v))
        return false;
    o.Width = v;
    return true;
}

bool SetHeight(RecordingOptions& o, int16_t v, bool busy) noexcept {
    if (busy || !IsValidSize(v))
        return false;
    o.Height = v;
    return true;
}

bool SetFrameRate(RecordingOptions& o, double v, bool busy) noexcept {
    if (busy || !IsValidRate(v))
        return false;
    o.FrameRate = v;
    o.PlaybackRate = v;
    return true;
}

bool SetPlaybackRate(RecordingOptions& o, double v, bool busy) noexcept {
    if (busy || !IsValidRate(v))
        return false;
    o.PlaybackRate = v;
    return true;
}

bool SetFileName(RecordingOptions& o, std::string_view v, bool busy) {
    if (busy || !IsValidFileName(v))
        return false;
    o.FileName.assign(v);
    return true;
}

bool SetIncrementFileName(RecordingOptions& o, bool v, bool busy) noexcept {
    if (busy)
        return false;
    o.IncrementFileName = v ? 1 : 0;
    return true;
}

bool SetRecordSound(RecordingOptions& o, bool v, bool busy) noexcept {
    if (busy)
        return false;
    o.RecordSound = v ? 1 : 0;
    return true;
}

bool SetKeyFrames(RecordingOptions& o, int16_t v, bool busy) noexcept {
    if (busy || !IsValidKeyFrames(v))
        return false;
    o.KeyFrames = v;
    return true;
}

bool SetCompQuality(RecordingOptions& o, int16_t v, bool busy) noexcept {
    if (busy)
        return false;
    o.CompQuality = v;
    return true;
}

bool SetSoundSampSize(RecordingOptions& o, int16_t v, bool busy) noexcept {
    if (busy)
        return false;
    o.SoundSampSize = NearestSampleSize(v);
    return true;
}

bool SetSoundSampRate(RecordingOptions& o, int32_t v, bool busy) noexcept {
    if (busy)
        return false;
    o.SoundSampRate = NearestSampleRate(v);
    return true;
}

bool SetFlashRect(RecordingOptions& o, bool v, bool busy) noexcept {
    if (busy)
        return false;
    o.FlashRect = v ? 1 : 0;
    return true;
}

// Both are taken when a recording starts: the input hooks are installed for it or not.
bool SetHighlightClicks(RecordingOptions& o, bool v, bool busy) noexcept {
    if (busy)
        return false;
    o.HighlightClicks = v ? 1 : 0;
    return true;
}

bool IsValidShowKeys(int64_t v) noexcept {
    return v >= 0 && v <= 2;
}

bool SetShowKeys(RecordingOptions& o, int32_t v, bool busy) noexcept {
    if (busy || !IsValidShowKeys(v))
        return false;
    o.ShowKeys = v;
    return true;
}

} // namespace option_rules
