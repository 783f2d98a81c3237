#include "setup/progman_win.h"

namespace {

constexpr char kService[] = "PROGMAN";
constexpr DWORD kTimeoutMs = 1000;

// A client only: every transaction that reaches the callback is ignored.
HDDEDATA CALLBACK IgnoreTransaction(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// String handles and conversations belong to one DDE instance.
class DdeString {
public:
    DdeString(DWORD instance, const char* text)
        : instance_(instance), handle_(::DdeCreateStringHandleA(instance, text, CP_WINANSI)) {}
    ~DdeString() {
        if (handle_)
            ::DdeFreeStringHandle(instance_, handle_);
    }
    DdeString(const DdeString&) = delete;
    DdeString& operator=(const DdeString&) = delete;
    [[nodiscard]] HSZ get() const noexcept { return handle_; }

private:
    DWORD instance_;
    HSZ handle_;
};

struct ConversationTraits {
    using Type = HCONV;
    static Type Empty() noexcept { return nullptr; }
    static bool IsOwned(Type value) noexcept { return value != nullptr; }
    static void Close(Type value) noexcept { ::DdeDisconnect(value); }
};
using UniqueConversation = UniqueHandle<ConversationTraits>;

} // namespace

bool ProgmanClient::Start() {
    DWORD id = 0;
    if (::DdeInitializeA(&id, IgnoreTransaction, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    instance_.reset(id);
    return true;
}

bool ProgmanClient::Execute(const std::string& command) {
    if (!instance_)
        return false;
    const DdeString service(instance_.get(), kService);
    if (!service.get())
        return false;
    const UniqueConversation conversation(
        ::DdeConnect(instance_.get(), service.get(), service.get(), nullptr));
    if (!conversation)
        return false;
    // The command travels with its terminating zero.
    std::string data = command;
    const HDDEDATA result = ::DdeClientTransaction(
        reinterpret_cast<LPBYTE>(data.data()), static_cast<DWORD>(data.size() + 1),
        conversation.get(), nullptr, CF_TEXT, XTYP_EXECUTE, kTimeoutMs, nullptr);
    return result != nullptr;
}
