// The key box as the recorder draws it into a frame, for the tests to compare a movie with:
//   overlayref WIDTH HEIGHT OUT TEXT...
// Draws the texts (oldest first) on a black WIDTHxHEIGHT frame with the program's own painter
// and writes OUT: the frame's pixels as red, green, blue bytes, top row first.

#include "engine/overlay_painter_win.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5)
        return 2;
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return 2;
    BITMAPINFOHEADER header{sizeof header, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const UniqueBitmap frame(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header),
                                              DIB_RGB_COLORS, &bits, nullptr, 0));
    const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!frame || !dc || !bits)
        return 1;
    const SelectionGuard select(dc.get(), frame.get());
    const RECT all{0, 0, w, h};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const OverlayPainter painter(h);
    painter.DrawKeys(dc.get(), std::vector<std::string>(argv + 4, argv + argc), SIZE{w, h});
    GdiFlush();
    std::vector<unsigned char> rgb;
    const auto* p = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < w * h; ++i) {
        rgb.push_back(p[4 * i + 2]);
        rgb.push_back(p[4 * i + 1]);
        rgb.push_back(p[4 * i]);
    }
    FILE* out = std::fopen(argv[3], "wb");
    if (!out)
        return 1;
    const bool written = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
