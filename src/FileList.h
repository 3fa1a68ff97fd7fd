#pragma once
// The file list: the list box holding the entries, intake of shell drops, reordering by dragging,
// removal. It asks the user nothing: the main window's handlers do.

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// The button of a mouse press, double-click or release message.
TMouseButton ButtonOf(UINT msg);
// A press of a mouse button; the second press of a double-click is one too.
bool IsPress(UINT msg);

// The handlers a drag of an entry reports to (the list's owner).
class TDragTarget {
public:
    virtual bool ListBoxDragOver(HWND source, int x, int y, TDragState state) = 0;
    virtual void ListBoxDragDrop(HWND source, int x, int y) = 0;

protected:
    ~TDragTarget() = default;
};

class TFileList {
public:
    // The list box, a child of parent (destroyed with it), placed by the parent.
    HWND Create(HWND parent, int id, HFONT font);

    int Count() const;
    std::wstring At(int index) const;
    std::vector<std::wstring> Entries() const;

    // The existing files of a shell drop that are not listed yet, sorted, go to the end of the
    // list; the drop is released. True when entries were added.
    bool AddDropped(HDROP drop);
    // The list scrolls across its widest entry.
    void UpdateHorizontalExtent();
    // The selected entry, or -1.
    int Selected() const;
    void Delete(int index);
    void Clear();

    // Reordering: the press that may start a drag, and the move that ends it.
    void MouseDown(TMouseButton button, int x, int y);
    void DragDrop(int x, int y);
    // Mouse and key messages of the list while an entry is dragged; true when the drag used the
    // message up (the list must not see it).
    bool DragMessage(UINT msg, WPARAM wp, LPARAM lp, TDragTarget& target);

    int32_t DragIndex = -1; // the entry under the last left or middle press: the one a drag moves

private:
    void EndDrag();
    bool OverList(POINT client) const;

    HWND list_ = nullptr;
    bool dragging_ = false;
    TMouseButton dragButton_ = TMouseButton::mbLeft;
    bool dragOverList_ = false;
};
