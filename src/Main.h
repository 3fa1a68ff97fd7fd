#pragma once
// The main window: file list, pictures-per-page spin field, wrap choice and the four buttons.

#include "DocumentBuild.h"
#include "FileList.h"
#include "Handles.h"
#include "SaveDialog.h"
#include "SpinEdit.h"
#include "WindowBase.h"
#include "automation/Automation.h"

#include <windows.h>

#include <string>

class TfrmMain : public WindowBase<TfrmMain>, public TDragTarget {
public:
    static constexpr wchar_t kClassName[] = L"TfrmMain";

    ~TfrmMain();

    // Registers the class and creates the window; FormCreate runs inside. Not shown yet.
    HWND Create(HINSTANCE instance);
    // The program's main window ends the message loop when it is destroyed; other instances
    // (tests) leave the thread's loop alone.
    bool EndsProgram = false;

    // Controls (children are destroyed with the window).
    HWND Panel1 = nullptr;
    HWND Label1 = nullptr;
    HWND Spin = nullptr;        // the spin field's edit box
    HWND SpinButtons = nullptr; // its up and down buttons, inside the edit box
    HWND RadioGroup = nullptr;  // group box
    HWND RadioItems[2] = {nullptr, nullptr};
    HWND Button4 = nullptr;
    HWND Button3 = nullptr;
    HWND Button1 = nullptr;
    HWND Button2 = nullptr;
    HWND ListBox = nullptr;
    HWND StatusBar = nullptr;
    TSaveDialog SaveDialog;
    TFileList Files; // the entries of ListBox

    wchar_t DesktopPath[MAX_PATH + 1] = {};

    // Handlers.
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    // The list's gestures go back to the list; a drop is accepted anywhere over it.
    void ListBoxMouseDown(TMouseButton button, UINT, int x, int y) {
        Files.MouseDown(button, x, y);
    }
    bool ListBoxDragOver(HWND, int, int, TDragState) override { return true; }
    void ListBoxDragDrop(HWND, int x, int y) override { Files.DragDrop(x, y); }
    void WMDropFiles(HDROP drop);

    void UpdateStatusText();
    // A document build is running: the hourglass shows over the whole window.
    bool Building() const { return screenCursor_ != nullptr; }

    // Pictures per page: 1..10 after the field was left; non-integer text reads as 1.
    int SpinValue() const { return spin_.Value(); }
    void SetSpinValue(int value) { spin_.SetValue(value); }
    // The radio group's item 1 is "四角", item 0 "前面".
    Wrap WrapChoice() const {
        return SendMessageW(RadioItems[1], BM_GETCHECK, 0, 0) == BST_CHECKED ? Wrap::Square
                                                                             : Wrap::InFront;
    }
    std::wstring StatusText() const;

private:
    friend class WindowBase<TfrmMain>;
    static void DescribeClass(WNDCLASSEXW& wc);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT ListBoxMessage(HWND list, UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    void LayoutControls();
    void OnCommand(HWND control, int code);
    void CreateRadioGroup();
    void RadioGroupClick(int index);
    void RestoreFocus();
    void Warn(const wchar_t* text);
    class Hourglass;

    UniqueFont font_;     // "ＭＳ Ｐゴシック" 12 px
    UniqueFont listFont_; // "ＭＳ Ｐゴシック" 15 px
    TSpinEdit spin_;
    HWND lastFocus_ = nullptr;       // the focused control when the window was last deactivated
    HCURSOR screenCursor_ = nullptr; // for the whole window (null: each control shows its own)
    automation::WaitQuestion previousQuestion_ = nullptr; // put back when the window goes
};
