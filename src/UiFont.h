#pragma once
// The program's user-interface font: "ＭＳ Ｐゴシック", Shift-JIS, a character height in pixels.

#include "Handles.h"

inline UniqueFont CreateUiFont(int pixelHeight, const wchar_t* face = L"ＭＳ Ｐゴシック") {
    LOGFONTW lf{};
    lf.lfHeight = -pixelHeight;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfWeight = FW_NORMAL;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(CreateFontIndirectW(&lf));
}

// A one-line text's width in a font, and the font's height.
inline SIZE TextSize(HFONT font, const wchar_t* text) {
    WindowDc dc(nullptr);
    SelectObjectScope select(dc.get(), font);
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text, lstrlenW(text), &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.get(), &tm);
    return {size.cx, tm.tmHeight};
}
