#include "app/main_dialog_win.h"

#include "app/vidorra_app_win.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

namespace {

// A page is a child dialog in the tab's display area; its controls come in later with the
// settings they edit.
class OptionPage : public Dialog {
public:
    using Dialog::Dialog;

protected:
    bool OnInitDialog() override {
        const LONG_PTR style = ::GetWindowLongPtrA(Handle(), GWL_STYLE);
        ::SetWindowLongPtrA(Handle(), GWL_STYLE, style | WS_TABSTOP);
        return true;
    }
    // Enter and Escape inside a page must not end it.
    void OnCommand(int, int, HWND) override {}
};

struct TabPage {
    UINT textId;
    UINT templateId;
};
// Tab order: region, hot keys, video, sound.
constexpr TabPage kTabs[CVidorraDlg::kPageCount] = {
    {IDS_TAB_REGION, IDD_PAGE_REGION},
    {IDS_TAB_HOTKEYS, IDD_PAGE_HOTKEYS},
    {IDS_TAB_VIDEO, IDD_PAGE_VIDEO},
    {IDS_TAB_SOUND, IDD_PAGE_SOUND},
};

} // namespace

CVidorraDlg::CVidorraDlg(RecordingOptions& options)
    : Dialog(IDD_MAIN), options_(options), icon_(App().LoadIcon(IDI_MAIN)) {}

CVidorraDlg::~CVidorraDlg() = default;

bool CVidorraDlg::OnInitDialog() {
    if (pages_[0])
        return false;
    Window tabs = Item(IDC_MAIN_TABS);
    for (int i = 0; i < kPageCount; ++i) {
        std::string text = App().LoadString(kTabs[i].textId);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        tabs.Send(TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    CreatePages();
    ShowPageOfSelectedTab();
    PlaceAtStoredPosition();

    const std::string about = App().LoadString(IDS_ABOUT_MENU_ITEM);
    if (HMENU menu = ::GetSystemMenu(Handle(), FALSE); menu && !about.empty()) {
        ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
    Wnd().Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    Wnd().Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    return false;
}

void CVidorraDlg::CreatePages() {
    // Centred in the tab's display area, so the tab strip and the buttons stay clear.
    Window tabs = Item(IDC_MAIN_TABS);
    RECT area = tabs.RectInParent();
    tabs.Send(TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (int i = 0; i < kPageCount; ++i) {
        auto page = std::make_unique<OptionPage>(kTabs[i].templateId);
        if (page->CreateModeless(Handle())) {
            const RECT own = page->Wnd().WindowRect();
            const int x = area.left + (Width(area) - Width(own)) / 2;
            const int y = area.top + (Height(area) - Height(own)) / 2;
            ::SetWindowPos(page->Handle(), HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        }
        pages_[i] = std::move(page);
    }
}

void CVidorraDlg::ShowPageOfSelectedTab() {
    const auto selected = Item(IDC_MAIN_TABS).Send(TCM_GETCURSEL);
    for (auto& page : pages_)
        page->Wnd().Show(SW_HIDE);
    if (selected >= 0 && selected < kPageCount)
        pages_[selected]->Wnd().Show(SW_SHOW);
}

void CVidorraDlg::PlaceAtStoredPosition() {
    if (options_.WinX <= -500 || options_.WinY <= -500)
        return;
    RECT r = Wnd().WindowRect();
    ::OffsetRect(&r, options_.WinX - r.left, options_.WinY - r.top);
    if (r.left < 1)
        ::OffsetRect(&r, 1 - r.left, 0);
    if (r.top < 1)
        ::OffsetRect(&r, 0, 1 - r.top);
    RECT desktop{};
    ::GetClientRect(::GetDesktopWindow(), &desktop);
    if (r.right > desktop.right)
        ::OffsetRect(&r, desktop.right - r.right, 0);
    if (r.bottom > desktop.bottom)
        ::OffsetRect(&r, 0, desktop.bottom - r.bottom);
    Wnd().Move(r, true);
}

void CVidorraDlg::OnCommand(int id, int /*code*/, HWND /*control*/) {
    switch (id) {
    case IDOK:
        Close();
        break;
    case IDCANCEL:
        End(IDCANCEL);
        break;
    default:
        break;
    }
}

LRESULT CVidorraDlg::OnNotify(NMHDR& header) {
    if (header.idFrom == IDC_MAIN_TABS && header.code == TCN_SELCHANGE)
        ShowPageOfSelectedTab();
    return 0;
}

void CVidorraDlg::OnClose() { Close(); }

void CVidorraDlg::Close() {
    const RECT r = Wnd().WindowRect();
    options_.WinX = r.left;
    options_.WinY = r.top;
    End(IDOK);
}

bool CVidorraDlg::OnMessage(UINT msg, WPARAM wp, LPARAM /*lp*/, LRESULT& result) {
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
            // The About box comes with its own change; the item is there already.
            result = 0;
            return true;
        }
        return false;
    case WM_PAINT:
        if (!::IsIconic(Handle()))
            return false;
        PaintMinimizedIcon();
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(icon_);
        return true;
    default:
        return false;
    }
}

void CVidorraDlg::PaintMinimizedIcon() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle(), &ps);
    Wnd().Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    const RECT client = Wnd().ClientRect();
    const int x = (Width(client) - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (Height(client) - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon_);
    ::EndPaint(Handle(), &ps);
}
