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
    HWND Panel1 = nullptr;      // the strip along the top that holds every control but the list
    HWND Label1 = nullptr;      // 「1頁に貼り付ける画像の数」, above Spin
    HWND Spin = nullptr;        // pictures per page (1..10): the spin field's edit box
    HWND SpinButtons = nullptr; // its up and down buttons, inside the edit box
    HWND RadioGroup = nullptr; // 「折り返しの種類と配置」: the group box around the wrap choice
    HWND RadioItems[2] = {nullptr, nullptr}; // 「前面」 and 「四角」
    HWND Button4 = nullptr; // 「名前を付けて保存　→　貼り付け開始」: builds the document
    HWND Button3 = nullptr;   // 「一覧クリア」: empties the list
    HWND Button1 = nullptr;   // 「行クリア」: removes the selected row
    HWND Button2 = nullptr;   // 「バージョン」: opens the version window
    HWND ListBox = nullptr;   // the pictures to place, in order; files are dropped onto the window
    HWND StatusBar = nullptr; // the number of files, as 「3ファイル」
    TSaveDialog SaveDialog;   // asks for the document's name; keeps the last one chosen
    TFileList Files;          // the entries of ListBox

    wchar_t DesktopPath[MAX_PATH + 1] = {}; // where the save dialog first opens

    // Handlers.
    void FormCreate();   // start values, the save dialog's folder and file type, drops accepted
    void Button1Click(); // 「行クリア」
    void Button2Click(); // 「バージョン」
    void Button3Click(); // 「一覧クリア」
    void Button4Click(); // 「名前を付けて保存　→　貼り付け開始」
    // The list's gestures go back to the list (the press that starts dragging an entry, the
    // pointer over the list, the release that moves the entry); a drop is accepted anywhere over
    // it. The drag reaches these through TDragTarget, so the list need not know this window.
    void ListBoxMouseDown(TMouseButton button, UINT, int x, int y) {
        Files.MouseDown(button, x, y);
    }
    bool ListBoxDragOver(HWND, int, int, TDragState) override { return true; }
    void ListBoxDragDrop(HWND, int x, int y) override { Files.DragDrop(x, y); }
    void WMDropFiles(HDROP drop); // files dropped from Explorer join the list

    void UpdateStatusText(); // the count in the status bar, as 「3ファイル」
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
