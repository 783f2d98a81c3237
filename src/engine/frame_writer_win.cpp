// The frame writer: on the user-interface thread, moves captured frames from the ring into the
// video stream at the positions the grabber gave them, setting the stream's format at the first
// frame and again after every palette change.

#include "engine/frame_format.h"
#include "engine/recording_engine_win.h"
#include "engine/session_state_win.h"

#include <algorithm>
#include <mmsystem.h>

namespace {

// Room the file needs besides the next frame and the old index's entry per chunk: a new index
// chunk for each stream, a segment header, and this to spare.
constexpr uint64_t kSpareRoom = 32 * 1024;
// How often the file on disk is brought up to date while recording: a take cut off by a crash
// loses no more than this.
constexpr DWORD kCheckpointMs = 1000;

} // namespace

// A write that fails on a full disk leaves a movie that plays, but one without its last index
// and finished headers is only what the last checkpoint saw. So the writer stops while there is
// still room to complete the file. Frames and sound share the disk: each write must leave room for
// the index entries of every chunk so far and, while sound is captured, for the part-filled buffer
// the stop writes last.
bool RecordingEngine::RoomFor(uint64_t bytes, bool finishing) const {
    const Session& s = *session_;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExA(s.directory.c_str(), &available, nullptr, nullptr))
        return true; // cannot tell: let the write itself report
    const int32_t frames = s.frameIndex.Load();
    const uint64_t chunks = static_cast<uint64_t>(frames > 0 ? frames : 0) +
                            static_cast<uint64_t>(s.audio ? soundWriter_.Chunks() : 0) + 1;
    const uint64_t indexChunk = s.movie ? s.movie->IndexChunkBytes() : 0;
    uint64_t needed = bytes + 16 * chunks + 2 * indexChunk + kSpareRoom;
    if (s.audio && !finishing)
        needed += static_cast<uint64_t>(s.soundStart.BufferBytes());
    return available.QuadPart >= needed;
}

void RecordingEngine::WritePending() {
    Session* session = session_.get();
    if (!session || stopping_)
        return;
    Session& s = *session;
    while (!s.frameIndex.Aborted()) {
        const int slotIndex = s.ring.NextFilled();
        if (slotIndex < 0)
            return;
        FrameSlot& slot = s.slots[slotIndex];
        if (State() == record_state::Recording || State() == record_state::Paused) {
            const int32_t position = s.ring.Position(slotIndex);
            if ((slot.generation > s.formatGeneration && !GiveFormat(slot)) ||
                !WriteFrame(slot, position)) {
                // The stop reports the failure, from the queue, after this call has returned.
                s.ring.Release(slotIndex);
                return;
            }
        }
        s.ring.Release(slotIndex);
        MSG peek;
        if (::PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE))
            return;
    }
}

bool RecordingEngine::GiveFormat(const FrameSlot& slot) {
    Session& s = *session_;
    const FrameFormatBlock& format = *slot.format;
    HRESULT hr = AVIERR_OK;
    if (s.compressor) {
        hr = s.compressor->Begin(format.Info(), format.bytes.size());
        if (hr != AVIERR_OK && s.formatGeneration < 0 && s.handlerChosenByDepth) {
            // A compressor can accept the frames when asked and still fail when it begins. The
            // choice was ours, so record uncompressed frames; the header still may say so.
            s.compressor.reset();
            s.uncompressed = true;
            handlerUsed_ = fourcc::Dib;
            const avi::WriteStatus status = s.movie->SetVideoHandler(fourcc::Dib, false);
            if (status != avi::WriteStatus::Ok)
                return Abort(avi::AviError(status), abort_code::VideoWriteFailed);
            hr = AVIERR_OK;
        }
    }
    if (hr != AVIERR_OK)
        return Abort(hr, abort_code::FormatRefused);
    const std::vector<uint8_t>& bytes = s.compressor ? s.compressor->OutputFormat() : format.bytes;
    const avi::WriteStatus status = s.movie->SetVideoFormat(bytes.data(), bytes.size());
    if (status == avi::WriteStatus::WriteFailed)
        return Abort(AVIERR_FILEWRITE, abort_code::VideoWriteFailed);
    if (status != avi::WriteStatus::Ok)
        return Abort(AVIERR_BADFORMAT, abort_code::FormatRefused);
    s.formatGeneration = slot.generation;
    return true;
}

bool RecordingEngine::WriteFrame(const FrameSlot& slot, int32_t position) {
    Session& s = *session_;
    const Stopwatch writeWatch;
    VideoCompressor::Frame frame{slot.bits, static_cast<size_t>(s.imageSize), true};
    if (s.compressor) {
        const HRESULT hr = s.compressor->Compress(slot.bits, s.keyFrameDue, frame);
        if (hr != AVIERR_OK)
            return Abort(hr, abort_code::VideoWriteFailed);
        s.compressCost.Add(writeWatch.Microseconds());
    }
    // Frames only go forwards: one the clock placed behind the last is put after it.
    const int64_t at = std::max<int64_t>(position, s.movie->VideoLength());
    // The frame as it goes into the file (compressed, it may be a small part of the picture),
    // with the empty frames of the positions a stall left behind.
    if (!RoomFor(s.movie->BytesForVideo(at, frame.size), false))
        return Abort(AVIERR_FILEWRITE, abort_code::VideoWriteFailed);
    const avi::WriteStatus status = s.movie->WriteVideo(at, frame.data, frame.size, frame.key);
    if (status != avi::WriteStatus::Ok)
        return Abort(avi::AviError(status), abort_code::VideoWriteFailed);
    if (frame.key)
        s.keyFrameDue = false;
    // The checkpoints' clock starts with the first frame, not with the set-up before it (the
    // sound's start, the beep), which would make the first one due at once.
    if (s.framesWritten == 0)
        s.lastCheckpointMs = ::timeGetTime();
    ++s.framesWritten;
    s.frameIndex.AdvanceTo(static_cast<int32_t>(at + 1));
    Checkpoint(false);
    s.writeCost.Add(writeWatch.Microseconds());
    return true;
}

void RecordingEngine::Checkpoint(bool now) {
    Session& s = *session_;
    if (!s.movie || s.framesWritten == 0 || s.frameIndex.Aborted())
        return;
    const DWORD time = ::timeGetTime();
    if (!now && time - s.lastCheckpointMs < kCheckpointMs)
        return;
    s.lastCheckpointMs = time;
    const avi::WriteStatus status = s.movie->Checkpoint();
    if (status != avi::WriteStatus::Ok)
        (void)Abort(avi::AviError(status), abort_code::VideoWriteFailed);
}

bool RecordingEngine::Abort(HRESULT hr, int32_t code) {
    Session& s = *session_;
    // A write the movie refused because it holds all it can is its end, not a failure,
    // whichever write it was.
    if (s.movie && s.movie->Full())
        code = abort_code::MovieFull;
    // The first abort is the one reported, with its own error, and only its author asks for the
    // stop.
    if (s.frameIndex.Abort(code)) {
        s.lastAviError = hr;
        RequestStop();
    }
    return false;
}

void RecordingEngine::CloseMovie() {
    Session& s = *session_;
    if (s.movie && s.framesWritten > 0) {
        // Everything final: the last index entries, the sizes and lengths, the old index. A
        // failure here still leaves the movie as the last checkpoint saw it, and is told.
        const avi::WriteStatus status = s.movie->Finish();
        if (status != avi::WriteStatus::Ok && s.frameIndex.Abort(abort_code::VideoWriteFailed))
            s.lastAviError = avi::AviError(status);
    }
    s.compressor.reset();
    s.movie.reset();
    s.file.reset();
}
