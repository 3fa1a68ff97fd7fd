#include "MessageDialog.h"

#include "Error.h"
#include "Handles.h"
#include "UiFont.h"
#include "WindowBase.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kGap = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;
constexpr DWORD kDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

static_assert(sizeof(DLGTEMPLATE) == 18, "dialog templates are packed");

struct DialogState {
    const std::wstring* message;
    TMsgDlgType type;
    bool hasCancel;
    UniqueFont font;
};

// Title and icon of each dialog type, in the order of TMsgDlgType.
const struct {
    const wchar_t* title;
    const wchar_t* icon;
} kTypes[] = {{L"警告", IDI_WARNING}, {L"情報", IDI_INFORMATION}, {L"確認", IDI_QUESTION}};

// Lays out icon, text and buttons, then centres the dialog on the screen.
void BuildDialog(HWND dialog, DialogState& state) {
    state.font = CreateUiFont(12);
    HFONT font = state.font.get();

    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    RECT text{0, 0, std::max(200, screenW / 2), 0};
    {
        WindowDc dc(dialog);
        SelectObjectScope select(dc.get(), font);
        DrawTextW(dc.get(), state.message->c_str(), -1, &text,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    }
    const int textW = text.right, textH = text.bottom;
    const int contentH = std::max(kIconSize, textH);
    const int textX = kMargin + kIconSize + kGap;
    const int buttonCount = state.hasCancel ? 2 : 1;
    const int buttonsW = buttonCount * kButtonWidth + (buttonCount - 1) * kButtonGap;
    const int clientW = std::max(textX + textW + kMargin, buttonsW + 2 * kMargin);
    const int buttonsY = kMargin + contentH + 16;
    const int clientH = buttonsY + kButtonHeight + kMargin;

    HWND icon = CreateChild(dialog, {L"STATIC", L"", SS_ICON,
                                     Bounds(kMargin, kMargin, kIconSize, kIconSize), -1, font});
    SendMessageW(
        icon, STM_SETICON,
        reinterpret_cast<WPARAM>(LoadIconW(nullptr, kTypes[static_cast<int>(state.type)].icon)), 0);
    const int textY = kMargin + (contentH - textH) / 2;
    CreateChild(dialog, {L"STATIC", state.message->c_str(), SS_LEFT | SS_NOPREFIX,
                         Bounds(textX, textY, textW, textH), -1, font});

    const int x = (clientW - buttonsW) / 2;
    HWND ok = CreateChild(dialog, {L"BUTTON", L"OK", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
                                   Bounds(x, buttonsY, kButtonWidth, kButtonHeight), IDOK, font});
    if (state.hasCancel)
        CreateChild(dialog,
                    {L"BUTTON", L"キャンセル", WS_TABSTOP | BS_PUSHBUTTON,
                     Bounds(x + kButtonWidth + kButtonGap, buttonsY, kButtonWidth, kButtonHeight),
                     IDCANCEL, font});
    SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
    SetFocus(ok);

    RECT frame{0, 0, clientW, clientH};
    AdjustWindowRectEx(&frame, kDialogStyle, FALSE, WS_EX_DLGMODALFRAME);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, (screenW - w) / 2, (screenH - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        try {
            BuildDialog(dialog, *reinterpret_cast<DialogState*>(lp));
        } catch (...) {
            EndDialog(dialog, 0); // reported by the caller
        }
        return FALSE; // the focus is already on OK
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            // Esc arrives as IDCANCEL; without a キャンセル button it means OK.
            EndDialog(dialog, state && state->hasCancel ? IDCANCEL : IDOK);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

// An in-memory dialog template: no menu, the standard dialog class, the title, no controls.
std::vector<WORD> MakeTemplate(const wchar_t* title) {
    const size_t titleLen = wcslen(title) + 1;
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 2 + titleLen, 0);
    DLGTEMPLATE tmpl{};
    tmpl.style = kDialogStyle;
    tmpl.dwExtendedStyle = WS_EX_DLGMODALFRAME;
    tmpl.cdit = 0;
    std::memcpy(words.data(), &tmpl, sizeof(tmpl));
    WORD* p = words.data() + sizeof(DLGTEMPLATE) / sizeof(WORD);
    *p++ = 0; // menu
    *p++ = 0; // class
    std::memcpy(p, title, titleLen * sizeof(wchar_t));
    return words;
}

HWND mainWindow = nullptr;

} // namespace

void RegisterMainWindow(HWND window) noexcept {
    if (!mainWindow || !IsWindow(mainWindow))
        mainWindow = window;
}

void UnregisterMainWindow(HWND window) noexcept {
    if (mainWindow == window)
        mainWindow = nullptr;
}

HWND DialogOwner() noexcept {
    if (!mainWindow || !IsWindow(mainWindow))
        return GetActiveWindow();
    if (IsWindowEnabled(mainWindow))
        return mainWindow;
    // Disabled by a modal window of ours: the box goes over that one, so it stays modal.
    HWND over = GetActiveWindow();
    if (!over)
        over = GetLastActivePopup(mainWindow);
    return over && over != mainWindow && IsWindowVisible(over) && IsWindowEnabled(over)
               ? over
               : mainWindow;
}

TModalResult MessageDialog(const std::wstring& message, TMsgDlgType type, TMsgDlgButtons buttons) {
    DialogState state{&message, type, buttons == TMsgDlgButtons::mbOKCancel, {}};
    const std::vector<WORD> tmpl = MakeTemplate(kTypes[static_cast<int>(type)].title);
    const INT_PTR r = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(tmpl.data()), DialogOwner(),
        DialogProc, reinterpret_cast<LPARAM>(&state));
    if (r == -1 || r == 0)
        throw Error(L"ダイアログを表示できません");
    return r == IDOK ? TModalResult::mrOk : TModalResult::mrCancel;
}
