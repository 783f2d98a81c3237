#pragma once

// Builds a dialog template in memory, for dialogs whose layout is made at run time (and for tests
// that need no resource library). Sizes are in dialog units; the font is always set.

#include <string_view>
#include <vector>
#include <windows.h>

class DialogTemplate {
public:
    DialogTemplate(DWORD style, short x, short y, short cx, short cy, std::string_view title,
                   std::string_view font = "MS Shell Dlg", WORD pointSize = 8);

    // className: "BUTTON", "EDIT", "STATIC", "COMBOBOX", "SysTabControl32"...
    // WS_CHILD | WS_VISIBLE are always added to style.
    DialogTemplate& Add(std::string_view className, int id, DWORD style, short x, short y, short cx,
                        short cy, std::string_view text = {});

    // Valid until the next Add or the builder's end.
    [[nodiscard]] const DLGTEMPLATE* Get() const noexcept {
        return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
    }

private:
    void PushDword(DWORD value);
    void PushString(std::string_view text);
    void AlignToDword();

    std::vector<WORD> words_; // WORD elements keep every field WORD-aligned
};
