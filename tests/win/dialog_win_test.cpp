#include "framework/app_win.h"
#include "framework/dialog_template_win.h"
#include "framework/dialog_win.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kEdit = 101;
constexpr int kButton = 102;
constexpr int kEndCommand = 1234;
constexpr UINT kDestroyMe = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;
constexpr UINT kPostEnd = WM_APP + 3;
constexpr UINT kShowBox = WM_APP + 4;
constexpr char kBoxTitle[] = "Escape probe";

// Presses Escape in the probe message box once it is up.
void CALLBACK EscapeIntoBox(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND box = ::FindWindowA(nullptr, kBoxTitle);
    if (box != nullptr) {
        ::KillTimer(nullptr, id);
        ::PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 1);
    }
}

DialogTemplate MakeTemplate(DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU) {
    DialogTemplate t(style, 10, 10, 200, 100, "Test dialog");
    t.Add("EDIT", kEdit, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 5, 5, 100, 14);
    t.Add("BUTTON", kButton, BS_PUSHBUTTON | WS_TABSTOP, 5, 25, 50, 14, "Go");
    t.Add("BUTTON", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 60, 25, 50, 14, "Cancel");
    return t;
}

// A message a dialog posts to itself (item 0) or to one of its controls when it initialises:
// the only way to get messages into the system's modal loop before it runs.
struct Posted {
    int item;
    UINT msg;
    WPARAM wp = 0;
};

struct Command {
    int id;
    int code;
    HWND control;
};

class RecordingDialog : public Dialog {
public:
    using Dialog::Dialog;

    std::vector<Posted> toPostOnInit;
    void PostOnInit(int item, UINT msg, WPARAM wp = 0) { toPostOnInit.push_back({item, msg, wp}); }
    int initCount = 0;
    int destroyCount = 0;
    std::vector<Command> commands;
    bool throwOnCommand = false;
    int boxResult = 0;

protected:
    bool OnInitDialog() override {
        ++initCount;
        for (const Posted& p : toPostOnInit) {
            (p.item != 0 ? Item(p.item) : Wnd()).Post(p.msg, p.wp);
        }
        return true;
    }
    void OnCommand(int id, int code, HWND control) override {
        if (id == kEdit) {
            return; // focus notifications of the edit are not under test
        }
        commands.push_back({id, code, control});
        if (throwOnCommand) {
            throw std::runtime_error("handler failed");
        }
        if (id == kEndCommand) {
            End(kEndCommand);
            return;
        }
        Dialog::OnCommand(id, code, control);
    }
    LRESULT OnNotify(NMHDR& header) override { return header.code == 7u ? 42 : 0; }
    void OnDestroy() override { ++destroyCount; }
    bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) override {
        switch (msg) {
        case kDestroyMe:
            Destroy();
            return true;
        case kAnswer:
            result = 4711;
            return true;
        case kPostEnd:
            Wnd().Post(WM_COMMAND, MAKEWPARAM(kEndCommand, BN_CLICKED));
            return true;
        case kShowBox:
            ::SetTimer(nullptr, 0, 20, &EscapeIntoBox);
            boxResult = ::MessageBoxA(Handle(), "Press Escape", kBoxTitle, MB_OKCANCEL);
            End(kEndCommand);
            return true;
        case WM_QUERYDRAGICON:
            result = 0x1234;
            return true;
        default:
            return false;
        }
    }
};

// Discards Escape key-downs, as the program's own application does.
class EscapeEatingApp : public Application {
public:
    EscapeEatingApp() : Application(::GetModuleHandleA(nullptr)) {}
    int seen = 0;
    bool PreTranslateMessage(MSG& msg) override {
        ++seen;
        return msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE;
    }
};

// A broken loop would hang the test run; the watchdog ends any loop with WM_QUIT instead.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { watchdog_ = ::SetTimer(nullptr, 0, 5000, &Watchdog); }
    void TearDown() override {
        ::KillTimer(nullptr, watchdog_);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            EXPECT_NE(msg.message, static_cast<UINT>(WM_QUIT)) << "a loop hung until the watchdog";
        }
    }
    static void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(99); }

    DialogTemplate template_ = MakeTemplate();

private:
    UINT_PTR watchdog_ = 0;
};

TEST_F(DialogTest, PostedCommandsReachOnCommandWithIdCodeAndControl) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    EXPECT_EQ(dialog.initCount, 1);
    const HWND button = dialog.Item(kButton).Handle();
    dialog.Wnd().Post(WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button));
    // Ids above 32767 (the help command) must not come out negative.
    dialog.Wnd().Post(WM_COMMAND, MAKEWPARAM(0xE146, 0));
    dialog.Wnd().Post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));

    EXPECT_EQ(dialog.RunModalLoop(), IDOK);

    ASSERT_EQ(dialog.commands.size(), 3u);
    EXPECT_EQ(dialog.commands[0].id, kButton);
    EXPECT_EQ(dialog.commands[0].code, BN_CLICKED);
    EXPECT_EQ(dialog.commands[0].control, button);
    EXPECT_EQ(dialog.commands[1].id, 0xE146);
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_TRUE(dialog.Wnd().Exists()); // ending the loop does not destroy the window
}

TEST_F(DialogTest, ResultsReachTheSenderThroughTheDialogManager) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    NMHDR header{dialog.Item(kEdit).Handle(), static_cast<UINT_PTR>(kEdit), 7u};
    EXPECT_EQ(dialog.Wnd().Send(WM_NOTIFY, kEdit, reinterpret_cast<LPARAM>(&header)), 42);
    EXPECT_EQ(dialog.Wnd().Send(kAnswer), 4711);
    // Answered straight from the dialog procedure, not through DWLP_MSGRESULT.
    EXPECT_EQ(dialog.Wnd().Send(WM_QUERYDRAGICON), 0x1234);
}

TEST_F(DialogTest, AThrowingHandlerDoesNotEscapeTheDialogProcedure) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.throwOnCommand = true;
    dialog.Wnd().Send(WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED));
    dialog.throwOnCommand = false;
    dialog.Wnd().Post(WM_COMMAND, MAKEWPARAM(kEndCommand, BN_CLICKED));
    EXPECT_EQ(dialog.RunModalLoop(), kEndCommand);
    EXPECT_EQ(dialog.commands.size(), 2u);
}

TEST_F(DialogTest, ModalDialogReturnsTheResultGivenToEnd) {
    RecordingDialog ended(template_.Get());
    ended.PostOnInit(0, kPostEnd);
    EXPECT_EQ(ended.DoModal(nullptr), kEndCommand);
    EXPECT_EQ(ended.initCount, 1);
    EXPECT_EQ(ended.destroyCount, 1);
    EXPECT_EQ(ended.Handle(), nullptr);

    RecordingDialog closed(template_.Get());
    closed.PostOnInit(0, WM_CLOSE);
    EXPECT_EQ(closed.DoModal(nullptr), IDCANCEL);
}

TEST_F(DialogTest, ModalLoopEndsWhenTheWindowIsDestroyed) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.Wnd().Post(kDestroyMe);
    EXPECT_EQ(dialog.RunModalLoop(), -1);
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_EQ(dialog.destroyCount, 1);

    // The object can have a window again.
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    EXPECT_EQ(dialog.initCount, 2);
}

TEST_F(DialogTest, ModalLoopPassesQuitOnToTheOuterLoop) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    ::PostQuitMessage(3);
    EXPECT_EQ(dialog.RunModalLoop(), -1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(DialogTest, CloseCancelsUnlessTheCancelButtonIsDisabled) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.Wnd().Post(WM_CLOSE);
    EXPECT_EQ(dialog.RunModalLoop(), IDCANCEL);

    dialog.Item(IDCANCEL).Enable(false);
    dialog.Wnd().Post(WM_CLOSE);
    dialog.Wnd().Post(kPostEnd); // its end command queues behind a cancel, if one was posted
    EXPECT_EQ(dialog.RunModalLoop(), kEndCommand);
}

TEST_F(DialogTest, EndOutsideAnyLoopDestroysAModelessDialog) {
    RecordingDialog dialog(template_.Get());
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.End(IDOK);
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_EQ(dialog.destroyCount, 1);
}

TEST_F(DialogTest, DestructorDestroysALiveWindowWithoutCallingHandlers) {
    HWND hwnd = nullptr;
    {
        RecordingDialog dialog(template_.Get());
        ASSERT_TRUE(dialog.CreateModeless(nullptr));
        hwnd = dialog.Handle();
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(DialogTest, ChildDialogLivesInsideItsParent) {
    RecordingDialog parent(template_.Get());
    ASSERT_TRUE(parent.CreateModeless(nullptr));
    DialogTemplate pageTemplate = MakeTemplate(WS_CHILD | DS_CONTROL);
    RecordingDialog page(pageTemplate.Get());
    ASSERT_TRUE(page.CreateModeless(parent.Handle()));
    EXPECT_EQ(page.Wnd().Parent().Handle(), parent.Handle());
    EXPECT_EQ(page.Item(kEdit).Root().Handle(), parent.Handle());
    EXPECT_EQ(page.initCount, 1);
}

TEST_F(DialogTest, MissingTemplateFailsCleanly) {
    RecordingDialog dialog(static_cast<UINT>(9999));
    EXPECT_FALSE(dialog.CreateModeless(nullptr));
    EXPECT_EQ(dialog.DoModal(nullptr), -1);
    EXPECT_EQ(dialog.initCount, 0);
}

// Escape would cancel a dialog through the dialog manager; the application's pre-translation
// must see it first in both kinds of loop. Each case also runs without the application hook, so
// a test that could not tell the difference fails.
TEST_F(DialogTest, PreTranslationSwallowsEscapeInTheModelessLoop) {
    for (bool withApp : {false, true}) {
        std::optional<EscapeEatingApp> app;
        if (withApp) {
            app.emplace();
        }
        RecordingDialog dialog(template_.Get());
        ASSERT_TRUE(dialog.CreateModeless(nullptr));
        const Window edit = dialog.Item(kEdit);
        edit.Post(WM_KEYDOWN, VK_ESCAPE, 1);
        dialog.Wnd().Post(kPostEnd);
        EXPECT_EQ(dialog.RunModalLoop(), withApp ? kEndCommand : IDCANCEL) << withApp;
        if (withApp) {
            EXPECT_GE(app->seen, 2);
        }
    }
}

TEST_F(DialogTest, PreTranslationSwallowsEscapeInTheModalLoop) {
    for (bool withApp : {false, true}) {
        std::optional<EscapeEatingApp> app;
        if (withApp) {
            app.emplace();
        }
        RecordingDialog dialog(template_.Get());
        dialog.PostOnInit(kEdit, WM_KEYDOWN, VK_ESCAPE);
        dialog.PostOnInit(0, kPostEnd);
        EXPECT_EQ(dialog.DoModal(nullptr), withApp ? kEndCommand : IDCANCEL) << withApp;
    }
}

// The application sees only our own dialogs' messages: a message box inside a modal dialog still
// closes on Escape.
TEST_F(DialogTest, MessageBoxesKeepTheirEscape) {
    EscapeEatingApp app;
    RecordingDialog dialog(template_.Get());
    dialog.PostOnInit(0, kShowBox);
    EXPECT_EQ(dialog.DoModal(nullptr), kEndCommand);
    EXPECT_EQ(dialog.boxResult, IDCANCEL);
}

} // namespace
