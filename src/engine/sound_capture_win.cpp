#include "engine/sound_capture_win.h"

#include "sound/wave_format.h"
#include "sound/wave_in_wnd_win.h"

#include <mmsystem.h>
#include <new>

namespace {

// A sound input under Wine's PulseAudio driver was measured taking 0.2 to 1.9 s from its start
// to its first sample; the picture waits that long so the take's first moments have their sound.
constexpr DWORD kSoundBeginWaitMs = 3000;

} // namespace

SoundCapture::SoundCapture(const RecordingOptions& options) : options_(options) {}

SoundCapture::~SoundCapture() = default;

void SoundCapture::Prepare(bool movieHasSound) {
    wave_.ClearBlocks();
    (void)wave_.SetFormat(options_.SoundSampRate, options_.SoundSampSize, 0);
    start_.Reset(movieHasSound, CaptureBufferBytes(wave_.Format()));
    samples_ = 0;
}

void SoundCapture::Start(SoundStreamOwner& owner, bool running) {
    if (!start_.Wanted())
        return;
    if (!waveIn_) {
        waveIn_.reset(new (std::nothrow) CWaveInWnd);
        if (!waveIn_) {
            start_.DeviceFailed();
            return;
        }
    }
    writer_.Begin(owner, wave_.Format());
    if (!wave_.Record(*waveIn_, start_.BufferBytes(), writer_, false)) {
        start_.DeviceFailed();
        return;
    }
    if (running)
        StartRun();
}

// A device begins capturing a while after it is started (measured under Wine's PulseAudio
// driver: 0.2 to 0.7 s), and the sound of that while is never had.
void SoundCapture::WaitToBegin() {
    if (!start_.Wanted() || !start_.Ran() || !waveIn_)
        return;
    const DWORD begin = ::GetTickCount();
    while (::GetTickCount() - begin < kSoundBeginWaitMs) {
        const auto captured = waveIn_->CapturedSamples();
        if (!captured || *captured > start_.PositionBase())
            return;
        ::Sleep(5);
    }
}

void SoundCapture::StartRun() {
    if (!start_.Wanted() || !waveIn_ || !waveIn_->IsOpen())
        return;
    start_.SetPositionBase(waveIn_->CapturedSamples().value_or(0));
    const uint32_t now = ::timeGetTime();
    if (!waveIn_->Resume()) {
        if (!start_.Ran()) {
            // Never started at all: no sound, as when the device cannot be opened.
            start_.DeviceFailed();
            waveIn_->Close();
            return;
        }
        // The recording goes on; the run's time becomes silence, so later sound keeps its place.
        start_.SoundCut();
    } else {
        start_.DeviceRan();
    }
    writer_.DeviceStarted(now);
    start_.WantMoment();
}

// Hands the writer the moment, and the sample, the current run's picture began at, once the
// grabber has noted it.
void SoundCapture::GivePictureMoment() {
    if (const auto moment = start_.TakeMoment())
        writer_.PictureBegan(
            moment->ms, SampleAtFrame(wave_.Format(), options_.PlaybackRate, moment->position));
}

void SoundCapture::Follow(bool recording) {
    if (!start_.Wanted() || !waveIn_)
        return;
    GivePictureMoment();
    if (!recording)
        return;
    writer_.WriteWaiting();
    // The device's own count places its run on the clock better than the buffers, which come
    // back some time after they are full.
    if (const auto captured = waveIn_->CapturedSamples())
        writer_.DeviceProgress(::timeGetTime(), *captured - start_.PositionBase());
}

void SoundCapture::Halt() {
    // A frame taken before the halt still begins the run's picture; one not yet taken never will.
    start_.CancelMoment();
    if (!start_.Wanted() || !waveIn_ || !waveIn_->IsOpen())
        return;
    Follow(true);
    waveIn_->Pause();
    writer_.DeviceHalted(::timeGetTime());
}

void SoundCapture::Stop() {
    if (!start_.Wanted())
        return;
    // Drains: the part-filled buffer reaches the writer. The engine keeps messages dispatched
    // meanwhile from another start or stop, and from deleting the device (Release).
    start_.CancelMoment();
    GivePictureMoment();
    writer_.DeviceHalted(::timeGetTime());
    wave_.Stop();
    if (waveIn_) {
        if (waveIn_->RanOutOfMemory())
            start_.SoundCut();
        waveIn_->Close();
    }
    writer_.Finish();
    if (writer_.GaveUp())
        start_.SoundCut();
    samples_ = writer_.Position();
    writer_.End();
}

bool SoundCapture::Release() {
    if (waveIn_ && waveIn_->Draining())
        return false;
    wave_.ForgetInputDevice();
    waveIn_.reset();
    return true;
}
