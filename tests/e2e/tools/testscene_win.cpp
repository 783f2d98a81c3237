// A known picture for the system tests to record. A topmost popup covers the whole virtual screen
// with blocks whose colour tells where they are, and code blocks that show a counter running at a
// fixed rate, so any recorded region can be checked for place, orientation and capture time.
// tests/e2e/scene.py computes the same picture; change both together.
//
//   testscene [--rate N] [--seconds S] [--no-strip] [--beep-every S]
//
//   --rate N        counter steps per second (default 50)
//   --seconds S     close after S seconds (default: run until closed)
//   --no-strip      background only
//   --beep-every S  every S seconds (first after S) the whole screen turns white for 300 ms and,
//                   at the same instant, a 100 ms tone of 1000 Hz starts on the wave output,
//                   so a recording can be checked for sound and picture in step
//                   (tests/e2e/test_sound.py reads both back)
//
// Prints nothing; exits 0 when closed, 2 on a bad argument.

#include <windows.h>

#include <mmsystem.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Background: 32x32 blocks, red = 8 * column, green = 8 * row (each modulo 32 blocks), blue 0x80.
// Multiples of 8 keep their top five bits exact, so 16-bit screens show the same blocks.
constexpr int kBlock = 32;
constexpr int kLevels = 32;
constexpr int kStep = 8;
constexpr BYTE kBlue = 0x80;

// Code blocks: 5x5 cells of 8x8 pixels, one at (12 + 64 i, 12 + 64 j) in screen coordinates.
// Row 0 is the guard (black, white, black, white, black); rows 1-4 hold in column 0 a check
// nibble and in columns 1-4 the counter's Gray code, most significant bit first. White is 1.
// Gray code: a capture that catches a block between two steps still reads one of them.
constexpr int kCell = 8;
constexpr int kCells = 5;
constexpr int kCodeSize = kCell * kCells;
constexpr int kCodePitch = 64;
constexpr int kCodeOffset = 12;
constexpr unsigned kCheckSalt = 0x5; // an all-black block is not a valid code

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT_PTR kExitTimer = 2;
constexpr UINT_PTR kBeepTimer = 3;
constexpr UINT_PTR kFlashEndTimer = 4;

// Flash and tone: long enough for a frame at 5 frames a second to catch the flash.
constexpr UINT kFlashMs = 300;
constexpr int kToneRate = 44100;
constexpr double kToneHz = 1000.0;
constexpr int kToneMs = 100;
constexpr char kClassName[] = "TestScene";
constexpr char kTitle[] = "Test Scene";

struct Options {
    int rate = 50;
    double seconds = 0; // 0: until closed
    bool strip = true;
    double beepEvery = 0; // 0: no flashes or tones
};

struct Scene {
    Options options;
    RECT screen{}; // virtual screen, screen coordinates
    HDC backDc = nullptr;
    HBITMAP backBitmap = nullptr;
    HGDIOBJ backOld = nullptr;
    HRGN codeRegion = nullptr; // every code block, client coordinates
    LARGE_INTEGER start{};
    LARGE_INTEGER frequency{};
    std::uint32_t shown = UINT32_MAX; // the counter value on the screen
    bool flashing = false;
};

Scene g_scene;

// The tone, played through the wave output. winmm is loaded at run time: the scene's build links
// only the window and drawing libraries.
class TonePlayer {
public:
    bool Open() {
        module_ = LoadLibraryA("winmm.dll");
        if (!module_)
            return false;
        if (!Bind("waveOutOpen", open_) || !Bind("waveOutPrepareHeader", prepare_) ||
            !Bind("waveOutUnprepareHeader", unprepare_) || !Bind("waveOutWrite", write_) ||
            !Bind("waveOutReset", reset_) || !Bind("waveOutClose", close_))
            return false;
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 1;
        format.nSamplesPerSec = kToneRate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2;
        format.nAvgBytesPerSec = kToneRate * 2;
        if (open_(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
            return false;
        const int samples = kToneRate * kToneMs / 1000;
        tone_.resize(samples);
        for (int i = 0; i < samples; ++i)
            tone_[i] = static_cast<std::int16_t>(
                16000 * std::sin(2 * 3.141592653589793 * kToneHz * i / kToneRate));
        header_.lpData = reinterpret_cast<LPSTR>(tone_.data());
        header_.dwBufferLength = static_cast<DWORD>(samples * 2);
        return prepare_(device_, &header_, sizeof header_) == MMSYSERR_NOERROR;
    }
    void Play() {
        if (!device_)
            return;
        if ((header_.dwFlags & WHDR_INQUEUE) != 0)
            reset_(device_);
        write_(device_, &header_, sizeof header_);
    }
    void Close() {
        if (device_) {
            reset_(device_);
            unprepare_(device_, &header_, sizeof header_);
            close_(device_);
            device_ = nullptr;
        }
        if (module_)
            FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    template <class F> bool Bind(const char* name, F& function) {
        // Through void(*)(), from which any function pointer type may be cast.
        function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
        return function != nullptr;
    }

    using OpenFunction = MMRESULT(WINAPI*)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR,
                                           DWORD);
    using HeaderFunction = MMRESULT(WINAPI*)(HWAVEOUT, LPWAVEHDR, UINT);
    using DeviceFunction = MMRESULT(WINAPI*)(HWAVEOUT);

    HMODULE module_ = nullptr;
    OpenFunction open_ = nullptr;
    HeaderFunction prepare_ = nullptr;
    HeaderFunction unprepare_ = nullptr;
    HeaderFunction write_ = nullptr;
    DeviceFunction reset_ = nullptr;
    DeviceFunction close_ = nullptr;
    HWAVEOUT device_ = nullptr;
    WAVEHDR header_{};
    std::vector<std::int16_t> tone_;
};

TonePlayer g_tone;

int FloorMod(int a, int m) {
    const int r = a % m;
    return r < 0 ? r + m : r;
}

int FloorDiv(int a, int m) {
    return (a - FloorMod(a, m)) / m;
}

std::uint32_t BackgroundPixel(int x, int y) { // 0x00RRGGBB
    const std::uint32_t r = FloorMod(FloorDiv(x, kBlock), kLevels) * kStep;
    const std::uint32_t g = FloorMod(FloorDiv(y, kBlock), kLevels) * kStep;
    return (r << 16) | (g << 8) | kBlue;
}

unsigned CodeCell(std::uint32_t counter, int row, int col) { // 1 = white
    const unsigned gray = (counter ^ (counter >> 1)) & 0xFFFF;
    if (row == 0)
        return col & 1;
    if (col == 0) {
        const unsigned check = (gray ^ (gray >> 4) ^ (gray >> 8) ^ (gray >> 12) ^ kCheckSalt) & 0xF;
        return (check >> (4 - row)) & 1;
    }
    const int bit = 15 - ((row - 1) * 4 + (col - 1));
    return (gray >> bit) & 1;
}

// Layout

void ReleaseLayout() {
    if (g_scene.backDc) {
        SelectObject(g_scene.backDc, g_scene.backOld);
        DeleteDC(g_scene.backDc);
        g_scene.backDc = nullptr;
    }
    if (g_scene.backBitmap) {
        DeleteObject(g_scene.backBitmap);
        g_scene.backBitmap = nullptr;
    }
    if (g_scene.codeRegion) {
        DeleteObject(g_scene.codeRegion);
        g_scene.codeRegion = nullptr;
    }
}

// The background is drawn once into a 32-bit DIB and copied on paint: copying a DIB maps each
// colour to the nearest one the screen has, where a solid brush on an 8-bit screen may dither.
bool BuildBackground() {
    const RECT& s = g_scene.screen;
    const int w = s.right - s.left;
    const int h = s.bottom - s.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    g_scene.backBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!g_scene.backBitmap)
        return false;
    auto* px = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<std::size_t>(y) * w + x] = BackgroundPixel(s.left + x, s.top + y);
    g_scene.backDc = CreateCompatibleDC(nullptr);
    if (!g_scene.backDc)
        return false;
    g_scene.backOld = SelectObject(g_scene.backDc, g_scene.backBitmap);
    return true;
}

bool BuildCodeRegion() {
    const RECT& s = g_scene.screen;
    g_scene.codeRegion = CreateRectRgn(0, 0, 0, 0);
    if (!g_scene.codeRegion)
        return false;
    const int firstX = s.left - FloorMod(s.left - kCodeOffset, kCodePitch);
    const int firstY = s.top - FloorMod(s.top - kCodeOffset, kCodePitch);
    for (int y = firstY; y < s.bottom; y += kCodePitch) {
        for (int x = firstX; x < s.right; x += kCodePitch) {
            HRGN block =
                CreateRectRgn(x - s.left, y - s.top, x - s.left + kCodeSize, y - s.top + kCodeSize);
            if (!block)
                return false;
            CombineRgn(g_scene.codeRegion, g_scene.codeRegion, block, RGN_OR);
            DeleteObject(block);
        }
    }
    return true;
}

bool BuildLayout() {
    ReleaseLayout();
    g_scene.screen.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    g_scene.screen.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    g_scene.screen.right = g_scene.screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    g_scene.screen.bottom = g_scene.screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return BuildBackground() && BuildCodeRegion();
}

// Drawn elements, one function each

void PaintBackground(HDC dc, const RECT& area) {
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, g_scene.backDc,
           area.left, area.top, SRCCOPY);
}

// One 64x64 tile of the code pattern, tiled over all code blocks by a brush: every block is
// repainted by a single fill, so no capture sees some blocks new and others old.
void PaintCodeStrip(HDC dc, std::uint32_t counter) {
    struct PackedDib {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
        BYTE bits[kCodePitch * kCodePitch / 8];
    } dib{};
    dib.header.biSize = sizeof dib.header;
    dib.header.biWidth = kCodePitch;
    dib.header.biHeight = kCodePitch; // bottom-up: every reader of pattern DIBs takes that
    dib.header.biPlanes = 1;
    dib.header.biBitCount = 1;
    dib.header.biCompression = BI_RGB;
    dib.header.biClrUsed = 2;
    dib.colours[1] = RGBQUAD{255, 255, 255, 0};
    constexpr int kRowBytes = kCodePitch / 8;
    for (int y = 0; y < kCodeSize; ++y) {
        for (int x = 0; x < kCodeSize; ++x) {
            if (!CodeCell(counter, y / kCell, x / kCell))
                continue;
            const int tx = kCodeOffset + x;
            const int row = kCodePitch - 1 - (kCodeOffset + y);
            dib.bits[row * kRowBytes + tx / 8] |= static_cast<BYTE>(0x80 >> (tx % 8));
        }
    }
    HBRUSH brush = CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
    if (!brush)
        return;
    // Pattern pixel (0, 0) sits on a screen position that is a multiple of the pitch.
    SetBrushOrgEx(dc, FloorMod(-g_scene.screen.left, kCodePitch),
                  FloorMod(-g_scene.screen.top, kCodePitch), nullptr);
    FillRgn(dc, g_scene.codeRegion, brush);
    DeleteObject(brush);
}

// Counter

std::uint32_t CurrentCounter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const long long elapsed = now.QuadPart - g_scene.start.QuadPart;
    return static_cast<std::uint32_t>(elapsed * g_scene.options.rate / g_scene.frequency.QuadPart) &
           0xFFFF;
}

void Tick(HWND hwnd) {
    const std::uint32_t counter = CurrentCounter();
    if (counter == g_scene.shown || g_scene.flashing)
        return;
    HDC dc = GetDC(hwnd);
    PaintCodeStrip(dc, counter);
    ReleaseDC(hwnd, dc);
    g_scene.shown = counter;
}

// The picture and the tone start together: the white is on the screen before the tone is handed
// to the wave output, whose own delay is all that can come between them.
void Flash(HWND hwnd) {
    g_scene.flashing = true;
    HDC dc = GetDC(hwnd);
    RECT all;
    GetClientRect(hwnd, &all);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(hwnd, dc);
    GdiFlush();
    g_tone.Play();
    SetTimer(hwnd, kFlashEndTimer, kFlashMs, nullptr);
}

void EndFlash(HWND hwnd) {
    KillTimer(hwnd, kFlashEndTimer);
    g_scene.flashing = false;
    InvalidateRect(hwnd, nullptr, FALSE);
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (g_scene.flashing) {
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(hwnd, &ps);
        return;
    }
    PaintBackground(dc, ps.rcPaint);
    if (g_scene.options.strip) {
        // A partial repaint shows the value the rest of the screen shows; Tick moves it on.
        if (g_scene.shown == UINT32_MAX)
            g_scene.shown = CurrentCounter();
        PaintCodeStrip(dc, g_scene.shown);
    }
    EndPaint(hwnd, &ps);
}

void CoverScreen(HWND hwnd) {
    const RECT& s = g_scene.screen;
    SetWindowPos(hwnd, HWND_TOPMOST, s.left, s.top, s.right - s.left, s.bottom - s.top,
                 SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_TIMER:
        if (wp == kTickTimer)
            Tick(hwnd);
        else if (wp == kExitTimer)
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
        else if (wp == kBeepTimer)
            Flash(hwnd);
        else if (wp == kFlashEndTimer)
            EndFlash(hwnd);
        return 0;
    case WM_MOUSEACTIVATE:
        // Clicks on the scene leave the program under test in front.
        return MA_NOACTIVATE;
    case WM_DISPLAYCHANGE:
        if (!BuildLayout()) {
            DestroyWindow(hwnd);
            return 0;
        }
        CoverScreen(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

bool ParseOptions(int argc, char** argv, Options& out) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        char* end = nullptr;
        if (std::strcmp(argv[i], "--rate") == 0 && hasValue) {
            const long rate = std::strtol(argv[++i], &end, 10);
            if (*end || rate < 1 || rate > 1000)
                return false;
            out.rate = static_cast<int>(rate);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            const double seconds = std::strtod(argv[++i], &end);
            if (*end || !(seconds > 0 && seconds < 86400))
                return false;
            out.seconds = seconds;
        } else if (std::strcmp(argv[i], "--no-strip") == 0) {
            out.strip = false;
        } else if (std::strcmp(argv[i], "--beep-every") == 0 && hasValue) {
            const double every = std::strtod(argv[++i], &end);
            if (*end || !(every >= 0.5 && every < 86400))
                return false;
            out.beepEvery = every;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (!ParseOptions(argc, argv, g_scene.options))
        return 2;
    // Pixels must be screen pixels, also where the desktop is scaled.
    SetProcessDPIAware();
    QueryPerformanceFrequency(&g_scene.frequency);
    if (!BuildLayout())
        return 1;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW); // a recorded cursor has a known shape
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc))
        return 1;

    const RECT& s = g_scene.screen;
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClassName,
                                kTitle, WS_POPUP, s.left, s.top, s.right - s.left, s.bottom - s.top,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    // Time counts from the scene's appearance, not from the process start: a first window
    // under Wine can take most of a second.
    QueryPerformanceCounter(&g_scene.start);
    if (g_scene.options.strip) {
        // Ticks at twice the counter's rate (timers go no finer than 10 ms), so a new value
        // reaches the screen within half a step.
        const int half = 500 / g_scene.options.rate;
        const UINT interval = static_cast<UINT>(half < 10 ? 10 : half);
        SetTimer(hwnd, kTickTimer, interval, nullptr);
    }
    if (g_scene.options.seconds > 0)
        SetTimer(hwnd, kExitTimer, static_cast<UINT>(g_scene.options.seconds * 1000), nullptr);
    if (g_scene.options.beepEvery > 0) {
        if (!g_tone.Open())
            return 1;
        SetTimer(hwnd, kBeepTimer, static_cast<UINT>(g_scene.options.beepEvery * 1000), nullptr);
    }
    ShowWindow(hwnd, SW_SHOWNA);
    UpdateWindow(hwnd);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_tone.Close();
    ReleaseLayout();
    return 0;
}
