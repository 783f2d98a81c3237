#pragma once

// The main window: record, pause and play buttons, the status line and the tab strip whose tabs
// switch between the four option pages. It shows the recorder and sends it the user's commands;
// the recording itself belongs to the recorder.

#include "app/window_policy_win.h"
#include "automation/automation_link.h"
#include "engine/recording_options.h"
#include "framework/dialog_win.h"
#include "pages/hot_key_page_win.h"
#include "pages/region_page_win.h"
#include "pages/sound_page_win.h"
#include "pages/video_page_win.h"
#include "recorder/recorder_win.h"

#include <array>

class CVidorraDlg : public Dialog, private RecorderEvents, public AutomationWindow {
public:
    CVidorraDlg(RecordingOptions& options, Recorder& recorder);
    ~CVidorraDlg() override;

    static constexpr int kPageCount = 4;

    // A hot key's id: the command it stands for, to the recorder.
    void HotKey(int id);
    // Ends a recording still running when the program must end.
    void StopForExit();
    // Registers the hot keys unless a script switched them off. Quiet: a taken key goes to the
    // status line, for a copy with nobody in front of it to click a box away.
    void RegisterHotKeys();
    void SetQuietHotKeys(bool quiet) noexcept { quietHotKeys_ = quiet; }
    // The automation server, told of the user's input and of the dialog's end.
    void SetAutomationLink(AutomationLink* link) noexcept { automation_ = link; }
    [[nodiscard]] WindowPolicy& Policy() noexcept { return policy_; }

    // AutomationWindow
    void ShowForScript(bool show) override;
    void SetStartedByScript(bool on) override { policy_.SetStartedByAutomation(on); }
    void RegisterHotKeysForScript(bool quiet) override;
    void UnregisterHotKeys() override;
    void CloseForLastClient() override;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR& header) override;
    void OnClose() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    bool PreTranslateMessage(MSG& msg) override;

private:
    // RecorderEvents
    void ShowRecordState(int32_t recordState) override;
    void OnRecordingStarted() override;
    void OnRecordingStopped(const RecordingOutcome& outcome) override;
    void OnOptionsChanged(OptionGroup group) override;
    void ShowMessage(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void HoldSingleFrameKey(bool hold) override;
    void OnCloseDeferred() override { Close(); }
    bool PreTranslateSessionMessage(MSG& msg) override;

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

    RecordingOptions& options_;
    Recorder& recorder_;
    WindowPolicy policy_;
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
