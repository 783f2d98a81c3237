#include "pages/hot_key_page_win.h"

#include "hotkeys/hot_keys_win.h"
#include "option_page_fixture_win.h"
#include "resource_ids.h"

#include <utility>

namespace {

constexpr std::pair<int, int32_t> kPanBoxes[] = {{IDC_HOTKEYS_PAN_SHIFT, modifier::Shift},
                                                 {IDC_HOTKEYS_PAN_CTRL, modifier::Control},
                                                 {IDC_HOTKEYS_PAN_ALT, modifier::Alt}};

class HotKeyPageTest : public PageTest<CMyPropertyPage1> {
protected:
    void PreparePage() override {
        options_.PanModifiers = modifier::Alt | modifier::Shift;
        options_.PanLocked = 1;
        options_.Start = {VK_F9, modifier::Control, "Ctrl+F9"};
        options_.LockPan.Desc = "Shift+F3";
    }
    void TearDown() override {
        // Editing a binding registers the keys on the host.
        UnregisterAllHotKeys(Host().Handle());
        PageTest::TearDown();
    }
};

TEST_F(HotKeyPageTest, ShowsTheBindingsAndThePanSettings) {
    EXPECT_EQ(Item(IDC_HOTKEYS_START).Text(), "Ctrl+F9");
    EXPECT_EQ(Item(IDC_HOTKEYS_PAUSE).Text(), "F3");
    EXPECT_EQ(Item(IDC_HOTKEYS_SINGLESHOT).Text(), "F4");
    EXPECT_EQ(Item(IDC_HOTKEYS_LOCKPAN).Text(), "Shift+F3");
    EXPECT_TRUE(Item(IDC_HOTKEYS_PAN_SHIFT).IsChecked());
    EXPECT_FALSE(Item(IDC_HOTKEYS_PAN_CTRL).IsChecked());
    EXPECT_TRUE(Item(IDC_HOTKEYS_PAN_ALT).IsChecked());
    EXPECT_TRUE(Item(IDC_HOTKEYS_PAN_LOCKED).IsChecked());

    options_.ResetToDefaults();
    page_->RefreshFromOptions();
    EXPECT_EQ(Item(IDC_HOTKEYS_START).Text(), "F2");
    EXPECT_TRUE(Item(IDC_HOTKEYS_PAN_SHIFT).IsChecked());
    EXPECT_TRUE(Item(IDC_HOTKEYS_PAN_CTRL).IsChecked());
    EXPECT_FALSE(Item(IDC_HOTKEYS_PAN_ALT).IsChecked());
    EXPECT_FALSE(Item(IDC_HOTKEYS_PAN_LOCKED).IsChecked());
}

TEST_F(HotKeyPageTest, EachPanBoxChangesOnlyItsOwnModifier) {
    for (const auto& [id, bit] : kPanBoxes) {
        const int32_t before = options_.PanModifiers;
        Click(id);
        EXPECT_EQ(options_.PanModifiers, before ^ bit) << id;
        Click(id);
        EXPECT_EQ(options_.PanModifiers, before) << id;
    }
    // From none, Ctrl and Alt give 3; from the default Ctrl+Shift, dropping Shift leaves Ctrl.
    options_.PanModifiers = 0;
    page_->RefreshFromOptions();
    Click(IDC_HOTKEYS_PAN_CTRL);
    Click(IDC_HOTKEYS_PAN_ALT);
    EXPECT_EQ(options_.PanModifiers, 3);
    options_.PanModifiers = 6;
    page_->RefreshFromOptions();
    Click(IDC_HOTKEYS_PAN_SHIFT);
    EXPECT_EQ(options_.PanModifiers, 2);

    Click(IDC_HOTKEYS_PAN_LOCKED);
    EXPECT_EQ(options_.PanLocked, 0);
    Click(IDC_HOTKEYS_PAN_LOCKED);
    EXPECT_EQ(options_.PanLocked, 1);
}

// Presses F7 alone in the key-capture dialog, then OK.
void PressF7(HWND dialog) {
    constexpr LPARAM kF7ScanCode = 0x41;
    ::SendDlgItemMessageA(dialog, IDC_CAPTURE_HOTKEY, WM_KEYDOWN, VK_F7, 1 | (kF7ScanCode << 16));
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(HotKeyPageTest, AButtonEditsItsOwnBindingInTheKeyCaptureDialog) {
    std::string label;
    {
        const InModalLoop capture([] { return OpenedDialog("Hot Key"); },
                                  [&](HWND dialog) {
                                      char text[128] = "";
                                      ::GetDlgItemTextA(dialog, IDC_CAPTURE_LABEL, text,
                                                        sizeof text);
                                      label = text;
                                      PressF7(dialog);
                                  });
        Click(IDC_HOTKEYS_SINGLESHOT);
        ASSERT_TRUE(capture.Ran());
    }
    EXPECT_EQ(label, App().LoadString(IDS_CAPTURE_LABEL_SINGLESHOT));
    // A key alone would be taken from every program: it comes with Ctrl+Shift.
    EXPECT_EQ(options_.SingleShot.Key, static_cast<uint32_t>(VK_F7));
    EXPECT_EQ(options_.SingleShot.Mod, static_cast<uint32_t>(modifier::Control | modifier::Shift));
    EXPECT_EQ(options_.SingleShot.Desc, "Ctrl+Shift+F7");
    EXPECT_EQ(Item(IDC_HOTKEYS_SINGLESHOT).Text(), "Ctrl+Shift+F7");
    // The others are left alone.
    EXPECT_EQ(options_.Start.Desc, "Ctrl+F9");
    EXPECT_EQ(options_.Pause.Desc, "F3");
    EXPECT_EQ(options_.LockPan.Desc, "Shift+F3");
}

} // namespace
