#pragma once

// The hot-key page: one button per global hot key (its caption is the binding's text; a click
// opens the key-capture dialog), the modifier keys whose holding pans the region, and the pan
// lock.

#include "pages/option_page_win.h"

class CMyPropertyPage1 : public OptionPage {
public:
    explicit CMyPropertyPage1(RecordingOptions& options);

protected:
    void ShowOptions() override;
    void OnControl(int id, int code) override;
};
