#include "hotkeys/hot_key_capture_win.h"

#include "hotkeys/hot_key_text.h"
#include "hotkeys/hot_keys_win.h"
#include "framework/app_win.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

namespace {
constexpr char kSelfProperty[] = "VidorraHotKeyCapture";
constexpr int kKeyNameBuffer = 20;
} // namespace

HotKeyCaptureDialog::HotKeyCaptureDialog(uint32_t key, uint32_t flags, std::string label)
    : Dialog(IDD_HOTKEY_CAPTURE), key_(key), flags_(flags), label_(std::move(label)) {}

bool HotKeyCaptureDialog::OnInitDialog() {
    Item(IDC_CAPTURE_LABEL).SetText(label_);
    Window control = Item(IDC_CAPTURE_HOTKEY);
    control.Send(HKM_SETHOTKEY, MAKEWORD(key_ & 0xFF, flags_ & 0xFF));
    // A key alone or with Shift alone would take it from every program: make it Ctrl+Shift.
    control.Send(HKM_SETRULES, HKCOMB_NONE | HKCOMB_S,
                 MAKELPARAM(HOTKEYF_SHIFT | HOTKEYF_CONTROL, 0));
    // Watch the keys the control receives, modifiers included.
    ::SetPropA(control.Handle(), kSelfProperty, this);
    controlProc_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
        control.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
    control.Focus();
    return false;
}

LRESULT CALLBACK HotKeyCaptureDialog::ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = static_cast<HotKeyCaptureDialog*>(::GetPropA(hwnd, kSelfProperty));
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    if ((msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && wp != VK_RETURN)
        self->lastKeyData_ = lp;
    const WNDPROC original = self->controlProc_;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::RemovePropA(hwnd, kSelfProperty);
    }
    return ::CallWindowProcA(original, hwnd, msg, wp, lp);
}

void HotKeyCaptureDialog::OnCommand(int id, int code, HWND control) {
    if (id != IDOK) {
        Dialog::OnCommand(id, code, control);
        return;
    }
    if (lastKeyData_ == 0) {
        End(IDCANCEL); // nothing was pressed: nothing to change
        return;
    }
    const auto value = static_cast<uint32_t>(Item(IDC_CAPTURE_HOTKEY).Send(HKM_GETHOTKEY));
    key_ = value & 0xFF;
    flags_ = (value >> 8) & 0xFF;
    if (key_ == 0)
        lastKeyData_ = 0; // the user cleared the control
    End(IDOK);
}

std::string HotKeyCaptureDialog::Description() const {
    char name[kKeyNameBuffer] = "";
    if (lastKeyData_ != 0)
        ::GetKeyNameTextA(static_cast<LONG>(lastKeyData_), name, kKeyNameBuffer);
    const ModifierTexts texts{App().LoadString(IDS_KEY_PREFIX_CTRL),
                              App().LoadString(IDS_KEY_PREFIX_SHIFT),
                              App().LoadString(IDS_KEY_PREFIX_ALT)};
    return DescribeHotKey(texts, flags_, name, lastKeyData_ != 0, App().LoadString(IDS_KEY_NONE));
}

bool EditHotKeyBinding(HWND mainWindow, HotKeyBinding& binding, UINT labelId) {
    const std::string label = App().LoadString(labelId);
    UnregisterAllHotKeys(mainWindow);
    HotKeyCaptureDialog dialog(binding.Key, ModToHotKeyFlags(binding.Mod), label);
    const bool changed = dialog.DoModal(mainWindow) == IDOK;
    if (changed) {
        binding.Key = dialog.Key();
        binding.Mod = HotKeyFlagsToMod(dialog.Flags());
        binding.Desc = dialog.Description();
    }
    RestoreHotKeys(mainWindow);
    return changed;
}
