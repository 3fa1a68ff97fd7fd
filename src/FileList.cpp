// The file list: intake of shell drops, reordering by dragging, clearing.
#include "Main.h"

#include "Error.h"
#include "MessageDialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr UINT kAllFiles = 0xFFFFFFFF;

// True when the name is a path that can be handed to the file search as it stands: short enough
// to be held whole, and free of characters that the search would read as a pattern (none of them
// can occur in a Windows file name).
bool IsPlainPath(const std::wstring& path) {
    return !path.empty() && path.size() < MAX_PATH && path.find_first_of(L"*?<>\"") == path.npos;
}

// An existing file: found by the search, not a folder, and its last-write time fits an MS-DOS
// date (1980 to 2107) once in local time.
bool IsExistingFile(const std::wstring& path) {
    if (!IsPlainPath(path))
        return false;
    WIN32_FIND_DATAW data{};
    UniqueFind find(FindFirstFileW(path.c_str(), &data));
    if (!find)
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    FILETIME local{};
    SYSTEMTIME when{};
    WORD dosDate = 0, dosTime = 0;
    // The year is checked as well: some systems convert dates past 2107 with a wrapped year.
    return FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
           FileTimeToSystemTime(&local, &when) && when.wYear >= 1980 && when.wYear <= 2107 &&
           FileTimeToDosDateTime(&local, &dosDate, &dosTime);
}

// The i-th name of a drop; empty when it does not fit a path (260 characters or more).
std::wstring DroppedName(HDROP drop, UINT index) {
    const UINT length = DragQueryFileW(drop, index, nullptr, 0);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::wstring name(length + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, index, name.data(), length + 1);
    name.resize(copied);
    return name;
}

// A string's sort key under the locale, ignoring case: two texts compare equal (or in order) with
// CompareStringW(locale, NORM_IGNORECASE) exactly when their keys do, byte by byte.
std::string SortKey(LCID locale, const std::wstring& text) {
    constexpr DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int size = static_cast<int>(text.size());
    const int bytes = LCMapStringW(locale, flags, text.c_str(), size, nullptr, 0);
    if (bytes <= 0)
        throw Error(L"ファイル名を比較できません");
    std::string key(static_cast<size_t>(bytes), '\0');
    LCMapStringW(locale, flags, text.c_str(), size, reinterpret_cast<LPWSTR>(key.data()), bytes);
    return key;
}

// The list's entries as they stand, for the whole-string, case-insensitive lookup that the list's
// own exact search makes (same comparison, same locale), but without comparing every dropped name
// with every entry.
class ListedNames {
public:
    ListedNames(const TfrmMain& form, LCID locale) : locale_(locale) {
        const int count = form.FileCount();
        keys_.reserve(static_cast<size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i)
            keys_.insert(SortKey(locale_, form.FileAt(i)));
    }

    bool Contains(const std::wstring& name) const {
        return keys_.count(SortKey(locale_, name)) != 0;
    }

private:
    LCID locale_;
    std::unordered_set<std::string> keys_;
};

// Sorts names in the user locale's order, ignoring case; names comparing equal keep their order.
void SortNoCase(std::vector<std::wstring>& names) {
    std::vector<std::pair<std::string, std::wstring*>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names)
        keyed.emplace_back(SortKey(LOCALE_USER_DEFAULT, name), &name);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::wstring> sorted;
    sorted.reserve(names.size());
    for (auto& entry : keyed)
        sorted.push_back(std::move(*entry.second));
    names = std::move(sorted);
}

// The list's answer to a point: the entry under it, or -1 when the point is not on an entry.
int EntryAt(HWND list, int x, int y) {
    if (SendMessageW(list, LB_GETCOUNT, 0, 0) <= 0)
        return -1;
    const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
    if (HIWORD(hit) != 0)
        return -1;
    // The answer keeps only the low 16 bits of the index. Fewer than 65,536 rows are ever
    // visible, so the entry is the first one at or after the top row with those low bits.
    const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    if (top == LB_ERR)
        return static_cast<int>(LOWORD(hit));
    int64_t index = (static_cast<int64_t>(top) & ~int64_t{0xFFFF}) | LOWORD(hit);
    if (index < top)
        index += 0x10000;
    return static_cast<int>(index);
}

void InsertLine(HWND list, int index, const std::wstring& text) {
    const LRESULT r = SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(text.c_str()));
    if (r == LB_ERR || r == LB_ERRSPACE)
        throw Error(L"行を挿入できません");
}

void AppendLine(HWND list, const std::wstring& text) {
    const LRESULT r = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (r == LB_ERR || r == LB_ERRSPACE)
        throw Error(L"行を挿入できません");
}

// Stops the list from repainting after every added line; one repaint follows at the end.
class RedrawSuspended {
public:
    explicit RedrawSuspended(HWND list) : list_(list) {
        SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    }
    RedrawSuspended(const RedrawSuspended&) = delete;
    RedrawSuspended& operator=(const RedrawSuspended&) = delete;
    ~RedrawSuspended() {
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }

private:
    HWND list_;
};

// An arrow carrying a sheet of paper: the pointer while an entry is dragged over the list.
UniqueCursor MakeDragCursor() {
    static constexpr const char* kArrow[] = {
        "X",        "XX",       "XoX",       "XooX",       "XoooX",       "XooooX",
        "XoooooX",  "XooooooX", "XoooooooX", "XooooooooX", "XoooooXXXXX", "XooXooX",
        "XoX.XooX", "XX..XooX", "X....XooX", ".....XooX",  "......XX",
    };
    constexpr int kSize = 32, kRowBytes = kSize / 8;
    char shape[kSize][kSize];
    std::memset(shape, '.', sizeof shape);
    for (int y = 0; y < static_cast<int>(std::size(kArrow)); ++y)
        for (int x = 0; kArrow[y][x]; ++x)
            shape[y][x] = kArrow[y][x];
    for (int y = 18; y <= 29; ++y) // the sheet, below and to the right of the tip
        for (int x = 9; x <= 19; ++x)
            shape[y][x] = (y == 18 || y == 29 || x == 9 || x == 19) ? 'X' : 'o';
    BYTE andMask[kSize * kRowBytes], xorMask[kSize * kRowBytes];
    std::memset(andMask, 0xFF, sizeof andMask);
    std::memset(xorMask, 0, sizeof xorMask);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
            if (shape[y][x] != '.')
                andMask[y * kRowBytes + x / 8] &= static_cast<BYTE>(~bit);
            if (shape[y][x] == 'o')
                xorMask[y * kRowBytes + x / 8] |= bit;
        }
    return UniqueCursor(
        CreateCursor(GetModuleHandleW(nullptr), 0, 0, kSize, kSize, andMask, xorMask));
}

HCURSOR DragCursor() {
    static const UniqueCursor cursor = MakeDragCursor();
    return cursor ? cursor.get() : LoadCursorW(nullptr, IDC_ARROW);
}
HCURSOR NoDropCursor() {
    return LoadCursorW(nullptr, IDC_NO);
}

} // namespace

void TfrmMain::UpdateStatusText() {
    const std::wstring text = std::to_wstring(FileCount()) + L"ファイル";
    SendMessageW(StatusBar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void TfrmMain::UpdateHorizontalExtent() {
    int widest = 0;
    const int count = FileCount();
    if (count > 0) {
        WindowDc dc(ListBox);
        if (!dc.get())
            throw Error(L"リストの文字幅を測れません");
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(ListBox, WM_GETFONT, 0, 0));
        SelectObjectScope select(dc.get(), font ? font : GetStockObject(SYSTEM_FONT));
        for (int i = 0; i < count; ++i) {
            const std::wstring text = FileAt(i);
            SIZE size{};
            if (GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size))
                widest = std::max(widest, static_cast<int>(size.cx));
        }
    }
    SendMessageW(ListBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

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

void TfrmMain::WMDropFiles(HDROP drop) {
    UniqueDrop owned(drop);
    std::vector<std::wstring> batch;
    {
        const UINT count = DragQueryFileW(drop, kAllFiles, nullptr, 0);
        const LCID listLocale = static_cast<LCID>(SendMessageW(ListBox, LB_GETLOCALE, 0, 0));
        const ListedNames listed(*this, listLocale);
        for (UINT i = 0; i < count; ++i) {
            std::wstring name = DroppedName(drop, i);
            if (IsExistingFile(name) && !listed.Contains(name))
                batch.push_back(std::move(name));
        }
    }
    if (!batch.empty()) {
        SortNoCase(batch);
        {
            RedrawSuspended quiet(ListBox);
            for (const auto& name : batch)
                AppendLine(ListBox, name);
        }
        UpdateStatusText();
    }
    batch.clear();
    owned.reset();
    if (FileCount() > 0)
        UpdateHorizontalExtent();
}

void TfrmMain::ListBoxMouseDown(TMouseButton button, UINT, int x, int y) {
    if (button == TMouseButton::mbRight)
        return;
    DragIndex = EntryAt(ListBox, x, y);
    const bool selected = SendMessageW(ListBox, LB_GETCURSEL, 0, 0) != LB_ERR;
    if (FileCount() >= 2 && selected && DragIndex != -1)
        BeginListDrag(button);
}

bool TfrmMain::ListBoxDragOver(HWND, int, int, TDragState) {
    return true;
}

void TfrmMain::ListBoxDragDrop(HWND, int x, int y) {
    const int count = FileCount();
    if (DragIndex < 0 || DragIndex >= count)
        return;
    int target = EntryAt(ListBox, x, y);
    if (target == -1)
        target = count - 1;
    if (target != DragIndex) {
        // The copy goes in first, so a refused insertion loses nothing.
        const std::wstring text = FileAt(DragIndex);
        if (target > DragIndex) {
            InsertLine(ListBox, target + 1 < count ? target + 1 : -1, text);
            SendMessageW(ListBox, LB_DELETESTRING, static_cast<WPARAM>(DragIndex), 0);
        } else {
            InsertLine(ListBox, target, text);
            SendMessageW(ListBox, LB_DELETESTRING, static_cast<WPARAM>(DragIndex + 1), 0);
        }
    }
    SendMessageW(ListBox, LB_SETCURSEL, static_cast<WPARAM>(target), 0);
}

// ---- The drag gesture: the list holds the mouse from the press until the release. ----

void TfrmMain::BeginListDrag(TMouseButton button) {
    dragging_ = true;
    dragButton_ = button;
    dragOverList_ = false;
    SetCapture(ListBox);
    SetCursor(DragCursor());
}

void TfrmMain::EndListDrag() {
    if (!dragging_)
        return;
    dragging_ = false;
    dragOverList_ = false;
    if (GetCapture() == ListBox)
        ReleaseCapture();
}

// The list point (client coordinates) is over the list itself, not over another window.
bool TfrmMain::OverList(POINT client) const {
    POINT screen = client;
    ClientToScreen(ListBox, &screen);
    return WindowFromPoint(screen) == ListBox;
}

bool TfrmMain::ListBoxDragMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (!dragging_)
        return false;
    const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    switch (msg) {
    case WM_MOUSEMOVE: {
        bool accept = false;
        if (OverList(pt)) {
            const TDragState state =
                dragOverList_ ? TDragState::dsDragMove : TDragState::dsDragEnter;
            dragOverList_ = true;
            accept = ListBoxDragOver(ListBox, pt.x, pt.y, state);
        } else if (dragOverList_) {
            dragOverList_ = false;
            ListBoxDragOver(ListBox, pt.x, pt.y, TDragState::dsDragLeave);
        }
        SetCursor(accept ? DragCursor() : NoDropCursor());
        return true;
    }
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP: {
        const TMouseButton released = msg == WM_LBUTTONUP   ? TMouseButton::mbLeft
                                      : msg == WM_MBUTTONUP ? TMouseButton::mbMiddle
                                                            : TMouseButton::mbRight;
        if (released != dragButton_)
            return true;
        const bool drop =
            OverList(pt) && ListBoxDragOver(ListBox, pt.x, pt.y, TDragState::dsDragMove);
        EndListDrag();
        if (drop)
            ListBoxDragDrop(ListBox, pt.x, pt.y);
        return false; // the list ends its own click tracking as well
    }
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
        return true;
    case WM_KEYDOWN:
        if (wp != VK_ESCAPE)
            return true;
        EndListDrag();
        return true;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != ListBox) {
            dragging_ = false;
            dragOverList_ = false;
        }
        return false;
    case WM_CANCELMODE:
        EndListDrag();
        return false;
    default:
        return false;
    }
}

void TfrmMain::Button1Click() {
    if (FileCount() == 0) {
        MessageDialog(L"一覧にファイルを追加して下さい。", TMsgDlgType::mtWarning,
                      TMsgDlgButtons::mbOK);
        SetFocus(ListBox);
        return;
    }
    const LRESULT selected = SendMessageW(ListBox, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) {
        MessageDialog(L"クリアする行を選択して下さい。", TMsgDlgType::mtWarning,
                      TMsgDlgButtons::mbOK);
        SetFocus(ListBox);
        return;
    }
    if (MessageDialog(L"行をクリアします。よろしいですか？", TMsgDlgType::mtConfirmation,
                      TMsgDlgButtons::mbOKCancel) != TModalResult::mrOk)
        return;
    SendMessageW(ListBox, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    UpdateStatusText();
}

void TfrmMain::Button3Click() {
    if (MessageDialog(L"一覧をクリアします。よろしいですか？", TMsgDlgType::mtConfirmation,
                      TMsgDlgButtons::mbOKCancel) != TModalResult::mrOk)
        return;
    SendMessageW(ListBox, LB_RESETCONTENT, 0, 0);
    UpdateStatusText();
    UpdateHorizontalExtent();
}
