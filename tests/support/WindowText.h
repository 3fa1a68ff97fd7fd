#pragma once
// A window's text and place as the tests read them, and text measured as the window draws it.

#include "Handles.h"

#include <string>

inline std::wstring TextOf(HWND hwnd) {
    const int len = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), len + 1);
    text.resize(static_cast<size_t>(len));
    return text;
}

// A control's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The extent of text in the window's own font (WM_GETFONT).
inline SIZE TextExtentInWindowFont(HWND window, const std::wstring& text) {
    const WindowDc dc(window);
    const SelectObjectScope font(dc.get(),
                                 reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    return extent;
}
