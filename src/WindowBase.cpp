#include "WindowBase.h"

#include "Error.h"

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc,
                         void (*describe)(WNDCLASSEXW&)) {
    WNDCLASSEXW wc{sizeof(wc)};
    if (GetClassInfoExW(instance, name, &wc))
        return;
    wc = {sizeof(wc)};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (describe)
        describe(wc);
    if (!RegisterClassExW(&wc))
        throw Error(L"ウィンドウクラスを登録できません");
}

HWND CreateWindowFrom(HWND parent, const WindowArgs& args, void* param, HINSTANCE instance) {
    const RECT& r = args.rect;
    HWND hwnd = CreateWindowExW(args.exStyle, args.className, args.text, args.style, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)),
                                instance ? instance : GetModuleHandleW(nullptr), param);
    if (!hwnd)
        throw Error(L"ウィンドウを作成できません");
    if (args.font)
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(args.font), FALSE);
    return hwnd;
}

HWND CreateChild(HWND parent, WindowArgs args) {
    args.style |= WS_CHILD | WS_VISIBLE;
    if (!args.font)
        args.font = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
    return CreateWindowFrom(parent, args);
}
