// How long the main button takes to build 100 pictures at 3 per page through the Word stand-in,
// how many calls that makes, and how much of the time this process itself spends working.
//   bench_document_build [RUNS]
#include "DialogAnswerer.h"
#include "Main.h"
#include "TestPictures.h"
#include "WordStub.h"
#include "ThreadStartup.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
}

// User and kernel time of a process so far.
double ProcessCpuSeconds(HANDLE process = GetCurrentProcess()) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return Seconds(kernel) + Seconds(user);
}

// Catches the stand-in's process while it runs, so its times can be read once it has exited.
class ServerWatch {
public:
    ServerWatch() : thread_([this] { Run(); }) {}
    ~ServerWatch() {
        Stop();
        if (process_)
            CloseHandle(process_);
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    double CpuSeconds() const { return process_ ? ProcessCpuSeconds(process_) : -1; }

private:
    void Run() {
        while (!stop_ && !process_) {
            HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32W entry{sizeof(entry)};
            for (BOOL more = Process32FirstW(snap, &entry); more && !process_;
                 more = Process32NextW(snap, &entry))
                if (_wcsicmp(entry.szExeFile, L"WordStub.exe") == 0)
                    process_ = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                           entry.th32ProcessID);
            CloseHandle(snap);
            Sleep(2);
        }
    }
    HANDLE process_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Run {
    double wall = 0, cpu = 0, serverCpu = -1;
    size_t calls = 0;
    bool ok = false;
};

Run BuildOnce(TfrmMain& form, const std::wstring& output) {
    DeleteFileW(output.c_str());
    StubSession session;
    DialogAnswerer answer(
        {{L"画像を添付するワードファイルの名前", DialogAction::TypeFileName(output)},
         {L"情報", DialogAction::Press(L"OK")}},
        300000);
    ServerWatch server;
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    SendMessageW(form.Button4, BM_CLICK, 0, 0);
    const auto t1 = std::chrono::steady_clock::now();
    Run run;
    run.cpu = ProcessCpuSeconds() - cpu0;
    run.wall = std::chrono::duration<double>(t1 - t0).count();
    answer.Join();
    session.WaitForExit();
    server.Stop();
    run.serverCpu = server.CpuSeconds();
    for (const std::wstring& line : session.Journal())
        if (line.rfind(L"CREATE ", 0) != 0 && line.rfind(L"EXIT ", 0) != 0)
            ++run.calls;
    run.ok = answer.AllAnswered() && GetFileAttributesW(output.c_str()) != INVALID_FILE_ATTRIBUTES;
    return run;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;

    const std::wstring dir = MakeTempFolder(L"tablorin-bench-build");
    TfrmMain form;
    form.Create(GetModuleHandleW(nullptr));
    ShowWindow(form.Handle(), SW_SHOW);
    for (int i = 0; i < 100; ++i) {
        const std::wstring path = dir + L"\\picture" + std::to_wstring(1000 + i) + L".png";
        WriteTestPicture(path, PictureFormat::Png, 64 + i, 48);
        SendMessageW(form.ListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    }
    form.SetSpinValue(3);

    std::printf("document build: 100 pictures, 3 per page, 36 lines per page, in front of text\n");
    std::vector<Run> results;
    for (int r = 0; r < runs; ++r) {
        const Run run = BuildOnce(form, dir + L"\\bench.docx");
        if (!run.ok) {
            std::printf("run %d: the build did not complete\n", r + 1);
            return 1;
        }
        std::printf("run %d: wall %.3f s, %zu calls, %.0f calls/s; CPU: own process %.3f s "
                    "(%.0f%% of wall), stand-in %.3f s (%.0f%%)\n",
                    r + 1, run.wall, run.calls, run.calls / run.wall, run.cpu,
                    100.0 * run.cpu / run.wall, run.serverCpu, 100.0 * run.serverCpu / run.wall);
        results.push_back(run);
    }
    std::sort(results.begin(), results.end(),
              [](const Run& a, const Run& b) { return a.wall < b.wall; });
    const Run& median = results[results.size() / 2];
    std::printf("median: wall %.3f s, %zu calls, %.0f calls/s, own process CPU %.3f s (%.0f%%)\n",
                median.wall, median.calls, median.calls / median.wall, median.cpu,
                100.0 * median.cpu / median.wall);
    std::printf("(wall time covers the click to the closed information dialog, including the two "
                "dialogs answered by the watcher)\n");
    return 0;
}
