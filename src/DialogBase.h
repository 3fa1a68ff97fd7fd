#pragma once
// The shape of the program's modal dialogs: a template made in memory, the system's modal loop,
// the object kept in DWLP_USER from WM_INITDIALOG on, and no exception out of the dialog
// procedure: a handler's failure ends the dialog and is thrown again to whoever showed it.

#include "Handles.h"

#include <windows.h>

#include <exception>

class DialogBase {
public:
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    HWND Handle() const noexcept { return hwnd_; }

protected:
    DialogBase() = default;
    ~DialogBase() = default;

    // Shows the dialog over the owner, which is disabled meanwhile, and returns the result given
    // to End, or 0 when a quit or the owner's end closed it. Throws what a handler threw, or
    // "ダイアログを表示できません".
    INT_PTR ShowModal(HWND owner, const wchar_t* title, DWORD style, DWORD exStyle);
    void End(INT_PTR result) noexcept { EndDialog(hwnd_, result); }
    // Gives the client area this size and centres the window on the screen.
    void PlaceCentred(int clientWidth, int clientHeight) noexcept;
    // The dialog's font ("ＭＳ Ｐゴシック" 12 px), which its controls use too.
    HFONT Font() const noexcept { return font_.get(); }

    // At WM_INITDIALOG: makes the controls and puts the focus on one.
    virtual void CreateControls() = 0;
    // Handles a message and says whether it did.
    virtual bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp) = 0;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept;

    HWND hwnd_ = nullptr;
    UniqueFont font_;
    std::exception_ptr error_;
};
