#pragma once

// The audio stream of a recording: its creation, and CAviSoundWriter, which writes every block
// the wave records into it the moment the block arrives, at the next sample position, plus a
// frame of silence for each single frame taken while paused. Runs on the user-interface thread,
// like the video writer, so the streams are never written at the same time.

#include "avi/avi_writer.h"
#include "framework/handles_win.h"
#include "sound/capture_clock.h"
#include "sound/wave_block.h"
#include "sound/wave_format.h"
#include "sound/wave_memory.h"
#include "sound/wave_notify.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>

// What the writer needs from the recording it writes into.
class SoundStreamOwner {
public:
    virtual ~SoundStreamOwner() = default;
    // False while sound must wait: until the video stream has its format and its first frame,
    // sound would begin before the picture.
    [[nodiscard]] virtual bool SoundMayBeWritten() const = 0;
    // False when the disk could not take `bytes` more and still complete the file.
    [[nodiscard]] virtual bool RoomForSound(uint64_t bytes) const = 0;
    // A block could not be written: the recording must stop and report `hr`. Called once.
    virtual void OnSoundWriteFailed(HRESULT hr) = 0;
};

// The movie's audio stream for mono PCM in `format`: its header and its 18-byte format.
// Empty when the format cannot be a stream's (no rate or no sample size).
[[nodiscard]] std::optional<avi::AudioStreamInfo> SoundStreamInfo(const PcmFormat& format);

// Keeps the sound on the recording's clock. The device runs from a start to the pause or stop
// that halts it; each run's picture begins with the first frame taken after the start, and its
// sound must begin at that same moment, at the sample that plays with that frame (the sound
// before it is padded with silence, or the run's first samples left out where it ran long). The
// device begins capturing some time after it is started (CaptureClock), usually before that first
// frame, sometimes after it: so a run's sound waits until both moments are known, then the samples
// captured before the picture began are left out, or silence for the time the device missed goes
// first. A run whose picture never began (paused or stopped before its first frame) leaves no
// sound; a run that gave no sound at all is silence as long as its picture lasted.
//
// Sound that arrives before the owner lets it be written waits, in order, and goes in as soon as
// it may. Every piece goes in at its own sample position: should a frame of silence fail to go
// in, it is put in before the next piece, so nothing later moves earlier.
class CAviSoundWriter : public CWaveNotify {
public:
    CAviSoundWriter() = default;
    ~CAviSoundWriter() override = default;

    // Blocks in `format` go into the movie's audio stream from sample 0 on until End; `movie`
    // and `owner` must outlive that.
    void Begin(avi::Writer& movie, SoundStreamOwner& owner, const PcmFormat& format) noexcept;
    // The same, for a movie not made yet: sound waits until SetStream.
    void Begin(SoundStreamOwner& owner, const PcmFormat& format) noexcept;
    void SetStream(avi::Writer& movie) noexcept { stream_ = &movie; }
    // Forgets the stream and whatever still waits.
    void End() noexcept;

    // A run of the device starts at `nowMs` on timeGetTime's clock (ending the run before it).
    void DeviceStarted(uint32_t nowMs);
    // The device says the current run has captured `samples` by `nowMs`.
    void DeviceProgress(uint32_t nowMs, int64_t samples);
    // The first frame of the current run was taken at `ms`; it plays with sample `sample` of
    // the stream (SampleAtFrame).
    void PictureBegan(uint32_t ms, int64_t sample);
    // The current run is halted (pause, stop) at `nowMs`; its last sound may still come back.
    void DeviceHalted(uint32_t nowMs) noexcept;
    // After the stop's drain: the current run is placed and ended, and what waits is written if
    // it may be.
    void Finish();

    // Takes the block out of the wave's list and writes its samples (or keeps it until it may
    // be written). After a failed write nothing more is written: the recording is stopping.
    void OnBlockRecorded(CWave& wave, CWaveBlock& block) override;
    // One video frame of silence, in the stream's format. Failures are ignored, but the
    // position moves on so sound and video stay in step.
    void WriteSilence(double playbackRate);
    // Writes what waited because the movie was busy on its own thread when it came.
    void WriteWaiting() { Flush(false); }

    // The next sample position: every sample written so far, silence included.
    [[nodiscard]] int64_t Position() const noexcept { return position_; }
    // Chunks written: each takes an index entry in the file.
    [[nodiscard]] int32_t Chunks() const noexcept { return chunks_.load(); }
    [[nodiscard]] bool Failed() const noexcept { return failed_; }
    // Memory for sound on its way ran out: the sound ends there, the recording goes on.
    [[nodiscard]] bool GaveUp() const noexcept { return gaveUp_; }
    // Silence put in where a device began after its picture or gave nothing, in samples.
    [[nodiscard]] int32_t LateSilence() const noexcept { return lateSilence_; }
    // Samples left out because they were captured before their run's picture began.
    [[nodiscard]] int64_t EarlySamples() const noexcept { return earlySamples_; }

private:
    // Sound on its way into the stream: a recorded block (from its sample `skip` on), or so
    // many samples of silence.
    struct Piece {
        CWaveBlockList::Item block;
        int32_t silence = 0;
        bool ignoreFailure = false; // a single frame's silence
        int32_t skip = 0;
    };
    using Pieces = std::deque<Piece, wave_memory::Allocator<Piece>>;

    // Places the current run once its picture and its first sample are both known (and, unless
    // `now`, once sound may be written: the longer it waits, the better the estimate).
    void AlignRun(bool now);
    // A block of the placed run, less what came before its picture.
    void AddRunBlock(Piece piece);
    void AddSilence(int64_t samples);
    // Puts the run's first sample at its picture's: `offset` samples after where the sound
    // queued so far ends (silence), or before it (that many of the run's samples left out).
    void PlaceRunStart(int64_t offset);
    // Queues a piece behind those waiting and writes whatever may be written.
    void Add(Piece piece);
    // Writes what waits, in order, once it may be written. Without `wait`, a movie busy on
    // another thread leaves it waiting: the user-interface thread, which writes the sound, must
    // never stand still behind a flush of the frames.
    void Flush(bool wait);
    void GiveUp() noexcept;
    [[nodiscard]] HRESULT WritePiece(const Piece& piece);
    [[nodiscard]] HRESULT WriteSilenceSamples(int32_t samples);
    // Writes at the sample position: silence still owed goes in first.
    [[nodiscard]] HRESULT Write(const void* data, int32_t samples, int32_t bytes);
    [[nodiscard]] HRESULT Append(const void* data, int32_t samples, int32_t bytes);
    void Fail(HRESULT hr);

    avi::Writer* stream_ = nullptr;
    SoundStreamOwner* owner_ = nullptr;
    PcmFormat format_;
    Pieces waiting_;
    // Sample counts of their own size: at 44.1 kHz, 32 bits last 27 hours.
    int64_t position_ = 0;           // where the next piece goes
    int64_t written_ = 0;            // samples the stream holds
    int64_t planned_ = 0;            // where the sound queued so far ends
    std::atomic<int32_t> chunks_{0}; // also read by the frames' thread, for the room on disk
    bool failed_ = false;
    bool gaveUp_ = false;
    int32_t lateSilence_ = 0;
    int64_t earlySamples_ = 0;

    struct Run {
        bool open = false; // started and not yet ended
        bool halted = false;
        uint32_t haltMs = 0;
        bool pictureBegan = false;
        uint32_t pictureMs = 0;
        int64_t pictureSample = 0;
        bool aligned = false;
        int64_t samples = 0;  // come back so far
        int64_t dropLeft = 0; // still to leave out, once aligned
        CaptureClock clock;
        Pieces held; // come back before the run could be placed
    } run_;
};
