#include "sound/avi_sound_writer_win.h"

#include "avi/win_file_win.h"
#include "sound/wave.h"
#include "sound/wave_format_win.h"

#include <algorithm>
#include <mmsystem.h>
#include <vector>

namespace {

// The stream header's figures for sound: one sample per time unit, the device's usual buffer.
constexpr DWORD kInitialFrames = 2;
constexpr DWORD kSuggestedBuffer = 4096;
// Silence is written in pieces of at most this much, however long a frame lasts.
constexpr int64_t kSilencePiece = 64 * 1024;

} // namespace

std::optional<avi::AudioStreamInfo> SoundStreamInfo(const PcmFormat& format) {
    if (format.samplesPerSec == 0 || format.blockAlign == 0)
        return std::nullopt;
    avi::AudioStreamInfo info;
    info.formatTag = WAVE_FORMAT_PCM;
    info.channels = format.channels;
    info.samplesPerSec = format.samplesPerSec;
    info.blockAlign = format.blockAlign;
    info.bitsPerSample = format.bitsPerSample;
    info.initialFrames = kInitialFrames;
    info.suggestedBufferSize = kSuggestedBuffer;
    return info;
}

void CAviSoundWriter::Begin(avi::Writer& movie, SoundStreamOwner& owner,
                            const PcmFormat& format) noexcept {
    Begin(owner, format);
    stream_ = &movie;
}

void CAviSoundWriter::Begin(SoundStreamOwner& owner, const PcmFormat& format) noexcept {
    End();
    owner_ = &owner;
    format_ = format;
    position_ = 0;
    written_ = 0;
    planned_ = 0;
    chunks_ = 0;
    failed_ = false;
    gaveUp_ = false;
    lateSilence_ = 0;
    earlySamples_ = 0;
}

void CAviSoundWriter::End() noexcept {
    stream_ = nullptr;
    owner_ = nullptr;
    waiting_.clear();
    run_.held.clear();
    run_.open = false;
}

void CAviSoundWriter::DeviceStarted(uint32_t nowMs) {
    Finish();
    run_.open = true;
    run_.halted = false;
    run_.pictureBegan = false;
    run_.aligned = false;
    run_.samples = 0;
    run_.dropLeft = 0;
    run_.clock = CaptureClock(format_.samplesPerSec);
    run_.clock.Start(nowMs);
}

void CAviSoundWriter::DeviceProgress(uint32_t nowMs, int64_t samples) {
    if (!run_.open || run_.aligned)
        return;
    run_.clock.Observe(nowMs, samples);
    AlignRun(false);
}

void CAviSoundWriter::PictureBegan(uint32_t ms, int64_t sample) {
    if (!run_.open || run_.pictureBegan)
        return;
    run_.pictureBegan = true;
    run_.pictureMs = ms;
    run_.pictureSample = sample;
    AlignRun(false);
}

void CAviSoundWriter::DeviceHalted(uint32_t nowMs) noexcept {
    if (run_.open && !run_.halted) {
        run_.halted = true;
        run_.haltMs = nowMs;
    }
}

void CAviSoundWriter::Finish() {
    if (run_.open) {
        if (!run_.pictureBegan) {
            // No frame shows any moment of this run.
            run_.held.clear();
        } else if (!run_.aligned && run_.clock.Known()) {
            AlignRun(true);
        } else if (!run_.aligned) {
            // Nothing came back: the run is silence as long as its picture lasted.
            run_.aligned = true;
            const uint32_t end = run_.halted ? run_.haltMs : ::timeGetTime();
            AddSilence(run_.pictureSample - planned_ +
                       SamplesBetween(run_.pictureMs, end, format_.samplesPerSec));
        }
        run_.open = false;
    }
    Flush(true);
    if (stream_ != nullptr && !failed_ && !gaveUp_ && waiting_.empty() && written_ < position_ &&
        owner_->SoundMayBeWritten())
        (void)Write(nullptr, 0, 0); // the silence a last single frame still owes
}

void CAviSoundWriter::AlignRun(bool now) {
    Run& run = run_;
    if (run.aligned || !run.pictureBegan || !run.clock.Known())
        return;
    if (!now && stream_ != nullptr && !owner_->SoundMayBeWritten() && !run.halted)
        return;
    run.aligned = true;
    const RunAlignment a =
        ::AlignRun(run.clock.FirstSampleMs(), run.pictureMs, format_.samplesPerSec);
    PlaceRunStart(run.pictureSample - planned_ + a.silence - a.drop);
    while (!run.held.empty() && !gaveUp_) {
        Piece piece = std::move(run.held.front());
        run.held.pop_front();
        AddRunBlock(std::move(piece));
    }
    run.held.clear();
}

void CAviSoundWriter::AddRunBlock(Piece piece) {
    const int32_t samples = piece.block->Samples();
    if (run_.dropLeft >= samples) {
        run_.dropLeft -= samples;
        earlySamples_ += samples;
        return;
    }
    piece.skip = static_cast<int32_t>(run_.dropLeft);
    earlySamples_ += run_.dropLeft;
    run_.dropLeft = 0;
    Add(std::move(piece));
}

void CAviSoundWriter::PlaceRunStart(int64_t offset) {
    run_.dropLeft = offset < 0 ? -offset : 0;
    AddSilence(offset);
}

void CAviSoundWriter::AddSilence(int64_t samples) {
    if (samples <= 0 || owner_ == nullptr || failed_ || gaveUp_)
        return;
    const auto n = static_cast<int32_t>(std::min<int64_t>(samples, INT32_MAX));
    lateSilence_ = static_cast<int32_t>(std::min<int64_t>(int64_t{lateSilence_} + n, INT32_MAX));
    Add(Piece{nullptr, n, false, 0});
}

void CAviSoundWriter::OnBlockRecorded(CWave& wave, CWaveBlock& block) {
    CWaveBlockList::Item taken = wave.Blocks().Take(&block);
    if (owner_ == nullptr || failed_ || gaveUp_ || !taken || taken->Samples() <= 0)
        return;
    if (!run_.open) {
        Add(Piece{std::move(taken), 0, false, 0});
        return;
    }
    // Blocks come back in the order they were filled: the run has captured all of this one.
    run_.samples += taken->Samples();
    if (run_.aligned) {
        AddRunBlock(Piece{std::move(taken), 0, false, 0});
        return;
    }
    run_.clock.Observe(::timeGetTime(), run_.samples);
    try {
        run_.held.push_back(Piece{std::move(taken), 0, false, 0});
    } catch (...) {
        GiveUp();
        return;
    }
    AlignRun(false);
}

void CAviSoundWriter::WriteSilence(double playbackRate) {
    if (owner_ == nullptr || failed_ || gaveUp_)
        return;
    // The halted run's sound comes before it.
    if (run_.open)
        AlignRun(true);
    const int32_t samples = SilenceForFrame(format_, playbackRate).samples;
    if (samples > 0)
        Add(Piece{nullptr, samples, true, 0});
}

void CAviSoundWriter::Add(Piece piece) {
    if (gaveUp_)
        return;
    const int64_t samples = piece.block ? piece.block->Samples() - piece.skip : piece.silence;
    try {
        waiting_.push_back(std::move(piece));
    } catch (...) {
        // Sound that cannot even wait would leave a gap: rather no more sound than sound out of
        // step with the picture. The recording goes on.
        GiveUp();
        return;
    }
    planned_ += samples;
    Flush(false);
}

void CAviSoundWriter::GiveUp() noexcept {
    gaveUp_ = true;
    waiting_.clear();
    run_.held.clear();
}

void CAviSoundWriter::Flush(bool wait) {
    if (stream_ == nullptr || waiting_.empty() || !owner_->SoundMayBeWritten())
        return;
    std::unique_lock<std::recursive_mutex> hold;
    if (!wait) {
        hold = stream_->TryHold();
        if (!hold.owns_lock())
            return;
    }
    while (!waiting_.empty() && !failed_ && !gaveUp_) {
        HRESULT hr = AVIERR_OK;
        try {
            hr = WritePiece(waiting_.front());
        } catch (...) {
            GiveUp(); // no memory for a piece of silence
            return;
        }
        const bool mayFail = !waiting_.front().ignoreFailure;
        waiting_.pop_front();
        if (hr != AVIERR_OK && mayFail)
            Fail(hr);
    }
    if (failed_)
        waiting_.clear();
}

HRESULT CAviSoundWriter::WritePiece(const Piece& piece) {
    if (!piece.block)
        return WriteSilenceSamples(piece.silence);
    const int64_t sampleBytes = std::max<uint16_t>(1, format_.blockAlign);
    const int32_t samples = static_cast<int32_t>(
        std::min<int64_t>(piece.block->Samples(), piece.block->Size() / sampleBytes));
    const int32_t skip = std::clamp(piece.skip, 0, samples);
    return Write(piece.block->Data() + skip * sampleBytes, samples - skip,
                 static_cast<int32_t>((samples - skip) * sampleBytes));
}

void CAviSoundWriter::Fail(HRESULT hr) {
    if (failed_)
        return;
    failed_ = true;
    if (owner_ != nullptr)
        owner_->OnSoundWriteFailed(hr);
}

HRESULT CAviSoundWriter::WriteSilenceSamples(int32_t samples) {
    HRESULT result = AVIERR_OK;
    if (samples <= 0)
        return result;
    // Counted as owed, then written as the silence every write puts in first.
    position_ += samples;
    return Write(nullptr, 0, 0);
}

HRESULT CAviSoundWriter::Write(const void* data, int32_t samples, int32_t bytes) {
    // The AVI services take sound only at the stream's end (and some count that end in chunks,
    // not samples), so sound is placed by putting in first whatever silence the stream still
    // lacks: a frame of silence that failed to go in does not move what follows it earlier.
    HRESULT hr = AVIERR_OK;
    if (written_ < position_) {
        const int64_t sampleBytes = std::max<uint16_t>(1, format_.blockAlign);
        const int64_t pieceSamples = kSilencePiece / sampleBytes;
        const std::vector<uint8_t> silence(
            static_cast<std::size_t>(std::min<int64_t>(position_ - written_, pieceSamples) *
                                     sampleBytes),
            SilenceByte(format_));
        while (written_ < position_ && hr == AVIERR_OK) {
            const auto n =
                static_cast<int32_t>(std::min<int64_t>(position_ - written_, pieceSamples));
            hr = Append(silence.data(), n, static_cast<int32_t>(n * sampleBytes));
        }
    }
    if (hr == AVIERR_OK && samples > 0)
        hr = Append(data, samples, bytes);
    // Counted whether or not it was written, so later sound keeps its place.
    position_ += samples;
    return hr;
}

HRESULT CAviSoundWriter::Append(const void* data, int32_t samples, int32_t bytes) {
    // A file that cannot complete does not play: refuse the write while there is still room.
    // Sound goes on at the stream's end as the movie counts it; after a failed write the movie
    // takes nothing more.
    HRESULT hr = AVIERR_FILEWRITE;
    if (owner_->RoomForSound(static_cast<uint64_t>(bytes))) {
        hr = avi::AviError(
            stream_->WriteAudio(stream_->AudioLength(), data, static_cast<size_t>(bytes)));
    }
    if (hr == AVIERR_OK) {
        written_ += samples;
        ++chunks_;
    }
    return hr;
}
