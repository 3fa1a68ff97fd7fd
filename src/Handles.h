#pragma once
// Small owners for Windows handles: one type per kind of handle, move-only.

#include <windows.h>
#include <shellapi.h>
#include <oleauto.h>

#include <utility>

// Generic owner: Traits supplies the handle type, its empty value and how to free it.
template <class Traits> class UniqueHandle {
public:
    using handle_type = typename Traits::handle_type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(handle_type h) noexcept : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    handle_type get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::empty(); }
    handle_type release() noexcept { return std::exchange(h_, Traits::empty()); }
    void reset(handle_type h = Traits::empty()) noexcept {
        handle_type old = std::exchange(h_, h);
        if (old != Traits::empty())
            Traits::close(old);
    }

private:
    handle_type h_ = Traits::empty();
};

struct HwndTraits {
    using handle_type = HWND;
    static HWND empty() noexcept { return nullptr; }
    static void close(HWND h) noexcept { DestroyWindow(h); }
};
struct GdiObjectTraits {
    using handle_type = HGDIOBJ;
    static HGDIOBJ empty() noexcept { return nullptr; }
    static void close(HGDIOBJ h) noexcept { DeleteObject(h); }
};
struct FontTraits {
    using handle_type = HFONT;
    static HFONT empty() noexcept { return nullptr; }
    static void close(HFONT h) noexcept { DeleteObject(h); }
};
struct BitmapTraits {
    using handle_type = HBITMAP;
    static HBITMAP empty() noexcept { return nullptr; }
    static void close(HBITMAP h) noexcept { DeleteObject(h); }
};
struct DropTraits {
    using handle_type = HDROP;
    static HDROP empty() noexcept { return nullptr; }
    static void close(HDROP h) noexcept { DragFinish(h); }
};
struct BstrTraits {
    using handle_type = BSTR;
    static BSTR empty() noexcept { return nullptr; }
    static void close(BSTR h) noexcept { SysFreeString(h); }
};
struct FindTraits {
    using handle_type = HANDLE;
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { FindClose(h); }
};
struct KernelHandleTraits {
    using handle_type = HANDLE;
    static HANDLE empty() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct HkeyTraits {
    using handle_type = HKEY;
    static HKEY empty() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};
struct DcTraits {
    using handle_type = HDC;
    static HDC empty() noexcept { return nullptr; }
    static void close(HDC h) noexcept { DeleteDC(h); }
};
struct CursorTraits {
    using handle_type = HCURSOR;
    static HCURSOR empty() noexcept { return nullptr; }
    static void close(HCURSOR h) noexcept { DestroyCursor(h); }
};
struct CoTaskMemTraits {
    using handle_type = void*;
    static void* empty() noexcept { return nullptr; }
    static void close(void* p) noexcept { CoTaskMemFree(p); }
};

using UniqueHwnd = UniqueHandle<HwndTraits>;
using UniqueFont = UniqueHandle<FontTraits>;
using UniqueBitmap = UniqueHandle<BitmapTraits>;
using UniqueDrop = UniqueHandle<DropTraits>;
using UniqueBstr = UniqueHandle<BstrTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueHkey = UniqueHandle<HkeyTraits>;
using UniqueMemDc = UniqueHandle<DcTraits>;
using UniqueCursor = UniqueHandle<CursorTraits>;       // cursors made at run time
using UniqueCoTaskMem = UniqueHandle<CoTaskMemTraits>; // shell item lists and other task memory

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

// Shows the given cursor and puts the previous one back at the end of the scope.
class CursorScope {
public:
    explicit CursorScope(HCURSOR cursor) noexcept : previous_(SetCursor(cursor)) {}
    CursorScope(const CursorScope&) = delete;
    CursorScope& operator=(const CursorScope&) = delete;
    ~CursorScope() { SetCursor(previous_); }

private:
    HCURSOR previous_;
};
