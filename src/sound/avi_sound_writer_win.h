#pragma once

// The audio stream of a recording: its creation, and CAviSoundWriter, which writes every block
// the wave records into it the moment the block arrives, at the next sample position, plus a
// frame of silence for each single frame taken while paused. Runs on the user-interface thread,
// like the video writer, so the streams are never written at the same time.

#include "avi/avi_writer.h"
#include "framework/handles_win.h"
#include "sound/wave_block.h"
#include "sound/wave_format.h"
#include "sound/wave_memory.h"
#include "sound/wave_notify.h"

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

// Keeps the sound on the recording's clock. Each run of the device (from a start to the pause or
// stop that halts it) should give as much sound as it lasted. A device that starts late (some
// start only when their driver next runs, up to seconds later) gives less, and what it gives
// begins late; written from the run's start position it would run ahead of the picture for the
// rest of the recording. So the first sound of a run that comes back later than its length
// explains is put after silence for the time missed, and a run that gave nothing at all is
// silence as long as the run.
//
// Sound that arrives before the owner lets it be written waits, in order, and goes in as soon as
// it may.
class CAviSoundWriter : public CWaveNotify {
public:
    CAviSoundWriter() = default;
    ~CAviSoundWriter() override = default;

    // Blocks in `format` go into the movie's audio stream from sample 0 on until End; `movie`
    // and `owner` must outlive that.
    void Begin(avi::Writer& movie, SoundStreamOwner& owner, const PcmFormat& format) noexcept;
    // Forgets the stream and whatever still waits.
    void End() noexcept;

    // A run of the device starts or is halted (pause, stop), at `nowMs` on timeGetTime's clock.
    // The run's picture began `pictureAheadMs` before the device could start; that much silence
    // comes first (at most kMaxPictureAheadMs: beyond it the clock is not to be believed).
    static constexpr uint32_t kMaxPictureAheadMs = 1000;
    void DeviceStarted(uint32_t nowMs, uint32_t pictureAheadMs = 0);
    void DeviceHalted(uint32_t nowMs) noexcept;
    // After the stop's drain: a run that gave no sound becomes silence, and what waits is
    // written if it may be.
    void Finish();

    // Takes the block out of the wave's list and writes its samples (or keeps it until it may
    // be written). After a failed write nothing more is written: the recording is stopping.
    void OnBlockRecorded(CWave& wave, CWaveBlock& block) override;
    // One video frame of silence, in the stream's format. Failures are ignored, but the
    // position moves on so sound and video stay in step.
    void WriteSilence(double playbackRate);

    // The next sample position: every sample written so far, silence included.
    [[nodiscard]] int32_t Position() const noexcept { return position_; }
    // Chunks written: each takes an index entry in the file.
    [[nodiscard]] int32_t Chunks() const noexcept { return chunks_; }
    [[nodiscard]] bool Failed() const noexcept { return failed_; }
    // Silence put in for runs that started late or gave nothing, in samples.
    [[nodiscard]] int32_t LateSilence() const noexcept { return lateSilence_; }

private:
    // Sound on its way into the stream: a recorded block, or so many samples of silence.
    struct Piece {
        CWaveBlockList::Item block;
        int32_t silence = 0;
        bool ignoreFailure = false; // a single frame's silence
    };

    // Silence for what the current run missed before its first sound, `samples` of which came
    // back at `nowMs`.
    void MakeUpLateStart(uint32_t nowMs, int32_t samples);
    // Queues a piece behind those waiting and writes whatever may be written.
    void Add(Piece piece);
    void Flush();
    [[nodiscard]] HRESULT WritePiece(const Piece& piece);
    [[nodiscard]] HRESULT WriteSilenceSamples(int32_t samples);
    [[nodiscard]] HRESULT Write(const void* data, int32_t samples, int32_t bytes);
    void Fail(HRESULT hr);

    avi::Writer* stream_ = nullptr;
    SoundStreamOwner* owner_ = nullptr;
    PcmFormat format_;
    std::deque<Piece, wave_memory::Allocator<Piece>> waiting_;
    int32_t position_ = 0;
    int32_t chunks_ = 0;
    bool failed_ = false;
    int32_t lateSilence_ = 0;

    struct Run {
        bool open = false;  // started and not yet accounted for
        bool heard = false; // some of its sound has come back
        bool halted = false;
        uint32_t startMs = 0;
        uint32_t haltMs = 0;
    } run_;
};
