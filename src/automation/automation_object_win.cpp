#include "automation/automation_object_win.h"

#include "automation/automation_guids.h"
#include "automation/automation_members.h"
#include "framework/app_win.h"
#include "recorder/recorder_win.h"

#include <string>
#include <utility>

namespace {

constexpr int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : throw "not a hex digit";
}

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", as the IDL compiler reads it.
constexpr GUID ParseGuid(const char* t) {
    auto hex = [t](int at, int digits) {
        unsigned long long v = 0;
        for (int i = 0; i < digits; ++i)
            v = v * 16 + static_cast<unsigned>(HexDigit(t[at + i]));
        return v;
    };
    GUID g{};
    g.Data1 = static_cast<unsigned long>(hex(0, 8));
    g.Data2 = static_cast<unsigned short>(hex(9, 4));
    g.Data3 = static_cast<unsigned short>(hex(14, 4));
    constexpr int bytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<unsigned char>(hex(bytes[i], 2));
    return g;
}

constexpr GUID kClassId = ParseGuid(VIDORRA_STRINGIFY(VIDORRA_CLSID_TEXT));
constexpr GUID kDispatchIid = ParseGuid(VIDORRA_STRINGIFY(VIDORRA_DIID_TEXT));
constexpr GUID kTypeLibId = ParseGuid(VIDORRA_STRINGIFY(VIDORRA_LIBID_TEXT));

constexpr VARIANT_BOOL AsVariantBool(bool b) {
    return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// A VARIANT that clears itself.
struct ScopedVariant {
    VARIANT v;
    ScopedVariant() { ::VariantInit(&v); }
    ~ScopedVariant() { ::VariantClear(&v); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};

BSTR ToBstr(const std::string& text) {
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    BSTR out = ::SysAllocStringLen(nullptr, static_cast<UINT>(n > 0 ? n : 0));
    if (out && n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out, n);
    return out;
}

// The name in the program's code page, or false when a character has no place there: a file
// name must never be changed into another one behind the script's back.
bool FromBstr(BSTR text, std::string& out) {
    const int length = static_cast<int>(::SysStringLen(text));
    if (length == 0) {
        out.clear();
        return true;
    }
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0,
                                        nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, out.data(), n, nullptr,
                          &lossy);
    return !lossy;
}

HRESULT Refused(const automation::Member& member, EXCEPINFO* exception) {
    if (exception) {
        *exception = {};
        exception->scode = E_INVALIDARG;
        exception->bstrSource = ::SysAllocString(L"Vidorra.Application");
        const std::string text = "The value given for " + std::string(member.name) +
                                 " was refused; the property keeps its value.";
        exception->bstrDescription = ToBstr(text);
    }
    return DISP_E_EXCEPTION;
}

} // namespace

VARTYPE VarTypeOf(automation::ValueType type) {
    using enum automation::ValueType;
    switch (type) {
    case I2:
        return VT_I2;
    case I4:
        return VT_I4;
    case R8:
        return VT_R8;
    case Bstr:
        return VT_BSTR;
    case Bool:
        return VT_BOOL;
    case None:
        break;
    }
    return VT_EMPTY;
}

const IID& VidorraDispatchIid() {
    return kDispatchIid;
}
const CLSID& VidorraClassId() {
    return kClassId;
}
const GUID& VidorraTypeLibId() {
    return kTypeLibId;
}

AutomationContext::~AutomationContext() = default;

void AutomationContext::Unlock() noexcept {
    if (locks == 0 || --locks > 0 || window == nullptr || userInControl)
        return;
    window->CloseForLastClient();
}

CVidorraDlgAutoProxy::CVidorraDlgAutoProxy(std::shared_ptr<AutomationContext> context)
    : context_(std::move(context)) {
    context_->Lock();
}

CVidorraDlgAutoProxy::~CVidorraDlgAutoProxy() {
    context_->Unlock();
}

HRESULT CVidorraDlgAutoProxy::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
        ::IsEqualIID(iid, kDispatchIid)) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CVidorraDlgAutoProxy::AddRef() {
    return ++refs_;
}

ULONG CVidorraDlgAutoProxy::Release() {
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CVidorraDlgAutoProxy::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    ComPtr<ITypeInfo> info;
    *count = SUCCEEDED(GetTypeInfo(0, 0, info.put())) ? 1 : 0;
    return S_OK;
}

HRESULT CVidorraDlgAutoProxy::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    if (!context_->typeInfo) {
        const std::string path = Application::ProgramDirectory() + "\\" VIDORRA_TYPELIB_FILE;
        std::wstring wide(path.begin(), path.end());
        ComPtr<ITypeLib> library;
        if (FAILED(::LoadTypeLibEx(wide.c_str(), REGKIND_NONE, library.put())))
            return TYPE_E_CANTLOADLIBRARY;
        const HRESULT hr = library->GetTypeInfoOfGuid(kDispatchIid, context_->typeInfo.put());
        if (FAILED(hr))
            return hr;
    }
    *info = context_->typeInfo.share();
    return S_OK;
}

HRESULT CVidorraDlgAutoProxy::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    // No member takes parameters, so only the first name can be known.
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = i == 0 && names[0] ? automation::FindMember(names[0]) : 0;
        if (ids[i] == 0) {
            ids[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT CVidorraDlgAutoProxy::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    try {
        const automation::Member* member = automation::MemberById(static_cast<int>(id));
        if (!member)
            return DISP_E_MEMBERNOTFOUND;
        if (!params)
            return E_INVALIDARG;
        ScopedVariant unused;
        VARIANT& out = result ? *result : unused.v;
        ::VariantInit(&out);
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
        if (member->kind == automation::MemberKind::Property && put) {
            if (params->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTOPTIONAL;
            return Put(member->dispid, params->rgvarg[0], exception, argError);
        }
        if (!get)
            return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        return member->kind == automation::MemberKind::Property ? Get(member->dispid, out)
                                                                : Call(member->dispid, out);
    } catch (...) {
        // Nothing escapes into the caller's marshalling.
        return E_UNEXPECTED;
    }
}

HRESULT CVidorraDlgAutoProxy::Get(int id, VARIANT& result) const {
    const automation::Member& member = *automation::MemberById(id);
    result.vt = VarTypeOf(member.type);
    // Without the window the program is closing: every property reads as empty.
    if (!context_->recorder) {
        if (result.vt == VT_BSTR)
            result.bstrVal = ::SysAllocString(L"");
        else
            result.dblVal = 0; // zeroes the widest member, so every numeric type reads 0
        return S_OK;
    }
    const automation::Value value = member.get(context_->options);
    using enum automation::ValueType;
    switch (member.type) {
    case I2:
        result.iVal = static_cast<SHORT>(std::get<int32_t>(value));
        break;
    case I4:
        result.lVal = static_cast<LONG>(std::get<int32_t>(value));
        break;
    case R8:
        result.dblVal = std::get<double>(value);
        break;
    case Bool:
        result.boolVal = AsVariantBool(std::get<bool>(value));
        break;
    case Bstr:
        result.bstrVal = ToBstr(std::get<std::string>(value));
        if (!result.bstrVal) {
            result.vt = VT_EMPTY;
            return E_OUTOFMEMORY;
        }
        break;
    case None:
        result.vt = VT_EMPTY;
        return DISP_E_MEMBERNOTFOUND;
    }
    return S_OK;
}

HRESULT CVidorraDlgAutoProxy::Put(int id, const VARIANT& value, EXCEPINFO* exception,
                                  UINT* argError) {
    const automation::Member& member = *automation::MemberById(id);
    ScopedVariant arg;
    const HRESULT converted =
        ::VariantChangeType(&arg.v, const_cast<VARIANT*>(&value), 0, VarTypeOf(member.type));
    if (FAILED(converted)) {
        if (argError)
            *argError = 0;
        return converted;
    }
    Recorder* recorder = context_->recorder;
    if (!recorder)
        return S_OK;
    // A set during a recording, or while one is being set up, is ignored without an error: the
    // script reads the property back to notice.
    if (!recorder->Idle() && !member.whileRecording)
        return S_OK;
    const VARIANT& v = arg.v;
    automation::Value given;
    using enum automation::ValueType;
    switch (member.type) {
    case I2:
        given = static_cast<int32_t>(v.iVal);
        break;
    case I4:
        given = static_cast<int32_t>(v.lVal);
        break;
    case R8:
        given = v.dblVal;
        break;
    case Bool:
        given = v.boolVal != VARIANT_FALSE;
        break;
    case Bstr: {
        std::string name;
        if (!FromBstr(v.bstrVal, name))
            return Refused(member, exception);
        given = std::move(name);
        break;
    }
    case None:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!member.put(context_->options, given))
        return Refused(member, exception);
    recorder->OptionsChanged(member.group);
    return S_OK;
}

HRESULT CVidorraDlgAutoProxy::Call(int id, VARIANT& result) {
    namespace d = automation::dispid;
    const automation::Member& member = *automation::MemberById(id);
    result.vt = VarTypeOf(member.type);
    result.dblVal = 0; // 0, FALSE: also what every call answers once the window has gone
    Recorder* recorder = context_->recorder;
    AutomationWindow* window = context_->window;
    if (!recorder || !window)
        return S_OK;
    Recorder& control = *recorder;
    switch (id) {
    case d::StartRec:
        // Only from idle: a start already posted is not asked for twice, nor turned into a
        // stop.
        if (control.State() != ControlState::Idle)
            break;
        window->SetStartedByScript(true);
        result.iVal = control.Handle(ControlInput::StartStopKey) ? 1 : 0;
        break;
    case d::StopRec:
        if (control.RecordState() == record_state::Idle)
            break;
        result.iVal = control.Handle(ControlInput::StartStopKey) ? 1 : 0;
        window->SetStartedByScript(false);
        break;
    case d::PauseRec:
        if (control.State() == ControlState::Idle)
            window->SetStartedByScript(true);
        control.Handle(ControlInput::PauseKey);
        result.iVal = static_cast<SHORT>(control.RecordState());
        break;
    case d::GetRecordState:
        result.iVal = static_cast<SHORT>(control.RecordState());
        break;
    case d::CaptureSingleFrame:
        if (control.State() != ControlState::Paused)
            break;
        result.boolVal = AsVariantBool(control.Handle(ControlInput::SingleFrameKey) &&
                                       control.LastSingleFrameWritten());
        break;
    case d::ShowWindow:
    case d::HideWindow:
        window->ShowForScript(id == d::ShowWindow);
        break;
    case d::EnableHotKeys:
        if (control.SetHotKeysDisabled(false))
            // Nobody may be there to click a box away: a copy that is only the client's
            // reports a taken key on its status line.
            window->RegisterHotKeysForScript(!context_->userInControl);
        break;
    case d::DisableHotKeys:
        if (control.SetHotKeysDisabled(true))
            window->UnregisterHotKeys();
        break;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    return S_OK;
}
