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
    FlashFrame(HPEN pen, RECT rect, bool cross) : rect_(rect), cross_(cross) {
        dc_ = ::CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        if (!dc_)
            return;
        ::SetMapMode(dc_, MM_TEXT);
        ::SetROP2(dc_, R2_XORPEN);
        oldPen_ = ::SelectObject(dc_, pen);
        oldBrush_ = ::SelectObject(dc_, ::GetStockObject(HOLLOW_BRUSH));
        Draw();
    }
    FlashFrame(const FlashFrame&) = delete;
    FlashFrame& operator=(const FlashFrame&) = delete;
    ~FlashFrame() {
        if (!dc_)
            return;
        Draw();
        ::SelectObject(dc_, oldPen_);
        ::SelectObject(dc_, oldBrush_);
        ::DeleteDC(dc_);
    }

private:
    void Draw() {
        ::Rectangle(dc_, rect_.left, rect_.top, rect_.right, rect_.bottom);
        if (cross_) {
            ::MoveToEx(dc_, rect_.left, rect_.top, nullptr);
            ::LineTo(dc_, rect_.right, rect_.bottom);
            ::MoveToEx(dc_, rect_.right, rect_.top, nullptr);
            ::LineTo(dc_, rect_.left, rect_.bottom);
        }
        ::GdiFlush();
    }

    HDC dc_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
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

    if (s.frameIndex.Load() == 0) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
        attachedThread_ = 0;
    }
    POINT cursorPos{};
    ::GetCursorPos(&cursorPos);

    // Panning.
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

    const int32_t x = options_.StartX;
    const int32_t y = options_.StartY;
    const int32_t width = options_.Width;
    const int32_t height = options_.Height;
    const bool paused = State() == record_state::Paused && !singleFrame;

    // The flashing frame is visible while the region is copied; it lies outside the region.
    const DWORD flashStart = ::timeGetTime();
    std::optional<FlashFrame> flash;
    if (options_.FlashRect || paused)
        flash.emplace(flashPen_.get(), RECT{x - 2, y - 2, x + width + 2, y + height + 2},
                      paused && !options_.NoFrameCross);

    // The cursor the window under the mouse shows.
    HCURSOR cursor = nullptr;
    if (options_.DrawCursor && cursorPos.x >= x && cursorPos.x <= x + width && cursorPos.y >= y &&
        cursorPos.y <= y + height) {
        cursor = CursorUnderMouse(cursorPos);
        if (cursor)
            cursor = cursors_.Lookup(cursor);
    }

    // The frame's stream position, from the clock.
    int32_t position = 0;
    if (!paused) {
        if (singleFrame)
            position = s.schedule.NextInSequence();
        else if (s.schedule.Next(::timeGetTime(), position) == FrameSchedule::Verdict::TooEarly)
            position = -1;
    }

    const int slotIndex = s.ring.FreeSlot();
    if (slotIndex < 0) {
        if (!paused && position >= 0 && s.drops.Dropped() &&
            s.frameIndex.Abort(abort_code::TooManyDropped))
            RequestStop();
    } else if (paused || position >= 0) {
        FrameSlot& slot = s.slots[slotIndex];
        const FrameFormatBlock* format = s.currentFormat.load();
        bool ready = true;
        if (slot.generation < format->generation) {
            void* bits = nullptr;
            UniqueBitmap fresh(::CreateDIBSection(s.screenDc.get(), format->Info(), DIB_RGB_COLORS,
                                                  &bits, nullptr, 0));
            if (fresh && bits) {
                slot.bitmap = std::move(fresh);
                slot.bits = bits;
                slot.generation = format->generation;
                slot.format = format;
            } else {
                ready = false; // keep the old bitmap; this frame is lost
            }
        }
        if (ready) {
            {
                SelectionGuard select(s.memoryDc.get(), slot.bitmap.get());
                ::BitBlt(s.memoryDc.get(), 0, 0, width, height, s.screenDc.get(), x, y, SRCCOPY);
                ICONINFO icon{};
                if (cursor && !::GetIconInfo(cursor, &icon)) {
                    // A cursor of another process that this platform will not let us read
                    // (Wine keeps cursor images per process): the arrow is the best likeness.
                    cursor = cursors_.Lookup(::LoadCursorA(nullptr, IDC_ARROW));
                    if (!::GetIconInfo(cursor, &icon))
                        cursor = nullptr;
                }
                if (cursor) {
                    if (icon.hbmMask)
                        ::DeleteObject(icon.hbmMask);
                    if (icon.hbmColor)
                        ::DeleteObject(icon.hbmColor);
                    const int cx = cursorPos.x - static_cast<int>(icon.xHotspot);
                    const int cy = cursorPos.y - static_cast<int>(icon.yHotspot);
                    // The cursor sits on the live background of its own square.
                    ::BitBlt(s.cursorDc.get(), 0, 0, kCursorSize, kCursorSize, s.screenDc.get(), cx,
                             cy, SRCCOPY);
                    ::DrawIcon(s.cursorDc.get(), 0, 0, cursor);
                    ::BitBlt(s.memoryDc.get(), cx - x, cy - y, kCursorSize, kCursorSize,
                             s.cursorDc.get(), 0, 0, SRCCOPY);
                }
            }
            // The writer reads the pixels straight from the section's memory.
            ::GdiFlush();
            if (!paused) {
                s.drops.Captured();
                // The moment the first frame of a run was taken is where its sound begins.
                s.soundStart.NoteFrameTaken(flashStart);
                s.ring.Publish(slotIndex, position);
            }
        } else if (!paused && s.drops.Dropped() && s.frameIndex.Abort(abort_code::TooManyDropped)) {
            RequestStop();
        }
        ::PostMessageA(host_.HostWindow(), WM_TIMER, 0, 0);
    }

    if (flash) {
        while (::timeGetTime() - flashStart < kFlashMs) {
        }
        flash.reset();
    }
}
