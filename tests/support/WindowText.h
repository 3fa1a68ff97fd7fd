#pragma once
// Measuring a window's text as the window draws it.

#include "Handles.h"

#include <string>

// The extent of text in the window's own font (WM_GETFONT).
inline SIZE TextExtentInWindowFont(HWND window, const std::wstring& text) {
    const WindowDc dc(window);
    const SelectObjectScope font(dc.get(),
                                 reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    return extent;
}
