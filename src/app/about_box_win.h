#pragma once
// The About box: the program's version and its help topic.

#include "framework/dialog_win.h"

class CAboutBox : public Dialog {
public:
    CAboutBox();

protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int code, HWND control) override;
};

// Opens the program's help file beside the program at a context topic, without waiting for the
// viewer. A missing file is the help viewer's to report.
void ShowHelpTopic(HWND owner, int topic);
// Asks the help viewer to close, when the program ends.
void CloseHelp(HWND owner);
