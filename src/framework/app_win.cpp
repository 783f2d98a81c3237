#include "framework/app_win.h"

#include <vector>

namespace {

Application* g_app = nullptr;

// Longest path the platform hands out; a longer module path is not worth supporting.
constexpr DWORD kMaxModulePath = 32768;

} // namespace

Application::Application(HINSTANCE instance) : instance_(instance) {
    g_app = this;
}

Application::~Application() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

HMODULE Application::Resources() const noexcept {
    return resources_ ? resources_.get() : instance_;
}

bool Application::LoadResourceLibrary(const std::string& fileName) {
    const std::string directory = ProgramDirectory();
    if (directory.empty() || fileName.empty()) {
        return false;
    }
    const std::string path = directory + "\\" + fileName;
    UniqueModule module(::LoadLibraryA(path.c_str()));
    if (!module) {
        return false;
    }
    resources_ = std::move(module);
    return true;
}

std::string Application::ProgramDirectory() {
    const std::string path = ProgramPath();
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Application::ProgramPath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) {
            return {};
        }
        // A full buffer means the path was cut (and maybe not terminated).
        if (length < size)
            return std::string(buffer.data(), length);
        if (size >= kMaxModulePath) {
            return {};
        }
        buffer.resize(size * 2);
    }
}

std::string Application::LoadString(UINT id) const {
    // LoadStringA cannot report a string's length, so grow until the text no longer fills it.
    constexpr int kMaxString = 65536;
    std::vector<char> buffer(256);
    for (;;) {
        const int size = static_cast<int>(buffer.size());
        const int length = ::LoadStringA(Resources(), id, buffer.data(), size);
        if (length <= 0) {
            return {};
        }
        if (length < size - 1 || size >= kMaxString) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

HICON Application::LoadIcon(UINT id) const {
    return ::LoadIconA(Resources(), MAKEINTRESOURCEA(id));
}

HCURSOR Application::LoadCursor(const char* name) const {
    return ::LoadCursorA(Resources(), name);
}

bool Application::PreTranslateMessage(MSG&) {
    return false;
}

Application& App() {
    if (g_app != nullptr) {
        return *g_app;
    }
    // Constructing registers it; later instances take over and hand back on destruction.
    static Application fallback(::GetModuleHandleA(nullptr));
    return g_app != nullptr ? *g_app : fallback;
}
