// A stand-in for Program Manager that logs what it is sent: "ddelog LOGFILE" serves the DDE
// service and topic "PROGMAN" and appends one line per event to LOGFILE, "connect" for each
// conversation and "execute " followed by the command's exact bytes (up to its terminating zero)
// for each execute. Every command is accepted. The log file exists once the service is served.
// Ends when closed (WM_CLOSE to its window "ddelog") or killed.

#include <windows.h>
// windows.h first.
#include <ddeml.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

DWORD g_instance = 0;
std::string g_log;
HSZ g_progman = nullptr;

void Append(const std::string& line) {
    if (FILE* f = std::fopen(g_log.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

HDDEDATA CALLBACK OnDde(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR,
                        ULONG_PTR) {
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(
            static_cast<UINT_PTR>(DdeCmpStringHandles(topic, g_progman) == 0));
    case XTYP_CONNECT_CONFIRM:
        Append("connect");
        return nullptr;
    case XTYP_EXECUTE: {
        const DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::vector<char> bytes(size + 1, '\0');
        DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
        std::string command(bytes.data(), size);
        if (const size_t end = command.find('\0'); end != std::string::npos)
            command.resize(end);
        Append("execute " + command);
        return reinterpret_cast<HDDEDATA>(static_cast<UINT_PTR>(DDE_FACK));
    }
    default:
        return nullptr;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    g_log = argv[1];
    if (DdeInitializeA(&g_instance, OnDde,
                       APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS |
                           CBF_FAIL_POKES | CBF_FAIL_REQUESTS | CBF_FAIL_ADVISES,
                       0) != DMLERR_NO_ERROR)
        return 1;
    g_progman = DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
    if (!DdeNameService(g_instance, g_progman, nullptr, DNS_REGISTER))
        return 1;
    HWND window =
        CreateWindowA("STATIC", "ddelog", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (FILE* f = std::fopen(g_log.c_str(), "wb"))
        std::fclose(f);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == window && msg.message == WM_CLOSE)
            break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DdeNameService(g_instance, g_progman, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(g_instance, g_progman);
    DdeUninitialize(g_instance);
    return 0;
}
