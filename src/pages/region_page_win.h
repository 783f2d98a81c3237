#pragma once

// The region page: where the captured region lies and how large it is, the buttons that pick it
// on the screen, the flashing frame, and what the main window does when a recording starts.

#include "pages/option_page_win.h"

#include <array>

class CMyPropertyPage2 : public OptionPage {
public:
    explicit CMyPropertyPage2(RecordingOptions& options);

protected:
    void ShowOptions() override;
    void OnControl(int id, int code) override;
    [[nodiscard]] std::span<const ExchangeField> Fields() const override { return fields_; }

private:
    void SelectOnScreen(int buttonId);

    int32_t height_ = 0;
    int32_t top_ = 0;
    int32_t left_ = 0;
    int32_t width_ = 0;
    int flash_ = 0;
    std::array<ExchangeField, 5> fields_;
};
