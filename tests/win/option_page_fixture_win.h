#pragma once

// The option pages on their own: each built from VidRes.dll's template as a child of one visible
// host window, driven as a user drives it (type into an edit and leave it, click a button), with
// refusals recorded instead of shown in a message box.

#include "engine/recording_options.h"
#include "framework/app_win.h"
#include "framework/dialog_template_win.h"
#include "framework/dialog_win.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

template <class Page> class RecordedPage : public Page {
public:
    using Page::Page;
    std::vector<std::string> errors;
    void ShowInputError(const std::string& text) override { errors.push_back(text); }
};

// One visible host per test suite: under Wine without a window manager, destroying a visible
// top-level window waits about two seconds. Destroyed with the suite, so that no window of ours
// waits to be painted while the tests that follow drain their queues.
class PageHost : public Dialog {
public:
    static constexpr int kElsewhere = 100;

    static void Open() {
        static const DialogTemplate layout = [] {
            DialogTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 260, 160, "Page host");
            t.Add("BUTTON", kElsewhere, BS_PUSHBUTTON | WS_TABSTOP, 5, 140, 50, 14, "Other");
            return t;
        }();
        Current() = std::make_unique<PageHost>(layout.Get());
        if (!Current()->CreateModeless(nullptr))
            ADD_FAILURE() << "no host window";
    }
    static void Close() { Current().reset(); }
    static PageHost& Get() { return *Current(); }

    explicit PageHost(const DLGTEMPLATE* layout) : Dialog(layout) {}

protected:
    // The pages are not ended by Enter or Escape, and neither is the host.
    void OnCommand(int, int, HWND) override {}

private:
    static std::unique_ptr<PageHost>& Current() {
        static std::unique_ptr<PageHost> host;
        return host;
    }
};

// Runs `step` from inside the next modal loop of this thread (a dialog or message box the page
// opens), as soon as `ready` finds the window it waits for.
class InModalLoop {
public:
    using Find = std::function<HWND()>;
    using Step = std::function<void(HWND)>;

    InModalLoop(Find ready, Step step) {
        Current() = {std::move(ready), std::move(step)};
        timer_ = ::SetTimer(nullptr, 0, 50, &Tick);
    }
    InModalLoop(const InModalLoop&) = delete;
    InModalLoop& operator=(const InModalLoop&) = delete;
    ~InModalLoop() {
        ::KillTimer(nullptr, timer_);
        Current() = {};
    }
    [[nodiscard]] bool Ran() const { return Current().ran; }

private:
    struct State {
        Find ready;
        Step step;
        bool ran = false;
    };
    static State& Current() {
        static State state;
        return state;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        State& s = Current();
        if (s.ran || !s.ready)
            return;
        if (const HWND window = s.ready()) {
            s.ran = true;
            s.step(window);
        }
    }
    UINT_PTR timer_ = 0;
};

// A visible dialog of this thread other than the host, such as the one a page opened.
struct DialogSearch {
    std::string_view title;
    HWND found = nullptr;
};

inline BOOL CALLBACK MatchDialog(HWND w, LPARAM lp) {
    auto& s = *reinterpret_cast<DialogSearch*>(lp);
    char cls[32] = "";
    char text[128] = "";
    ::GetClassNameA(w, cls, sizeof cls);
    ::GetWindowTextA(w, text, sizeof text);
    if (std::string_view(cls) == "#32770" && ::IsWindowVisible(w) &&
        w != PageHost::Get().Handle() && (s.title.empty() || s.title == text)) {
        s.found = w;
        return FALSE;
    }
    return TRUE;
}

inline HWND OpenedDialog(std::string_view title = {}) {
    DialogSearch search{title};
    ::EnumThreadWindows(::GetCurrentThreadId(), &MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <class Page> class PageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PageHost::Open(); }
    static void TearDownTestSuite() { PageHost::Close(); }

    void SetUp() override {
        ASSERT_TRUE(app_.LoadResourceLibrary("VidRes.dll"));
        app_.SetName("Vidorra");
        PreparePage();
        page_ = std::make_unique<RecordedPage<Page>>(options_);
        ASSERT_TRUE(page_->CreateModeless(Host().Handle()));
        page_->Wnd().Show(SW_SHOW);
        ::SetForegroundWindow(Host().Handle());
        Host().Item(PageHost::kElsewhere).Focus();
    }

    void TearDown() override { page_.reset(); }

    // Options the page starts with; set before its window exists.
    virtual void PreparePage() {}

    static PageHost& Host() { return PageHost::Get(); }
    [[nodiscard]] Window Item(int id) const { return page_->Item(id); }
    [[nodiscard]] const std::vector<std::string>& Errors() const { return page_->errors; }

    // Types into an edit and leaves it, as the Tab key or a click elsewhere does.
    void Enter(int id, std::string_view text) {
        Item(id).Focus();
        Item(id).SetText(text);
        Host().Item(PageHost::kElsewhere).Focus();
    }
    // Types without leaving the edit.
    void Type(int id, std::string_view text) {
        Item(id).Focus();
        Item(id).SetText(text);
    }
    void Click(int id) { Item(id).Send(BM_CLICK); }

    Application app_{::GetModuleHandleA(nullptr)};
    RecordingOptions options_;
    std::unique_ptr<RecordedPage<Page>> page_;
};
