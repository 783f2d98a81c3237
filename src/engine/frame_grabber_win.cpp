// One tick per timer period on the multimedia timer's thread; the set-up's half (the format,
// the bitmaps, the timer) on the thread that records.

#include "engine/frame_grabber_win.h"

#include "engine/cursor_images_win.h"
#include "engine/frame_format.h"
#include "engine/option_rules.h"
#include "engine/panning.h"
#include "engine/record_state_win.h"
#include "engine/stopwatch_win.h"

#include <mmsystem.h>

namespace {

constexpr DWORD kFlashMs = 15;
constexpr UINT kTimerResolutionMs = 5;
// Frame memory the ring may hold: a 32-bit process has two gigabytes of addresses in all.
constexpr int64_t kRingBudgetBytes = 160LL * 1024 * 1024;
constexpr DWORD kTickWaitLimitMs = 2000;

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

// Counts a running tick so a halt can wait for it.
class TickGuard {
public:
    TickGuard(std::atomic<int32_t>& running, const std::atomic<bool>& halting, bool singleFrame)
        : running_(running) {
        running_.fetch_add(1);
        entered_ = singleFrame || !halting.load();
    }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;
    ~TickGuard() { running_.fetch_sub(1); }
    explicit operator bool() const { return entered_; }

private:
    std::atomic<int32_t>& running_;
    bool entered_;
};

} // namespace

HCURSOR FrameGrabber::CursorUnderMouse(POINT cursorPos) {
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

void CALLBACK FrameGrabber::OnTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    try {
        reinterpret_cast<FrameGrabber*>(user)->Tick(false);
    } catch (...) {
        // Nothing may escape into the platform's timer thread.
    }
}

void FrameGrabber::Tick(bool singleFrame) {
    TickGuard guard(ticksRunning_, halting_, singleFrame);
    if (!guard || links_.frameIndex.Aborted())
        return;
    const Stopwatch tickWatch;

    if (links_.frameIndex.Load() == 0) {
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
    const bool paused = links_.recordState.load() == record_state::Paused && !singleFrame;

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
        const int slotIndex = ring_.FreeSlot();
        if (slotIndex < 0) {
            if (!paused)
                CountDroppedFrame();
        } else {
            FrameSlot& slot = slots_[slotIndex];
            if (!FitSlotToFormat(slot)) {
                // The old bitmap is kept; this frame is lost.
                if (!paused)
                    CountDroppedFrame();
            } else {
                const Stopwatch captureWatch;
                CaptureRegion(slot, RECT{x, y, static_cast<LONG>(right), static_cast<LONG>(bottom)},
                              cursor, cursorPos);
                captureCost_.Add(captureWatch.Microseconds());
                if (!paused) {
                    drops_.Captured();
                    // The moment the first frame of a run was taken is where its sound begins.
                    links_.soundStart.NoteFrameTaken(flashStart, position);
                    ring_.Publish(slotIndex, position);
                    ::SetEvent(links_.frameReady);
                }
            }
            ::PostMessageA(links_.notify, WM_TIMER, 0, 0);
        }
    }

    // The flash's own wait is not the tick's work.
    tickCost_.Add(tickWatch.Microseconds());
    if (flash) {
        while (::timeGetTime() - flashStart < kFlashMs) {
        }
        flash.reset();
    }
}

void FrameGrabber::PanRegion(POINT cursorPos) {
    const int32_t panModifiers = options_.PanModifiers;
    const bool pan = PanningActive(options_.PanLocked != 0, panModifiers,
                                   panModifiers != 0 ? HeldModifiers() : 0);
    if (pan) {
        options_.StartX = PanAxis(options_.StartX, cursorPos.x - previousCursorPos_.x,
                                  options_.Width, screenWidth_);
        options_.StartY = PanAxis(options_.StartY, cursorPos.y - previousCursorPos_.y,
                                  options_.Height, screenHeight_);
    }
    previousCursorPos_ = cursorPos;
}

// The frame's stream position, from the clock; false for a tick that came before it was due.
bool FrameGrabber::TakeFramePosition(bool singleFrame, int32_t& position) {
    if (singleFrame) {
        position = schedule_.NextInSequence();
        return true;
    }
    return schedule_.Next(::timeGetTime(), position) != FrameSchedule::Verdict::TooEarly;
}

void FrameGrabber::CountDroppedFrame() {
    // Only the first abort asks for the stop.
    if (drops_.Dropped() && links_.frameIndex.Abort(abort_code::TooManyDropped))
        ::PostMessageA(links_.notify, WM_ENGINE_STOP_REQUEST, 0, 0);
}

// A slot made before a palette change gets a bitmap with the new colour table.
bool FrameGrabber::FitSlotToFormat(FrameSlot& slot) {
    const FrameFormatBlock* format = currentFormat_.load();
    if (slot.generation >= format->generation)
        return true;
    void* bits = nullptr;
    UniqueBitmap fresh(::CreateDIBSection(capture_->ScreenDc(), format->Info(), DIB_RGB_COLORS,
                                          &bits, nullptr, 0));
    if (!fresh || !bits)
        return false;
    slot.bitmap = std::move(fresh);
    slot.bits = bits;
    slot.generation = format->generation;
    slot.format = format;
    return true;
}

// Copies the region from the screen into the slot and draws the cursor in.
void FrameGrabber::CaptureRegion(FrameSlot& slot, RECT region, HCURSOR cursor, POINT cursorPos) {
    {
        SelectionGuard select(memoryDc_.get(), slot.bitmap.get());
        // The input up to the moment of the copy, which is the moment the frame shows.
        const uint32_t now = ::timeGetTime();
        capture_->Copy(memoryDc_.get(), region);
        const POINT origin{region.left, region.top};
        DrawCursor(cursor, cursorPos, origin);
        if (input_) {
            const overlay::Scene scene = input_->At(now);
            if (!scene.Empty())
                painter_->Draw(memoryDc_.get(), scene, origin, cursorPos,
                               SIZE{region.right - region.left, region.bottom - region.top});
        }
    }
    // The writer reads the pixels straight from the section's memory.
    ::GdiFlush();
}

// Draws the cursor into the frame selected in the memory DC, whose top left is `origin` on the
// screen.
void FrameGrabber::DrawCursor(HCURSOR cursor, POINT cursorPos, POINT origin) {
    if (!cursor)
        return;
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
    // Straight onto the copy, which already holds the screen under the cursor: no second read
    // of the screen, and the frame's edges clip what lies outside.
    ::DrawIcon(memoryDc_.get(), cursorPos.x - static_cast<int>(icon.xHotspot) - origin.x,
               cursorPos.y - static_cast<int>(icon.yHotspot) - origin.y, cursor);
}

FrameGrabber::FrameGrabber(RecordingOptions& options, const CursorImageTable& cursors,
                           GrabberLinks links)
    : options_(options), cursors_(cursors), links_(links),
      flashPen_(::CreatePen(PS_SOLID, 3, RGB(255, 255, 255))) {
    RECT desktop{};
    ::GetClientRect(::GetDesktopWindow(), &desktop);
    screenWidth_ = desktop.right;
    screenHeight_ = desktop.bottom;
    timerPeriod_ = option_rules::TimerPeriodMs(options_.FrameRate);
    ring_.Reset();
    drops_.Reset();
}

FrameGrabber::~FrameGrabber() {
    Halt();
}

bool FrameGrabber::PrepareFormat() {
    auto gdi = std::make_unique<GdiScreenCapture>();
    if (!gdi->Opened())
        return false;
    capture_ = std::move(gdi);
    HDC dc = capture_->ScreenDc();
    bitsPerPixel_ = ::GetDeviceCaps(dc, BITSPIXEL) * ::GetDeviceCaps(dc, PLANES);
    colorCount_ = ColorCount(bitsPerPixel_);
    const auto imageSize = ::ImageSize(options_.Width, options_.Height, bitsPerPixel_);
    if (!imageSize)
        return false;
    imageSize_ = *imageSize;

    auto block = std::make_unique<FrameFormatBlock>();
    block->bytes.assign(sizeof(BITMAPINFOHEADER) + 4 * static_cast<size_t>(colorCount_), 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block->bytes.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = options_.Width;
    header->biHeight = options_.Height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(bitsPerPixel_);
    header->biCompression = BI_RGB;
    header->biClrUsed = static_cast<DWORD>(colorCount_);
    if (colorCount_ > 0) {
        std::vector<PALETTEENTRY> system(colorCount_);
        ::GetSystemPaletteEntries(dc, 0, colorCount_, system.data());
        std::vector<PaletteColor> palette(colorCount_);
        for (int32_t i = 0; i < colorCount_; ++i)
            palette[i] = {system[i].peRed, system[i].peGreen, system[i].peBlue};
        const int32_t staticHalf =
            ::GetSystemPaletteUse(dc) == SYSPAL_NOSTATIC ? 1 : ::GetDeviceCaps(dc, NUMRESERVED) / 2;
        BuildColorTable(
            palette.data(), colorCount_, staticHalf,
            reinterpret_cast<ColorEntry*>(block->bytes.data() + sizeof(BITMAPINFOHEADER)));
    }
    formats_.push_back(std::move(block));
    currentFormat_.store(formats_.back().get());
    return true;
}

bool FrameGrabber::MakeBitmaps() {
    memoryDc_.reset(::CreateCompatibleDC(capture_->ScreenDc()));
    if (!memoryDc_)
        return false;
    const FrameFormatBlock* format = currentFormat_.load();
    const int wanted = RingSlotsFor(imageSize_, options_.FrameRate, kRingBudgetBytes);
    slots_.clear();
    slots_.reserve(static_cast<size_t>(wanted));
    while (static_cast<int>(slots_.size()) < wanted) {
        FrameSlot slot;
        slot.bitmap.reset(::CreateDIBSection(capture_->ScreenDc(), format->Info(), DIB_RGB_COLORS,
                                             &slot.bits, nullptr, 0));
        if (!slot.bitmap || !slot.bits) {
            // Memory gave out: a shorter ring will do, down to its minimum.
            if (static_cast<int>(slots_.size()) >= FrameRing::kSlots)
                break;
            return false;
        }
        slot.format = format;
        slots_.push_back(std::move(slot));
    }
    ring_.Reset(static_cast<int>(slots_.size()));
    return true;
}

void FrameGrabber::StartClock() {
    ::GetCursorPos(&previousCursorPos_);
    schedule_.Start(options_.FrameRate);
}

bool FrameGrabber::Start() {
    if (!input_ && (options_.HighlightClicks != 0 || options_.ShowKeys != 0)) {
        // Without the hooks the recording goes on, showing no input.
        input_ = std::make_unique<InputHooks>(options_, links_.recordState);
        painter_.emplace(options_.Height);
    }
    halting_.store(false);
    timerId_ = ::timeSetEvent(static_cast<UINT>(timerPeriod_), kTimerResolutionMs, OnTimer,
                              reinterpret_cast<DWORD_PTR>(this),
                              TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    return timerId_ != 0;
}

void FrameGrabber::Halt() {
    halting_.store(true);
    if (timerId_ != 0)
        ::timeKillEvent(timerId_);
    timerId_ = 0;
    for (DWORD waited = 0; ticksRunning_.load() > 0 && waited < kTickWaitLimitMs; ++waited)
        ::Sleep(1);
}

void FrameGrabber::RefreshPalette() {
    const FrameFormatBlock* current = currentFormat_.load();
    auto block = std::make_unique<FrameFormatBlock>(*current);
    block->generation = current->generation + 1;
    if (colorCount_ > 0) {
        std::vector<PALETTEENTRY> system(colorCount_);
        ::GetSystemPaletteEntries(capture_->ScreenDc(), 0, colorCount_, system.data());
        auto* table = reinterpret_cast<RGBQUAD*>(block->bytes.data() + sizeof(BITMAPINFOHEADER));
        for (int32_t i = 0; i < colorCount_; ++i)
            table[i] = RGBQUAD{system[i].peBlue, system[i].peGreen, system[i].peRed, 0};
    }
    // Owned first, published last: the next tick makes new bitmaps from it, and a list that
    // cannot grow must not leave it pointing at a freed block.
    formats_.push_back(std::move(block));
    currentFormat_.store(formats_.back().get());
}

std::string FrameGrabber::DescribeCosts() const {
    return tickCost_.Describe("ticks") + " " + captureCost_.Describe("capture");
}
