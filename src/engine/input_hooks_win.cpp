#include "engine/input_hooks_win.h"

#include "engine/record_state_win.h"
#include "framework/text_format.h"

#include <mmsystem.h>

#include <future>
#include <string>
#include <string_view>

namespace {

// Posted by the keyboard hook to its own thread: wParam the key, lParam its moment; the
// message's own kind says down or up.
constexpr UINT WM_INPUT_KEY_DOWN = WM_APP + 1;
constexpr UINT WM_INPUT_KEY_UP = WM_APP + 2;

// The hooks are called on the thread that installed them, which belongs to one recording.
thread_local InputHooks* tHooks = nullptr;

struct MouseButton {
    WPARAM down, up;
    overlay::Button button;
};
constexpr MouseButton kMouseButtons[] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, overlay::Button::Left},
                                         {WM_RBUTTONDOWN, WM_RBUTTONUP, overlay::Button::Right},
                                         {WM_MBUTTONDOWN, WM_MBUTTONUP, overlay::Button::Middle}};

uint32_t ModifierOf(uint32_t vk) {
    switch (vk) {
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_CONTROL:
        return modifier::Control;
    case VK_LMENU:
    case VK_RMENU:
    case VK_MENU:
        return modifier::Alt;
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_SHIFT:
        return modifier::Shift;
    case VK_LWIN:
    case VK_RWIN:
        return modifier::Win;
    default:
        return 0;
    }
}

// Keys whose state makes up the modifiers of a combination.
constexpr uint32_t kModifierKeys[] = {VK_CONTROL, VK_LCONTROL, VK_RCONTROL, VK_MENU,
                                      VK_LMENU,   VK_RMENU,    VK_SHIFT,    VK_LSHIFT,
                                      VK_RSHIFT,  VK_LWIN,     VK_RWIN};

// The keyboard focus is in a field whose text is hidden as it is typed.
bool FocusIsPassword() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(0, &info) || info.hwndFocus == nullptr)
        return false;
    char name[32] = "";
    const std::string_view cls(
        name, static_cast<size_t>(::GetClassNameA(info.hwndFocus, name, sizeof name)));
    const bool edit =
        EqualsIgnoringCase(cls, "edit") || EqualsIgnoringCase(cls.substr(0, 8), "richedit");
    return edit && (::GetWindowLongPtrA(info.hwndFocus, GWL_STYLE) & ES_PASSWORD) != 0;
}

} // namespace

InputHooks::InputHooks(const RecordingOptions& options, const std::atomic<int32_t>& recordState)
    : options_(options), recordState_(recordState), clicks_(options.HighlightClicks != 0),
      keysLevel_(options.ShowKeys), hotKeys_{options.Start, options.Pause, options.SingleShot,
                                             options.LockPan} {
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    thread_ = std::thread([this, &ready] { Run(ready); });
    started.wait();
}

InputHooks::~InputHooks() {
    if (thread_.joinable()) {
        ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
}

overlay::Scene InputHooks::At(uint32_t ms) {
    const std::lock_guard lock(mutex_);
    return timeline_.At(ms);
}

void InputHooks::Run(std::promise<void>& ready) {
    threadId_ = ::GetCurrentThreadId();
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the queue, before anyone posts to it
    tHooks = this;
    const HINSTANCE module = ::GetModuleHandleA(nullptr);
    const HHOOK mouse = clicks_ ? ::SetWindowsHookExA(WH_MOUSE_LL, OnMouse, module, 0) : nullptr;
    const HHOOK keys =
        keysLevel_ > 0 ? ::SetWindowsHookExA(WH_KEYBOARD_LL, OnKey, module, 0) : nullptr;
    ready.set_value(); // the creator's `ready` is gone after this
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_INPUT_KEY_DOWN || msg.message == WM_INPUT_KEY_UP)
            NoteKey(static_cast<uint32_t>(msg.wParam), msg.message == WM_INPUT_KEY_DOWN,
                    static_cast<uint32_t>(msg.lParam));
    }
    if (mouse != nullptr)
        ::UnhookWindowsHookEx(mouse);
    if (keys != nullptr)
        ::UnhookWindowsHookEx(keys);
    tHooks = nullptr;
    const std::lock_guard lock(mutex_);
    timeline_.Clear();
}

bool InputHooks::Paused() const noexcept {
    return recordState_.load() == record_state::Paused;
}

LRESULT CALLBACK InputHooks::OnMouse(int code, WPARAM wp, LPARAM lp) {
    InputHooks* self = tHooks;
    if (code == HC_ACTION && self != nullptr && !self->Paused()) {
        const auto& info = *reinterpret_cast<const MSLLHOOKSTRUCT*>(lp);
        const uint32_t now = ::timeGetTime();
        std::optional<overlay::Button> down, up;
        for (const MouseButton& b : kMouseButtons) {
            if (wp == b.down)
                down = b.button;
            else if (wp == b.up)
                up = b.button;
        }
        const RecordingOptions& o = self->options_;
        const int64_t left = o.StartX, top = o.StartY;
        const bool inside = info.pt.x >= left && info.pt.x < left + o.Width.load() &&
                            info.pt.y >= top && info.pt.y < top + o.Height.load();
        if ((down && inside) || up) {
            const std::lock_guard lock(self->mutex_);
            if (down)
                self->timeline_.Press(*down, info.pt.x, info.pt.y, now);
            else
                self->timeline_.Release(*up, now);
        }
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK InputHooks::OnKey(int code, WPARAM wp, LPARAM lp) {
    InputHooks* self = tHooks;
    if (code == HC_ACTION && self != nullptr) {
        const auto& info = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        const bool down = wp == WM_KEYDOWN || wp == WM_SYSKEYDOWN;
        // Named and weighed after this returns, on the same thread, in the order they came.
        ::PostThreadMessageA(self->threadId_, down ? WM_INPUT_KEY_DOWN : WM_INPUT_KEY_UP,
                             info.vkCode & 0xFF, static_cast<LPARAM>(::timeGetTime()));
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

void InputHooks::NoteKey(uint32_t vk, bool down, uint32_t ms) {
    const bool repeat = down && keyDown_[vk];
    keyDown_[vk] = down;
    if (ModifierOf(vk) != 0 || !down || repeat || Paused())
        return;
    // Either key of a pair held keeps its modifier.
    uint32_t modifiers = 0;
    for (const uint32_t key : kModifierKeys)
        if (keyDown_[key])
            modifiers |= ModifierOf(key);
    if (IsOwnHotKey(vk, modifiers))
        return;
    std::string name = overlay::KeyName(vk, modifiers, keysLevel_);
    if (name.empty() || FocusIsPassword())
        return;
    const std::lock_guard lock(mutex_);
    timeline_.Key(std::move(name), ms);
}

bool InputHooks::IsOwnHotKey(uint32_t vk, uint32_t modifiers) const noexcept {
    const uint32_t mods = modifiers & (modifier::Alt | modifier::Control | modifier::Shift);
    for (const HotKeyBinding& b : hotKeys_)
        if (b.Key != 0 && b.Key == vk && b.Mod == mods)
            return true;
    return false;
}
