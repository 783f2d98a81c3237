#include "sound/avi_sound_writer_win.h"

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
    End();
    stream_ = &movie;
    owner_ = &owner;
    format_ = format;
    position_ = 0;
    chunks_ = 0;
    failed_ = false;
    lateSilence_ = 0;
}

void CAviSoundWriter::End() noexcept {
    stream_ = nullptr;
    owner_ = nullptr;
    waiting_.clear();
    run_ = Run{};
}

void CAviSoundWriter::DeviceStarted(uint32_t nowMs, uint32_t pictureAheadMs) {
    Finish();
    run_ = Run{true, false, false, nowMs, 0};
    if (stream_ == nullptr || failed_ || pictureAheadMs > kMaxPictureAheadMs)
        return;
    const auto ahead =
        static_cast<int32_t>(static_cast<int64_t>(pictureAheadMs) * format_.samplesPerSec / 1000);
    if (ahead > 0) {
        lateSilence_ += ahead;
        Add(Piece{nullptr, ahead, false});
    }
}

void CAviSoundWriter::DeviceHalted(uint32_t nowMs) noexcept {
    if (run_.open && !run_.halted) {
        run_.halted = true;
        run_.haltMs = nowMs;
    }
}

void CAviSoundWriter::Finish() {
    if (run_.open && !run_.heard)
        MakeUpLateStart(::timeGetTime(), 0);
    run_.open = false;
    Flush();
}

void CAviSoundWriter::MakeUpLateStart(uint32_t nowMs, int32_t samples) {
    run_.heard = true;
    // Sound that comes back after a halt was recorded before it.
    const uint32_t end = run_.halted ? run_.haltMs : nowMs;
    const int32_t late = LateStartSamples(end - run_.startMs, samples, format_);
    if (late <= 0)
        return;
    lateSilence_ += late;
    Add(Piece{nullptr, late, false});
}

void CAviSoundWriter::OnBlockRecorded(CWave& wave, CWaveBlock& block) {
    CWaveBlockList::Item taken = wave.Blocks().Take(&block);
    if (stream_ == nullptr || failed_ || !taken || taken->Samples() <= 0)
        return;
    if (run_.open && !run_.heard)
        MakeUpLateStart(::timeGetTime(), taken->Samples());
    Add(Piece{std::move(taken), 0, false});
}

void CAviSoundWriter::WriteSilence(double playbackRate) {
    if (stream_ == nullptr || failed_)
        return;
    const int32_t samples = SilenceForFrame(format_, playbackRate).samples;
    if (samples > 0)
        Add(Piece{nullptr, samples, true});
}

void CAviSoundWriter::Add(Piece piece) {
    try {
        waiting_.push_back(std::move(piece));
    } catch (...) {
        // Sound that cannot even wait would leave a gap: the recording cannot stay in step.
        Fail(AVIERR_MEMORY);
        return;
    }
    Flush();
}

void CAviSoundWriter::Flush() {
    if (stream_ == nullptr || !owner_->SoundMayBeWritten())
        return;
    while (!waiting_.empty() && !failed_) {
        const HRESULT hr = WritePiece(waiting_.front());
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
    return Write(piece.block->Data(), samples, static_cast<int32_t>(samples * sampleBytes));
}

void CAviSoundWriter::Fail(HRESULT hr) {
    if (failed_)
        return;
    failed_ = true;
    if (owner_ != nullptr)
        owner_->OnSoundWriteFailed(hr);
}

HRESULT CAviSoundWriter::WriteSilenceSamples(int32_t samples) {
    const int64_t sampleBytes = std::max<uint16_t>(1, format_.blockAlign);
    const int64_t pieceSamples = kSilencePiece / sampleBytes;
    std::vector<uint8_t> piece(
        static_cast<std::size_t>(std::min<int64_t>(samples, pieceSamples) * sampleBytes),
        SilenceByte(format_));
    HRESULT result = AVIERR_OK;
    for (int64_t left = samples; left > 0;) {
        const auto n = static_cast<int32_t>(std::min(left, pieceSamples));
        const HRESULT hr = Write(piece.data(), n, static_cast<int32_t>(n * sampleBytes));
        if (hr != AVIERR_OK)
            result = hr;
        left -= n;
    }
    return result;
}

HRESULT CAviSoundWriter::Write(const void* data, int32_t samples, int32_t bytes) {
    if (samples > INT32_MAX - position_)
        return AVIERR_FILEWRITE; // the stream cannot count further
    HRESULT hr = AVIERR_FILEWRITE;
    // A file that cannot complete does not play: refuse the write while there is still room.
    // Sound goes on at the stream's end as the movie counts it; after a failed write the movie
    // takes nothing more, so position_ and the movie never part while it matters.
    if (owner_->RoomForSound(static_cast<uint64_t>(bytes))) {
        const avi::WriteStatus status =
            stream_->WriteAudio(stream_->AudioLength(), data, static_cast<size_t>(bytes));
        hr = status == avi::WriteStatus::Ok        ? AVIERR_OK
             : status == avi::WriteStatus::BadCall ? AVIERR_BADPARAM
                                                   : AVIERR_FILEWRITE;
    }
    // Counted whether or not it was written, so later sound keeps its place.
    position_ += samples;
    if (hr == AVIERR_OK)
        ++chunks_;
    return hr;
}
