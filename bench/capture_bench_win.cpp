// Reference loops for the capture benchmark: what copying a screen region into a DIB section
// costs by itself, and with the cursor drawn in and the frame written uncompressed to an AVI
// file, through the platform's AVI services and through our own writer (checkpointed once a
// second of a 10 fps movie, as the recorder does), measured the same way the recorder does it.
// Prints one line per region:
//   WxH bare_ms cursor_ms avifile_ms ours_ms
//   capture_bench [FRAMES] [FILE]

#include "avi/avi_writer.h"
#include "avi/win_file_win.h"

#include <windows.h>

#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
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

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::string file = argc > 2 ? argv[2] : "bench.avi";
    HDC screen = GetDC(nullptr);
    const int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
    HDC cursorDc = CreateCompatibleDC(screen);
    HBITMAP cursorBitmap = CreateCompatibleBitmap(screen, 32, 32);
    SelectObject(cursorDc, cursorBitmap);
    AVIFileInit();
    const int sizes[][2] = {{320, 240}, {640, 480}, {sw, sh}};
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
        double t = 0;

        DeleteFileA(file.c_str());
        PAVIFILE avi = nullptr;
        PAVISTREAM stream = nullptr;
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
        info.dwRate = 10000;
        info.dwScale = 1000;
        info.dwSuggestedBufferSize = f.imageSize;
        SetRect(&info.rcFrame, 0, 0, w, h);
        double written = -1;
        if (AVIFileOpenA(&avi, file.c_str(), OF_WRITE | OF_CREATE, nullptr) == AVIERR_OK &&
            AVIFileCreateStreamA(avi, &stream, &info) == AVIERR_OK &&
            AVIStreamSetFormat(stream, 0, &f.header, sizeof f.header) == AVIERR_OK) {
            t = Now();
            for (int i = 0; i < frames; ++i) {
                Capture(screen, f, w, h, true, cursorDc);
                AVIStreamWrite(stream, i, 1, f.bits, f.imageSize, AVIIF_KEYFRAME, nullptr, nullptr);
            }
            written = (Now() - t) / frames;
        }
        if (stream)
            AVIStreamRelease(stream);
        if (avi)
            AVIFileRelease(avi);
        DeleteFileA(file.c_str());

        double ours = -1;
        {
            DWORD error = 0;
            const auto sink = avi::WinFile::Create(file, error);
            avi::VideoStreamInfo video;
            video.handler = mmioFOURCC('D', 'I', 'B', ' ');
            video.rate = 10000;
            video.scale = 1000;
            video.suggestedBufferSize = static_cast<uint32_t>(f.imageSize);
            video.width = w;
            video.height = h;
            if (sink) {
                avi::Writer movie(*sink, video, std::nullopt);
                bool ok = movie.Open() == avi::WriteStatus::Ok &&
                          movie.SetVideoFormat(&f.header, sizeof f.header) == avi::WriteStatus::Ok;
                t = Now();
                for (int i = 0; ok && i < frames; ++i) {
                    Capture(screen, f, w, h, true, cursorDc);
                    ok = movie.WriteVideo(i, f.bits, static_cast<size_t>(f.imageSize), true) ==
                         avi::WriteStatus::Ok;
                    if (ok && i % 10 == 9)
                        ok = movie.Checkpoint() == avi::WriteStatus::Ok;
                }
                ok = ok && movie.Finish() == avi::WriteStatus::Ok;
                if (ok)
                    ours = (Now() - t) / frames;
            }
        }
        DeleteFileA(file.c_str());
        std::printf("%dx%d %.3f %.3f %.3f %.3f\n", w, h, bare, withCursor, written, ours);
        DeleteDC(f.memory);
        DeleteObject(f.bitmap);
    }
    AVIFileExit();
    ReleaseDC(nullptr, screen);
    return 0;
}
