#include "ShellDrop.h"

#include <shlobj.h>

#include <cstring>
#include <stdexcept>

HDROP MakeShellDrop(const std::vector<std::wstring>& paths, POINT point) {
    size_t chars = 1; // the closing empty name
    for (const auto& p : paths)
        chars += p.size() + 1;
    const size_t bytes = sizeof(DROPFILES) + chars * sizeof(wchar_t);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!mem)
        throw std::runtime_error("GlobalAlloc failed");
    auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
    df->pFiles = sizeof(DROPFILES);
    df->pt = point;
    df->fNC = FALSE;
    df->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(df) + sizeof(DROPFILES));
    for (const auto& p : paths) {
        std::memcpy(out, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        out += p.size() + 1;
    }
    *out = L'\0';
    GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}

void SendShellDrop(HWND target, const std::vector<std::wstring>& paths, POINT point) {
    HDROP drop = MakeShellDrop(paths, point);
    SendMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}
