#pragma once

// The sound page: sample size and sample rate of the mono sound that goes with a recording.

#include "pages/option_page_win.h"

class CMyPropertyPage4 : public OptionPage {
public:
    explicit CMyPropertyPage4(RecordingOptions& options);

protected:
    void ShowOptions() override;
    void OnControl(int id, int code) override;
};
