#include "framework/dialog_template_win.h"

#include <string>

namespace {

// Offset of DLGTEMPLATE::cdit in WORDs (after style and extended style).
constexpr size_t kCountIndex = 4;

} // namespace

DialogTemplate::DialogTemplate(DWORD style, short x, short y, short cx, short cy,
                               std::string_view title, std::string_view font, WORD pointSize) {
    PushDword(style | DS_SETFONT);
    PushDword(0);        // extended style
    words_.push_back(0); // item count, raised by Add
    for (short value : {x, y, cx, cy}) {
        words_.push_back(static_cast<WORD>(value));
    }
    words_.push_back(0); // no menu
    words_.push_back(0); // standard dialog class
    PushString(title);
    words_.push_back(pointSize);
    PushString(font);
}

DialogTemplate& DialogTemplate::Add(std::string_view className, int id, DWORD style, short x,
                                    short y, short cx, short cy, std::string_view text) {
    AlignToDword();
    PushDword(style | WS_CHILD | WS_VISIBLE);
    PushDword(0); // extended style
    for (short value : {x, y, cx, cy}) {
        words_.push_back(static_cast<WORD>(value));
    }
    words_.push_back(static_cast<WORD>(id));
    PushString(className);
    PushString(text);
    words_.push_back(0); // no creation data
    ++words_[kCountIndex];
    return *this;
}

void DialogTemplate::PushDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
}

void DialogTemplate::PushString(std::string_view text) {
    if (!text.empty()) {
        const std::string terminated(text);
        const int length = ::MultiByteToWideChar(CP_ACP, 0, terminated.c_str(), -1, nullptr, 0);
        if (length > 1) {
            std::wstring wide(static_cast<size_t>(length), L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, terminated.c_str(), -1, wide.data(), length);
            // length includes the terminator, which is pushed below.
            for (int i = 0; i < length - 1; ++i) {
                words_.push_back(static_cast<WORD>(wide[static_cast<size_t>(i)]));
            }
        }
    }
    words_.push_back(0);
}

void DialogTemplate::AlignToDword() {
    if (words_.size() % 2 != 0) {
        words_.push_back(0);
    }
}
