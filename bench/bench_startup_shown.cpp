// Start-up as a user sees it: from starting the program's process to its main window shown (made
// visible) and in its message loop (past the first paint), next to a bare window program that makes
// the same Word probe (create "Word.Application", read Version, compare with 12) and then shows an
// empty window. Alternating, several runs; prints minimum and median.
//   bench_startup_shown [RUNS]
// (Run with "--bare-window" this program is the bare window.)
#include "WordStub.h"
#include "automation/Automation.h"
#include "ThreadStartup.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

int BareWindow() {
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    bool docx = false;
    {
        static const automation::CallDesc kVersion{L"Version", automation::CallKind::PropertyGet};
        automation::Variant word = automation::Create(L"Word.Application");
        const automation::Variant version = automation::Call(word, kVersion);
        docx = automation::CompareWithInt(version, 12) >= 0;
    }
    WNDCLASSEXW wc{sizeof(wc)};
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(hwnd, msg, wp, lp);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"BareProbeWindow";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, docx ? L"docx" : L"doc", WS_OVERLAPPEDWINDOW,
                                100, 100, 604, 450, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

struct Found {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lp) {
    auto* found = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == found->pid && IsWindowVisible(hwnd) && !GetWindow(hwnd, GW_OWNER)) {
        found->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct Times {
    double shown = -1, idle = -1;
};

// Starts the program, waits for its visible main window and for its first idle moment, closes it.
Times StartAndClose(const std::wstring& exe, const std::wstring& args) {
    std::wstring command = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{sizeof(si)};
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    Times t;
    const auto t0 = Clock::now();
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return t;
    Found found{pi.dwProcessId, nullptr};
    for (int i = 0; i < 60000 && !found.hwnd; ++i) {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&found));
        if (!found.hwnd)
            Sleep(1);
    }
    if (found.hwnd) {
        t.shown = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        // Answered once the window's thread is in its message loop, past the first paint.
        // (WaitForInputIdle does not wait for a console program.)
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(found.hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer))
            t.idle = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        PostMessageW(found.hwnd, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return t;
}

void Print(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("  %-36s min %7.1f ms   median %7.1f ms   (%zu runs)\n", what, ms.front(),
                ms[ms.size() / 2], ms.size());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--bare-window")
        return BareWindow();
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 7;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    dir.resize(dir.find_last_of(L"\\/"));
    const std::wstring program = dir.substr(0, dir.find_last_of(L"\\/")) + L"\\src\\tablorin.exe";
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("no program at %ls\n", program.c_str());
        return 1;
    }
    std::vector<double> shownProgram, idleProgram, shownBare, idleBare;
    for (int r = 0; r < runs; ++r) {
        for (int which = 0; which < 2; ++which) {
            const bool programTurn = (which == 0) == (r % 2 == 0);
            StubSession session;
            const Times t =
                programTurn ? StartAndClose(program, L"") : StartAndClose(self, L"--bare-window");
            session.WaitForExit(10000);
            if (t.shown < 0 || t.idle < 0) {
                std::printf("run %d: the %s window did not show\n", r + 1,
                            programTurn ? "program's" : "bare");
                return 1;
            }
            (programTurn ? shownProgram : shownBare).push_back(t.shown);
            (programTurn ? idleProgram : idleBare).push_back(t.idle);
        }
    }
    std::printf(
        "start-up, process start to main window (Word probe through the stand-in in both)\n");
    Print("program: window visible", shownProgram);
    Print("bare window + probe: window visible", shownBare);
    Print("program: in its message loop", idleProgram);
    Print("bare window + probe: in message loop", idleBare);
    return 0;
}
