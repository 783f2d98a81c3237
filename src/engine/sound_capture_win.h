#pragma once

// A recording's sound: the wave input, its device window (made at the first recording with sound
// and kept for later ones), the writer of the audio stream and what is known of each run's
// start. A frame shows the screen as it was when it was taken, and the movie shows it at the
// frame's position; so each run's sound begins at the sample of its first frame's position. The
// device runs before that moment (from the set-up on, or from the resume) and the writer leaves
// out what it captured earlier; a device that began later has silence put first.

#include "engine/recording_options.h"
#include "engine/sound_start.h"
#include "sound/avi_sound_writer_win.h"
#include "sound/wave.h"

#include <cstdint>
#include <memory>

class CWaveInWnd;

class SoundCapture {
public:
    explicit SoundCapture(const RecordingOptions& options);
    ~SoundCapture();
    SoundCapture(const SoundCapture&) = delete;
    SoundCapture& operator=(const SoundCapture&) = delete;

    // At the set-up: sound as RecordSound asks, in the options' format (an unsupported one is
    // refused and the last good format stays).
    void Prepare(bool movieHasSound);
    // Opens and starts the device; the run begins now when `running`, else at the resume.
    // Whatever goes wrong, the recording goes on without sound and the outcome says so.
    void Start(SoundStreamOwner& owner, bool running);
    // The first frame waits, within reason, for the device to begin capturing.
    void WaitToBegin();
    // The device goes on (a resume, or the first start of a recording begun paused).
    void StartRun();
    // The session loop's turn: the run's first frame's moment to the writer, and while
    // recording the device's progress.
    void Follow(bool recording);
    // A pause: the part-filled buffer comes back at once and is written as a short block.
    void Halt();
    // The stop: everything captured reaches the stream before it goes.
    void Stop();
    // While paused, a single frame's length of silence keeps the sound in step.
    void WriteSilence() { writer_.WriteSilence(options_.PlaybackRate); }
    // Deletes the device window; refused while it still drains.
    bool Release();

    [[nodiscard]] SoundStart& Runs() noexcept { return start_; }
    [[nodiscard]] const SoundStart& Runs() const noexcept { return start_; }
    [[nodiscard]] bool Wanted() const noexcept { return start_.Wanted(); }
    [[nodiscard]] const PcmFormat& Format() const noexcept { return wave_.Format(); }
    [[nodiscard]] CAviSoundWriter& Writer() noexcept { return writer_; }
    [[nodiscard]] int32_t Chunks() const noexcept { return writer_.Chunks(); }
    // Samples in the last recording's stream, silence included.
    [[nodiscard]] int64_t Samples() const noexcept { return samples_; }

private:
    void GivePictureMoment();

    const RecordingOptions& options_;
    CWave wave_;
    std::unique_ptr<CWaveInWnd> waveIn_;
    CAviSoundWriter writer_;
    SoundStart start_;
    int64_t samples_ = 0;
};
