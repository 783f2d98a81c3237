#include "app/about_box_win.h"

#include "app/vidorra_app_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kAboutHelpTopic = 9;

std::string HelpFile() {
    return Application::ProgramDirectory() + "\\" + App().Name() + ".hlp";
}

} // namespace

void ShowHelpTopic(HWND owner, int topic) {
    ::WinHelpA(owner, HelpFile().c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(topic));
}

void CloseHelp(HWND owner) {
    ::WinHelpA(owner, HelpFile().c_str(), HELP_QUIT, 0);
}

CAboutBox::CAboutBox() : Dialog(IDD_ABOUT) {}

bool CAboutBox::OnInitDialog() {
    Window version = Item(IDC_ABOUT_VERSION);
    version.SetText(FormatText(version.Text(), {std::to_string(CVidorraApp::kVersionMajor),
                                                std::to_string(CVidorraApp::kVersionMinor),
                                                std::to_string(CVidorraApp::kVersionThird)}) +
                    " (for Intel processors)");
    return true;
}

void CAboutBox::OnCommand(int id, int code, HWND control) {
    if (id == ID_HELP)
        ShowHelpTopic(Handle(), kAboutHelpTopic);
    else
        Dialog::OnCommand(id, code, control);
}
