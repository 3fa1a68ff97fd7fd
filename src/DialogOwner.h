#pragma once
// Which window a modal box of ours goes over.

#include <windows.h>

// The program's main window, which owns the message dialogs and the error box while it exists.
// The first window registered keeps the place until it is destroyed.
void RegisterMainWindow(HWND window) noexcept;
void UnregisterMainWindow(HWND window) noexcept;

// The owner for a modal box: the main window, or the window of ours that is modal over it (the
// version window). Without a main window, the thread's active window. Never the active window
// alone: after the user switched to another program that is null, and an ownerless box leaves
// the main window enabled, so a second command could start inside the first one's box.
HWND DialogOwner() noexcept;
