#include "pages/option_page_win.h"

#include <vector>

void OptionPage::RefreshFromOptions() {
    if (Handle() != nullptr)
        ShowOptions();
}

bool OptionPage::CommitEdit(HWND edit) {
    if (Handle() == nullptr || edit == nullptr || ::GetParent(edit) != Handle())
        return false;
    if ((::SendMessageA(edit, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) == 0)
        return false;
    OnControl(::GetDlgCtrlID(edit), EN_KILLFOCUS);
    return true;
}

bool OptionPage::OnInitDialog() {
    // The main dialog's keyboard navigation tabs into the page's controls.
    const LONG_PTR style = ::GetWindowLongPtrA(Handle(), GWL_STYLE);
    ::SetWindowLongPtrA(Handle(), GWL_STYLE, style | WS_TABSTOP);
    RefreshFromOptions();
    return true;
}

void OptionPage::OnCommand(int id, int code, HWND /*control*/) {
    // Enter and Escape inside a page are the main dialog's business, never the page's end.
    if (id == IDOK || id == IDCANCEL)
        return;
    OnControl(id, code);
}

void OptionPage::ShowFields() {
    (void)Exchange(*this, Fields(), Direction::ToControls);
}

bool OptionPage::ReadBack(std::initializer_list<int> ids) {
    std::vector<ExchangeField> chosen;
    for (const int id : ids) {
        for (const ExchangeField& field : Fields()) {
            if (std::visit([](const auto& f) { return f.id; }, field) == id)
                chosen.push_back(field);
        }
    }
    return Exchange(*this, chosen, Direction::FromControls);
}
