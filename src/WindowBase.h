#pragma once
// The one shape of the program's windows: the class registered once, the object found from the
// handle, no exception out of a window procedure, children created or an error thrown.

#include "ErrorDisplay.h"
#include "Handles.h"

#include <windows.h>

#include <exception>
#include <utility>
#include <vector>

// A new window: class, caption, style, place in the parent's client area, control id, font
// (given with WM_SETFONT when there is one) and extended style.
struct WindowArgs {
    const wchar_t* className = nullptr;
    const wchar_t* text = L"";
    DWORD style = 0;
    RECT rect{};
    int id = 0;
    HFONT font = nullptr;
    DWORD exStyle = 0;
};

// A rectangle from its left, top, width and height.
constexpr RECT Bounds(int x, int y, int width, int height) noexcept {
    return {x, y, x + width, y + height};
}

// Registers a class of the module unless it has it already: arrow cursor, button-face background,
// and what describe adds. Throws "ウィンドウクラスを登録できません".
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc,
                         void (*describe)(WNDCLASSEXW&) = nullptr);

// Creates a window of the module; throws "ウィンドウを作成できません".
HWND CreateWindowFrom(HWND parent, const WindowArgs& args, void* param = nullptr,
                      HINSTANCE instance = nullptr);

// A visible child control (WS_CHILD | WS_VISIBLE are added to the style). Without a font of its
// own it gets the one its parent answers WM_GETFONT with.
HWND CreateChild(HWND parent, WindowArgs args);

// Base of a window class T, which has kClassName and LRESULT HandleMessage(UINT, WPARAM, LPARAM),
// and may have static DescribeClass(WNDCLASSEXW&).
template <class T> class WindowBase {
public:
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    HWND Handle() const noexcept { return hwnd_.get(); }

protected:
    WindowBase() = default;
    ~WindowBase() = default;

    // T's window, with its class registered first; HandleMessage sees it from WM_NCCREATE on.
    // An exception from HandleMessage during WM_NCCREATE or WM_CREATE fails the creation, and is
    // thrown here once the half-made window is gone.
    HWND CreateWindowOf(HWND parent, WindowArgs args, HINSTANCE instance = nullptr) {
        if (!instance)
            instance = GetModuleHandleW(nullptr);
        RegisterWindowClass(instance, T::kClassName, &WndProc, &T::DescribeClass);
        args.className = T::kClassName;
        creationError_ = nullptr;
        try {
            return CreateWindowFrom(parent, args, static_cast<T*>(this), instance);
        } catch (...) {
            hwnd_.release(); // destroyed by the failed creation
            if (creationError_)
                std::rethrow_exception(std::exchange(creationError_, nullptr));
            throw;
        }
    }

    static void DescribeClass(WNDCLASSEXW&) noexcept {}

    // Sends a control's messages to Handler first, which leaves the rest to CallOriginal: the
    // procedure the control had before, its class's or an earlier subclass. The control's
    // GWLP_USERDATA is ours from then on. The list is subclassed this way rather than with
    // comctl32's SetWindowSubclass, which looks up a window property on every message and makes
    // reading thousands of lines slow; for the same reason the procedure replaced is kept here.
    template <LRESULT (T::*Handler)(HWND, UINT, WPARAM, LPARAM)> void Subclass(HWND control) {
        auto& [hwnd, proc] = replaced_.emplace_back(control, nullptr);
        SetWindowLongPtrW(control, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(static_cast<T*>(this)));
        proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc<Handler>)));
    }

    LRESULT CallOriginal(HWND control, UINT msg, WPARAM wp, LPARAM lp) const {
        for (const auto& [hwnd, proc] : replaced_)
            if (hwnd == control)
                return CallWindowProcW(proc, control, msg, wp, lp);
        return DefWindowProcW(control, msg, wp, lp);
    }

    UniqueHwnd hwnd_;

private:
    std::exception_ptr creationError_;
    std::vector<std::pair<HWND, WNDPROC>> replaced_; // by Subclass, in order

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
        T* self = nullptr;
        if (msg == WM_NCCREATE) {
            self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->hwnd_.reset(hwnd);
        } else {
            self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (!self)
            return DefWindowProcW(hwnd, msg, wp, lp);
        LRESULT result = 0;
        if (msg == WM_NCCREATE || msg == WM_CREATE) {
            // A window that could not be made whole is not made at all.
            try {
                result = self->HandleMessage(msg, wp, lp);
            } catch (...) {
                self->creationError_ = std::current_exception();
                result = msg == WM_NCCREATE ? FALSE : -1;
            }
        } else {
            RunHandler([&] { result = self->HandleMessage(msg, wp, lp); });
        }
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_.release();
        }
        return result;
    }

    template <LRESULT (T::*Handler)(HWND, UINT, WPARAM, LPARAM)>
    static LRESULT CALLBACK SubclassProc(HWND control, UINT msg, WPARAM wp, LPARAM lp) noexcept {
        T* self = reinterpret_cast<T*>(GetWindowLongPtrW(control, GWLP_USERDATA));
        if (!self) // after WM_NCDESTROY
            return DefWindowProcW(control, msg, wp, lp);
        LRESULT result = 0;
        RunHandler([&] { result = (self->*Handler)(control, msg, wp, lp); });
        if (msg == WM_NCDESTROY) { // the object may go before a late message would come
            SetWindowLongPtrW(control, GWLP_USERDATA, 0);
            std::erase_if(self->replaced_, [&](const auto& r) { return r.first == control; });
        }
        return result;
    }
};
