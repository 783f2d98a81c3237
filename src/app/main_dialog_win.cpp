#include "app/main_dialog_win.h"

#include "app/about_box_win.h"
#include "app/vidorra_app_win.h"
#include "hotkeys/hot_keys_win.h"
#include "resources/resource_ids.h"

#include <commctrl.h>
#include <shellapi.h>
#include <utility>

namespace {

// Tab order: region, hot keys, video, sound.
constexpr UINT kTabTexts[CVidorraDlg::kPageCount] = {IDS_TAB_REGION, IDS_TAB_HOTKEYS, IDS_TAB_VIDEO,
                                                     IDS_TAB_SOUND};

} // namespace

CVidorraDlg::CVidorraDlg(RecordingOptions& options, Recorder& recorder)
    : Dialog(IDD_MAIN), options_(options), recorder_(recorder), icon_(App().LoadIcon(IDI_MAIN)),
      hotKeyPage_(options), regionPage_(options), videoPage_(options), soundPage_(options) {
    recorder_.Listen(this);
}

CVidorraDlg::~CVidorraDlg() {
    recorder_.Listen(nullptr);
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
        recorder_.Handle(ControlInput::StartStopButton);
        break;
    case IDC_MAIN_PAUSE:
        recorder_.Handle(ControlInput::PauseButton);
        break;
    case IDC_MAIN_PLAY:
        if (recorder_.State() == ControlState::Idle)
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
    if (!recorder_.RequestClose())
        return;
    CloseHelp(Handle());
    recorder_.ReleaseSoundDevice();
    StoreWindowPosition();
    End(IDOK);
}

void CVidorraDlg::StopForExit() {
    if (recorder_.RecordState() != record_state::Idle)
        recorder_.RequestClose();
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
    case WM_PALETTECHANGED:
        recorder_.NotePaletteChange();
        result = 0;
        return true;
    case WM_QUERYNEWPALETTE:
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
    if (!recorder_.HotKeysDisabled())
        RegisterAllHotKeys(Handle(), options_, quietHotKeys_);
}

void CVidorraDlg::RegisterHotKeysForScript(bool quiet) {
    RegisterAllHotKeys(Handle(), options_, quiet);
}

void CVidorraDlg::UnregisterHotKeys() {
    UnregisterAllHotKeys(Handle());
}

void CVidorraDlg::ShowForScript(bool show) {
    policy_.SetHiddenByAutomation(!show);
    Wnd().Show(show ? SW_RESTORE : SW_HIDE);
}

void CVidorraDlg::CloseForLastClient() {
    // Disabled: a box is open, and someone must answer it before the program goes.
    if (::IsWindowEnabled(Handle()))
        Wnd().Post(WM_CLOSE);
}

void CVidorraDlg::HotKey(int id) {
    switch (id) {
    case hot_key_id::Start:
        recorder_.Handle(ControlInput::StartStopKey);
        break;
    case hot_key_id::Pause:
        recorder_.Handle(ControlInput::PauseKey);
        break;
    case hot_key_id::SingleShot:
        recorder_.Handle(ControlInput::SingleFrameKey);
        break;
    case hot_key_id::LockPan:
        recorder_.Handle(ControlInput::LockPanKey);
        break;
    default:
        break;
    }
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

void CVidorraDlg::OnOptionsChanged(OptionGroup group) {
    const bool all = group == OptionGroup::All;
    if (all || group == OptionGroup::HotKeys)
        hotKeyPage_.RefreshFromOptions();
    if (all || group == OptionGroup::Region)
        regionPage_.RefreshFromOptions();
    if (all || group == OptionGroup::Video)
        videoPage_.RefreshFromOptions();
    if (all || group == OptionGroup::Sound)
        soundPage_.RefreshFromOptions();
}

void CVidorraDlg::EnablePages(bool enable) {
    for (OptionPage* page : pages_)
        if (page != nullptr)
            page->Wnd().Enable(enable);
}

// Recorder events

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
    policy_.OnRecordingStarted(Wnd(), options_.WndHide);
}

void CVidorraDlg::OnRecordingStopped(const RecordingOutcome& /*outcome*/) {
    // Also after a failed set-up: a scripted run must end either way.
    if (options_.ExitAfterRecording)
        Wnd().Post(WM_CLOSE);
    else
        policy_.OnRecordingStopped(Wnd());
}

void CVidorraDlg::SetStatusText(const std::string& text) {
    // The summary of a take names its file (the one Play opens); the folder would not fit.
    const std::string& file = options_.FileName;
    const size_t slash = file.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    Item(IDC_MAIN_STATUS).SetText(name.empty() ? text : name + ": " + text);
}

void CVidorraDlg::Play() {
    char directory[MAX_PATH] = "";
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, directory);
    ::ShellExecuteA(Handle(), "open", options_.FileName.c_str(), nullptr,
                    n > 0 && n < MAX_PATH ? directory : nullptr, SW_SHOW);
}

void CVidorraDlg::RestoreDefaults() {
    // The settings a running recording was made from stay until it ends.
    if (recorder_.State() != ControlState::Idle)
        return;
    const std::string question = App().LoadString(IDS_CONFIRM_DEFAULTS);
    if (::MessageBoxA(Handle(), question.c_str(), App().Name().c_str(),
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    options_.ResetToDefaults();
    // The defaults choose the compressor automatically.
    videoPage_.SelectFirstCompressor();
    OnOptionsChanged(OptionGroup::All);
}
