#include "engine/overlay_painter_win.h"

#include <algorithm>

namespace {

// By overlay::Button: amber, sky blue and green, each edged in black, read on light screens and
// on dark ones.
constexpr COLORREF kButtonColours[] = {RGB(255, 176, 0), RGB(0, 170, 255), RGB(60, 220, 90)};
constexpr COLORREF kEdge = RGB(0, 0, 0);
constexpr COLORREF kBox = RGB(32, 32, 32);
constexpr COLORREF kText = RGB(255, 255, 255);
constexpr int kRingRadius = 15;
constexpr int kRingWidth = 3;
constexpr int kDotRadius = 5;
constexpr int kBoxPadX = 10, kBoxPadY = 4;
constexpr const char* kKeySeparator = "   ";

} // namespace

OverlayPainter::OverlayPainter(int frameHeight)
    // Whole pixels, no smoothing: the same text on any screen depth and any background.
    : font_(::CreateFontA(-std::clamp(frameHeight / 16, 14, 32), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                          FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial")),
      outline_(::CreatePen(PS_SOLID, kRingWidth + 2, kEdge)), box_(::CreateSolidBrush(kBox)) {
    for (size_t i = 0; i < rings_.size(); ++i) {
        rings_[i].reset(::CreatePen(PS_SOLID, kRingWidth, kButtonColours[i]));
        dots_[i].reset(::CreateSolidBrush(kButtonColours[i]));
    }
}

void OverlayPainter::Draw(HDC dc, const overlay::Scene& scene, POINT origin, POINT pointer,
                          SIZE frame) const {
    if (!scene.rings.empty()) {
        const SelectionGuard hollow(dc, ::GetStockObject(HOLLOW_BRUSH));
        for (const overlay::Ring& r : scene.rings) {
            const int x = r.x - origin.x, y = r.y - origin.y;
            for (HPEN p : {outline_.get(), rings_[static_cast<size_t>(r.button)].get()}) {
                const SelectionGuard select(dc, p);
                ::Ellipse(dc, x - kRingRadius, y - kRingRadius, x + kRingRadius + 1,
                          y + kRingRadius + 1);
            }
        }
    }
    // Held buttons side by side, at the pointer.
    int offset = 0;
    for (const overlay::Button b : scene.held) {
        const int x = pointer.x - origin.x + offset, y = pointer.y - origin.y;
        const SelectionGuard brush(dc, dots_[static_cast<size_t>(b)].get());
        const SelectionGuard edge(dc, ::GetStockObject(BLACK_PEN));
        ::Ellipse(dc, x - kDotRadius, y - kDotRadius, x + kDotRadius + 1, y + kDotRadius + 1);
        offset += 2 * kDotRadius + 2;
    }
    if (!scene.keys.empty())
        DrawKeys(dc, scene.keys, frame);
}

void OverlayPainter::DrawKeys(HDC dc, const std::vector<std::string>& keys, SIZE frame) const {
    std::string text;
    for (const std::string& k : keys)
        text += (text.empty() ? "" : kKeySeparator) + k;
    const SelectionGuard font(dc, font_.get());
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    // Centred above the lower edge; a frame too narrow cuts the text at its sides.
    const int width = std::min<int>(extent.cx + 2 * kBoxPadX, frame.cx);
    const int height = extent.cy + 2 * kBoxPadY;
    const int margin = std::max<int>(4, frame.cy / 24);
    RECT box{(frame.cx - width) / 2, frame.cy - margin - height, 0, frame.cy - margin};
    box.right = box.left + width;
    ::FillRect(dc, &box, box_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kText);
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}
