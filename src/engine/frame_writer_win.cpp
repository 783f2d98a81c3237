// The frame writer: on the user-interface thread, moves captured frames from the ring into the
// video stream at the positions the grabber gave them, setting the stream's format at the first
// frame and again after every palette change.

#include "engine/frame_format.h"
#include "engine/recording_engine_win.h"
#include "engine/session_state_win.h"

namespace {

// Room the file needs besides the next frame: its index entry per frame and the headers and
// buffers the AVI services write when the file is completed.
constexpr uint64_t kCompletionReserve = 256 * 1024;

} // namespace

// The AVI services do not always report a full disk (a buffered write can fail unseen), and a
// file whose index could not be written does not play. So the writer stops while there is still
// room to complete the file.
bool RecordingEngine::RoomForFrame() const {
    return RoomFor(static_cast<uint64_t>(session_->imageSize), false);
}

// Frames and sound share the disk: each write must leave room for the index entries of every
// chunk so far and, while sound is captured, for the part-filled buffer the stop writes last.
bool RecordingEngine::RoomFor(uint64_t bytes, bool finishing) const {
    const Session& s = *session_;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExA(s.directory.c_str(), &available, nullptr, nullptr))
        return true; // cannot tell: let the write itself report
    const int32_t frames = s.frameIndex.Load();
    const uint64_t chunks = static_cast<uint64_t>(frames > 0 ? frames : 0) +
                            static_cast<uint64_t>(s.audio ? soundWriter_.Chunks() : 0) + 1;
    uint64_t needed = bytes + 16 * chunks + kCompletionReserve;
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
        // The stop reports the failure, from the queue, after this call has returned.
        const auto fail = [&](HRESULT hr, int32_t code) {
            s.lastAviError = hr;
            s.ring.Release(slotIndex);
            if (s.frameIndex.Abort(code))
                RequestStop();
        };
        if (State() == record_state::Recording || State() == record_state::Paused) {
            const int32_t position = s.ring.Position(slotIndex);
            if (slot.generation > s.formatGeneration) {
                HRESULT hr = ::AVIStreamSetFormat(s.target, position,
                                                  const_cast<BITMAPINFO*>(slot.format->Info()),
                                                  slot.format->Size());
                if (hr != AVIERR_OK && s.formatGeneration < 0 && s.handlerChosenByDepth &&
                    !s.uncompressed) {
                    // A compressor can accept the frames when asked and still fail inside the
                    // compressing stream. The choice was ours, so record uncompressed frames.
                    s.compressed.reset();
                    s.target = s.video.get();
                    s.uncompressed = true;
                    s.handlerFellBack = true;
                    handlerUsed_ = fourcc::Dib;
                    hr = ::AVIStreamSetFormat(s.target, position,
                                              const_cast<BITMAPINFO*>(slot.format->Info()),
                                              slot.format->Size());
                }
                if (hr != AVIERR_OK) {
                    fail(hr, abort_code::FormatRefused);
                    return;
                }
                s.formatGeneration = slot.generation;
            }
            // Uncompressed frames are all key frames; a compressor decides for itself.
            const DWORD flags = s.uncompressed ? AVIIF_KEYFRAME : 0;
            const HRESULT hr = RoomForFrame()
                                   ? ::AVIStreamWrite(s.target, position, 1, slot.bits, s.imageSize,
                                                      flags, nullptr, nullptr)
                                   : AVIERR_FILEWRITE;
            if (hr != AVIERR_OK) {
                fail(hr, abort_code::VideoWriteFailed);
                return;
            }
            ++s.framesWritten;
            s.frameIndex.AdvanceTo(position + 1);
        }
        s.ring.Release(slotIndex);
        MSG peek;
        if (::PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE))
            return;
    }
}
