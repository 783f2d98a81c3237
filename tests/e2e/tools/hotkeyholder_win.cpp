// Holds a global hot key, as another program would, until it is closed:
//   hotkeyholder VK [MODIFIERS]    e.g. hotkeyholder 113 for F2
// Prints "held" once registered (or "taken" and exits 1).

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const UINT vk = static_cast<UINT>(std::atoi(argv[1]));
    const UINT mods = argc > 2 ? static_cast<UINT>(std::atoi(argv[2])) : 0;
    HWND window = CreateWindowExA(0, "STATIC", "Hot Key Holder", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, nullptr, nullptr);
    if (!window || !RegisterHotKey(window, 1, mods, vk)) {
        std::printf("taken\n");
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    return 0;
}
