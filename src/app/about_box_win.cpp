#include "app/about_box_win.h"

#include "app/vidorra_app_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"

#include <memory>
#include <string>

namespace {

constexpr int kAboutHelpTopic = 9;

std::string HelpFile() {
    return Application::ProgramDirectory() + "\\" + App().Name() + ".hlp";
}

struct HelpRequest {
    HWND owner;
    std::string file;
    int topic;
};

DWORD WINAPI RunHelpRequest(LPVOID param) {
    const std::unique_ptr<HelpRequest> request(static_cast<HelpRequest*>(param));
    ::WinHelpA(request->owner, request->file.c_str(), HELP_CONTEXT,
               static_cast<ULONG_PTR>(request->topic));
    return 0;
}

} // namespace

void ShowHelpTopic(HWND owner, int topic) {
    // WinHelp waits for the viewer to start and to take the request, and the viewer reports a
    // missing or broken file from inside that request: on the dialog's thread this would hold
    // a running recording for as long as the message stays up.
    auto request = std::make_unique<HelpRequest>(HelpRequest{owner, HelpFile(), topic});
    if (HANDLE thread = ::CreateThread(nullptr, 0, RunHelpRequest, request.get(), 0, nullptr)) {
        request.release();
        ::CloseHandle(thread);
    } else {
        ::WinHelpA(owner, request->file.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(topic));
    }
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
