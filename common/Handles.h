#pragma once
// Every handle owner of the program, the Word stand-in and their tests: one type per kind of handle
// (see UniqueAny.h), move-only.

#include <windows.h>
#include <shellapi.h>
#include <oleauto.h>

#include "UniqueAny.h"

using UniqueHwnd = UniqueAny<HWND, DestroyWindow>;
using UniqueFont = UniqueAny<HFONT, DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, DeleteObject>;
using UniqueDrop = UniqueAny<HDROP, DragFinish>;
using UniqueBstr = UniqueAny<BSTR, SysFreeString>;
using UniqueFind = UniqueAny<HANDLE, FindClose>;
using UniqueKernelHandle = UniqueAny<HANDLE, CloseHandle>; // files too
using UniqueMemDc = UniqueAny<HDC, DeleteDC>;
using UniqueHkey = UniqueAny<HKEY, RegCloseKey>;
using UniqueCoTaskMem = UniqueAny<void*, CoTaskMemFree>; // shell item lists and other task memory

// CreateFileW and FindFirstFileW answer INVALID_HANDLE_VALUE where the other calls answer null: an
// owner takes their answer through this, so that null is "no handle" for every kind.
inline HANDLE NullIfInvalid(HANDLE h) noexcept {
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

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
