// Time of the intake of one shell drop on the main window: 100, 1,000 and 5,000 real files,
// dropped on an empty list and on a list already holding 5,000 entries.
#include "Main.h"
#include "MessagePump.h"
#include "OpenMainWindow.h"
#include "ShellDrop.h"
#include "ThreadStartup.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::wstring> MakeFiles(const fs::path& dir, const std::wstring& prefix, int count) {
    fs::create_directories(dir);
    std::vector<std::wstring> paths;
    paths.reserve(static_cast<size_t>(count));
    // Shell order is not sorted: hand the names over back to front.
    for (int i = count - 1; i >= 0; --i) {
        wchar_t name[64];
        swprintf(name, 64, L"%ls_%05d 写真.jpg", prefix.c_str(), i);
        const std::wstring path = (dir / name).wstring();
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        paths.push_back(path);
    }
    return paths;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Drops `files` on a fresh, shown main window that first receives `before` (untimed).
double TimeDrop(const std::vector<std::wstring>& before, const std::vector<std::wstring>& files,
                int& countAfter) {
    const auto form = OpenMainWindow();
    if (!before.empty())
        SendShellDrop(form->Handle(), before);
    Pump();
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    SendShellDrop(form->Handle(), files);
    UpdateWindow(form->ListBox);
    QueryPerformanceCounter(&t1);
    countAfter = form->Files.Count();
    Pump();
    return Seconds(t0, t1);
}

} // namespace

int wmain() {
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;

    const fs::path root =
        fs::temp_directory_path() / (L"tablorin-bench-" + std::to_wstring(GetCurrentProcessId()));
    std::printf("creating files...\n");
    const auto held = MakeFiles(root / L"held", L"held", 5000);
    const auto dropped = MakeFiles(root / L"drop", L"drop", 5000);

    std::printf("%-28s %8s %10s\n", "case", "entries", "seconds");
    for (int n : {100, 1000, 5000}) {
        const std::vector<std::wstring> files(dropped.end() - n, dropped.end());
        for (bool onFull : {false, true}) {
            int count = 0;
            const double s = TimeDrop(onFull ? held : std::vector<std::wstring>{}, files, count);
            char label[64];
            std::snprintf(label, sizeof label, "%d files on %s list", n,
                          onFull ? "5,000-entry" : "empty");
            std::printf("%-28s %8d %10.3f\n", label, count, s);
            std::fflush(stdout);
        }
    }
    // The same names again: every one is already listed.
    {
        int count = 0;
        const double s = TimeDrop(held, held, count);
        std::printf("%-28s %8d %10.3f\n", "5000 duplicates on 5,000", count, s);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
