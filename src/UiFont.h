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
