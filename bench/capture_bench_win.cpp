// Reference loops for the capture benchmark, measured the way the recorder does it.
//
//   capture_bench [FRAMES] [FILE]
// What copying a screen region into a DIB section costs by itself, with the cursor drawn in,
// and with the frame written uncompressed to an AVI file through the platform's AVI services
// and through our own writer (checkpointed once a second of a 10 fps movie, as the recorder
// does). One line per region:
//   WxH bare_ms cursor_ms avifile_ms ours_ms
//
//   capture_bench paced WRITER RATE SECONDS FILE
// The whole screen taken RATE times a second for SECONDS on one thread, into a ring of the
// recorder's size, and written uncompressed by WRITER ("avifile" or "ours") on another, as the
// recorder does: a tick that finds no free slot drops its frame. One line:
//   RATE frames dropped late failed capture_ms write_ms worst_write_ms
// where late counts ticks that came after the next was due (their positions stay empty) and
// failed the frames the writer refused. The movie is left in FILE for the caller to read.

#include "avi/avi_writer.h"
#include "avi/win_file_win.h"

#include <windows.h>

#include <mmsystem.h>
#include <vfw.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

struct Frame {
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    void* bits = nullptr;
    BITMAPINFOHEADER header{};
    LONG imageSize = 0;
};

Frame MakeFrame(HDC screen, int w, int h) {
    Frame f;
    const int bpp = GetDeviceCaps(screen, BITSPIXEL);
    f.header = {sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0};
    f.imageSize = ((w * bpp + 31) / 32) * 4 * h;
    f.bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&f.header), DIB_RGB_COLORS,
                                &f.bits, nullptr, 0);
    f.memory = CreateCompatibleDC(screen);
    return f;
}

void FreeFrame(Frame& f) {
    DeleteDC(f.memory);
    DeleteObject(f.bitmap);
}

void Capture(HDC screen, Frame& f, int w, int h, bool cursor, HDC cursorDc) {
    HGDIOBJ old = SelectObject(f.memory, f.bitmap);
    BitBlt(f.memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    if (cursor) {
        POINT p;
        GetCursorPos(&p);
        HCURSOR c = LoadCursorA(nullptr, IDC_ARROW);
        ICONINFO info{};
        if (GetIconInfo(c, &info)) {
            DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
        }
        BitBlt(cursorDc, 0, 0, 32, 32, screen, p.x, p.y, SRCCOPY);
        DrawIcon(cursorDc, 0, 0, c);
        BitBlt(f.memory, p.x, p.y, 32, 32, cursorDc, 0, 0, SRCCOPY);
    }
    SelectObject(f.memory, old);
    GdiFlush();
}

// The screen to copy from, and a square the cursor is drawn on before it goes into a frame.
struct Screen {
    HDC dc = GetDC(nullptr);
    int width = GetDeviceCaps(dc, HORZRES);
    int height = GetDeviceCaps(dc, VERTRES);
    HDC cursorDc = CreateCompatibleDC(dc);
    HBITMAP cursorBitmap = CreateCompatibleBitmap(dc, 32, 32);

    Screen() { SelectObject(cursorDc, cursorBitmap); }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    ~Screen() {
        DeleteDC(cursorDc);
        DeleteObject(cursorBitmap);
        ReleaseDC(nullptr, dc);
    }
};

// Uncompressed frames into a movie of `rate` frames per second, by one of the two writers.
class MovieOut {
public:
    virtual ~MovieOut() = default;
    virtual bool Write(int position, const Frame& f) = 0;
    virtual bool Close() = 0;
};

class AviFileOut final : public MovieOut {
public:
    AviFileOut(const std::string& file, const Frame& f, int rate) {
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
        info.dwRate = static_cast<DWORD>(rate) * 1000;
        info.dwScale = 1000;
        info.dwSuggestedBufferSize = static_cast<DWORD>(f.imageSize);
        SetRect(&info.rcFrame, 0, 0, f.header.biWidth, f.header.biHeight);
        ok_ = AVIFileOpenA(&file_, file.c_str(), OF_WRITE | OF_CREATE, nullptr) == AVIERR_OK &&
              AVIFileCreateStreamA(file_, &stream_, &info) == AVIERR_OK &&
              AVIStreamSetFormat(stream_, 0, const_cast<BITMAPINFOHEADER*>(&f.header),
                                 sizeof f.header) == AVIERR_OK;
    }
    ~AviFileOut() override { Close(); }
    bool Write(int position, const Frame& f) override {
        return ok_ && AVIStreamWrite(stream_, position, 1, f.bits, f.imageSize, AVIIF_KEYFRAME,
                                     nullptr, nullptr) == AVIERR_OK;
    }
    bool Close() override {
        if (stream_)
            AVIStreamRelease(stream_);
        if (file_)
            AVIFileRelease(file_);
        stream_ = nullptr;
        file_ = nullptr;
        return ok_;
    }

private:
    PAVIFILE file_ = nullptr;
    PAVISTREAM stream_ = nullptr;
    bool ok_ = false;
};

class OurOut final : public MovieOut {
public:
    OurOut(const std::string& file, const Frame& f, int rate) : rate_(rate) {
        DWORD error = 0;
        sink_ = avi::WinFile::Create(file, error);
        avi::VideoStreamInfo video;
        video.handler = mmioFOURCC('D', 'I', 'B', ' ');
        video.rate = static_cast<uint32_t>(rate) * 1000;
        video.scale = 1000;
        video.suggestedBufferSize = static_cast<uint32_t>(f.imageSize);
        video.width = f.header.biWidth;
        video.height = f.header.biHeight;
        if (!sink_)
            return;
        movie_.emplace(*sink_, video, std::nullopt);
        ok_ = movie_->Open() == avi::WriteStatus::Ok &&
              movie_->SetVideoFormat(&f.header, sizeof f.header) == avi::WriteStatus::Ok;
    }
    bool Write(int position, const Frame& f) override {
        ok_ = ok_ && movie_->WriteVideo(position, f.bits, static_cast<size_t>(f.imageSize), true) ==
                         avi::WriteStatus::Ok;
        // About once a second of movie, as the recorder does.
        if (ok_ && position / rate_ != checkpointed_) {
            checkpointed_ = position / rate_;
            ok_ = movie_->Checkpoint() == avi::WriteStatus::Ok;
        }
        return ok_;
    }
    bool Close() override {
        if (movie_ && ok_)
            ok_ = movie_->Finish() == avi::WriteStatus::Ok;
        movie_.reset();
        sink_.reset();
        return ok_;
    }

private:
    int rate_;
    int checkpointed_ = 0;
    std::unique_ptr<avi::WinFile> sink_;
    std::optional<avi::Writer> movie_;
    bool ok_ = false;
};

std::unique_ptr<MovieOut> OpenOut(const std::string& writer, const std::string& file,
                                  const Frame& f, int rate) {
    DeleteFileA(file.c_str());
    if (writer == "avifile")
        return std::make_unique<AviFileOut>(file, f, rate);
    return std::make_unique<OurOut>(file, f, rate);
}

// Per-frame costs of each region, back to back.
void Loops(int frames, const std::string& file) {
    const Screen display;
    HDC screen = display.dc, cursorDc = display.cursorDc;
    const int sizes[][2] = {{320, 240}, {640, 480}, {display.width, display.height}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        Frame f = MakeFrame(screen, w, h);
        // Best of three rounds after a warm-up: the first copies pay for mapping the surfaces,
        // and a busy neighbour should not decide the figure.
        auto timed = [&](bool cursor) {
            for (int i = 0; i < frames / 10 + 1; ++i)
                Capture(screen, f, w, h, cursor, cursorDc);
            double best = 1e30;
            for (int round = 0; round < 3; ++round) {
                const double t0 = Now();
                for (int i = 0; i < frames; ++i)
                    Capture(screen, f, w, h, cursor, cursorDc);
                best = std::min(best, (Now() - t0) / frames);
            }
            return best;
        };
        const double bare = timed(false);
        const double withCursor = timed(true);
        auto written = [&](const char* writer) {
            auto out = OpenOut(writer, file, f, 10);
            const double t = Now();
            bool ok = true;
            for (int i = 0; ok && i < frames; ++i) {
                Capture(screen, f, w, h, true, cursorDc);
                ok = out->Write(i, f);
            }
            ok = out->Close() && ok;
            const double each = (Now() - t) / frames;
            DeleteFileA(file.c_str());
            return ok ? each : -1.0;
        };
        const double avifile = written("avifile");
        const double ours = written("ours");
        std::printf("%dx%d %.3f %.3f %.3f %.3f\n", w, h, bare, withCursor, avifile, ours);
        FreeFrame(f);
    }
}

// The recorder's shape: ticks on this thread, writes on another, a small ring between them.
void Paced(const std::string& writer, int rate, int seconds, const std::string& file) {
    constexpr int kSlots = 5;
    const Screen display;
    HDC screen = display.dc, cursorDc = display.cursorDc;
    const int w = display.width, h = display.height;
    std::array<Frame, kSlots> slots;
    for (Frame& f : slots)
        f = MakeFrame(screen, w, h);
    auto out = OpenOut(writer, file, slots[0], rate);

    // Slot i holds a frame to write when its position is 0 or more.
    std::array<std::atomic<int>, kSlots> position;
    for (auto& p : position)
        p.store(-1);
    std::atomic<bool> ticking{true};
    std::atomic<int> failed{0};
    double writeTotal = 0, writeWorst = 0;
    int writes = 0;
    std::thread writing([&] {
        int next = 0; // slots are filled and written in turn
        for (;;) {
            const int at = position[next].load();
            if (at < 0) {
                if (!ticking.load())
                    break;
                Sleep(1);
                continue;
            }
            const double t = Now();
            if (!out->Write(at, slots[next]))
                failed.fetch_add(1);
            const double took = Now() - t;
            writeTotal += took;
            writeWorst = std::max(writeWorst, took);
            ++writes;
            position[next].store(-1);
            next = (next + 1) % kSlots;
        }
    });

    timeBeginPeriod(1);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    const double start = Now(), period = 1000.0 / rate;
    const int positions = rate * seconds;
    int frames = 0, dropped = 0, late = 0, slot = 0;
    double captureTotal = 0;
    for (int i = 0; i < positions; ++i) {
        while (Now() < start + i * period)
            Sleep(1);
        // A tick that comes after the next one was due leaves its position empty.
        if (Now() >= start + (i + 1) * period) {
            ++late;
            continue;
        }
        if (position[slot].load() >= 0) {
            ++dropped;
            continue;
        }
        const double t = Now();
        Capture(screen, slots[slot], w, h, true, cursorDc);
        captureTotal += Now() - t;
        ++frames;
        position[slot].store(i);
        slot = (slot + 1) % kSlots;
    }
    ticking.store(false);
    writing.join();
    timeEndPeriod(1);
    if (!out->Close())
        failed.fetch_add(1);
    out.reset();
    std::printf("%d %d %d %d %d %.3f %.3f %.3f\n", rate, frames, dropped, late, failed.load(),
                frames ? captureTotal / frames : 0.0, writes ? writeTotal / writes : 0.0,
                writeWorst);
    for (Frame& f : slots)
        FreeFrame(f);
}

} // namespace

int main(int argc, char** argv) {
    // The recorder captures on its timer thread. Under Wine a screen copy made on the main
    // thread of this windowless program costs about five times as much (30 ms against 6 ms for
    // the whole 1024x768 screen), so the loops run on a thread of their own too.
    std::thread([&] {
        AVIFileInit(); // per thread: the platform's AVI services are COM objects
        if (argc > 5 && std::strcmp(argv[1], "paced") == 0)
            Paced(argv[2], std::max(1, std::atoi(argv[3])), std::max(1, std::atoi(argv[4])),
                  argv[5]);
        else
            Loops(argc > 1 ? std::atoi(argv[1]) : 100, argc > 2 ? argv[2] : "bench.avi");
        AVIFileExit();
    }).join();
    return 0;
}
