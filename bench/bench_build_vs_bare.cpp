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
#include "ShellDrop.h"
#include "TestPictures.h"
#include "WordStub.h"

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

namespace {

// CPU time (user and kernel) of the calling thread so far.
double ThreadCpu() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto s = [](const FILETIME& ft) {
        return static_cast<double>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) |
                                   ft.dwLowDateTime) /
               1e7;
    };
    return s(kernel) + s(user);
}
double lastCpu = 0; // CPU time of the thread that made the last build's calls

const wchar_t kSaveTitle[] = L"画像を添付するワードファイルの名前";
const wchar_t kInfoTitle[] = L"情報";

// ---- The bare client ----------------------------------------------------------------------

[[noreturn]] void Fail(const char* what, HRESULT hr) {
    std::printf("bare client: %s failed, 0x%08lX\n", what, static_cast<unsigned long>(hr));
    std::fflush(stdout);
    ExitProcess(3);
}

// One call site: member and named-argument names, resolved together on every call as the
// program does.
struct Site {
    std::vector<const wchar_t*> names; // member first
    WORD kind;
};

const WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
const Site sDocuments{{L"Documents"}, kGet}, sAdd{{L"Add"}, kGet},
    sActiveDocument{{L"ActiveDocument"}, kGet}, sPageSetup{{L"PageSetup"}, kGet},
    sLinesPage{{L"LinesPage"}, kGet}, sSelection{{L"Selection"}, kGet},
    sTypeParagraph{{L"TypeParagraph"}, DISPATCH_METHOD},
    sGoToPage{{L"GoTo", L"What", L"Which", L"Name"}, DISPATCH_METHOD},
    sGoToLine{{L"GoTo", L"What", L"Which", L"Count", L"Name"}, DISPATCH_METHOD},
    sRange{{L"Range"}, kGet}, sShapes{{L"Shapes"}, kGet},
    sAddPicture{{L"AddPicture", L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"},
                DISPATCH_METHOD},
    sWrapFormat{{L"WrapFormat"}, kGet}, sType{{L"Type"}, DISPATCH_PROPERTYPUT},
    sZOrder{{L"ZOrder"}, DISPATCH_METHOD}, sCount{{L"Count"}, kGet},
    sShapeRange{{L"Range"}, DISPATCH_METHOD}, sSaveAs{{L"SaveAs", L"Filename"}, DISPATCH_METHOD},
    sQuit{{L"Quit", L"SaveChanges"}, DISPATCH_METHOD};

// Arguments in the caller's order; slots are filled in reverse as Invoke wants them.
HRESULT CallRaw(IDispatch* target, const Site& site, VARIANT* args, UINT count, VARIANT* result) {
    DISPID ids[8];
    HRESULT hr =
        target->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(site.names.data()),
                              static_cast<UINT>(site.names.size()), GetThreadLocale(), ids);
    if (FAILED(hr))
        return hr;
    VARIANT slots[8];
    for (UINT i = 0; i < count; ++i)
        slots[count - 1 - i] = args[i];
    DISPID named[8];
    UINT namedCount = 0;
    if (site.kind == DISPATCH_PROPERTYPUT)
        named[namedCount++] = DISPID_PROPERTYPUT;
    for (size_t j = site.names.size() - 1; j > 0; --j)
        named[namedCount++] = ids[j];
    DISPPARAMS dp{count ? slots : nullptr, namedCount ? named : nullptr, count, namedCount};
    EXCEPINFO info{};
    UINT argError = 0;
    hr = target->Invoke(ids[0], IID_NULL, 0, site.kind, &dp, result, &info, &argError);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

ComPtr<IDispatch> Get(IDispatch* target, const Site& site, VARIANT* args = nullptr,
                      UINT count = 0) {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = CallRaw(target, site, args, count, &result);
    if (FAILED(hr) || result.vt != VT_DISPATCH)
        Fail("a call for an object", hr);
    // Takes over the result's reference (this library's ComPtr::Attach would add one).
    ComPtr<IDispatch> object;
    *object.GetAddressOf() = result.pdispVal;
    return object;
}

void Do(IDispatch* target, const Site& site, VARIANT* args = nullptr, UINT count = 0) {
    const HRESULT hr = CallRaw(target, site, args, count, nullptr);
    if (FAILED(hr))
        Fail("a call", hr);
}

VARIANT I4(LONG v) {
    VARIANT x;
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}
VARIANT Bool(bool v) {
    VARIANT x;
    x.vt = VT_BOOL;
    x.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return x;
}
VARIANT Str(BSTR s) {
    VARIANT x;
    x.vt = VT_BSTR;
    x.bstrVal = s;
    return x;
}
VARIANT Obj(IDispatch* d) {
    VARIANT x;
    x.vt = VT_DISPATCH;
    x.pdispVal = d;
    return x;
}

struct Bstr {
    BSTR b;
    explicit Bstr(const std::wstring& s)
        : b(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
};

// The build's calls, objects released where the program releases them; wrap "front".
double BareBuild(const std::vector<std::wstring>& files, int perPage, const std::wstring& output) {
    std::vector<BSTR> names;
    for (const std::wstring& f : files)
        names.push_back(SysAllocStringLen(f.data(), static_cast<UINT>(f.size())));
    Bstr empty(L""), one(L"1");
    BSTR saveName = SysAllocString(output.c_str());
    const int pageCount = static_cast<int>((files.size() + perPage - 1) / perPage);

    const double cpu0 = ThreadCpu();
    const auto t0 = Clock::now();
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Word.Application", &clsid);
    if (FAILED(hr))
        Fail("CLSIDFromProgID", hr);
    ComPtr<IDispatch> word;
    {
        ComPtr<IUnknown> unknown;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(&unknown));
        if (FAILED(hr) || FAILED(unknown.As(&word)))
            Fail("CoCreateInstance", hr);
    }
    {
        ComPtr<IDispatch> added;
        Get(Get(word.Get(), sDocuments).Get(), sAdd).Swap(added);
        int lines = 0;
        {
            ComPtr<IDispatch> pageSetup = Get(Get(word.Get(), sActiveDocument).Get(), sPageSetup);
            VARIANT v;
            VariantInit(&v);
            if (FAILED(CallRaw(pageSetup.Get(), sLinesPage, nullptr, 0, &v)) ||
                FAILED(VariantChangeType(&v, &v, 0, VT_I4)))
                Fail("LinesPage", E_FAIL);
            lines = v.lVal;
        }
        const int lineStep = lines / perPage, remainder = lines % perPage;
        const long long paragraphs = std::max<long long>(1LL * pageCount * lines - 1, 0);
        for (long long i = 0; i < paragraphs; ++i)
            Do(Get(word.Get(), sSelection).Get(), sTypeParagraph);
        VARIANT firstPage[] = {I4(1), I4(2), Str(one.b)};
        Do(Get(word.Get(), sSelection).Get(), sGoToPage, firstPage, 3);
        VARIANT nextLine[] = {I4(3), I4(2), I4(1), Str(empty.b)};
        auto moveLines = [&](int count) {
            for (int i = 0; i < count; ++i)
                Do(Get(word.Get(), sSelection).Get(), sGoToLine, nextLine, 4);
        };
        int slot = 1;
        for (BSTR file : names) {
            ComPtr<IDispatch> shape;
            {
                ComPtr<IDispatch> anchor = Get(Get(word.Get(), sSelection).Get(), sRange);
                ComPtr<IDispatch> shapes = Get(Get(word.Get(), sActiveDocument).Get(), sShapes);
                VARIANT args[] = {Obj(anchor.Get()), Str(file), Bool(false), Bool(true)};
                shape = Get(shapes.Get(), sAddPicture, args, 4);
            }
            {
                VARIANT type[] = {I4(3)};
                Do(Get(shape.Get(), sWrapFormat).Get(), sType, type, 1);
            }
            VARIANT order[] = {I4(4)};
            Do(shape.Get(), sZOrder, order, 1);
            shape.Reset();
            moveLines(lineStep);
            if (slot >= perPage) {
                moveLines(remainder);
                slot = 0;
            }
            ++slot;
        }
        VARIANT save;
        save.vt = VT_BSTR | VT_BYREF;
        save.pbstrVal = &saveName;
        Do(Get(word.Get(), sActiveDocument).Get(), sSaveAs, &save, 1);
    }
    VARIANT quit[] = {I4(0)};
    Do(word.Get(), sQuit, quit, 1);
    word.Reset();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    lastCpu = ThreadCpu() - cpu0;

    SysFreeString(saveName);
    for (BSTR b : names)
        SysFreeString(b);
    return seconds;
}

// On a thread of its own that owns no window, like a console program.
double BareBuildOnOwnThread(const std::vector<std::wstring>& files, int perPage,
                            const std::wstring& output) {
    double seconds = -1;
    std::thread worker([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            return;
        seconds = BareBuild(files, perPage, output);
        CoUninitialize();
    });
    worker.join();
    return seconds;
}

// ---- The build through the button ---------------------------------------------------------

Clock::time_point saveDialogGone, infoDialogMade;
bool sawSaveGone = false, sawInfoMade = false;

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

double ButtonBuild(TfrmMain& form, const std::wstring& output) {
    sawSaveGone = sawInfoMade = false;
    DialogAnswerer answer({{kSaveTitle, DialogAction::TypeFileName(output)},
                           {kInfoTitle, DialogAction::Press(L"OK")}},
                          600000);
    HHOOK hook = SetWindowsHookExW(WH_CBT, WatchDialogs, nullptr, GetCurrentThreadId());
    SendMessageW(form.Button4, BM_CLICK, 0, 0);
    UnhookWindowsHookEx(hook);
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

std::vector<std::wstring> MakePictures(const std::wstring& dir, int count) {
    const struct {
        PictureFormat format;
        const wchar_t* ext;
        UINT width, height;
    } kinds[] = {{PictureFormat::Png, L"png", 240, 160},
                 {PictureFormat::Jpeg, L"jpg", 320, 180},
                 {PictureFormat::Gif, L"gif", 300, 200},
                 {PictureFormat::Bmp, L"bmp", 200, 200}};
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        const auto& k = kinds[i % 4];
        wchar_t name[32];
        swprintf(name, 32, L"\\写真%03d.%ls", i + 1, k.ext);
        if (!WriteTestPicture(dir + name, k.format, k.width + 8 * static_cast<UINT>(i), k.height))
            return {};
        files.push_back(dir + name);
    }
    return files;
}

bool Compare(int pictures, int rounds, const std::wstring& dir) {
    const std::vector<std::wstring> made = MakePictures(dir, pictures);
    TfrmMain form;
    form.Create(GetModuleHandleW(nullptr));
    ShowWindow(form.Handle(), SW_SHOW);
    UpdateWindow(form.Handle());
    SendShellDrop(form.Handle(), made);
    form.SetSpinValue(3);
    std::vector<std::wstring> files;
    for (int i = 0; i < form.FileCount(); ++i)
        files.push_back(form.FileAt(i));
    if (files.size() != made.size()) {
        std::printf("the list took %zu of %d pictures\n", files.size(), pictures);
        return false;
    }
    std::printf("%d pictures, 3 per page, in front of text\n", pictures);
    std::vector<double> button, bare, ratio, cpuButton, cpuBare;
    int journalsDiffer = 0;
    size_t calls = 0;
    for (int r = 0; r < rounds; ++r) {
        double tButton = -1, tBare = -1;
        std::vector<std::wstring> jButton, jBare;
        // Alternate which goes first, so that drift on the shared host hits both alike.
        for (int which = 0; which < 2; ++which) {
            const bool buttonTurn = (which == 0) == (r % 2 == 0);
            const std::wstring output = dir + (buttonTurn ? L"\\button.docx" : L"\\bare.docx");
            DeleteFileW(output.c_str());
            StubSession session;
            if (buttonTurn) {
                tButton = ButtonBuild(form, output);
                cpuButton.push_back(lastCpu);
            } else {
                tBare = BareBuildOnOwnThread(files, 3, output);
                cpuBare.push_back(lastCpu);
            }
            session.WaitForExit(30000);
            (buttonTurn ? jButton : jBare) = session.Journal();
        }
        // The journals differ only in the output name, which each names in its SaveAs.
        for (std::wstring& line : jBare)
            if (const size_t at = line.find(L"bare.docx"); at != std::wstring::npos)
                line.replace(at, 9, L"button.docx");
        if (tButton < 0 || tBare < 0) {
            std::printf("round %d: a build did not complete\n", r + 1);
            return false;
        }
        if (jButton != jBare) {
            ++journalsDiffer;
            size_t i = 0;
            while (i < jButton.size() && i < jBare.size() && jButton[i] == jBare[i])
                ++i;
            std::printf("  first difference at line %zu of %zu/%zu:\n    button: %ls\n    bare:   "
                        "%ls\n",
                        i + 1, jButton.size(), jBare.size(),
                        i < jButton.size() ? jButton[i].c_str() : L"(end)",
                        i < jBare.size() ? jBare[i].c_str() : L"(end)");
        }
        calls = 0;
        for (const std::wstring& line : jButton)
            if (line.rfind(L"CREATE ", 0) != 0 && line.rfind(L"EXIT ", 0) != 0)
                ++calls;
        button.push_back(tButton);
        bare.push_back(tBare);
        ratio.push_back(tButton / tBare);
        std::printf("  round %d: button %.3f s, bare %.3f s, ratio %.3f, journals %s; calling "
                    "thread CPU: button %.3f s, bare %.3f s\n",
                    r + 1, tButton, tBare, tButton / tBare,
                    jButton == jBare ? "identical" : "DIFFER", cpuButton.back(), cpuBare.back());
        std::fflush(stdout);
    }
    const Stats b = Of(button), c = Of(bare), q = Of(ratio), cb = Of(cpuButton), cc = Of(cpuBare);
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
    std::fflush(stdout);
    return journalsDiffer == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds30 = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    const int rounds100 = argc > 2 ? std::max(0, _wtoi(argv[2])) : 3;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    bool ok = Compare(30, rounds30, MakeTempFolder(L"tablorin-bench-bare30"));
    if (ok && rounds100 > 0)
        ok = Compare(100, rounds100, MakeTempFolder(L"tablorin-bench-bare100"));
    CoUninitialize();
    return ok ? 0 : 1;
}
