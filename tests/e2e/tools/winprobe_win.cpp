// Reads and pokes other processes' windows for the system tests, which only see window titles
// through X. Console program: prints one JSON object per window.
//
//   winprobe dump                 every top-level window and its descendants
//   winprobe command HWND ID      posts WM_COMMAND ID (as a button click) to HWND
//   winprobe close HWND           posts WM_CLOSE to HWND
//   winprobe syscommand HWND ID   posts WM_SYSCOMMAND ID, as a system-menu item would
//   winprobe settext HWND TEXT    sets a control's text (WM_SETTEXT)
//   winprobe focus HWND           brings a top-level window to the front
//   winprobe setfocus HWND        moves the keyboard focus to a control of a dialog; 1 when it
//                                 did not arrive (a message box took it)
//   winprobe click HWND           clicks a button, check box or radio button (BM_CLICK)
//   winprobe select HWND INDEX    selects a combo box item as the user would (CBN_SELCHANGE)
//   winprobe items HWND           prints the item texts of a combo box, one a line
//   winprobe tab HWND INDEX       clicks a tab
//   winprobe tabs HWND            prints the item texts of a tab control, one a line
//   winprobe cursor               the cursor on the screen, as the system reports it
//   winprobe charpos HWND INDEX   screen position of a character of a rich edit control: "X Y"
//   winprobe serve                reads one command a line from its input (arguments split by
//                                 tabs), answers each as above and ends its answer with a line
//                                 "\x1e" and the command's exit code; ends with its input. A
//                                 test session keeps one running: starting a Windows program
//                                 for every poll is what made the probe slow.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
                static_cast<unsigned long>(pid), child ? static_cast<long>(GetDlgCtrlID(h)) : 0L,
                Json(cls).c_str(), Json(TextOf(h)).c_str(), IsWindowVisible(h) ? 1 : 0,
                IsWindowEnabled(h) ? 1 : 0, IsIconic(h) ? 1 : 0, static_cast<long>(check), r.left,
                r.top, r.right, r.bottom);
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
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    constexpr SIZE_T kText = 256;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(TCITEMA) + kText, MEM_COMMIT, PAGE_READWRITE));
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

// The dialog the control lives in moves the focus itself, as the Tab key would; the probe only
// waits for it to arrive. Posted, so a message box that leaving the old control brings up does
// not hold the probe: it gives up after two seconds and says so.
bool SetFocusOf(HWND control) {
    const DWORD owner = GetWindowThreadProcessId(control, nullptr);
    if (!PostMessageA(GetAncestor(control, GA_ROOT), WM_NEXTDLGCTL,
                      reinterpret_cast<WPARAM>(control), TRUE))
        return false;
    for (int i = 0; i < 100; ++i) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(owner, &info) && info.hwndFocus == control)
            return true;
        Sleep(20);
    }
    return false;
}

// Clicks a tab, so the control tells its parent itself (Wine sends no WM_NOTIFY across
// processes). The item's rectangle is asked for in the owner's address space.
bool ClickTab(HWND tab, int index) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tab, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT r{};
    const bool ok = remote &&
                    SendMessageA(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(remote)) &&
                    ReadProcessMemory(process, remote, &r, sizeof r, nullptr);
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!ok)
        return false;
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(tab, WM_LBUTTONUP, 0, at);
    return SendMessageA(tab, TCM_GETCURSEL, 0, 0) == index;
}

HWND ParseHwnd(const char* s) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(s, nullptr, 10)));
}

} // namespace

int Run(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "dump") {
        EnumWindows(OnTop, 0);
    } else if (cmd == "command" && argc == 4) {
        HWND h = ParseHwnd(argv[2]);
        const int id = std::atoi(argv[3]);
        HWND ctl = GetDlgItem(h, id);
        if (!PostMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(ctl)))
            return 1;
    } else if (cmd == "syscommand" && argc == 4) {
        if (!PostMessageA(ParseHwnd(argv[2]), WM_SYSCOMMAND, std::atoi(argv[3]), 0))
            return 1;
    } else if (cmd == "charpos" && argc == 4) {
        // The rich edit 2.0 form: the index in wParam, the client position packed in the result.
        HWND edit = ParseHwnd(argv[2]);
        DWORD_PTR packed = 0;
        if (!SendMessageTimeoutA(edit, EM_POSFROMCHAR, std::atoi(argv[3]), 0, SMTO_ABORTIFHUNG,
                                 2000, &packed))
            return 1;
        POINT p{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))};
        ClientToScreen(edit, &p);
        std::printf("%ld %ld\n", p.x, p.y);
    } else if (cmd == "close" && argc == 3) {
        if (!PostMessageA(ParseHwnd(argv[2]), WM_CLOSE, 0, 0))
            return 1;
    } else if (cmd == "settext" && argc == 4) {
        if (!SendMessageA(ParseHwnd(argv[2]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3])))
            return 1;
    } else if (cmd == "focus" && argc == 3) {
        if (!SetForegroundWindow(ParseHwnd(argv[2])))
            return 1;
    } else if (cmd == "setfocus" && argc == 3) {
        if (!SetFocusOf(ParseHwnd(argv[2])))
            return 1;
    } else if (cmd == "click" && argc == 3) {
        SendMessageA(ParseHwnd(argv[2]), BM_CLICK, 0, 0);
    } else if (cmd == "select" && argc == 4) {
        HWND combo = ParseHwnd(argv[2]);
        if (SendMessageA(combo, CB_SETCURSEL, std::atoi(argv[3]), 0) == CB_ERR)
            return 1;
        SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    } else if (cmd == "items" && argc == 3) {
        // Wine carries the texts across processes in their wide form only.
        HWND combo = ParseHwnd(argv[2]);
        const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1,
                              L'\0');
            const LRESULT n =
                SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            char utf8[1024] = "";
            WideCharToMultiByte(CP_UTF8, 0, text.c_str(), n > 0 ? static_cast<int>(n) : 0, utf8,
                                sizeof utf8 - 1, nullptr, nullptr);
            std::printf("%s\n", utf8);
        }
    } else if (cmd == "tab" && argc == 4) {
        if (!ClickTab(ParseHwnd(argv[2]), std::atoi(argv[3])))
            return 1;
    } else if (cmd == "cursor") {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        const BOOL ok = GetCursorInfo(&info);
        std::printf(
            "{\"ok\":%d,\"showing\":%d,\"cursor\":%llu,\"arrow\":%llu,\"x\":%ld,\"y\":%ld}\n",
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
        if (icon.hbmMask)
            DeleteObject(icon.hbmMask);
        if (icon.hbmColor)
            DeleteObject(icon.hbmColor);
        // A probe that serves many commands must not stay bound to another thread's input.
        if (attached)
            AttachThreadInput(GetCurrentThreadId(), owner, FALSE);
        std::printf("{\"attached\":%d,\"cursor\":%llu,\"readable\":%d}\n", attached ? 1 : 0,
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(cursor)),
                    readable ? 1 : 0);
    } else if (cmd == "tabs" && argc == 3) {
        if (!PrintTabs(ParseHwnd(argv[2])))
            return 1;
    } else {
        std::fprintf(stderr, "usage: winprobe dump | command HWND ID | close HWND | settext HWND "
                             "TEXT | focus HWND | setfocus HWND | click HWND | select HWND INDEX | "
                             "items HWND | tab HWND INDEX\n");
        return 2;
    }
    std::fflush(stdout);
    return 0;
}

namespace {

// Answers commands from standard input until it ends.
int Serve() {
    std::string line;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c == '\r')
            continue;
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::vector<std::string> words{"winprobe"};
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            words.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        line.clear();
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        const int rc = Run(static_cast<int>(argv.size() - 1), argv.data());
        std::printf("\x1e%d\n", rc);
        std::fflush(stdout);
        std::fflush(stderr);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "serve")
        return Serve();
    return Run(argc, argv);
}
