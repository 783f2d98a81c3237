// The frame writer: on the user-interface thread, moves captured frames from the ring into the
// video stream at the positions the grabber gave them, setting the stream's format at the first
// frame and again after every palette change.

#include "engine/frame_format.h"
#include "engine/recording_engine_win.h"
#include "engine/session_state_win.h"

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
                const HRESULT hr = ::AVIStreamSetFormat(
                    s.target, position, const_cast<BITMAPINFO*>(slot.format->Info()),
                    slot.format->Size());
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
