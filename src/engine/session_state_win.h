#pragma once

// The state of one recording, shared by set-up and stop, the grabber and the writer. Created at
// set-up, destroyed at the end of the stop.

#include "avi/avi_writer.h"
#include "avi/win_file_win.h"
#include "engine/cost_meter.h"
#include "engine/frame_ring.h"
#include "engine/recording_engine_win.h"
#include "engine/sound_start.h"
#include "engine/video_compressor_win.h"

#include <array>
#include <optional>
#include <vector>
#include <vfw.h>

// Microseconds since it was made, on the performance counter.
class Stopwatch {
public:
    Stopwatch() noexcept { ::QueryPerformanceCounter(&start_); }
    [[nodiscard]] int64_t Microseconds() const noexcept {
        LARGE_INTEGER now, frequency;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return (now.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart;
    }

private:
    LARGE_INTEGER start_{};
};

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

struct RecordingEngine::Session {
    FrameCounter frameIndex; // positions written, or the abort code
    DropLimit drops;
    FrameRing ring;
    FrameSchedule schedule;
    HRESULT lastAviError = S_OK;

    UINT timerId = 0;
    int32_t timerPeriod = 0;
    // A tick runs on the timer thread; the stop waits for it before releasing what it uses.
    std::atomic<bool> stopping{false};
    std::atomic<int32_t> ticksRunning{0};

    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    int32_t bitsPerPixel = 0;
    int32_t colorCount = 0;
    int32_t imageSize = 0;
    UniqueWindowDc screenDc;

    std::vector<std::unique_ptr<FrameFormatBlock>> formats; // every table of the session
    std::atomic<const FrameFormatBlock*> currentFormat{nullptr};
    int32_t formatGeneration = -1; // of the format the stream has now (writer only)

    UniqueMemoryDc memoryDc;
    std::array<FrameSlot, FrameRing::kSlots> slots;
    UniqueBitmap cursorBitmap;
    UniqueMemoryDc cursorDc;
    // The cursor bitmap in the cursor DC; goes first, so the DC is left as it was made.
    std::optional<SelectionGuard> cursorSelection;
    POINT previousCursorPos{};

    // The movie: our own AVI writer on the file, and the compressor the frames go through (none
    // for uncompressed frames).
    std::unique_ptr<avi::WinFile> file;
    std::unique_ptr<avi::Writer> movie;
    std::unique_ptr<VideoCompressor> compressor;
    bool uncompressed = false;
    bool handlerChosenByDepth = false; // free to fall back to uncompressed frames
    bool keyFrameDue = false;          // the first frame after a resume: a place to seek to
    DWORD lastCheckpointMs = 0;
    bool audio = false;    // the movie has an audio stream
    SoundStart soundStart; // RecordSound as the recording started, and its runs
    // The engine's own costs: a timer tick (the region copied, the cursor drawn), and a frame
    // written (compressed and into the file), for the timing log.
    CostMeter tickCost;
    CostMeter captureCost;
    CostMeter writeCost;
    CostMeter compressCost;
    bool priorityRaised = false;
    std::string fileName;
    std::string directory;     // where the free space is measured, with a trailing backslash
    bool fileCreated = false;  // only a file this recording created may be deleted
    int32_t framesWritten = 0; // a file without a single frame is not a recording
};
