#include "app/main_dialog_win.h"

#include "app/about_box_win.h"
#include "app/hot_keys_win.h"
#include "app/vidorra_app_win.h"
#include "resources/resource_ids.h"

#include <commctrl.h>
#include <shellapi.h>
#include <utility>

namespace {

// Tab order: region, hot keys, video, sound.
constexpr UINT kTabTexts[CVidorraDlg::kPageCount] = {IDS_TAB_REGION, IDS_TAB_HOTKEYS, IDS_TAB_VIDEO,
                                                     IDS_TAB_SOUND};
// Wakes the recording control for a command that waited for a start's set-up (wParam: the
// session it was meant for).
constexpr UINT WM_RUN_DEFERRED = WM_APP + 1;
// A start a hot key (or "-rec", or a script) asked for (wParam: the record state to start in).
constexpr UINT WM_POSTED_START = WM_APP + 2;

} // namespace

CVidorraDlg::CVidorraDlg(RecordingOptions& options, const CursorImageTable& cursors)
    : Dialog(IDD_MAIN), options_(options), engine_(options, cursors, *this),
      control_(engine_, options, *this), icon_(App().LoadIcon(IDI_MAIN)), hotKeyPage_(options),
      regionPage_(options), videoPage_(options), soundPage_(options) {}

CVidorraDlg::~CVidorraDlg() {
    if (automation_)
        automation_->OnDialogGone();
}

bool CVidorraDlg::OnInitDialog() {
    if (pages_[0])
        return false;
    Window tabs = Item(IDC_MAIN_TABS);
    for (int i = 0; i < kPageCount; ++i) {
        std::string text = App().LoadString(kTabTexts[i]);
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
    pages_ = {&regionPage_, &hotKeyPage_, &videoPage_, &soundPage_};
    // Each page shows the options as it initialises.
    const std::array<OptionPage*, kPageCount> creationOrder = {&hotKeyPage_, &regionPage_,
                                                               &videoPage_, &soundPage_};
    for (OptionPage* page : creationOrder) {
        if (!page->CreateModeless(Handle()))
            continue; // no template: the tab shows nothing
        const RECT own = page->Wnd().WindowRect();
        const int x = area.left + (Width(area) - Width(own)) / 2;
        const int y = area.top + (Height(area) - Height(own)) / 2;
        ::SetWindowPos(page->Handle(), HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void CVidorraDlg::ShowPageOfSelectedTab() {
    const auto selected = Item(IDC_MAIN_TABS).Send(TCM_GETCURSEL);
    for (OptionPage* page : pages_)
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
    case IDC_MAIN_RECORD:
        control_.Handle(ControlInput::StartStopButton);
        break;
    case IDC_MAIN_PAUSE:
        control_.Handle(ControlInput::PauseButton);
        break;
    case IDC_MAIN_PLAY:
        if (control_.State() == ControlState::Idle)
            Play();
        break;
    case IDC_MAIN_DEFAULTS:
        RestoreDefaults();
        break;
    case ID_HELP:
        ShowHelpTopic(Handle(), 5 + static_cast<int>(Item(IDC_MAIN_TABS).Send(TCM_GETCURSEL)));
        break;
    case IDOK:
    case IDCANCEL:
        // Escape reaches here only while recording; it closes the ordinary way, which stops the
        // recording and keeps the file.
        Close();
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

void CVidorraDlg::OnClose() {
    Close();
}

void CVidorraDlg::Close() {
    // A client still holds the automation object: the program stays for it, out of sight.
    if (automation_ && automation_->ClientHoldsObject()) {
        Wnd().Show(SW_HIDE);
        return;
    }
    // A running recording is stopped first; a start or stop under way finishes, then the close
    // comes back from the queue.
    if (!control_.RequestClose())
        return;
    CloseHelp(Handle());
    engine_.ReleaseSoundDevice();
    StoreWindowPosition();
    End(IDOK);
}

void CVidorraDlg::StopForExit() {
    if (control_.RecordState() != record_state::Idle)
        control_.RequestClose();
}

void CVidorraDlg::StoreWindowPosition() {
    // Where the window stands when restored: a minimised one reports -32000.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(Handle(), &placement))
        return;
    options_.WinX = placement.rcNormalPosition.left;
    options_.WinY = placement.rcNormalPosition.top;
}

bool CVidorraDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    switch (msg) {
    case WM_HOTKEY:
        HotKey(static_cast<int>(wp));
        result = 0;
        return true;
    case WM_ENGINE_STOP_REQUEST:
        OnEngineStopRequest();
        result = 0;
        return true;
    case WM_PALETTECHANGED:
        // The session loop picks it up; re-posting could spin a message box or the stop.
        if (control_.SessionRunning())
            engine_.NotePaletteChange();
        result = 0;
        return true;
    case WM_QUERYNEWPALETTE:
        result = 0;
        return true;
    case WM_TIMER:
        // The grabber's frames, dispatched by a loop other than the session's: a message box,
        // a menu, the window being moved. Left waiting, they would fill the ring and end the
        // recording as too many dropped.
        if (control_.SessionRunning())
            engine_.OnFrameTimer();
        result = 0;
        return true;
    case WM_RUN_DEFERRED:
        control_.RunDeferred(static_cast<uint32_t>(wp));
        result = 0;
        return true;
    case WM_POSTED_START:
        control_.RunPostedStart(static_cast<int32_t>(wp));
        result = 0;
        return true;
    case WM_RESTORE_HOT_KEYS:
        RegisterHotKeys();
        result = 0;
        return true;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
            Wnd().Focus();
            CAboutBox about;
            about.DoModal(Handle());
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

bool CVidorraDlg::PreTranslateMessage(MSG& msg) {
    // Someone works the window: the program is theirs now, not only an automation client's.
    if (automation_ &&
        (msg.message == WM_KEYDOWN || msg.message == WM_LBUTTONDOWN ||
         msg.message == WM_NCLBUTTONDOWN) &&
        (msg.hwnd == Handle() || ::IsChild(Handle(), msg.hwnd) != FALSE))
        automation_->OnUserInput();
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN)
        return false;
    if (msg.hwnd != Handle() && ::IsChild(Handle(), msg.hwnd) == FALSE)
        return false;
    return OnEnterKey(msg.hwnd);
}

bool CVidorraDlg::OnEnterKey(HWND focus) {
    // With no OK button the dialog manager would make Enter the OK command, which closes the
    // program. Enter takes the value of the edit it was typed in, or presses the focused button.
    for (OptionPage* page : pages_) {
        if (page != nullptr && page->CommitEdit(focus))
            return true;
    }
    const auto code = ::SendMessageA(focus, WM_GETDLGCODE, 0, 0);
    if ((code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0 && ::IsWindowEnabled(focus))
        ::SendMessageA(::GetParent(focus), WM_COMMAND,
                       MAKEWPARAM(::GetDlgCtrlID(focus), BN_CLICKED),
                       reinterpret_cast<LPARAM>(focus));
    return true;
}

void CVidorraDlg::PaintMinimizedIcon() {
    const PaintDc dc(Handle());
    if (!dc)
        return;
    Wnd().Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()));
    const RECT client = Wnd().ClientRect();
    const int x = (Width(client) - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (Height(client) - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.get(), x, y, icon_);
}

// Record control

void CVidorraDlg::RegisterHotKeys() {
    if (!control_.HotKeysDisabled())
        RegisterAllHotKeys(Handle(), options_, quietHotKeys_);
}

void CVidorraDlg::HotKey(int id) {
    switch (id) {
    case hot_key_id::Start:
        control_.Handle(ControlInput::StartStopKey);
        break;
    case hot_key_id::Pause:
        control_.Handle(ControlInput::PauseKey);
        break;
    case hot_key_id::SingleShot:
        control_.Handle(ControlInput::SingleFrameKey);
        break;
    case hot_key_id::LockPan:
        control_.Handle(ControlInput::LockPanKey);
        break;
    default:
        break;
    }
}

void CVidorraDlg::PostStartCommand(int32_t recordState) {
    Wnd().Post(WM_POSTED_START, static_cast<WPARAM>(recordState));
}

void CVidorraDlg::PostDeferred(uint32_t serial) {
    Wnd().Post(WM_RUN_DEFERRED, serial);
}

void CVidorraDlg::ShowRecordState(int32_t state) {
    const bool idle = state == record_state::Idle;
    if (!idle)
        Item(IDC_MAIN_RECORD).Focus(); // before the pages that may hold the focus go grey
    Item(IDC_MAIN_RECORD)
        .SetText(App().LoadString(idle ? IDS_RECORD_BUTTON_START : IDS_RECORD_BUTTON_STOP));
    const UINT pauseText = idle                            ? IDS_PAUSE_BUTTON_IDLE
                           : state == record_state::Paused ? IDS_PAUSE_BUTTON_RESUME
                                                           : IDS_PAUSE_BUTTON_PAUSE;
    Item(IDC_MAIN_PAUSE).SetText(App().LoadString(pauseText));
    Item(IDC_MAIN_PLAY).Enable(idle);
    EnablePages(idle);
}

void CVidorraDlg::HoldSingleFrameKey(bool hold) {
    if (hold)
        RegisterSingleShotHotKey(Handle(), options_);
    else
        ::UnregisterHotKey(Handle(), hot_key_id::SingleShot);
}

void CVidorraDlg::OnPanLockToggled() {
    if (pages_[1])
        pages_[1]->Item(IDC_HOTKEYS_PAN_LOCKED).SetChecked(options_.PanLocked != 0);
}

void CVidorraDlg::EnablePages(bool enable) {
    for (OptionPage* page : pages_)
        if (page != nullptr)
            page->Wnd().Enable(enable);
}

// Session host

void CVidorraDlg::ShowMessage(const std::string& text) {
    // A script's run ("-recx") never waits for someone to click a box: its exit code tells.
    if (options_.ExitAfterRecording)
        return;
    ::MessageBoxA(Handle(), text.c_str(), App().Name().c_str(), MB_OK | MB_SETFOREGROUND);
}

bool CVidorraDlg::PreTranslateSessionMessage(MSG& msg) {
    return PreTranslateMessage(msg) || ::IsDialogMessageA(Handle(), &msg) != FALSE;
}

void CVidorraDlg::OnRecordingStarted() {
    control_.OnSessionStarted(engine_.State());
    if (control_.HiddenByAutomation())
        return;
    switch (options_.WndHide) {
    case wnd_hide::Minimize:
        Wnd().Show(SW_MINIMIZE);
        break;
    case wnd_hide::Hide:
    case wnd_hide::HideToo:
        Wnd().Show(SW_MINIMIZE);
        Wnd().Show(SW_HIDE);
        break;
    default:
        break;
    }
}

void CVidorraDlg::OnRecordingStopped() {
    control_.OnSessionStopped();
    // Panning may have moved the region.
    regionPage_.RefreshFromOptions();
    // Also after a failed set-up: a scripted run must end either way.
    if (options_.ExitAfterRecording)
        Wnd().Post(WM_CLOSE);
    else if (control_.HiddenByAutomation()) {
        // The script that hid the window shows it.
    } else if (control_.StartedByAutomation())
        Wnd().Show(SW_SHOWNOACTIVATE);
    else {
        Wnd().Show(SW_RESTORE);
        ::SetForegroundWindow(Handle());
    }
}

void CVidorraDlg::SetStatusText(const std::string& text) {
    Item(IDC_MAIN_STATUS).SetText(text);
}

void CVidorraDlg::OnFileNameChanged() {
    videoPage_.RefreshFromOptions();
}

void CVidorraDlg::Play() {
    char directory[MAX_PATH] = "";
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, directory);
    ::ShellExecuteA(Handle(), "open", options_.FileName.c_str(), nullptr,
                    n > 0 && n < MAX_PATH ? directory : nullptr, SW_SHOW);
}

void CVidorraDlg::RestoreDefaults() {
    // The settings a running recording was made from stay until it ends.
    if (control_.State() != ControlState::Idle)
        return;
    const std::string question = App().LoadString(IDS_CONFIRM_DEFAULTS);
    if (::MessageBoxA(Handle(), question.c_str(), App().Name().c_str(),
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    options_.ResetToDefaults();
    RefreshPages();
}

void CVidorraDlg::RefreshPages() {
    hotKeyPage_.RefreshFromOptions();
    regionPage_.RefreshFromOptions();
    // The defaults choose the compressor automatically.
    videoPage_.SelectFirstCompressor();
    videoPage_.RefreshFromOptions();
    soundPage_.RefreshFromOptions();
}
