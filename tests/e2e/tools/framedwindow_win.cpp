// An ordinary captioned window at a known place, above the test scene, for the tests that point
// at a window or switch to another program:
//   framedwindow X Y W H
// Shows "Framed Window" with that outer rectangle and, inside it, a captioned child window, then
// prints one JSON line with the outer and client rectangles of both in screen coordinates, and
// runs until closed. Without a window manager the top-level window's frame is not drawn (Wine
// leaves it to the manager) and cannot be pointed at; the child's frame Wine draws itself.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY && GetParent(hwnd) == nullptr)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void PrintRects(const char* prefix, HWND hwnd) {
    RECT outer{};
    RECT client{};
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::printf("\"%swindow\":[%ld,%ld,%ld,%ld],\"%sclient\":[%ld,%ld,%ld,%ld]", prefix, outer.left,
                outer.top, outer.right, outer.bottom, prefix, client.left, client.top, client.right,
                client.bottom);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    SetProcessDPIAware();
    const int x = std::atoi(argv[1]);
    const int y = std::atoi(argv[2]);
    const int w = std::atoi(argv[3]);
    const int h = std::atoi(argv[4]);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // Light grey (192, 192, 192): unlike every colour of the scene, dark under an exclusive-or.
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    wc.lpszClassName = "FramedWindow";
    if (!RegisterClassA(&wc))
        return 1;
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Framed Window",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, x, y, w, h,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    HWND child = CreateWindowExA(0, wc.lpszClassName, "Inner Window",
                                 WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_BORDER, 20, 20, w / 2,
                                 h / 2, hwnd, nullptr, instance, nullptr);
    if (!child)
        return 1;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    std::printf("{\"hwnd\":%llu,",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
    PrintRects("", hwnd);
    std::printf(",");
    PrintRects("inner_", child);
    std::printf("}\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
