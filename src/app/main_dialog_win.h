#pragma once

// The main window: record, pause and play buttons, the status line and the tab strip whose tabs
// switch between the four option pages. It hosts the recording engine and runs the record state
// machine: idle, recording, paused.

#include "automation/automation_link.h"
#include "engine/record_control_win.h"
#include "engine/recording_engine_win.h"
#include "engine/recording_options.h"
#include "framework/dialog_win.h"
#include "pages/hot_key_page_win.h"
#include "pages/region_page_win.h"
#include "pages/sound_page_win.h"
#include "pages/video_page_win.h"

#include <array>

class CursorImageTable;

class CVidorraDlg : public Dialog, public SessionHost, private RecordControlView {
public:
    CVidorraDlg(RecordingOptions& options, const CursorImageTable& cursors);
    ~CVidorraDlg() override;

    static constexpr int kPageCount = 4;

    [[nodiscard]] int32_t RecordState() const noexcept { return control_.RecordState(); }
    // Every command that starts, pauses or stops a recording goes through here.
    [[nodiscard]] RecordControl& Control() noexcept { return control_; }
    void HotKey(int id);
    // Ends a recording still running when the program must end.
    void StopForExit();
    // Registers the hot keys unless a script switched them off. Quiet: a taken key goes to the
    // status line, for a copy with nobody in front of it to click a box away.
    void RegisterHotKeys();
    void SetQuietHotKeys(bool quiet) noexcept { quietHotKeys_ = quiet; }
    // The automation server, told of the user's input and of the dialog's end.
    void SetAutomationLink(AutomationLink* link) noexcept { automation_ = link; }

    // The option pages, for those who change the options behind their backs.
    [[nodiscard]] CMyPropertyPage1& HotKeyPage() noexcept { return hotKeyPage_; }
    [[nodiscard]] CMyPropertyPage2& RegionPage() noexcept { return regionPage_; }
    [[nodiscard]] CMyPropertyPage3& VideoPage() noexcept { return videoPage_; }
    [[nodiscard]] CMyPropertyPage4& SoundPage() noexcept { return soundPage_; }

    // SessionHost
    [[nodiscard]] HWND HostWindow() const override { return Handle(); }
    void ShowMessage(const std::string& text) override;
    void OnSessionHotKey(int id) override { HotKey(id); }
    void OnEngineStopRequest() override { control_.Handle(ControlInput::EngineStop); }
    bool PreTranslateSessionMessage(MSG& msg) override;
    void OnRecordingStarted() override;
    void OnRecordingStopping() override { control_.OnSessionStopping(); }
    void OnReportingOutcome() override { control_.OnSessionReporting(); }
    void OnRecordingStopped() override;
    void SetStatusText(const std::string& text) override;
    void OnFileNameChanged() override;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR& header) override;
    void OnClose() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    bool PreTranslateMessage(MSG& msg) override;

private:
    // RecordControlView
    void PostStartCommand(int32_t recordState) override;
    void PostDeferred(uint32_t serial) override;
    void PostClose() override { Wnd().Post(WM_CLOSE); }
    void ShowRecordState(int32_t recordState) override;
    void HoldSingleFrameKey(bool hold) override;
    void OnPanLockToggled() override;

    void CreatePages();
    void ShowPageOfSelectedTab();
    void PlaceAtStoredPosition();
    void PaintMinimizedIcon();
    bool OnEnterKey(HWND focus);
    void Close();
    void EnablePages(bool enable);
    void StoreWindowPosition();
    void Play();
    void RestoreDefaults();
    void RefreshPages();

    RecordingOptions& options_;
    RecordingEngine engine_;
    RecordControl control_;
    HICON icon_ = nullptr;
    CMyPropertyPage1 hotKeyPage_;
    CMyPropertyPage2 regionPage_;
    CMyPropertyPage3 videoPage_;
    CMyPropertyPage4 soundPage_;
    // Index = tab index: region, hot keys, video, sound. Set once their windows exist.
    std::array<OptionPage*, kPageCount> pages_{};
    AutomationLink* automation_ = nullptr;
    bool quietHotKeys_ = false;
};
