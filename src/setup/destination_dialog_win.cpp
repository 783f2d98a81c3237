#include "setup/destination_dialog_win.h"

#include "framework/app_win.h"
#include "framework/handles_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"
#include "setup/install_text.h"

#include <commdlg.h>
#include <vector>

namespace {

constexpr char kStateProperty[] = "VidorraDestination";
// GetTempFileName needs room for its own 14 characters after the folder.
constexpr size_t kLongestDestination = MAX_PATH - 14;

struct DestinationState {
    const DestinationRequest& request;
    std::string caption;
    std::string chosen;
};

std::string WindowText(HWND control) {
    const int length = ::GetWindowTextLengthA(control);
    if (length <= 0)
        return {};
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    const int got = ::GetWindowTextA(control, text.data(), length + 1);
    return std::string(text.data(), static_cast<size_t>(got > 0 ? got : 0));
}

int Ask(HWND dialog, const DestinationState& state, std::string_view format,
        const std::string& path, UINT flags) {
    const std::string text = FormatText(format, {path});
    return ::MessageBoxA(dialog, text.c_str(), state.caption.c_str(), flags);
}

void Refuse(HWND dialog, const DestinationState& state, std::string_view format,
            const std::string& path) {
    Ask(dialog, state, format, path, MB_OK | MB_ICONERROR);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A scratch file made and opened for writing; whatever was made is deleted again.
bool CanWriteInto(const std::string& folder) {
    char scratch[MAX_PATH] = "";
    if (::GetTempFileNameA(folder.c_str(), "VDR", 0, scratch) == 0)
        return false;
    bool writable = false;
    {
        const UniqueKernelHandle file(::CreateFileA(scratch, GENERIC_WRITE, 0, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        writable = static_cast<bool>(file);
    }
    ::DeleteFileA(scratch);
    return writable;
}

void Centre(HWND dialog) {
    RECT desktop{};
    RECT own{};
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    ::GetWindowRect(dialog, &own);
    const int left = desktop.right / 2 - (own.right - own.left) / 2;
    const int top = desktop.bottom / 2 - (own.bottom - own.top) / 2;
    ::SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// True when the dialog may end with `chosen` as the destination.
bool AcceptDestination(HWND dialog, DestinationState& state) {
    const std::string typed = WindowText(::GetDlgItem(dialog, IDC_INSTALL_DESTINATION));
    // Relative names are taken from the folder the dialog shows, which is the current one.
    const std::string path = FullLongPath(typed);
    if (path.empty()) {
        ::MessageBeep(MB_ICONERROR);
        return false;
    }
    if (path.size() > kLongestDestination) {
        Refuse(dialog, state, "Directory \"%s\" has too long a name. Please specify a shorter one.",
               path);
        return false;
    }
    if (setup::RefuseDestination(path, state.request.windowsFolder, state.request.systemFolder) !=
        setup::DestinationRefusal::None) {
        Refuse(dialog, state,
               "Directory \"%s\" is the root of a drive or a folder of Windows. Please specify a "
               "different name.",
               path);
        return false;
    }
    if (!IsDirectory(path)) {
        if (Ask(dialog, state, "Directory \"%s\" does not exist. Do you want to create it?", path,
                MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        if (!::CreateDirectoryA(path.c_str(), nullptr)) {
            Refuse(dialog, state,
                   "Directory \"%s\" could not be created. Please specify a different name.", path);
            return false;
        }
    }
    if (!CanWriteInto(path)) {
        Refuse(dialog, state, "Directory \"%s\" is read-only. Please specify a different name.",
               path);
        return false;
    }
    state.chosen = FullLongPath(path);
    return true;
}

UINT_PTR CALLBACK DestinationHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_INITDIALOG: {
            const auto* dialogData = reinterpret_cast<const OPENFILENAMEA*>(lParam);
            auto* state = reinterpret_cast<DestinationState*>(dialogData->lCustData);
            ::SetPropA(dialog, kStateProperty, state);
            ::SetDlgItemTextA(dialog, IDC_INSTALL_DESTINATION,
                              state->request.initialDirectory.c_str());
            Centre(dialog);
            ::SetFocus(::GetDlgItem(dialog, IDC_INSTALL_DESTINATION));
            return FALSE;
        }
        case WM_COMMAND: {
            auto* state = static_cast<DestinationState*>(::GetPropA(dialog, kStateProperty));
            if (LOWORD(wParam) != IDOK || state == nullptr)
                return FALSE;
            // The common dialog's own OK handling never runs: it would want a file name.
            if (AcceptDestination(dialog, *state))
                ::EndDialog(dialog, 1);
            return TRUE;
        }
        case WM_DESTROY:
            ::RemovePropA(dialog, kStateProperty);
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        // Out of memory while checking: the dialog stays open and the user may try again.
        return TRUE;
    }
}

} // namespace

std::string FullLongPath(const std::string& name) {
    if (name.empty())
        return {};
    const DWORD needed = ::GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return {};
    std::vector<char> full(needed + 1, '\0');
    const DWORD got =
        ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (got == 0 || got >= full.size())
        return {};
    std::string path(full.data(), got);
    // Short 8.3 names become long ones where the folder exists already.
    const DWORD longNeeded = ::GetLongPathNameA(path.c_str(), nullptr, 0);
    if (longNeeded > 0) {
        std::vector<char> longPath(longNeeded + 1, '\0');
        const DWORD longGot =
            ::GetLongPathNameA(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
        if (longGot > 0 && longGot < longPath.size())
            path.assign(longPath.data(), longGot);
    }
    return setup::WithoutTrailingSeparator(path);
}

std::optional<std::string> ChooseDestination(HWND owner, const DestinationRequest& request) {
    DestinationState state{request, "Install " + request.product, {}};
    std::vector<char> file(MAX_PATH, '\0');
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.hInstance = reinterpret_cast<HINSTANCE>(App().Resources());
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = request.initialDirectory.c_str();
    dialog.lpstrTitle = state.caption.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_LONGNAMES;
    dialog.lCustData = reinterpret_cast<LPARAM>(&state);
    dialog.lpfnHook = DestinationHook;
    dialog.lpTemplateName = MAKEINTRESOURCEA(IDD_INSTALL_DESTINATION);
    if (!::GetSaveFileNameA(&dialog) || state.chosen.empty())
        return std::nullopt;
    return state.chosen;
}
