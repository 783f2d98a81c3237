// A window at a known place holding one password field with the keyboard focus, for the test
// that keys typed there never show in a movie:
//   passwordbox X Y W H
// Runs until closed.

#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    if (msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE)
        SetFocus(GetDlgItem(hwnd, 1));
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const int x = std::atoi(argv[1]), y = std::atoi(argv[2]), w = std::atoi(argv[3]),
              h = std::atoi(argv[4]);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "PasswordBox";
    RegisterClassA(&wc);
    HWND top = CreateWindowExA(WS_EX_TOPMOST, "PasswordBox", "Password Box", WS_POPUP | WS_VISIBLE,
                               x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
    HWND edit =
        CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_PASSWORD, 4, 4, w - 8,
                        24, top, reinterpret_cast<HMENU>(1), wc.hInstance, nullptr);
    if (!top || !edit)
        return 1;
    SetForegroundWindow(top);
    SetFocus(edit);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
