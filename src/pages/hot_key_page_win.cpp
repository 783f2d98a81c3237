#include "pages/hot_key_page_win.h"

#include "hotkeys/hot_key_capture_win.h"
#include "resources/resource_ids.h"

namespace {

struct BindingButton {
    int buttonId;
    HotKeyBinding RecordingOptions::*binding;
    UINT labelId; // names the action in the key-capture dialog
};

constexpr BindingButton kBindingButtons[] = {
    {IDC_HOTKEYS_START, &RecordingOptions::Start, IDS_CAPTURE_LABEL_START},
    {IDC_HOTKEYS_PAUSE, &RecordingOptions::Pause, IDS_CAPTURE_LABEL_PAUSE},
    {IDC_HOTKEYS_SINGLESHOT, &RecordingOptions::SingleShot, IDS_CAPTURE_LABEL_SINGLESHOT},
    {IDC_HOTKEYS_LOCKPAN, &RecordingOptions::LockPan, IDS_CAPTURE_LABEL_LOCKPAN},
};

struct PanModifierBox {
    int checkBoxId;
    int32_t bit;
};

constexpr PanModifierBox kPanModifierBoxes[] = {
    {IDC_HOTKEYS_PAN_SHIFT, modifier::Shift},
    {IDC_HOTKEYS_PAN_CTRL, modifier::Control},
    {IDC_HOTKEYS_PAN_ALT, modifier::Alt},
};

} // namespace

CMyPropertyPage1::CMyPropertyPage1(RecordingOptions& options)
    : OptionPage(IDD_PAGE_HOTKEYS, options) {}

void CMyPropertyPage1::ShowOptions() {
    const int32_t pan = options_.PanModifiers;
    for (const PanModifierBox& box : kPanModifierBoxes)
        Item(box.checkBoxId).SetChecked((pan & box.bit) != 0);
    Item(IDC_HOTKEYS_PAN_LOCKED).SetChecked(options_.PanLocked != 0);
    for (const BindingButton& button : kBindingButtons)
        Item(button.buttonId).SetText((options_.*button.binding).Desc);
}

void CMyPropertyPage1::OnControl(int id, int code) {
    if (code != BN_CLICKED)
        return;
    for (const BindingButton& button : kBindingButtons) {
        if (button.buttonId == id) {
            HotKeyBinding& binding = options_.*button.binding;
            if (EditHotKeyBinding(MainWindow(), binding, button.labelId))
                Item(id).SetText(binding.Desc);
            return;
        }
    }
    for (const PanModifierBox& box : kPanModifierBoxes) {
        if (box.checkBoxId == id) {
            const int32_t pan = options_.PanModifiers;
            options_.PanModifiers = Item(id).IsChecked() ? (pan | box.bit) : (pan & ~box.bit);
            return;
        }
    }
    if (id == IDC_HOTKEYS_PAN_LOCKED)
        options_.PanLocked = Item(id).IsChecked() ? 1 : 0;
}
