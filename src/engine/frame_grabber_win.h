#pragma once

// The frame grabber: one tick per timer period on the multimedia timer's thread. It pans the
// region, flashes its frame, copies the region into the next free slot of the ring with the
// cursor (and, when asked, the clicks and keys) drawn in, and wakes the movie's writer; a WM_TIMER
// posted to the window it was given lets the sound follow. One per recording: made at the set-up,
// gone after the stop.

#include "engine/cost_meter.h"
#include "engine/frame_ring.h"
#include "engine/input_hooks_win.h"
#include "engine/overlay_painter_win.h"
#include "engine/record_state_win.h"
#include "engine/recording_options.h"
#include "engine/screen_capture_win.h"
#include "engine/sound_start.h"
#include "framework/handles_win.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include <windows.h>

class CursorImageTable;

// One frame format: the bitmap header with its colour table, and the palette generation it
// belongs to. A palette change makes a new block; a frame keeps pointing at the block it was
// captured with, so the writer never sees a table that changed under it.
struct FrameFormatBlock {
    int32_t generation = 0;
    std::vector<uint8_t> bytes;

    [[nodiscard]] const BITMAPINFO* Info() const {
        return reinterpret_cast<const BITMAPINFO*>(bytes.data());
    }
    [[nodiscard]] LONG Size() const { return static_cast<LONG>(bytes.size()); }
};

struct FrameSlot {
    UniqueBitmap bitmap;
    void* bits = nullptr;
    int32_t generation = 0;
    const FrameFormatBlock* format = nullptr; // the table the bitmap was made with
};

// What a tick reads and tells beyond its own surfaces.
struct GrabberLinks {
    const std::atomic<int32_t>& recordState; // paused ticks flash but take no frame
    FrameCounter& frameIndex;                // the writer's progress, or the abort code
    SoundStart& soundStart;                  // where each run's sound begins
    HWND notify;                             // gets WM_TIMER per frame, and the stop request
    HANDLE frameReady;                       // set for each frame handed to the writer
};

class FrameGrabber {
public:
    FrameGrabber(RecordingOptions& options, const CursorImageTable& cursors, GrabberLinks links);
    // Halts the timer first: no tick outlives the surfaces it draws on.
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    // The screen's depth and colour table as the frames' first format; false when the screen
    // cannot be read or the region does not fit in memory.
    bool PrepareFormat();
    // The ring's bitmaps, as many as RingSlotsFor allows and memory gives (the ring's minimum at
    // least); false when they cannot be made.
    bool MakeBitmaps();
    // The recording's first moment: positions count from here, panning from where the cursor
    // is now.
    void StartClock();
    // Ticks at the frame rate from now on; false when the timer would not start. The first
    // start installs the input hooks when the frames are to show clicks or keys.
    bool Start();
    // No tick runs after this returns, until Start again.
    void Halt();
    // While halted: one tick that takes a frame at the next position in sequence.
    void TakeSingleFrame() { Tick(true); }
    // A resume: the clock's positions go on from where the pause left them.
    void Rebase() noexcept { schedule_.Rebase(); }
    // The screen's palette changed: the next frames are made with the new colour table.
    void RefreshPalette();

    [[nodiscard]] FrameRing& Ring() noexcept { return ring_; }
    [[nodiscard]] const FrameSlot& Slot(int index) const noexcept { return slots_[index]; }
    [[nodiscard]] const FrameFormatBlock& FirstFormat() const noexcept { return *formats_.front(); }
    [[nodiscard]] int32_t ImageSize() const noexcept { return imageSize_; }
    [[nodiscard]] int32_t BitsPerPixel() const noexcept { return bitsPerPixel_; }
    [[nodiscard]] int32_t Dropped() const noexcept { return drops_.DroppedFrames(); }
    [[nodiscard]] int32_t Skipped() const noexcept { return schedule_.Skipped(); }
    // The costs of a tick and of its copy of the region, for the timing log.
    [[nodiscard]] std::string DescribeCosts() const;

private:
    static void CALLBACK OnTimer(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    void Tick(bool singleFrame);
    void PanRegion(POINT cursorPos);
    bool TakeFramePosition(bool singleFrame, int32_t& position);
    void CountDroppedFrame();
    bool FitSlotToFormat(FrameSlot& slot);
    void CaptureRegion(FrameSlot& slot, RECT region, HCURSOR cursor, POINT cursorPos);
    void DrawCursor(HCURSOR cursor, POINT cursorPos, POINT origin);
    HCURSOR CursorUnderMouse(POINT cursorPos);

    RecordingOptions& options_;
    const CursorImageTable& cursors_;
    GrabberLinks links_;
    DropLimit drops_;
    FrameRing ring_;
    FrameSchedule schedule_;

    UINT timerId_ = 0;
    int32_t timerPeriod_ = 0;
    // A tick runs on the timer thread; Halt waits for it, and one beginning meanwhile does
    // nothing.
    std::atomic<int32_t> ticksRunning_{0};
    std::atomic<bool> halting_{false};
    DWORD attachedThread_ = 0; // timer thread only

    int32_t screenWidth_ = 0;
    int32_t screenHeight_ = 0;
    int32_t bitsPerPixel_ = 0;
    int32_t colorCount_ = 0;
    int32_t imageSize_ = 0;
    std::unique_ptr<ScreenCapture> capture_;
    UniquePen flashPen_;

    std::vector<std::unique_ptr<FrameFormatBlock>> formats_; // every table of the recording
    std::atomic<const FrameFormatBlock*> currentFormat_{nullptr};

    UniqueMemoryDc memoryDc_;
    std::vector<FrameSlot> slots_; // as many as the ring has places
    POINT previousCursorPos_{};

    std::unique_ptr<InputHooks> input_;
    std::optional<OverlayPainter> painter_;

    CostMeter tickCost_;
    CostMeter captureCost_;
};
