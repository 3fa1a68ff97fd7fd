#include "FileList.h"

#include "Error.h"
#include "Handles.h"
#include "WindowBase.h"
#include "resource.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace {

constexpr UINT kAllFiles = 0xFFFFFFFF;

// An existing file: found by the search, not a folder, and its last-write time fits an MS-DOS
// date (1980 to 2107) once in local time. Names too long to be held whole, or holding characters
// that the search would read as a pattern (none can occur in a Windows file name), are none.
bool IsExistingFile(const std::wstring& path) {
    if (path.empty() || path.size() >= MAX_PATH || path.find_first_of(L"*?<>\"") != path.npos)
        return false;
    WIN32_FIND_DATAW data{};
    const UniqueFind find(NullIfInvalid(FindFirstFileW(path.c_str(), &data)));
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

// Sorts names in the user locale's order, ignoring case; names comparing equal keep their order.
void SortNoCase(std::vector<std::wstring>& names) {
    std::vector<std::pair<std::string, std::wstring>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names)
        keyed.emplace_back(SortKey(LOCALE_USER_DEFAULT, name), std::move(name));
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[i].second);
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

// At index, or at the end for -1.
void InsertLine(HWND list, int index, const std::wstring& text) {
    const LRESULT r = SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(text.c_str()));
    if (r == LB_ERR || r == LB_ERRSPACE)
        throw Error(L"行を挿入できません");
}

// The list does not repaint while lines are added, and repaints once at the end of the scope.
class RedrawPaused {
public:
    explicit RedrawPaused(HWND list) : list_(list) { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }
    RedrawPaused(const RedrawPaused&) = delete;
    RedrawPaused& operator=(const RedrawPaused&) = delete;
    ~RedrawPaused() {
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }

private:
    HWND list_;
};

// An arrow carrying a sheet of paper: the pointer while an entry is dragged over the list.
HCURSOR DragCursor() {
    HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_DRAGENTRY));
    return cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW);
}

} // namespace

TMouseButton ButtonOf(UINT msg) {
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_LBUTTONUP)
        return TMouseButton::mbLeft;
    if (msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK || msg == WM_MBUTTONUP)
        return TMouseButton::mbMiddle;
    return TMouseButton::mbRight;
}

bool IsPress(UINT msg) {
    return msg == WM_LBUTTONDOWN || msg == WM_MBUTTONDOWN || msg == WM_RBUTTONDOWN ||
           msg == WM_LBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK;
}

HWND TFileList::Create(HWND parent, int id, HFONT font) {
    constexpr DWORD kStyle = WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    list_ = CreateChild(parent, {.className = L"LISTBOX",
                                 .style = kStyle,
                                 .id = id,
                                 .font = font,
                                 .exStyle = WS_EX_CLIENTEDGE});
    SendMessageW(list_, LB_SETITEMHEIGHT, 0, 15);
    return list_;
}

int TFileList::Count() const {
    return static_cast<int>(SendMessageW(list_, LB_GETCOUNT, 0, 0));
}

std::wstring TFileList::At(int index) const {
    const LRESULT len = SendMessageW(list_, LB_GETTEXTLEN, index, 0);
    if (len == LB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    SendMessageW(list_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(len));
    return text;
}

std::vector<std::wstring> TFileList::Entries() const {
    std::vector<std::wstring> entries(static_cast<size_t>(std::max(Count(), 0)));
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = At(static_cast<int>(i));
    return entries;
}

void TFileList::UpdateHorizontalExtent() {
    int widest = 0;
    const int count = Count();
    if (count > 0) {
        WindowDc dc(list_);
        if (!dc.get())
            throw Error(L"リストの文字幅を測れません");
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(list_, WM_GETFONT, 0, 0));
        SelectObjectScope select(dc.get(), font ? font : GetStockObject(SYSTEM_FONT));
        for (int i = 0; i < count; ++i) {
            const std::wstring text = At(i);
            SIZE size{};
            if (GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size))
                widest = std::max(widest, static_cast<int>(size.cx));
        }
    }
    SendMessageW(list_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

bool TFileList::AddDropped(HDROP drop) {
    UniqueDrop owned(drop);
    std::vector<std::wstring> batch;
    {
        // The list's own exact search (whole string, ignoring case, in the list's locale) against
        // the list as it stands, through sort keys rather than a search for every dropped name.
        const LCID listLocale = static_cast<LCID>(SendMessageW(list_, LB_GETLOCALE, 0, 0));
        std::unordered_set<std::string> listed;
        for (const std::wstring& entry : Entries())
            listed.insert(SortKey(listLocale, entry));
        const UINT count = DragQueryFileW(drop, kAllFiles, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            std::wstring name = DroppedName(drop, i);
            if (IsExistingFile(name) && !listed.count(SortKey(listLocale, name)))
                batch.push_back(std::move(name));
        }
    }
    if (batch.empty())
        return false;
    SortNoCase(batch);
    const RedrawPaused quiet(list_);
    for (const auto& name : batch)
        InsertLine(list_, -1, name);
    return true;
}

void TFileList::MouseDown(TMouseButton button, int x, int y) {
    if (button == TMouseButton::mbRight)
        return;
    DragIndex = EntryAt(list_, x, y);
    if (Count() < 2 || Selected() == -1 || DragIndex == -1)
        return;
    // The list holds the mouse from the press until the release.
    dragging_ = true;
    dragButton_ = button;
    dragOverList_ = false;
    SetCapture(list_);
    SetCursor(DragCursor());
}

void TFileList::DragDrop(int x, int y) {
    const int count = Count();
    if (DragIndex < 0 || DragIndex >= count)
        return;
    int target = EntryAt(list_, x, y);
    if (target == -1)
        target = count - 1;
    if (target != DragIndex) {
        // The copy goes in first, so a refused insertion loses nothing.
        const std::wstring text = At(DragIndex);
        if (target > DragIndex) {
            InsertLine(list_, target + 1 < count ? target + 1 : -1, text);
            SendMessageW(list_, LB_DELETESTRING, static_cast<WPARAM>(DragIndex), 0);
        } else {
            InsertLine(list_, target, text);
            SendMessageW(list_, LB_DELETESTRING, static_cast<WPARAM>(DragIndex + 1), 0);
        }
    }
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(target), 0);
}

void TFileList::EndDrag() {
    dragging_ = false;
    dragOverList_ = false;
    if (GetCapture() == list_)
        ReleaseCapture();
}

// The list point (client coordinates) is over the list itself, not over another window.
bool TFileList::OverList(POINT client) const {
    POINT screen = client;
    ClientToScreen(list_, &screen);
    return WindowFromPoint(screen) == list_;
}

bool TFileList::DragMessage(UINT msg, WPARAM wp, LPARAM lp, TDragTarget& target) {
    if (!dragging_)
        return false;
    if (IsPress(msg)) // one drag at a time
        return true;
    const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    switch (msg) {
    case WM_MOUSEMOVE: {
        bool accept = false;
        if (OverList(pt)) {
            const TDragState state =
                dragOverList_ ? TDragState::dsDragMove : TDragState::dsDragEnter;
            dragOverList_ = true;
            accept = target.ListBoxDragOver(list_, pt.x, pt.y, state);
        } else if (dragOverList_) {
            dragOverList_ = false;
            target.ListBoxDragOver(list_, pt.x, pt.y, TDragState::dsDragLeave);
        }
        SetCursor(accept ? DragCursor() : LoadCursorW(nullptr, IDC_NO));
        return true;
    }
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP: {
        if (ButtonOf(msg) != dragButton_)
            return true;
        const bool drop =
            OverList(pt) && target.ListBoxDragOver(list_, pt.x, pt.y, TDragState::dsDragMove);
        EndDrag();
        if (drop)
            target.ListBoxDragDrop(list_, pt.x, pt.y);
        return false; // the list ends its own click tracking as well
    }
    case WM_KEYDOWN:
        if (wp == VK_ESCAPE)
            EndDrag();
        return true;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != list_)
            EndDrag();
        return false;
    case WM_CANCELMODE:
        EndDrag();
        return false;
    default:
        return false;
    }
}

int TFileList::Selected() const {
    const LRESULT selected = SendMessageW(list_, LB_GETCURSEL, 0, 0);
    return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

void TFileList::Delete(int index) {
    SendMessageW(list_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TFileList::Clear() {
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}
