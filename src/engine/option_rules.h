#pragma once
// Rules every path that changes the options goes through (automation, pages, registry, command
// line): values the engine cannot work with are refused and the field keeps its last good value.

#include "engine/recording_options.h"

#include <cstdint>
#include <string_view>

namespace option_rules {

// Rates are stored in thousandths, so anything finer cannot survive a save; the 1 ms timer
// resolution bounds the top.
inline constexpr double kMinRate = 0.001;
inline constexpr double kMaxRate = 1000.0;
// Names are kept in MAX_PATH-sized buffers by the platform, terminator included.
inline constexpr std::size_t kMaxFileName = 259;
// The region's left and top edges: what a 16-bit coordinate holds, as the automation interface
// passes them. Far more than any screen, and far enough from the 32-bit limits that adding a
// size and the flashing frame's margin cannot overflow.
inline constexpr int32_t kMinPosition = -32768;
inline constexpr int32_t kMaxPosition = 32767;
// A key frame every this many frames; 0 leaves it to the compressor.
inline constexpr int32_t kMinKeyFrames = 0;
inline constexpr int32_t kMaxKeyFrames = 100;

bool IsValidRate(double rate) noexcept;
// At least one pixel, and a width or height a 32-bit field holds.
bool IsValidSize(int64_t widthOrHeight) noexcept;
bool IsValidPosition(int64_t leftOrTop) noexcept;
// For a position the program computes itself (panning): the nearest one in range.
int32_t ClampPosition(int64_t leftOrTop) noexcept;
bool IsValidKeyFrames(int64_t interval) noexcept;
bool IsValidFileName(std::string_view name) noexcept;

// Sound stays in step with the picture only when the movie plays at the rate it was taken.
bool RatesAllowSound(double frameRate, double playbackRate) noexcept;
// Whether a recording made from these options takes sound: every path decides it here.
bool MovieHasSound(const RecordingOptions& o) noexcept;

// Registry encoding of a rate: thousandths of a frame per second, rounded.
uint32_t RateToThousandths(double rate) noexcept;
double RateFromThousandths(uint32_t stored) noexcept;
// Loads a stored rate into the field if it is usable; returns whether it was.
bool LoadRate(uint32_t stored, double& field) noexcept;

// Capture timer period in whole milliseconds: 1000 / rate, rounded.
int32_t TimerPeriodMs(double rate) noexcept;

int32_t NearestSampleRate(int32_t requested) noexcept;
int32_t NearestSampleSize(int32_t requested) noexcept;

// The automation setters. `busy` is true while a recording runs or is paused. Each returns true
// when the value was stored.
bool SetStartX(RecordingOptions& o, int16_t v) noexcept;
bool SetStartY(RecordingOptions& o, int16_t v) noexcept;
bool SetWidth(RecordingOptions& o, int16_t v, bool busy) noexcept;
bool SetHeight(RecordingOptions& o, int16_t v, bool busy) noexcept;
bool SetFrameRate(RecordingOptions& o, double v, bool busy) noexcept;
bool SetPlaybackRate(RecordingOptions& o, double v, bool busy) noexcept;
bool SetFileName(RecordingOptions& o, std::string_view v, bool busy);
bool SetIncrementFileName(RecordingOptions& o, bool v, bool busy) noexcept;
bool SetRecordSound(RecordingOptions& o, bool v, bool busy) noexcept;
bool SetKeyFrames(RecordingOptions& o, int16_t v, bool busy) noexcept;
bool SetCompQuality(RecordingOptions& o, int16_t v, bool busy) noexcept;
bool SetSoundSampSize(RecordingOptions& o, int16_t v, bool busy) noexcept;
bool SetSoundSampRate(RecordingOptions& o, int32_t v, bool busy) noexcept;
bool SetFlashRect(RecordingOptions& o, bool v, bool busy) noexcept;
bool SetHighlightClicks(RecordingOptions& o, bool v, bool busy) noexcept;
// 0 off, 1 key combinations, 2 also plain letters and digits.
bool SetShowKeys(RecordingOptions& o, int32_t v, bool busy) noexcept;
bool IsValidShowKeys(int64_t v) noexcept;

} // namespace option_rules
