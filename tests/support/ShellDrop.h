#pragma once
// Builds a shell drop (HDROP with wide names) in this process, as Explorer would hand it over.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// A DROPFILES block in movable global memory; the receiver frees it with DragFinish.
HDROP MakeShellDrop(const std::vector<std::wstring>& paths, POINT point = {0, 0});

// Sends WM_DROPFILES with a fresh drop to the window and waits for it to be handled.
void SendShellDrop(HWND target, const std::vector<std::wstring>& paths, POINT point = {0, 0});
