#pragma once
// Running this thread's messages in a test, which has no message loop of its own.

#include <windows.h>

// Runs the queued messages as the program's loop does (dialog keys go to dialogKeysFor), then
// goes on waiting and running them until ms have passed.
inline void Pump(HWND dialogKeysFor = nullptr, DWORD ms = 0) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue; // a destroyed main window asks to quit; the test goes on
            if (!dialogKeysFor || !IsDialogMessageW(dialogKeysFor, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (static_cast<LONG>(GetTickCount() - end) >= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
