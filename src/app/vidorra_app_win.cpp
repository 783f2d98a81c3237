#include "app/vidorra_app_win.h"

#include "app/command_line.h"
#include "hotkeys/hot_keys_win.h"
#include "app/main_dialog_win.h"
#include "app/maintenance_win.h"
#include "automation/automation_server_win.h"
#include "codec/zmbv_driver_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"
#include "settings/registry_store_win.h"

#include <commctrl.h>
#include <ole2.h>

namespace {

constexpr char kResourceLibrary[] = "VidRes.dll";

// Balances OleInitialize on every way out of the run.
class OleSession {
public:
    OleSession() noexcept : ok_(SUCCEEDED(::OleInitialize(nullptr))) {}
    ~OleSession() {
        if (ok_)
            ::OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    [[nodiscard]] bool Ok() const noexcept { return ok_; }

private:
    bool ok_;
};

} // namespace

CVidorraApp& TheApp() {
    return static_cast<CVidorraApp&>(App());
}

bool CVidorraApp::PreTranslateMessage(MSG& msg) {
    return msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE;
}

namespace {

bool OuterWindowRect(uint64_t handle, ScreenRect& rect) {
    const HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle));
    RECT r{};
    if (!::IsWindow(window) || !::GetWindowRect(window, &r))
        return false;
    rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

} // namespace

void CVidorraApp::ReportUnsavedSettings(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    const std::string text = FormatText(LoadString(IDS_SETTINGS_NOT_SAVED), {list});
    ::MessageBoxA(nullptr, text.c_str(), Name().c_str(), MB_OK | MB_ICONWARNING);
}

int CVidorraApp::Run(const std::vector<std::string>& args) {
    if (!LoadResourceLibrary(kResourceLibrary)) {
        ::MessageBoxA(nullptr, "VidRes.dll not found, exiting.", "Vidorra", MB_OK | MB_ICONSTOP);
        return 1;
    }
    SetName(LoadString(IDS_PRODUCT_NAME));
    options_.LockPan.Desc = LoadString(IDS_KEY_PREFIX_SHIFT) + "F3";
    if (const std::optional<int> exitCode = ServeMaintenanceSwitch(args, Name(), options_))
        return *exitCode;

    OleSession ole;
    if (!ole.Ok()) {
        ::MessageBoxA(nullptr, LoadString(IDS_OLE_INIT_FAILED).c_str(), Name().c_str(),
                      MB_OK | MB_ICONSTOP);
        return 1;
    }

    // Our screen codec joins the installed compressors for this run only.
    const zmbv_driver::Installation screenCodec;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_HOTKEY_CLASS};
    ::InitCommonControlsEx(&controls);
    const bool automation = IsAutomationStart(args);
    // Clients find the program where it was last started by hand.
    if (!automation)
        RegisterAutomationClass();
    // Outlives the dialog, which tells it when it goes.
    AutomationServer server(options_, automation);

    const std::string settingsKey = SettingsKeyPath(Name());
    LoadState(settingsKey, options_);
    LoadKeys(settingsKey, options_);
    cursors_.Load();
    Recorder recorder(options_, cursors_);
    if (!recorder.Create())
        return 1;
    CVidorraDlg dialog(options_, recorder);
    options_.RecordAtStart = 0;
    options_.ExitAfterRecording = 0;
    const std::vector<RefusedSwitch> refused =
        ApplyRecordingSwitches(args, options_, OuterWindowRect);
    // A script's run: it ends with the recording and tells how it went by its exit code alone.
    const bool scripted = options_.ExitAfterRecording != 0;
    if (!refused.empty()) {
        // Never a recording to another name or region than the one asked for.
        if (scripted)
            return 1;
        options_.RecordAtStart = 0;
        const std::string text =
            FormatText(LoadString(IDS_BAD_SWITCH), {refused[0].name, refused[0].value});
        ::MessageBoxA(nullptr, text.c_str(), Name().c_str(), MB_OK | MB_ICONWARNING);
    }
    if (!dialog.CreateModeless(nullptr))
        return 1;
    if (automation)
        dialog.Policy().SetHiddenByAutomation(true);
    dialog.SetAutomationLink(&server);
    // Offered as soon as the window can serve: the client is waiting for it.
    if (!server.Serve(dialog, recorder) && automation)
        return 1;
    // Nobody may be there to answer a box: a taken key goes to the status line.
    dialog.SetQuietHotKeys(automation || scripted);
    dialog.RegisterHotKeys();
    if (options_.RecordAtStart) {
        dialog.Wnd().Show(SW_SHOWMINNOACTIVE);
        recorder.Handle(ControlInput::StartStopKey);
    }
    if (!automation && !options_.RecordAtStart) {
        dialog.Wnd().Show(SW_SHOW);
        // Someone is there to answer: a take the last run left cut off can be made whole.
        OfferRepairOfCutOffTake(dialog.Handle(), options_.FileName);
    }
    dialog.RunModalLoop();
    dialog.StopForExit();
    const bool recorded = recorder.LastRecordingSucceeded();
    UnregisterAllHotKeys(dialog.Handle());
    dialog.Destroy();
    // Whatever cannot be written is reported by name; the rest is written regardless.
    std::vector<std::string> unsaved = SaveState(settingsKey, options_);
    const std::vector<std::string> unsavedKeys = SaveKeys(settingsKey, options_);
    unsaved.insert(unsaved.end(), unsavedKeys.begin(), unsavedKeys.end());
    if (scripted)
        return recorded && unsaved.empty() ? 0 : 1;
    if (!unsaved.empty())
        ReportUnsavedSettings(unsaved);
    return 0;
}
