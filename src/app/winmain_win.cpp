#include "app/vidorra_app_win.h"

#include <string>
#include <vector>

#include <shellapi.h>

namespace {

// The platform's own splitting of the command line, so quoting works as users expect.
std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i) {
        const int size =
            ::WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? size - 1 : 0, '\0');
        if (size > 1)
            ::WideCharToMultiByte(CP_ACP, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    ::LocalFree(argv);
    return args;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        CVidorraApp app(instance);
        return app.Run(Arguments());
    } catch (...) {
        ::MessageBoxA(nullptr, "Vidorra met an unexpected error and has to close.", "Vidorra",
                      MB_OK | MB_ICONSTOP);
        return 3;
    }
}
