#pragma once

// A page of the main dialog's tabs: a child dialog that edits the recording options in place.
// There is no OK or Apply: a click, a list selection or leaving an edit stores the value at once.
// Values go through the same rules as every other path into the options: a refused one is
// reported by the data exchange, the focus stays in its edit, and the options keep their last
// good value.
//
// Handlers: OnControl(id, code) for every notification of the page's controls; ShowOptions()
// writes the options into the controls and runs only while the page's window exists.

#include "engine/recording_options.h"
#include "framework/data_exchange_win.h"
#include "framework/dialog_win.h"

#include <initializer_list>
#include <span>
#include <windows.h>

class OptionPage : public Dialog {
public:
    OptionPage(UINT templateId, RecordingOptions& options) noexcept
        : Dialog(templateId), options_(options) {}

    // Shows the options' current values; nothing happens before the page's window exists.
    void RefreshFromOptions();
    // Takes the value of one of the page's edits as leaving it would, refusal included (the
    // focus then stays in it). False when the window is no edit of this page.
    bool CommitEdit(HWND edit);

protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int code, HWND control) final;

    virtual void ShowOptions() = 0;
    virtual void OnControl(int id, int code) = 0;

    // The page's data exchange table; empty for a page that works on its controls directly.
    [[nodiscard]] virtual std::span<const ExchangeField> Fields() const { return {}; }
    // Shows every field of the table in its control.
    void ShowFields();
    // Reads the fields of these controls back, in this order. False when one was refused: it and
    // the ones after it keep their values.
    [[nodiscard]] bool ReadBack(std::initializer_list<int> ids);

    // The window the page belongs to: the main dialog, which owns the hot keys.
    [[nodiscard]] HWND MainWindow() const { return Wnd().Root().Handle(); }

    RecordingOptions& options_;
};
