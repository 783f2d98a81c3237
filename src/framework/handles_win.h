#pragma once

// Owners for every kind of platform handle the program acquires, one type per release function.
// Handles that are only borrowed (a window we did not create, a shared icon from LoadIconA, a stock
// object) stay raw.

#include "framework/handles.h"

#include <windows.h>
// windows.h first: these depend on its types.
#include <ddeml.h>
#include <mmsystem.h>
#include <vfw.h>

// Traits for handles whose empty value is null.
template <class T, void (*CloseFn)(T)> struct NullEmptyTraits {
    using Type = T;
    static Type Empty() noexcept { return Type{}; }
    static bool IsOwned(Type value) noexcept { return value != Type{}; }
    static void Close(Type value) noexcept { CloseFn(value); }
};

namespace handle_close {
inline void DeleteDc(HDC dc) {
    ::DeleteDC(dc);
}
template <class T> void DeleteGdiObject(T object) {
    ::DeleteObject(object);
}
inline void CloseRegKey(HKEY key) {
    ::RegCloseKey(key);
}
inline void ReleaseModule(HMODULE module) {
    ::FreeLibrary(module);
}
inline void CloseKernelHandle(HANDLE handle) {
    ::CloseHandle(handle);
}
inline void CloseFind(HANDLE find) {
    ::FindClose(find);
}
inline void DestroyIcon(HICON icon) {
    ::DestroyIcon(icon);
}
inline void DestroyCursor(HCURSOR cursor) {
    ::DestroyCursor(cursor);
}
inline void CloseCompressor(HIC ic) {
    ::ICClose(ic);
}
inline void ReleaseAviFile(PAVIFILE file) {
    ::AVIFileRelease(file);
}
inline void ReleaseAviStream(PAVISTREAM stream) {
    ::AVIStreamRelease(stream);
}
// waveInClose refuses while buffers are queued; reset first so the device is really closed.
inline void CloseWaveIn(HWAVEIN wave) {
    ::waveInReset(wave);
    ::waveInClose(wave);
}
inline void KillMmTimer(UINT id) {
    ::timeKillEvent(id);
}
inline void UninitializeDde(DWORD instance) {
    ::DdeUninitialize(instance);
}
inline void DestroyWindow(HWND window) {
    ::DestroyWindow(window);
}
inline void Unhook(HHOOK hook) {
    ::UnhookWindowsHookEx(hook);
}
} // namespace handle_close

// A DC from CreateCompatibleDC / CreateDC.
using UniqueMemoryDc = UniqueHandle<NullEmptyTraits<HDC, handle_close::DeleteDc>>;

template <class T>
using UniqueGdiObject = UniqueHandle<NullEmptyTraits<T, handle_close::DeleteGdiObject<T>>>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniquePen = UniqueGdiObject<HPEN>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniquePalette = UniqueGdiObject<HPALETTE>;
using UniqueFont = UniqueGdiObject<HFONT>;

using UniqueRegKey = UniqueHandle<NullEmptyTraits<HKEY, handle_close::CloseRegKey>>;
using UniqueModule = UniqueHandle<NullEmptyTraits<HMODULE, handle_close::ReleaseModule>>;

// Kernel objects: some functions fail with null, others (CreateFile) with INVALID_HANDLE_VALUE.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static bool IsOwned(Type value) noexcept {
        return value != nullptr && value != INVALID_HANDLE_VALUE;
    }
    static void Close(Type value) noexcept { handle_close::CloseKernelHandle(value); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsOwned(Type value) noexcept {
        return value != nullptr && value != INVALID_HANDLE_VALUE;
    }
    static void Close(Type value) noexcept { handle_close::CloseFind(value); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// HICON and HCURSOR are one type; the traits keep their release functions apart.
using UniqueIcon = UniqueHandle<NullEmptyTraits<HICON, handle_close::DestroyIcon>>;
using UniqueCursor = UniqueHandle<NullEmptyTraits<HCURSOR, handle_close::DestroyCursor>>;

using UniqueCompressor = UniqueHandle<NullEmptyTraits<HIC, handle_close::CloseCompressor>>;
using UniqueAviFile = UniqueHandle<NullEmptyTraits<PAVIFILE, handle_close::ReleaseAviFile>>;
using UniqueAviStream = UniqueHandle<NullEmptyTraits<PAVISTREAM, handle_close::ReleaseAviStream>>;
using UniqueWaveIn = UniqueHandle<NullEmptyTraits<HWAVEIN, handle_close::CloseWaveIn>>;
// timeSetEvent returns 0 on failure.
using UniqueMmTimer = UniqueHandle<NullEmptyTraits<UINT, handle_close::KillMmTimer>>;
// DdeInitialize leaves the instance id 0 on failure.
using UniqueDdeInstance = UniqueHandle<NullEmptyTraits<DWORD, handle_close::UninitializeDde>>;
// A window we created ourselves; borrowed windows are plain HWNDs or Window.
using UniqueHwnd = UniqueHandle<NullEmptyTraits<HWND, handle_close::DestroyWindow>>;
using UniqueHook = UniqueHandle<NullEmptyTraits<HHOOK, handle_close::Unhook>>;

// A DC from GetDC, released to the window it came from. A null window means the screen.
class UniqueWindowDc {
public:
    UniqueWindowDc() noexcept = default;
    explicit UniqueWindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    UniqueWindowDc(UniqueWindowDc&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
    UniqueWindowDc& operator=(UniqueWindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = other.window_;
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    UniqueWindowDc(const UniqueWindowDc&) = delete;
    UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;
    ~UniqueWindowDc() { reset(); }

    [[nodiscard]] HDC get() const noexcept { return dc_; }
    [[nodiscard]] HWND window() const noexcept { return window_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    // The caller then owes ReleaseDC(window(), dc).
    [[nodiscard]] HDC release() noexcept { return std::exchange(dc_, nullptr); }
    void reset() noexcept {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, std::exchange(dc_, nullptr));
        }
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// One reference to a COM object, released when the owner goes.
template <class T> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    [[nodiscard]] T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For a call that hands out a reference: whatever was held is released first.
    [[nodiscard]] T** put() noexcept {
        reset();
        return &p_;
    }
    // A new reference for the caller, who then owes its Release.
    [[nodiscard]] T* share() const noexcept {
        if (p_ != nullptr)
            p_->AddRef();
        return p_;
    }
    void reset() noexcept {
        if (p_ != nullptr)
            std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// A window's painting, from BeginPaint to EndPaint: what WM_PAINT owes the window however the
// painting ends.
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &ps_)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() {
        if (dc_ != nullptr)
            ::EndPaint(window_, &ps_);
    }

    [[nodiscard]] HDC get() const noexcept { return dc_; }
    [[nodiscard]] const RECT& Area() const noexcept { return ps_.rcPaint; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Selects an object into a DC for one scope and puts the previous one back, so the object can be
// deleted afterwards and the DC is left as it was found.
class SelectionGuard {
public:
    SelectionGuard(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;
    ~SelectionGuard() {
        // SelectObject reports failure as null (HGDI_ERROR for regions).
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }

    // False when the selection failed.
    explicit operator bool() const noexcept {
        return previous_ != nullptr && previous_ != HGDI_ERROR;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};
