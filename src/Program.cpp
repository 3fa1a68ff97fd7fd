#include "Program.h"

#include "ErrorDisplay.h"
#include "Main.h"
#include "ThreadStartup.h"

int RunProgram(HINSTANCE instance, int show) {
    const ThreadStartup startup;

    TfrmMain form;
    HWND hwnd = nullptr;
    try {
        hwnd = form.Create(instance);
    } catch (...) {
        ShowCurrentException();
        return 1;
    }
    // Only a window that was made ends the loop that runs it.
    form.EndsProgram = true;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);

    MSG msg{};
    BOOL got = 0;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        if (!IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Only WM_QUIT carries an exit code; a loop that failed (-1) has none to give.
    return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
