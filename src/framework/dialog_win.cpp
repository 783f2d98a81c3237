#include "framework/dialog_win.h"

#include "framework/app_win.h"
#include "framework/handles_win.h"

namespace {

// One message filter serves however many modal dialogs are nested.
UniqueHook g_filterHook;
int g_modalDepth = 0;

class ModalFilterScope {
public:
    explicit ModalFilterScope(HOOKPROC filter) {
        if (g_modalDepth++ == 0) {
            g_filterHook.reset(
                ::SetWindowsHookExA(WH_MSGFILTER, filter, nullptr, ::GetCurrentThreadId()));
        }
    }
    ModalFilterScope(const ModalFilterScope&) = delete;
    ModalFilterScope& operator=(const ModalFilterScope&) = delete;
    ~ModalFilterScope() {
        if (--g_modalDepth == 0) {
            g_filterHook.reset();
        }
    }
};

} // namespace

Dialog::~Dialog() {
    if (hwnd_ != nullptr) {
        const HWND hwnd = hwnd_;
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        hwnd_ = nullptr;
        ::DestroyWindow(hwnd);
    }
}

INT_PTR Dialog::DoModal(HWND parent) {
    if (hwnd_ != nullptr) {
        return -1;
    }
    const ModalFilterScope filter(&Dialog::MessageFilter);
    modal_ = true;
    const LPARAM self = reinterpret_cast<LPARAM>(this);
    const INT_PTR result = memoryTemplate_ != nullptr
                               ? ::DialogBoxIndirectParamA(App().Instance(), memoryTemplate_,
                                                           parent, &Dialog::Procedure, self)
                               : ::DialogBoxParamA(App().Resources(), MAKEINTRESOURCEA(templateId_),
                                                   parent, &Dialog::Procedure, self);
    modal_ = false;
    return result;
}

bool Dialog::CreateModeless(HWND parent) {
    if (hwnd_ != nullptr) {
        return false;
    }
    const LPARAM self = reinterpret_cast<LPARAM>(this);
    const HWND hwnd = memoryTemplate_ != nullptr
                          ? ::CreateDialogIndirectParamA(App().Instance(), memoryTemplate_, parent,
                                                         &Dialog::Procedure, self)
                          : ::CreateDialogParamA(App().Resources(), MAKEINTRESOURCEA(templateId_),
                                                 parent, &Dialog::Procedure, self);
    return hwnd != nullptr && hwnd == hwnd_;
}

INT_PTR Dialog::RunModalLoop() {
    if (hwnd_ == nullptr || inLoop_ || modal_) {
        return -1;
    }
    inLoop_ = true;
    loopEnded_ = false;
    loopResult_ = -1;
    MSG msg;
    while (!loopEnded_ && hwnd_ != nullptr) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // The outer loop must see the quit request too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        bool swallowed = false;
        try {
            swallowed =
                App().PreTranslateMessage(msg) || (hwnd_ != nullptr && PreTranslateMessage(msg));
        } catch (...) {
            swallowed = false;
        }
        if (swallowed || (hwnd_ != nullptr && ::IsDialogMessageA(hwnd_, &msg) != FALSE)) {
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    inLoop_ = false;
    return loopResult_;
}

void Dialog::EndModalLoop(INT_PTR result) {
    if (!inLoop_) {
        return;
    }
    loopResult_ = result;
    loopEnded_ = true;
    // Wakes the loop when the end comes from a message that GetMessage handles internally
    // (a message sent from another thread).
    if (hwnd_ != nullptr) {
        ::PostMessageA(hwnd_, WM_NULL, 0, 0);
    }
}

void Dialog::End(INT_PTR result) {
    if (hwnd_ == nullptr) {
        return;
    }
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else if (inLoop_) {
        EndModalLoop(result);
    } else {
        ::DestroyWindow(hwnd_);
    }
}

void Dialog::Destroy() {
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
}

void Dialog::ShowInputError(const std::string& text) {
    const std::string& caption = App().Name();
    ::MessageBoxA(Window(hwnd_).Root().Handle(), text.c_str(),
                  caption.empty() ? nullptr : caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void Dialog::OnCommand(int id, int, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        End(id);
    }
}

LRESULT Dialog::OnNotify(NMHDR&) {
    return 0;
}

void Dialog::OnClose() {
    // As the dialog manager does: a disabled Cancel button means the dialog cannot be cancelled.
    const HWND cancel = ::GetDlgItem(hwnd_, IDCANCEL);
    if (cancel != nullptr && ::IsWindowEnabled(cancel) == FALSE) {
        return;
    }
    ::PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(cancel));
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

bool Dialog::PreTranslateMessage(MSG&) {
    return false;
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return TRUE;
    case WM_NOTIFY:
        if (lp == 0) {
            return FALSE;
        }
        return Reply(msg, OnNotify(*reinterpret_cast<NMHDR*>(lp)));
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        // The dialog manager still has its own clean-up to do.
        return FALSE;
    default: {
        LRESULT result = 0;
        return OnMessage(msg, wp, lp, result) ? Reply(msg, result) : FALSE;
    }
    }
}

INT_PTR Dialog::Reply(UINT msg, LRESULT result) {
    switch (msg) {
    // These return their result from the dialog procedure itself, not through DWLP_MSGRESULT.
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return static_cast<INT_PTR>(result);
    default:
        ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrA(hwnd, DWLP_USER, lp);
        }
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after detaching get the defaults.
    if (self == nullptr) {
        return FALSE;
    }
    INT_PTR handled = FALSE;
    try {
        handled = self->Dispatch(msg, wp, lp);
    } catch (...) {
        handled = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return handled;
}

LRESULT CALLBACK Dialog::MessageFilter(int code, WPARAM wp, LPARAM lp) {
    if (code == MSGF_DIALOGBOX && lp != 0) {
        MSG& msg = *reinterpret_cast<MSG*>(lp);
        // Only messages of our own dialogs: a message box keeps its usual keys.
        const HWND root = msg.hwnd != nullptr ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        const bool ours = root != nullptr && ::GetWindowLongPtrA(root, DWLP_DLGPROC) ==
                                                 reinterpret_cast<LONG_PTR>(&Dialog::Procedure);
        if (ours) {
            try {
                if (App().PreTranslateMessage(msg)) {
                    return TRUE;
                }
            } catch (...) {
                // Not swallowed: let the dialog have it.
            }
        }
    }
    return ::CallNextHookEx(g_filterHook.get(), code, wp, lp);
}
