// VidRes.dll as the program uses it: strings and their format arguments, dialog templates with
// the control ids and kinds the program relies on, a tidy layout at 96 dpi, icon and cursor.
// Runs under Wine with a display; VidRes.dll must lie beside the test program.

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "resource_ids.h"

namespace {

HMODULE Library() {
    static const HMODULE library = [] {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES | ICC_HOTKEY_CLASS};
        InitCommonControlsEx(&controls);
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        char* slash = std::strrchr(path, '\\');
        std::strcpy(slash ? slash + 1 : path, "VidRes.dll");
        return LoadLibraryA(path);
    }();
    return library;
}

std::string LoadText(UINT id) {
    char text[1024] = {};
    const int length = LoadStringA(Library(), id, text, sizeof(text));
    return std::string(text, length > 0 ? length : 0);
}

// The conversions a printf-style format consumes, in order: "%s (%d)" gives "sd".
std::string Conversions(std::string_view format) {
    std::string found;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (++i < format.size() && format[i] == '%')
            continue;
        for (; i < format.size() && std::strchr("-+ #0123456789.*hlLqjzt", format[i]); ++i) {
            if (format[i] == '*')
                found += '*';
        }
        found += i < format.size() ? format[i] : '?';
    }
    return found;
}

struct WindowCloser {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using Window = std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser>;

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Pages are child dialogs; they need some window to live in.
HWND HiddenParent() {
    static const Window parent(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 640, 480, nullptr,
                                               nullptr, nullptr, nullptr));
    return parent.get();
}

Window CreateFromTemplate(int id, HWND parent) {
    return Window(
        CreateDialogParamA(Library(), MAKEINTRESOURCEA(id), parent, PassiveDialogProc, 0));
}

std::vector<HWND> ChildControls(HWND dialog) {
    std::vector<HWND> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        controls.push_back(child);
    return controls;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string TextOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

LONG StyleOf(HWND window) {
    return GetWindowLongA(window, GWL_STYLE);
}

RECT RectIn(HWND window, HWND reference) {
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool Overlap(const RECT& a, const RECT& b) {
    RECT common;
    return IntersectRect(&common, &a, &b) != FALSE;
}

::testing::AssertionResult IsRed(COLORREF colour) {
    if (GetRValue(colour) > 150 && GetGValue(colour) < 110 && GetBValue(colour) < 110)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "colour 0x" << std::hex << colour << " is not red";
}

} // namespace

TEST(ResourceStrings, EveryIdHasTextWithExactlyTheArgumentsTheProgramPasses) {
    ASSERT_NE(Library(), nullptr) << "VidRes.dll not found beside the test program";
    struct Expected {
        UINT id;
        const char* conversions;
    };
    // Strings without arguments must not hold a conversion either: some are passed through a
    // formatting routine all the same, and a stray "%d" would read garbage there.
    const Expected strings[] = {
        {IDS_OLE_INIT_FAILED, ""},
        {IDS_ABOUT_MENU_ITEM, ""},
        {IDS_CAPTURE_LABEL_PAUSE, ""},
        {IDS_CAPTURE_LABEL_START, ""},
        {IDS_CAPTURE_LABEL_SINGLESHOT, ""},
        {IDS_CAPTURE_LABEL_LOCKPAN, ""},
        {IDS_KEY_PREFIX_SHIFT, ""},
        {IDS_KEY_PREFIX_CTRL, ""},
        {IDS_KEY_PREFIX_ALT, ""},
        {IDS_KEY_NONE, ""},
        {IDS_HOTKEY_TAKEN, ""},
        {IDS_AVI_SETUP_FAILED, "s"},
        {IDS_TOO_MANY_DROPPED, ""},
        {IDS_RECORDING_SUMMARY, "dd"},
        {IDS_SOUND_WRITE_FAILED, "d"},
        {IDS_RECORD_BUTTON_STOP, ""},
        {IDS_RECORD_BUTTON_START, ""},
        {IDS_PAUSE_BUTTON_PAUSE, ""},
        {IDS_PAUSE_BUTTON_RESUME, ""},
        {IDS_PAUSE_BUTTON_IDLE, ""},
        {IDS_CONFIRM_UNINSTALL, ""},
        {IDS_COMPRESSOR_AUTO, ""},
        {IDS_COMPRESSOR_NONE, ""},
        {IDS_CONFIRM_DEFAULTS, ""},
        {IDS_TAB_REGION, ""},
        {IDS_TAB_HOTKEYS, ""},
        {IDS_TAB_VIDEO, ""},
        {IDS_TAB_SOUND, ""},
        {IDS_PRODUCT_NAME, ""},
        {IDS_VIDEO_WRITE_FAILED, "d"},
        {IDS_NO_FREE_FILE_NAME, "s"},
        {IDS_BAD_FILE_NAME, "s"},
        {IDS_BAD_FRAME_RATE, ""},
        {IDS_BAD_REGION_SIZE, "dd"},
        {IDS_SETTINGS_NOT_SAVED, "s"},
        {IDS_RECORDING_NO_SOUND, "dd"},
        {IDS_RECORDING_SOUND_CUT, "dd"},
        {IDS_VIDEO_WRITE_FAILED_NO_FILE, "d"},
        {IDS_SOUND_WRITE_FAILED_NO_FILE, "d"},
        {IDS_TOO_MANY_DROPPED_NO_FILE, ""},
        {IDS_BAD_SWITCH, "ss"},
        {IDS_OFFER_REPAIR, "s"},
        {IDS_REPAIR_FAILED, "s"},
        {IDS_MOVIE_FULL, "d"},
        {IDS_DDX_INTEGER, ""},
        {IDS_DDX_NUMBER, ""},
        {IDS_DDX_INTEGER_RANGE, "dd"},
        {IDS_DDX_NUMBER_RANGE, "ss"},
        {IDS_DDX_TEXT_TOO_LONG, "d"},
        {IDS_DDX_FILE_NAME, ""},
    };
    for (const Expected& expected : strings) {
        SCOPED_TRACE("string " + std::to_string(expected.id));
        const std::string text = LoadText(expected.id);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(Conversions(text), expected.conversions) << '"' << text << '"';
    }
}

TEST(ResourceStrings, ProductNameAndKeyPrefixes) {
    // The product name becomes the registry key, the options file and the installed file names.
    EXPECT_EQ(LoadText(IDS_PRODUCT_NAME), "Vidorra");
    // The prefixes are glued to each other and to the key name as they are, so each must end
    // in its own separator: "Ctrl+Shift+F7", not "CtrlShiftF7".
    for (UINT id : {IDS_KEY_PREFIX_SHIFT, IDS_KEY_PREFIX_CTRL, IDS_KEY_PREFIX_ALT}) {
        const std::string prefix = LoadText(id);
        ASSERT_FALSE(prefix.empty()) << "string " << id;
        EXPECT_FALSE(IsCharAlphaNumericA(prefix.back())) << '"' << prefix << '"';
    }
    EXPECT_EQ(LoadText(IDS_KEY_PREFIX_SHIFT) + "F3", "Shift+F3");
}

TEST(ResourceStrings, ConversionCounterSeesThroughFlagsAndLiteralPercents) {
    EXPECT_EQ(Conversions("100%% done, %-5d of %.2f, %ld, %*s"), "dfd*s");
    EXPECT_EQ(Conversions("no arguments"), "");
    EXPECT_EQ(Conversions("trailing %"), "?");
}

namespace {

struct Template {
    int id;
    bool page; // a child dialog inside the main dialog
};

// Every dialog template of the library; pages are child dialogs inside the main dialog.
const std::vector<Template>& Templates() {
    static const std::vector<Template> templates = {
        {IDD_ABOUT, false},          {IDD_MAIN, false},
        {IDD_PAGE_HOTKEYS, true},    {IDD_PAGE_REGION, true},
        {IDD_PAGE_VIDEO, true},      {IDD_PAGE_SOUND, true},
        {IDD_HOTKEY_CAPTURE, false}, {IDD_INSTALL_DESTINATION, false},
    };
    return templates;
}

// Width (or, for wrapped text, height) that the control's text needs in its own font.
SIZE TextNeeds(HWND control, int wrapWidth) {
    const std::string text = TextOf(control);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT rect = {0, 0, wrapWidth, 0};
    UINT flags = DT_CALCRECT | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE);
    if (ClassOf(control) == "Static" && (StyleOf(control) & SS_NOPREFIX))
        flags |= DT_NOPREFIX;
    DrawTextA(dc, text.c_str(), -1, &rect, flags);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {rect.right - rect.left, wrapWidth ? rect.bottom - rect.top : metrics.tmHeight};
}

// Text cut off at the right or bottom edge of its control; empty when everything shows.
std::string CutOffText(HWND control) {
    const std::string text = TextOf(control);
    const LONG style = StyleOf(control);
    if (text.empty() || !(style & WS_VISIBLE))
        return {};
    RECT client;
    GetClientRect(control, &client);
    const std::string name = ClassOf(control);
    int room = client.right;
    if (name == "Button") {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON)
            room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
        else if (type == BS_GROUPBOX)
            room -= 16;
        else
            room -= 6;
    } else if (name != "Static" ||
               ((style & SS_TYPEMASK) > SS_RIGHT && (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP)) {
        return {}; // edits, lists and images show no fixed text
    }
    const SIZE line = TextNeeds(control, 0);
    const bool wraps = name == "Static" && (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP &&
                       client.bottom >= 2 * line.cy;
    if (!wraps)
        return line.cx <= room ? std::string() : text;
    return TextNeeds(control, client.right).cy <= client.bottom ? std::string() : text;
}

} // namespace

// What the code relies on in every template without naming each control: an id of its own,
// edits that scroll (without it an edit takes no more text than its width shows), and check
// boxes and radio buttons that check themselves, as the data exchange expects.
TEST(DialogTemplates, EveryControlHasItsOwnIdAndWorksWithoutHelp) {
    ASSERT_NE(Library(), nullptr);
    for (const Template& t : Templates()) {
        SCOPED_TRACE("template " + std::to_string(t.id));
        const Window dialog = CreateFromTemplate(t.id, t.page ? HiddenParent() : nullptr);
        ASSERT_NE(dialog, nullptr);
        std::set<int> seen;
        for (HWND control : ChildControls(dialog.get())) {
            const int id = GetDlgCtrlID(control);
            SCOPED_TRACE("control " + std::to_string(id));
            if (id != IDC_STATIC && id != 0xFFFF) {
                EXPECT_TRUE(seen.insert(id).second) << "id used twice";
            }
            const std::string name = ClassOf(control);
            const LONG style = StyleOf(control);
            if (!lstrcmpiA(name.c_str(), "Edit") && !(style & ES_MULTILINE)) {
                EXPECT_TRUE(style & ES_AUTOHSCROLL);
            }
            const LONG button = style & BS_TYPEMASK;
            if (!lstrcmpiA(name.c_str(), "Button")) {
                EXPECT_TRUE(button != BS_CHECKBOX && button != BS_RADIOBUTTON &&
                            button != BS_3STATE);
            }
        }
    }
}

TEST(DialogTemplates, ControlsStayInsideTheirDialogAndShowTheirWholeText) {
    for (const Template& t : Templates()) {
        SCOPED_TRACE("template " + std::to_string(t.id));
        const Window dialog = CreateFromTemplate(t.id, t.page ? HiddenParent() : nullptr);
        ASSERT_NE(dialog, nullptr);
        RECT client;
        GetClientRect(dialog.get(), &client);
        std::vector<std::pair<HWND, RECT>> solid; // visible controls that must not overlap
        for (HWND control : ChildControls(dialog.get())) {
            SCOPED_TRACE("control " + std::to_string(GetDlgCtrlID(control)) + " \"" +
                         TextOf(control) + "\"");
            const RECT rect = RectIn(control, dialog.get());
            EXPECT_TRUE(Contains(client, rect));
            EXPECT_EQ(CutOffText(control), "");
            const LONG style = StyleOf(control);
            const bool groupBox =
                ClassOf(control) == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX;
            if ((style & WS_VISIBLE) && !groupBox) {
                for (const auto& [other, otherRect] : solid)
                    EXPECT_FALSE(Overlap(rect, otherRect))
                        << "overlaps control " << GetDlgCtrlID(other) << " \"" << TextOf(other)
                        << "\"";
                solid.emplace_back(control, rect);
            }
        }
    }
}

TEST(DialogTemplates, RadioButtonGroupsOnlyHoldTheirOwnChoices) {
    // An automatic radio button unchecks the others of its group; a group that runs on into the
    // next one would make choosing 16 bits forget the sample rate.
    const std::vector<std::vector<int>> groups[] = {
        {{IDC_REGION_WND_KEEP, IDC_REGION_WND_MINIMIZE, IDC_REGION_WND_MINIMIZE_HIDE,
          IDC_REGION_WND_HIDE}},
        {{IDC_SOUND_8BIT, IDC_SOUND_16BIT},
         {IDC_SOUND_8000, IDC_SOUND_11025, IDC_SOUND_22050, IDC_SOUND_44100}},
    };
    const int pages[] = {IDD_PAGE_REGION, IDD_PAGE_SOUND};
    for (int i = 0; i < 2; ++i) {
        const Window page = CreateFromTemplate(pages[i], HiddenParent());
        ASSERT_NE(page, nullptr);
        for (const std::vector<int>& group : groups[i]) {
            SCOPED_TRACE("radio group of " + std::to_string(group.front()));
            const HWND first = GetDlgItem(page.get(), group.front());
            ASSERT_NE(first, nullptr);
            // The keyboard reaches a group only through a tab stop on its first button.
            EXPECT_TRUE(StyleOf(first) & WS_TABSTOP);
            std::set<int> members;
            HWND walk = first;
            do {
                if ((StyleOf(walk) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                    members.insert(GetDlgCtrlID(walk));
                walk = GetNextDlgGroupItem(page.get(), walk, FALSE);
            } while (walk && walk != first);
            EXPECT_EQ(members, std::set<int>(group.begin(), group.end()));
        }
    }
}

// Where the pages sit inside the tabs is checked on the running program (the system tests).
TEST(DialogTemplates, MainDialogStartsHiddenAndItsStatusLineFitsALongSummary) {
    const Window main = CreateFromTemplate(IDD_MAIN, nullptr);
    ASSERT_NE(main, nullptr);
    // Start-up decides when the window appears; an automation client wants it hidden.
    EXPECT_FALSE(StyleOf(main.get()) & WS_VISIBLE);

    // The summary after a long recording still fits the status line.
    const HWND status = GetDlgItem(main.get(), IDC_MAIN_STATUS);
    char summary[256];
    wsprintfA(summary, LoadText(IDS_RECORDING_SUMMARY).c_str(), 999999, 999999);
    SetWindowTextA(status, summary);
    EXPECT_EQ(CutOffText(status), "");
}

TEST(DialogTemplates, AboutVersionFormatFitsTheProgramsBuffer) {
    const Window about = CreateFromTemplate(IDD_ABOUT, nullptr);
    ASSERT_NE(about, nullptr);
    const std::string format = TextOf(GetDlgItem(about.get(), IDC_ABOUT_VERSION));
    ASSERT_EQ(Conversions(format), "ddd") << '"' << format << '"';
    // The program formats major, minor and third number and appends its suffix in 128 bytes.
    char text[512];
    const int length = wsprintfA(text, format.c_str(), 1, 30, 0);
    EXPECT_LE(length + std::strlen(" (for Intel processors)"), 127u);
    EXPECT_NE(std::string(text).find("1.30.0"), std::string::npos) << text;
}

namespace {

struct SaveDialogProbe {
    bool opened = false;
    std::string destination;
    LRESULT directories = 0;
};

UINT_PTR CALLBACK ProbeHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    static SaveDialogProbe* probe;
    if (message == WM_INITDIALOG) {
        probe =
            reinterpret_cast<SaveDialogProbe*>(reinterpret_cast<OPENFILENAMEA*>(lParam)->lCustData);
        PostMessageA(dialog, WM_APP, 0, 0); // look once the dialog has filled its lists
    } else if (message == WM_APP) {
        probe->opened = true;
        probe->destination = TextOf(GetDlgItem(dialog, IDC_INSTALL_DESTINATION));
        probe->directories = SendDlgItemMessageA(dialog, lst2, LB_GETCOUNT, 0, 0);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return FALSE;
}

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

} // namespace

TEST(DialogTemplates, InstallDestinationWorksAsAnOldStyleSaveDialog) {
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    char file[MAX_PATH] = {};
    SaveDialogProbe probe;
    OPENFILENAMEA request = {};
    request.lStructSize = sizeof(request);
    request.hInstance = reinterpret_cast<HINSTANCE>(Library());
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH;
    request.lpstrInitialDir = directory;
    request.lpstrTitle = "Install Vidorra";
    request.Flags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_LONGNAMES;
    request.lCustData = reinterpret_cast<LPARAM>(&probe);
    request.lpfnHook = ProbeHook;
    request.lpTemplateName = MAKEINTRESOURCEA(IDD_INSTALL_DESTINATION);

    EXPECT_FALSE(GetSaveFileNameA(&request)); // cancelled by the probe
    EXPECT_EQ(CommDlgExtendedError(), 0u) << "the common dialog refused the template";
    ASSERT_TRUE(probe.opened);
    // The dialog shows its directory in the destination field and lists where to go from there.
    EXPECT_EQ(lstrcmpiA(WithoutTrailingBackslash(probe.destination).c_str(),
                        WithoutTrailingBackslash(directory).c_str()),
              0)
        << probe.destination << " vs " << directory;
    EXPECT_GT(probe.directories, 0);
    SetCurrentDirectoryA(directory);
}

TEST(ImageResources, IconShowsARedDiscOnATransparentGround) {
    for (int size : {32, 16}) {
        SCOPED_TRACE("icon size " + std::to_string(size));
        const HICON icon = static_cast<HICON>(
            LoadImageA(Library(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all = {0, 0, size, size};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        EXPECT_TRUE(IsRed(GetPixel(dc, size / 2, size / 2)));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
        EXPECT_EQ(GetPixel(dc, size - 1, size - 1), RGB(255, 255, 255));
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        DestroyIcon(icon);
    }
}

TEST(ImageResources, CrosshairHasItsHotSpotInTheMiddleAndShowsOnAnyGround) {
    const HCURSOR cursor = LoadCursorA(Library(), IDR_CROSSHAIR_NAME);
    ASSERT_NE(cursor, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    // The selector takes the clicked corner from the hot spot.
    EXPECT_EQ(info.xHotspot, 16u);
    EXPECT_EQ(info.yHotspot, 16u);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 32, 32};
    for (int stock : {WHITE_BRUSH, BLACK_BRUSH}) {
        SCOPED_TRACE(stock == WHITE_BRUSH ? "on white" : "on black");
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(stock)));
        DrawIconEx(dc, 0, 0, cursor, 32, 32, 0, nullptr, DI_NORMAL);
        // Along the arms lies a black line with a white edge; either shows on a plain ground.
        int differing = 0;
        for (int along = 0; along < 32; ++along)
            for (const POINT p :
                 {POINT{16, along}, POINT{along, 16}, POINT{17, along}, POINT{along, 17}})
                differing += GetPixel(dc, p.x, p.y) != GetPixel(dc, 0, 0);
        EXPECT_GE(differing, 40);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}
