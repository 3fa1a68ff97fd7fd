#include "DialogBase.h"

#include "Error.h"
#include "UiFont.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

static_assert(sizeof(DLGTEMPLATE) == 18, "dialog templates are packed");

// An in-memory dialog template: no menu, the standard dialog class, the title, no controls.
std::vector<WORD> MakeTemplate(const wchar_t* title, DWORD style, DWORD exStyle) {
    const size_t titleLen = wcslen(title) + 1;
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 2 + titleLen, 0);
    const DLGTEMPLATE tmpl{style, exStyle, 0, 0, 0, 0, 0};
    std::memcpy(words.data(), &tmpl, sizeof(tmpl));
    std::memcpy(words.data() + sizeof(DLGTEMPLATE) / sizeof(WORD) + 2, title,
                titleLen * sizeof(wchar_t));
    return words;
}

} // namespace

INT_PTR DialogBase::ShowModal(HWND owner, const wchar_t* title, DWORD style, DWORD exStyle) {
    font_ = CreateUiFont(12);
    const std::vector<WORD> tmpl = MakeTemplate(title, style, exStyle);
    const bool ownerEnabled = owner && IsWindowEnabled(owner);
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(tmpl.data()), owner,
        DialogProc, reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    if (ownerEnabled) // a quit ends the system's loop without enabling the owner again
        EnableWindow(owner, TRUE);
    if (error_)
        std::rethrow_exception(std::exchange(error_, nullptr));
    if (result == -1)
        throw Error(L"ダイアログを表示できません");
    return result;
}

void DialogBase::PlaceCentred(int clientWidth, int clientHeight) noexcept {
    RECT window, client;
    GetWindowRect(hwnd_, &window);
    GetClientRect(hwnd_, &client);
    const int w = clientWidth + (window.right - window.left) - client.right;
    const int h = clientHeight + (window.bottom - window.top) - client.bottom;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        reinterpret_cast<DialogBase*>(lp)->hwnd_ = dialog;
    }
    auto* self = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self)
        return FALSE;
    try {
        switch (msg) {
        case WM_INITDIALOG:
            self->CreateControls();
            return FALSE; // the focus is set
        case WM_GETFONT:
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(self->Font()));
            return TRUE;
        default:
            if (!self->HandleMessage(msg, wp, lp))
                return FALSE;
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
            return TRUE;
        }
    } catch (...) {
        if (!self->error_) // the first failure is the one that ended it
            self->error_ = std::current_exception();
        EndDialog(dialog, 0);
        return TRUE;
    }
}
