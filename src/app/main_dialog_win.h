#pragma once

// The main window: record, pause and play buttons, the status line and the tab strip whose tabs
// switch between the four option pages.

#include "engine/recording_options.h"
#include "framework/dialog_win.h"

#include <array>
#include <memory>

class CVidorraDlg : public Dialog {
public:
    explicit CVidorraDlg(RecordingOptions& options);
    ~CVidorraDlg() override;

    static constexpr int kPageCount = 4;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR& header) override;
    void OnClose() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void CreatePages();
    void ShowPageOfSelectedTab();
    void PlaceAtStoredPosition();
    void PaintMinimizedIcon();
    void Close();

    RecordingOptions& options_;
    HICON icon_ = nullptr;
    // Index = tab index: region, hot keys, video, sound.
    std::array<std::unique_ptr<Dialog>, kPageCount> pages_;
};
