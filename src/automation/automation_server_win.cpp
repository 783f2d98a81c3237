#include "automation/automation_server_win.h"

#include "automation/automation_guids.h"
#include "automation/automation_members.h"
#include "framework/handles_win.h"
#include "framework/registry_string_win.h"

#include <vector>

class AutomationServer::Factory final : public IClassFactory {
public:
    explicit Factory(std::shared_ptr<AutomationContext> context) : context_(std::move(context)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (!context_->window)
            return CO_E_SERVER_STOPPING;
        try {
            auto* object = new CVidorraDlgAutoProxy(context_);
            const HRESULT hr = object->QueryInterface(iid, out);
            object->Release();
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            context_->Lock();
        else
            context_->Unlock();
        return S_OK;
    }

private:
    ~Factory() = default;
    std::atomic<ULONG> refs_{1};
    std::shared_ptr<AutomationContext> context_;
};

AutomationServer::AutomationServer(RecordingOptions& options, bool startedByClient)
    : context_(std::make_shared<AutomationContext>(options, !startedByClient)),
      startedByClient_(startedByClient) {}

AutomationServer::~AutomationServer() {
    if (cookie_ != 0)
        ::CoRevokeClassObject(cookie_);
    if (factory_)
        factory_->Release();
    OnDialogGone();
}

bool AutomationServer::Serve(AutomationWindow& window, Recorder& recorder) {
    context_->window = &window;
    context_->recorder = &recorder;
    if (!startedByClient_)
        return true;
    factory_ = new Factory(context_);
    // Single use: the next creation starts a copy of its own.
    return SUCCEEDED(::CoRegisterClassObject(VidorraClassId(), factory_, CLSCTX_LOCAL_SERVER,
                                             REGCLS_SINGLEUSE, &cookie_));
}

bool AutomationServer::ClientHoldsObject() const noexcept {
    return context_->locks > 0;
}

void AutomationServer::OnUserInput() noexcept {
    context_->userInControl = true;
}

void AutomationServer::OnDialogGone() noexcept {
    context_->window = nullptr;
    context_->recorder = nullptr;
}

namespace {

bool HoldsValue(HKEY key, const std::string& name, const std::string& value) {
    return ReadRegistryString(key, name.empty() ? nullptr : name.c_str()) == value;
}

// Writes what differs below root\prefix; false when a value could not be written.
bool WriteEntries(HKEY root, const std::string& prefix,
                  const std::vector<automation::RegistryValue>& entries) {
    bool ok = true;
    for (const automation::RegistryValue& entry : entries) {
        const std::string path = prefix + entry.key;
        UniqueRegKey key;
        if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                              nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
            ok = false;
            continue;
        }
        if (HoldsValue(key.get(), entry.name, entry.value))
            continue;
        ok = WriteRegistryString(key.get(), entry.name.empty() ? nullptr : entry.name.c_str(),
                                 entry.value) == ERROR_SUCCESS &&
             ok;
    }
    return ok;
}

// The classes root as class lookups see it holds the entry.
bool SeenInClassesRoot(const automation::RegistryValue& entry) {
    UniqueRegKey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, KEY_QUERY_VALUE, key.put()) ==
               ERROR_SUCCESS &&
           HoldsValue(key.get(), entry.name, entry.value);
}

} // namespace

bool RegisterAutomationClass() {
    std::vector<char> buffer(32768);
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return false;
    const std::string program(buffer.data(), length);
    const std::string typeLib =
        program.substr(0, program.find_last_of('\\') + 1) + VIDORRA_TYPELIB_FILE;
    const auto entries = automation::ClassRegistration(program, typeLib, sizeof(void*) == 8);
    const bool ok = WriteEntries(HKEY_CURRENT_USER, "Software\\Classes\\", entries);
    // Windows merges the user's classes into the classes root; a system that does not (Wine)
    // gets them written there too, where that is allowed.
    bool seen = true;
    for (const automation::RegistryValue& entry : entries)
        seen = seen && SeenInClassesRoot(entry);
    if (!seen)
        WriteEntries(HKEY_CLASSES_ROOT, "", entries);
    return ok;
}
