#pragma once
// The small dialog in which the user presses a new combination for one hot key.

#include "engine/recording_options.h"
#include "framework/dialog_win.h"

#include <string>

class HotKeyCaptureDialog : public Dialog {
public:
    // key and flags in the hot-key control's encoding (HOTKEYF_*).
    HotKeyCaptureDialog(uint32_t key, uint32_t flags, std::string label);

    [[nodiscard]] uint32_t Key() const noexcept { return key_; }
    [[nodiscard]] uint32_t Flags() const noexcept { return flags_; }
    // The text for the binding: the modifier prefixes and the name of the key pressed last.
    [[nodiscard]] std::string Description() const;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int code, HWND control) override;

private:
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    uint32_t key_;
    uint32_t flags_;
    std::string label_;
    LPARAM lastKeyData_ = 0; // of the last key pressed in the control; 0 before any
    WNDPROC controlProc_ = nullptr;
};

// Lets the user edit one binding: withdraws the hot keys, runs the dialog and, on OK, stores the
// new key, modifiers and text; then has the main window take the keys back (unless they are
// switched off). True when it changed.
bool EditHotKeyBinding(HWND mainWindow, HotKeyBinding& binding, UINT labelId);
