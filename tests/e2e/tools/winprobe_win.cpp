// Reads and pokes other processes' windows for the system tests, which only see window titles
// through X. Console program: prints one JSON object per window.
//
//   winprobe dump                 every top-level window and its descendants
//   winprobe command HWND ID      posts WM_COMMAND ID (as a button click) to HWND
//   winprobe close HWND           posts WM_CLOSE to HWND
//   winprobe settext HWND TEXT    sets a control's text (WM_SETTEXT)
//   winprobe focus HWND           brings a top-level window to the front
//   winprobe tabs HWND            prints the item texts of a tab control, one a line
//   winprobe cursor               the cursor on the screen, as the system reports it

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string TextOf(HWND h) {
    // WM_GETTEXT reaches controls of other processes, which GetWindowText does not.
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len))
        return {};
    std::string text(len + 1, '\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &got))
        return {};
    text.resize(got);
    return text;
}

void Print(HWND h, HWND top) {
    char cls[256] = "";
    GetClassNameA(h, cls, sizeof cls);
    RECT r{};
    GetWindowRect(h, &r);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    const bool child = (GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD) != 0;
    LRESULT check = -1;
    if (std::string(cls) == "Button")
        check = SendMessageA(h, BM_GETCHECK, 0, 0);
    std::printf("{\"hwnd\":%llu,\"top\":%llu,\"parent\":%llu,\"pid\":%lu,\"id\":%ld,\"class\":%s,"
                "\"text\":%s,\"visible\":%d,\"enabled\":%d,\"iconic\":%d,\"check\":%ld,"
                "\"rect\":[%ld,%ld,%ld,%ld]}\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h)),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(top)),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetParent(h))),
                static_cast<unsigned long>(pid),
                child ? static_cast<long>(GetDlgCtrlID(h)) : 0L, Json(cls).c_str(),
                Json(TextOf(h)).c_str(), IsWindowVisible(h) ? 1 : 0, IsWindowEnabled(h) ? 1 : 0,
                IsIconic(h) ? 1 : 0, static_cast<long>(check), r.left, r.top, r.right, r.bottom);
}

BOOL CALLBACK OnChild(HWND h, LPARAM top) {
    Print(h, reinterpret_cast<HWND>(top));
    return TRUE;
}

BOOL CALLBACK OnTop(HWND h, LPARAM) {
    Print(h, h);
    EnumChildWindows(h, OnChild, reinterpret_cast<LPARAM>(h));
    return TRUE;
}

// Tab items live in the owner's address space: the request and the text buffer go there.
bool PrintTabs(HWND tab) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tab, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    constexpr SIZE_T kText = 256;
    auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(TCITEMA) + kText,
                                                     MEM_COMMIT, PAGE_READWRITE));
    bool ok = remote != nullptr;
    const auto count = ok ? SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; ok && i < count; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = remote + sizeof(TCITEMA);
        item.cchTextMax = kText;
        char text[kText] = "";
        ok = WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
             SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(remote)) &&
             ReadProcessMemory(process, remote + sizeof(TCITEMA), text, kText - 1, nullptr);
        if (ok)
            std::printf("%s\n", text);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return ok;
}

HWND ParseHwnd(const char* s) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(s, nullptr, 10)));
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "dump") {
        EnumWindows(OnTop, 0);
    } else if (cmd == "command" && argc == 4) {
        HWND h = ParseHwnd(argv[2]);
        const int id = std::atoi(argv[3]);
        HWND ctl = GetDlgItem(h, id);
        if (!PostMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(ctl)))
            return 1;
    } else if (cmd == "close" && argc == 3) {
        if (!PostMessageA(ParseHwnd(argv[2]), WM_CLOSE, 0, 0))
            return 1;
    } else if (cmd == "settext" && argc == 4) {
        if (!SendMessageA(ParseHwnd(argv[2]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3])))
            return 1;
    } else if (cmd == "focus" && argc == 3) {
        if (!SetForegroundWindow(ParseHwnd(argv[2])))
            return 1;
    } else if (cmd == "cursor") {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        const BOOL ok = GetCursorInfo(&info);
        std::printf("{\"ok\":%d,\"showing\":%d,\"cursor\":%llu,\"arrow\":%llu,\"x\":%ld,\"y\":%ld}\n",
                    ok ? 1 : 0, (info.flags & CURSOR_SHOWING) ? 1 : 0,
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(info.hCursor)),
                    static_cast<unsigned long long>(
                        reinterpret_cast<UINT_PTR>(LoadCursor(nullptr, IDC_ARROW))),
                    info.ptScreenPos.x, info.ptScreenPos.y);
    } else if (cmd == "cursorat" && argc == 4) {
        POINT p{std::atol(argv[2]), std::atol(argv[3])};
        const DWORD owner = GetWindowThreadProcessId(WindowFromPoint(p), nullptr);
        const BOOL attached = AttachThreadInput(GetCurrentThreadId(), owner, TRUE);
        HCURSOR cursor = GetCursor();
        ICONINFO icon{};
        const BOOL readable = cursor && GetIconInfo(cursor, &icon);
        std::printf("{\"attached\":%d,\"cursor\":%llu,\"readable\":%d}\n", attached ? 1 : 0,
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(cursor)),
                    readable ? 1 : 0);
    } else if (cmd == "tabs" && argc == 3) {
        if (!PrintTabs(ParseHwnd(argv[2])))
            return 1;
    } else {
        std::fprintf(stderr, "usage: winprobe dump | command HWND ID | close HWND | settext HWND "
                             "TEXT | focus HWND\n");
        return 2;
    }
    std::fflush(stdout);
    return 0;
}
