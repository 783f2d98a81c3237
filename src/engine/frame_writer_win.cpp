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
    const Session& s = *session_;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExA(s.directory.c_str(), &available, nullptr, nullptr))
        return true; // cannot tell: let the write itself report
    const uint64_t index = 16ull * (static_cast<uint64_t>(s.frameIndex.Load()) + 1);
    return available.QuadPart >= static_cast<uint64_t>(s.imageSize) + index + kCompletionReserve;
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
                    handlerUsed_ = fourcc::Dib;
                    hr = ::AVIStreamSetFormat(s.target, position,
                                              const_cast<BITMAPINFO*>(slot.format->Info()),
                                              slot.format->Size());
                }
                if (hr != AVIERR_OK) {
                    s.lastAviError = hr;
                    s.ring.Release(slotIndex);
                    // The stop reports it, from the queue, after this call has returned.
                    if (s.frameIndex.Abort(abort_code::FormatRefused))
                        RequestStop();
                    return;
                }
                s.formatGeneration = slot.generation;
            }
            if (!RoomForFrame()) {
                s.lastAviError = AVIERR_FILEWRITE;
                s.ring.Release(slotIndex);
                if (s.frameIndex.Abort(abort_code::VideoWriteFailed))
                    RequestStop();
                return;
            }
            // Uncompressed frames are all key frames; a compressor decides for itself.
            const DWORD flags = s.uncompressed ? AVIIF_KEYFRAME : 0;
            const HRESULT hr = ::AVIStreamWrite(s.target, position, 1, slot.bits, s.imageSize,
                                                flags, nullptr, nullptr);
            if (hr != AVIERR_OK) {
                s.lastAviError = hr;
                s.ring.Release(slotIndex);
                if (s.frameIndex.Abort(abort_code::VideoWriteFailed))
                    RequestStop();
                return;
            }
            s.frameIndex.AdvanceTo(position + 1);
        }
        s.ring.Release(slotIndex);
        MSG peek;
        if (::PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE))
            return;
    }
}
