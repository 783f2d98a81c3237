#pragma once
// The automation object "Vidorra.Application": a thin proxy whose properties are the recording
// options and whose methods go to the recording control, exactly as the hot keys do. It keeps
// no state of its own; everything it changes lives in the options, the recorder and the window.

#include "automation/automation_link.h"
#include "automation/automation_members.h"
#include "engine/recording_options.h"
#include "framework/handles_win.h"

#include <atomic>
#include <memory>

#include <windows.h>

#include <oaidl.h>

class Recorder;

// Shared by the server and every object it made: the objects may outlive both the window (a
// client still holding one when the program ends) and the server.
struct AutomationContext {
    AutomationContext(RecordingOptions& options, bool userInControl)
        : options(options), userInControl(userInControl) {}
    ~AutomationContext();
    AutomationContext(const AutomationContext&) = delete;
    AutomationContext& operator=(const AutomationContext&) = delete;

    // An object or a factory lock taken, and let go. The one rule of when the last client's
    // leaving ends the program: a copy started for clients ends with the last of them, unless
    // the user has taken it over or it is busy with a box (left to the user).
    void Lock() noexcept { ++locks; }
    void Unlock() noexcept;

    // Both none once the window has gone: the program is closing.
    Recorder* recorder = nullptr;
    AutomationWindow* window = nullptr;
    RecordingOptions& options;
    // Started normally, or the user has worked the window: the program is the user's, and a
    // client letting go does not end it.
    bool userInControl;
    // Live objects and factory locks; the program serves while this is above 0.
    int locks = 0;
    // The dispatch interface's description, read from the type library on first ask.
    ComPtr<ITypeInfo> typeInfo;
};

class CVidorraDlgAutoProxy final : public IDispatch {
public:
    explicit CVidorraDlgAutoProxy(std::shared_ptr<AutomationContext> context);
    CVidorraDlgAutoProxy(const CVidorraDlgAutoProxy&) = delete;
    CVidorraDlgAutoProxy& operator=(const CVidorraDlgAutoProxy&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override;

private:
    ~CVidorraDlgAutoProxy();
    HRESULT Get(int id, VARIANT& result) const;
    HRESULT Put(int id, const VARIANT& value, EXCEPINFO* exception, UINT* argError);
    HRESULT Call(int id, VARIANT& result);

    std::atomic<ULONG> refs_{1};
    std::shared_ptr<AutomationContext> context_;
};

// The interface identifier of the dispatch interface, and the class identifier.
const IID& VidorraDispatchIid();
const CLSID& VidorraClassId();
const GUID& VidorraTypeLibId();
// The VARIANT type of a member's value; VT_EMPTY for a method that returns none.
VARTYPE VarTypeOf(automation::ValueType type);
