// Memory over many builds in one run of the main window: 30 pictures at 3 per page built through
// the button (shell drop once, save dialog and information dialog answered) BUILDS times.
// Every 5 builds it prints private bytes (the system's figure, or committed private regions where
// it gives none), the bytes in use on the process's heaps, kernel handles,
// GDI and USER objects (as the system reports them; where it does not, the windows of the process
// are counted instead). Growth from build 5 to the last is printed at the end.
//   bench_build_memory [BUILDS] [--bare | --cancel] [--trace]
// With --bare the same calls are made by the bare client on the window's thread instead, to tell
// the program's growth from that of the system's COM and dialogs; with --cancel the button is
// pressed and the save dialog cancelled, so no build runs, to tell what the dialog leaves. With
// --trace the heap blocks allocated after build 10 and still alive after the last build are listed
// with their first bytes, to tell what grows.
#include "DialogAnswerer.h"
#include "Main.h"
#include "OpenMainWindow.h"
#include "ShellDrop.h"
#include "TestPictures.h"
#include "WordStub.h"
#include "BareClient.h"
#include "ThreadStartup.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Figures {
    double privateBytes = 0, heapBytes = 0;
    DWORD handles = 0, gdi = 0, user = 0, windows = 0;
};

// Bytes in busy blocks over all heaps of the process.
double HeapBytesInUse() {
    HANDLE heaps[64];
    const DWORD n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    double total = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

using Blocks = std::vector<std::pair<const void*, size_t>>;

// Busy heap blocks of the process, sorted by address. The list's own storage is reserved first and
// left out, so taking it does not change what it lists.
Blocks HeapBlocks() {
    Blocks blocks;
    blocks.reserve(1 << 20);
    HANDLE heaps[64];
    const DWORD n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    for (DWORD i = 0; i < n; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY && entry.lpData != blocks.data() &&
                blocks.size() < blocks.capacity())
                blocks.emplace_back(entry.lpData, entry.cbData);
        HeapUnlock(heaps[i]);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

// The blocks in `now` that were not in `before`, each with its size and first bytes as text.
void PrintNewBlocks(const Blocks& before, const Blocks& now) {
    size_t count = 0, bytes = 0;
    for (const auto& block : now) {
        if (block.first == before.data() || std::binary_search(before.begin(), before.end(), block))
            continue;
        ++count;
        bytes += block.second;
        char shown[49] = {};
        const auto* p = static_cast<const unsigned char*>(block.first);
        for (size_t i = 0; i < std::min<size_t>(block.second, 48); ++i)
            shown[i] = p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '.';
        std::printf("  new block %6zu bytes at %p  %s\n", block.second, block.first, shown);
    }
    std::printf("%zu new blocks, %zu bytes\n", count, bytes);
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}
BOOL CALLBACK CountTop(HWND hwnd, LPARAM count) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) {
        ++*reinterpret_cast<DWORD*>(count);
        EnumChildWindows(hwnd, CountChild, count);
    }
    return TRUE;
}

// Windows of this process: top-level, message-only, and their children.
DWORD ProcessWindows() {
    DWORD count = 0;
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&count));
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
        CountTop(w, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Committed private memory, counted region by region (some systems report no private usage).
double CommittedPrivateBytes() {
    double total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* at = nullptr; VirtualQuery(at, &info, sizeof(info)) == sizeof(info);
         at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += static_cast<double>(info.RegionSize);
        if (info.RegionSize == 0)
            break;
    }
    return total;
}

Figures Measure() {
    Figures f;
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof(pmc);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                             sizeof(pmc)))
        f.privateBytes = static_cast<double>(pmc.PrivateUsage);
    if (f.privateBytes == 0)
        f.privateBytes = CommittedPrivateBytes();
    f.heapBytes = HeapBytesInUse();
    GetProcessHandleCount(GetCurrentProcess(), &f.handles);
    f.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    f.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    f.windows = ProcessWindows();
    return f;
}

void Print(const char* label, const Figures& f) {
    std::printf("%-12s private %9.0f KB  heap in use %9.0f KB  handles %5lu  GDI %5lu  USER %5lu  "
                "windows %4lu\n",
                label, f.privateBytes / 1024, f.heapBytes / 1024,
                static_cast<unsigned long>(f.handles), static_cast<unsigned long>(f.gdi),
                static_cast<unsigned long>(f.user), static_cast<unsigned long>(f.windows));
    std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int builds = argc > 1 ? std::max(5, _wtoi(argv[1])) : 50;
    bool bare = false, cancel = false, trace = false;
    for (int i = 2; i < argc; ++i) {
        bare = bare || std::wstring(argv[i]) == L"--bare";
        cancel = cancel || std::wstring(argv[i]) == L"--cancel";
        trace = trace || std::wstring(argv[i]) == L"--trace";
    }
    Blocks tracedFrom;
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    const std::wstring dir = MakeTempFolder(L"tablorin-bench-memory");
    const std::vector<std::wstring> files = MakePictureSeries(dir, 30);
    const std::wstring output = dir + L"\\memory.docx";

    int result = 0;
    {
        const auto form = OpenMainWindow();
        SendShellDrop(form->Handle(), files);
        form->SetSpinValue(3);
        std::printf("%d builds of %d pictures, 3 per page, %s\n", builds, form->Files.Count(),
                    bare     ? "by the bare client"
                    : cancel ? "cancelled in the save dialog"
                             : "through the button");
        if (GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) == 0)
            std::printf("(the system reports no GDI or USER object counts here; 'windows' counts "
                        "the process's windows)\n");
        Print("before", Measure());
        Figures at5;
        for (int b = 1; b <= builds; ++b) {
            DeleteFileW(output.c_str());
            {
                StubSession session;
                bool done = true;
                if (bare) {
                    std::vector<std::wstring> files;
                    for (int i = 0; i < form->Files.Count(); ++i)
                        files.push_back(form->Files.At(i));
                    BareBuild(files, 3, output);
                } else if (cancel) {
                    DialogAnswerer answer(L"画像を添付するワードファイルの名前",
                                          DialogAction::Esc());
                    SendMessageW(form->Button4, BM_CLICK, 0, 0);
                    answer.Join();
                    done = answer.AllAnswered();
                } else {
                    // The second build on offers the last name: the typed name replaces it.
                    DialogAnswerer answer({{L"画像を添付するワードファイルの名前",
                                            DialogAction::TypeFileName(output)},
                                           {L"情報", DialogAction::Press(L"OK")}},
                                          120000);
                    SendMessageW(form->Button4, BM_CLICK, 0, 0);
                    answer.Join();
                    done = answer.AllAnswered();
                }
                session.WaitForExit(30000);
                if (!done) {
                    std::printf("build %d did not complete\n", b);
                    result = 1;
                    break;
                }
            }
            if (b == 1 || b % 5 == 0 || b == builds) {
                const Figures f = Measure();
                char label[32];
                std::snprintf(label, sizeof(label), "after %d", b);
                Print(label, f);
                if (b == 5)
                    at5 = f;
                if (trace && b == 10)
                    tracedFrom = HeapBlocks();
                if (trace && b == builds && b > 10)
                    PrintNewBlocks(tracedFrom, HeapBlocks());
                if (b == builds && b >= 5)
                    std::printf("growth from build 5 to %d: private %+.0f KB, heap in use %+.0f "
                                "KB, handles %+ld, GDI %+ld, USER %+ld, windows %+ld\n",
                                b, (f.privateBytes - at5.privateBytes) / 1024,
                                (f.heapBytes - at5.heapBytes) / 1024,
                                static_cast<long>(f.handles) - static_cast<long>(at5.handles),
                                static_cast<long>(f.gdi) - static_cast<long>(at5.gdi),
                                static_cast<long>(f.user) - static_cast<long>(at5.user),
                                static_cast<long>(f.windows) - static_cast<long>(at5.windows));
            }
        }
    }
    return result;
}
