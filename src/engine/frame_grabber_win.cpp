// The frame grabber: one tick per timer period on the multimedia timer's thread. It pans the
// region, flashes its frame, copies the region into the next free slot of the ring with the
// cursor drawn in, and tells the writer by posting WM_TIMER to the host window.

#include "engine/cursor_images_win.h"
#include "engine/panning.h"
#include "engine/recording_engine_win.h"
#include "engine/session_state_win.h"

#include <mmsystem.h>
#include <optional>

namespace {

constexpr DWORD kFlashMs = 15;
constexpr int kCursorSize = 32;

int32_t HeldModifiers() {
    const auto down = [](int vk) { return (::GetAsyncKeyState(vk) & 0x8000) != 0; };
    return (down(VK_SHIFT) ? 4 : 0) | (down(VK_CONTROL) ? 2 : 0) | (down(VK_MENU) ? 1 : 0);
}

// Exclusive-or drawing on the display: drawn twice, the screen is as it was.
class FlashFrame {
public:
    FlashFrame(HPEN pen, RECT rect, bool cross)
        : dc_(::CreateDCA("DISPLAY", nullptr, nullptr, nullptr)),
          pen_(dc_.get(), dc_ ? pen : nullptr),
          brush_(dc_.get(), dc_ ? ::GetStockObject(HOLLOW_BRUSH) : nullptr), rect_(rect),
          cross_(cross) {
        if (!dc_)
            return;
        ::SetMapMode(dc_.get(), MM_TEXT);
        ::SetROP2(dc_.get(), R2_XORPEN);
        Draw();
    }
    FlashFrame(const FlashFrame&) = delete;
    FlashFrame& operator=(const FlashFrame&) = delete;
    // Drawn again, which takes it away; the pen and brush go back before the DC goes.
    ~FlashFrame() {
        if (dc_)
            Draw();
    }

private:
    void Draw() {
        const HDC dc = dc_.get();
        ::Rectangle(dc, rect_.left, rect_.top, rect_.right, rect_.bottom);
        if (cross_) {
            ::MoveToEx(dc, rect_.left, rect_.top, nullptr);
            ::LineTo(dc, rect_.right, rect_.bottom);
            ::MoveToEx(dc, rect_.right, rect_.top, nullptr);
            ::LineTo(dc, rect_.left, rect_.bottom);
        }
        ::GdiFlush();
    }

    UniqueMemoryDc dc_; // DeleteDC ends a display DC as well as a memory one
    SelectionGuard pen_;
    SelectionGuard brush_;
    RECT rect_;
    bool cross_;
};

// Counts a running tick so the stop can wait for it.
class TickGuard {
public:
    explicit TickGuard(RecordingEngine::Session& s) : s_(s) {
        s_.ticksRunning.fetch_add(1);
        entered_ = !s_.stopping.load();
    }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;
    ~TickGuard() { s_.ticksRunning.fetch_sub(1); }
    explicit operator bool() const { return entered_; }

private:
    RecordingEngine::Session& s_;
    bool entered_;
};

} // namespace

HCURSOR RecordingEngine::CursorUnderMouse(POINT cursorPos) {
    // Sharing the input state of the window's thread makes its cursor ours to ask for.
    const DWORD owner = ::GetWindowThreadProcessId(::WindowFromPoint(cursorPos), nullptr);
    if (owner != 0 && owner != attachedThread_ &&
        ::AttachThreadInput(::GetCurrentThreadId(), owner, TRUE))
        attachedThread_ = owner;
    if (HCURSOR cursor = ::GetCursor())
        return cursor;
    // A window that no thread can be attached to: the system's word on the screen's cursor.
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (::GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING))
        return info.hCursor;
    return nullptr;
}

void CALLBACK RecordingEngine::OnTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    try {
        reinterpret_cast<RecordingEngine*>(user)->Tick(false);
    } catch (...) {
        // Nothing may escape into the platform's timer thread.
    }
}

void RecordingEngine::Tick(bool singleFrame) {
    Session* session = session_.get();
    if (!session)
        return;
    Session& s = *session;
    TickGuard guard(s);
    if (!guard || s.frameIndex.Aborted())
        return;
    const Stopwatch tickWatch;

    if (s.frameIndex.Load() == 0) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
        attachedThread_ = 0;
    }
    POINT cursorPos{};
    ::GetCursorPos(&cursorPos);
    PanRegion(cursorPos);

    const int32_t x = options_.StartX;
    const int32_t y = options_.StartY;
    const int32_t width = options_.Width;
    const int32_t height = options_.Height;
    // Edges in 64 bits: a sum that overflowed here would be undefined on the timer's thread.
    const int64_t left = x;
    const int64_t top = y;
    const int64_t right = left + width;
    const int64_t bottom = top + height;
    const bool paused = State() == record_state::Paused && !singleFrame;

    // The flashing frame is visible while the region is copied; it lies outside the region.
    const DWORD flashStart = ::timeGetTime();
    std::optional<FlashFrame> flash;
    if (options_.FlashRect || paused)
        flash.emplace(flashPen_.get(),
                      RECT{static_cast<LONG>(left - 2), static_cast<LONG>(top - 2),
                           static_cast<LONG>(right + 2), static_cast<LONG>(bottom + 2)},
                      paused && !options_.NoFrameCross);

    // The cursor the window under the mouse shows.
    HCURSOR cursor = nullptr;
    if (options_.DrawCursor && cursorPos.x >= left && cursorPos.x <= right && cursorPos.y >= top &&
        cursorPos.y <= bottom) {
        cursor = CursorUnderMouse(cursorPos);
        if (cursor)
            cursor = cursors_.Lookup(cursor);
    }

    int32_t position = -1;
    if (paused || TakeFramePosition(singleFrame, position)) {
        const int slotIndex = s.ring.FreeSlot();
        if (slotIndex < 0) {
            if (!paused)
                CountDroppedFrame();
        } else {
            FrameSlot& slot = s.slots[slotIndex];
            if (!FitSlotToFormat(slot)) {
                // The old bitmap is kept; this frame is lost.
                if (!paused)
                    CountDroppedFrame();
            } else {
                const Stopwatch captureWatch;
                CaptureRegion(slot, RECT{x, y, static_cast<LONG>(right), static_cast<LONG>(bottom)},
                              cursor, cursorPos);
                s.captureCost.Add(captureWatch.Microseconds());
                if (!paused) {
                    s.drops.Captured();
                    // The moment the first frame of a run was taken is where its sound begins.
                    s.soundStart.NoteFrameTaken(flashStart, position);
                    s.ring.Publish(slotIndex, position);
                }
            }
            ::PostMessageA(host_.HostWindow(), WM_TIMER, 0, 0);
        }
    }

    // The flash's own wait is not the tick's work.
    s.tickCost.Add(tickWatch.Microseconds());
    if (flash) {
        while (::timeGetTime() - flashStart < kFlashMs) {
        }
        flash.reset();
    }
}

void RecordingEngine::PanRegion(POINT cursorPos) {
    Session& s = *session_;
    const int32_t panModifiers = options_.PanModifiers;
    const bool pan = PanningActive(options_.PanLocked != 0, panModifiers,
                                   panModifiers != 0 ? HeldModifiers() : 0);
    if (pan) {
        options_.StartX = PanAxis(options_.StartX, cursorPos.x - s.previousCursorPos.x,
                                  options_.Width, s.screenWidth);
        options_.StartY = PanAxis(options_.StartY, cursorPos.y - s.previousCursorPos.y,
                                  options_.Height, s.screenHeight);
    }
    s.previousCursorPos = cursorPos;
}

// The frame's stream position, from the clock; false for a tick that came before it was due.
bool RecordingEngine::TakeFramePosition(bool singleFrame, int32_t& position) {
    Session& s = *session_;
    if (singleFrame) {
        position = s.schedule.NextInSequence();
        return true;
    }
    return s.schedule.Next(::timeGetTime(), position) != FrameSchedule::Verdict::TooEarly;
}

void RecordingEngine::CountDroppedFrame() {
    Session& s = *session_;
    if (s.drops.Dropped() && s.frameIndex.Abort(abort_code::TooManyDropped))
        RequestStop();
}

// A slot made before a palette change gets a bitmap with the new colour table.
bool RecordingEngine::FitSlotToFormat(FrameSlot& slot) {
    Session& s = *session_;
    const FrameFormatBlock* format = s.currentFormat.load();
    if (slot.generation >= format->generation)
        return true;
    void* bits = nullptr;
    UniqueBitmap fresh(
        ::CreateDIBSection(s.screenDc.get(), format->Info(), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!fresh || !bits)
        return false;
    slot.bitmap = std::move(fresh);
    slot.bits = bits;
    slot.generation = format->generation;
    slot.format = format;
    return true;
}

// Copies the region from the screen into the slot and draws the cursor in.
void RecordingEngine::CaptureRegion(FrameSlot& slot, RECT region, HCURSOR cursor, POINT cursorPos) {
    Session& s = *session_;
    {
        SelectionGuard select(s.memoryDc.get(), slot.bitmap.get());
        ::BitBlt(s.memoryDc.get(), 0, 0, region.right - region.left, region.bottom - region.top,
                 s.screenDc.get(), region.left, region.top, SRCCOPY);
        DrawCursor(cursor, cursorPos, POINT{region.left, region.top});
    }
    // The writer reads the pixels straight from the section's memory.
    ::GdiFlush();
}

// Draws the cursor into the frame selected in the memory DC, whose top left is `origin` on the
// screen.
void RecordingEngine::DrawCursor(HCURSOR cursor, POINT cursorPos, POINT origin) {
    if (!cursor)
        return;
    Session& s = *session_;
    ICONINFO icon{};
    if (!::GetIconInfo(cursor, &icon)) {
        // A cursor of another process that this platform will not let us read (Wine keeps
        // cursor images per process): the arrow is the best likeness.
        cursor = cursors_.Lookup(::LoadCursorA(nullptr, IDC_ARROW));
        if (!::GetIconInfo(cursor, &icon))
            return;
    }
    if (icon.hbmMask)
        ::DeleteObject(icon.hbmMask);
    if (icon.hbmColor)
        ::DeleteObject(icon.hbmColor);
    const int cx = cursorPos.x - static_cast<int>(icon.xHotspot);
    const int cy = cursorPos.y - static_cast<int>(icon.yHotspot);
    // The cursor sits on the live background of its own square.
    ::BitBlt(s.cursorDc.get(), 0, 0, kCursorSize, kCursorSize, s.screenDc.get(), cx, cy, SRCCOPY);
    ::DrawIcon(s.cursorDc.get(), 0, 0, cursor);
    ::BitBlt(s.memoryDc.get(), cx - origin.x, cy - origin.y, kCursorSize, kCursorSize,
             s.cursorDc.get(), 0, 0, SRCCOPY);
}
