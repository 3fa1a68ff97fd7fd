#pragma once
// Small owners for Windows handles: one type per kind of handle, move-only.

#include <windows.h>
#include <shellapi.h>
#include <oleauto.h>

#include <cstdint>
#include <utility>

// Owner of one handle: H is the handle type, Close frees it, Empty is the value that holds nothing
// (a number, since INVALID_HANDLE_VALUE cannot be a template argument).
template <class H, auto Close, std::intptr_t Empty = 0> class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(H h) noexcept : h_(h) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : h_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    static H empty() noexcept { return reinterpret_cast<H>(Empty); }
    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != empty(); }
    H release() noexcept { return std::exchange(h_, empty()); }
    void reset(H h = empty()) noexcept {
        H old = std::exchange(h_, h);
        if (old != empty())
            Close(old);
    }
    // For out-parameters: frees what is held and lends the slot.
    H* put() noexcept {
        reset();
        return &h_;
    }

private:
    H h_ = empty();
};

using UniqueHwnd = UniqueAny<HWND, DestroyWindow>;
using UniqueFont = UniqueAny<HFONT, DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, DeleteObject>;
using UniqueDrop = UniqueAny<HDROP, DragFinish>;
using UniqueBstr = UniqueAny<BSTR, SysFreeString>;
using UniqueFind = UniqueAny<HANDLE, FindClose, -1>; // INVALID_HANDLE_VALUE
using UniqueKernelHandle = UniqueAny<HANDLE, CloseHandle>;
using UniqueHkey = UniqueAny<HKEY, RegCloseKey>;
using UniqueMemDc = UniqueAny<HDC, DeleteDC>;
using UniqueCursor = UniqueAny<HCURSOR, DestroyCursor>;  // cursors made at run time
using UniqueCoTaskMem = UniqueAny<void*, CoTaskMemFree>; // shell item lists and other task memory

// A window's device context, released with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_)
            ReleaseDC(hwnd_, dc_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// Selects a GDI object into a DC for the lifetime of the scope.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(SelectObject(dc, obj)) {}
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;
    ~SelectObjectScope() { SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};
