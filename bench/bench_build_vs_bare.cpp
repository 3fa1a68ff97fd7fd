// The main button's build against a bare client making the same calls, in one run: same stand-in,
// same pictures, same order, alternating. The build goes as a user's does: the pictures dropped
// from the shell, the button pressed, the save dialog answered. The bare client is a thread that
// owns no window and calls IDispatch directly: per call one GetIDsOfNames and one Invoke, as the
// program makes them, with argument blocks built once. So its time is what the calls themselves
// cost. Both are timed from creating Word to the release after Quit; the button's time runs from
// the save dialog's destruction to the creation of the information dialog (a thread hook sees
// both). Prints both times, their ratio, minimum and median, and whether the journals match.
//   bench_build_vs_bare [ROUNDS_30] [ROUNDS_100]
#include "DialogAnswerer.h"
#include "Main.h"
#include "OpenMainWindow.h"
#include "ShellDrop.h"
#include "TestPictures.h"
#include "WordStub.h"
#include "BareClient.h"
#include "ThreadStartup.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t kSaveTitle[] = L"画像を添付するワードファイルの名前";
const wchar_t kInfoTitle[] = L"情報";

// ---- The build through the button ---------------------------------------------------------

Clock::time_point saveDialogGone, infoDialogMade;
bool sawSaveGone = false, sawInfoMade = false;

// Messages this thread handled while the build ran: message and window class -> count.
std::map<std::pair<UINT, std::wstring>, int> handled;
void Count(HWND hwnd, UINT msg) {
    if (!sawSaveGone || sawInfoMade)
        return;
    wchar_t cls[64] = L"(thread)";
    if (hwnd)
        GetClassNameW(hwnd, cls, 64);
    ++handled[{msg, cls}];
}
LRESULT CALLBACK WatchSent(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* m = reinterpret_cast<CWPSTRUCT*>(lp);
        Count(m->hwnd, m->message);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
LRESULT CALLBACK WatchQueued(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && wp == PM_REMOVE) {
        const MSG* m = reinterpret_cast<MSG*>(lp);
        Count(m->hwnd, m->message);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK WatchDialogs(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_DESTROYWND) {
        wchar_t title[64] = {};
        HWND hwnd = reinterpret_cast<HWND>(wp);
        if (GetAncestor(hwnd, GA_ROOT) == hwnd && GetWindowTextW(hwnd, title, 64) &&
            wcscmp(title, kSaveTitle) == 0) {
            saveDialogGone = Clock::now();
            lastCpu = ThreadCpu();
            sawSaveGone = true;
        }
    } else if (code == HCBT_CREATEWND && sawSaveGone && !sawInfoMade) {
        const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs;
        if (!(cs->style & WS_CHILD) && !IS_INTRESOURCE(cs->lpszName) && cs->lpszName &&
            wcscmp(cs->lpszName, kInfoTitle) == 0) {
            infoDialogMade = Clock::now();
            lastCpu = ThreadCpu() - lastCpu;
            sawInfoMade = true;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

double ButtonBuild(TfrmMain& form, const std::wstring& output, bool countMessages) {
    sawSaveGone = sawInfoMade = false;
    handled.clear();
    HHOOK sent = nullptr, queued = nullptr;
    if (countMessages) {
        sent = SetWindowsHookExW(WH_CALLWNDPROC, WatchSent, nullptr, GetCurrentThreadId());
        queued = SetWindowsHookExW(WH_GETMESSAGE, WatchQueued, nullptr, GetCurrentThreadId());
    }
    DialogAnswerer answer({{kSaveTitle, DialogAction::TypeFileName(output)},
                           {kInfoTitle, DialogAction::Press(L"OK")}},
                          600000);
    HHOOK hook = SetWindowsHookExW(WH_CBT, WatchDialogs, nullptr, GetCurrentThreadId());
    SendMessageW(form.Button4, BM_CLICK, 0, 0);
    UnhookWindowsHookEx(hook);
    if (sent)
        UnhookWindowsHookEx(sent);
    if (queued)
        UnhookWindowsHookEx(queued);
    answer.Join();
    if (!answer.AllAnswered() || !sawSaveGone || !sawInfoMade)
        return -1;
    return std::chrono::duration<double>(infoDialogMade - saveDialogGone).count();
}

// ---- Figures -------------------------------------------------------------------------------

struct Stats {
    double min, median;
};
Stats Of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2]};
}

bool Compare(int pictures, int rounds, const std::wstring& dir) {
    const std::vector<std::wstring> made = MakePictureSeries(dir, pictures);
    const auto form = OpenMainWindow();
    SendShellDrop(form->Handle(), made);
    form->SetSpinValue(3);
    std::vector<std::wstring> files;
    for (int i = 0; i < form->Files.Count(); ++i)
        files.push_back(form->Files.At(i));
    if (files.size() != made.size()) {
        std::printf("the list took %zu of %d pictures\n", files.size(), pictures);
        return false;
    }
    std::printf("%d pictures, 3 per page, in front of text\n", pictures);
    // 0: the button; 1: the bare client on a thread of its own; 2: the bare client on the
    // window's thread, with the window up (what waiting on a thread with windows costs).
    const char* const kName[3] = {"button", "bare", "bare on window thread"};
    std::vector<double> t[3], cpu[3], ratio;
    int journalsDiffer = 0;
    size_t calls = 0;
    for (int r = 0; r < rounds; ++r) {
        double tr[3] = {-1, -1, -1};
        std::vector<std::wstring> journal[3];
        // Rotate which goes first, so that drift on the shared host hits all alike.
        for (int k = 0; k < 3; ++k) {
            const int which = (k + r) % 3;
            const std::wstring output = dir + L"\\build" + std::to_wstring(which) + L".docx";
            DeleteFileW(output.c_str());
            StubSession session;
            if (which == 0)
                tr[0] = ButtonBuild(*form, output, r == 0);
            else if (which == 1)
                tr[1] = BareBuildOnOwnThread(files, 3, output);
            else {
                tr[2] = BareBuild(files, 3, output);
            }
            cpu[which].push_back(lastCpu);
            if (which != 0)
                std::printf("    %s: name lookups %.3f s (%zu), invocations %.3f s (%zu), "
                            "releases %.3f s (%zu)\n",
                            kName[which], parts.names, parts.nameCount, parts.invokes,
                            parts.invokeCount, parts.releases, parts.releaseCount);
            session.WaitForExit(30000);
            journal[which] = session.Journal();
            // The journals differ only in the output name, which each names in its SaveAs.
            for (std::wstring& line : journal[which])
                if (const size_t at = line.find(L"build" + std::to_wstring(which) + L".docx");
                    at != std::wstring::npos)
                    line.replace(at, 10, L"buildN.docx");
        }
        if (tr[0] < 0 || tr[1] < 0 || tr[2] < 0) {
            std::printf("round %d: a build did not complete\n", r + 1);
            return false;
        }
        for (int w = 1; w < 3; ++w)
            if (journal[w] != journal[0]) {
                ++journalsDiffer;
                size_t i = 0;
                while (i < journal[0].size() && i < journal[w].size() &&
                       journal[0][i] == journal[w][i])
                    ++i;
                std::printf("  %s: first difference at line %zu:\n    button: %ls\n    other:  "
                            "%ls\n",
                            kName[w], i + 1,
                            i < journal[0].size() ? journal[0][i].c_str() : L"(end)",
                            i < journal[w].size() ? journal[w][i].c_str() : L"(end)");
            }
        calls = 0;
        for (const std::wstring& line : journal[0])
            if (line.rfind(L"CREATE ", 0) != 0 && line.rfind(L"EXIT ", 0) != 0)
                ++calls;
        for (int w = 0; w < 3; ++w)
            t[w].push_back(tr[w]);
        ratio.push_back(tr[0] / tr[1]);
        std::printf("  round %d: button %.3f s, bare %.3f s, ratio %.3f; bare on window thread "
                    "%.3f s; calling thread CPU %.2f / %.2f / %.2f s\n",
                    r + 1, tr[0], tr[1], tr[0] / tr[1], tr[2], cpu[0].back(), cpu[1].back(),
                    cpu[2].back());
        if (r == 0 && !handled.empty()) {
            std::printf("  messages handled on the window's thread during the button's build:\n");
            for (const auto& [key, n] : handled)
                std::printf("    0x%04X to %ls: %d\n", key.first, key.second.c_str(), n);
        }
        std::fflush(stdout);
    }
    std::vector<double>& button = t[0];
    std::vector<double>& bare = t[1];
    const Stats b = Of(button), c = Of(bare), q = Of(ratio), cb = Of(cpu[0]), cc = Of(cpu[1]),
                w = Of(t[2]), cw = Of(cpu[2]);
    std::printf(
        "  %zu calls. button: min %.3f s, median %.3f s; bare: min %.3f s, median %.3f "
        "s\n  ratio of minima %.3f, ratio of medians %.3f; per round: min %.3f, median "
        "%.3f\n  extra per call (medians): %.3f ms; journals identical in %d of %d rounds\n",
        calls, b.min, b.median, c.min, c.median, b.min / c.min, b.median / c.median, q.min,
        q.median, 1000.0 * (b.median - c.median) / static_cast<double>(calls),
        rounds - journalsDiffer, rounds);
    std::printf("  calling thread CPU (median): button %.3f s (%.1f us per call), bare %.3f s "
                "(%.1f us per call)\n",
                cb.median, 1e6 * cb.median / static_cast<double>(calls), cc.median,
                1e6 * cc.median / static_cast<double>(calls));
    std::printf("  bare on the window's thread: min %.3f s, median %.3f s (ratio to bare: min "
                "%.3f, median %.3f), CPU %.3f s\n",
                w.min, w.median, w.min / c.min, w.median / c.median, cw.median);
    std::fflush(stdout);
    return journalsDiffer == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds30 = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    const int rounds100 = argc > 2 ? std::max(0, _wtoi(argv[2])) : 3;
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    // A journal that differs is reported and counted; the figures of both sizes are still wanted.
    bool ok = Compare(30, rounds30, MakeTempFolder(L"tablorin-bench-bare30"));
    if (rounds100 > 0)
        ok = Compare(100, rounds100, MakeTempFolder(L"tablorin-bench-bare100")) && ok;
    return ok ? 0 : 1;
}
