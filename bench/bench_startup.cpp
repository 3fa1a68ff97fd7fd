// Start-up of the main window: the whole creation (controls, desktop folder, Word probe through the
// stand-in), the probe alone, showing with the first paint, and closing. Also one message dialog
// shown and answered. Prints the median, minimum and maximum of several runs.
#include "Main.h"
#include "MessageDialog.h"

#include "DialogAnswerer.h"
#include "MessagePump.h"
#include "WordStub.h"
#include "automation/Automation.h"
#include "ThreadStartup.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

void Print(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %8.1f ms   min %8.1f   max %8.1f   (%zu runs)\n", what,
                ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
}

} // namespace

int wmain() {
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    constexpr int runs = 7;
    std::vector<double> create, show, close, probe, dialog;
    {
        StubSession stub;
        for (int i = 0; i < runs; ++i) {
            TfrmMain form;
            double t0 = Now();
            HWND hwnd = form.Create(GetModuleHandleW(nullptr));
            double t1 = Now();
            ShowWindow(hwnd, SW_SHOWNORMAL);
            UpdateWindow(hwnd);
            Pump();
            double t2 = Now();
            DestroyWindow(hwnd);
            Pump();
            double t3 = Now();
            create.push_back(t1 - t0);
            show.push_back(t2 - t1);
            close.push_back(t3 - t2);
            stub.WaitForExit(10000);
        }
        for (int i = 0; i < runs; ++i) {
            static const automation::CallDesc version{L"Version",
                                                      automation::CallKind::PropertyGet};
            double t0 = Now();
            {
                automation::Variant word = automation::Create(L"Word.Application");
                automation::Variant v = automation::Call(word, version);
                automation::CompareWithInt(v, 12);
            }
            probe.push_back(Now() - t0);
            stub.WaitForExit(10000);
        }
    }
    for (int i = 0; i < runs; ++i) {
        DialogAnswerer answer(L"確認", DialogAction::Return(), 5000);
        double t0 = Now();
        MessageDialog(L"一覧をクリアします。よろしいですか？", TMsgDlgType::mtConfirmation,
                      TMsgDlgButtons::mbOKCancel);
        dialog.push_back(Now() - t0);
        answer.Join();
    }
    Print("create main window (probe included)", create);
    Print("probe alone (start Word stand-in, Version)", probe);
    Print("show and first paint", show);
    Print("destroy", close);
    Print("message dialog up and answered (150 ms wait)", dialog);
    return 0;
}
