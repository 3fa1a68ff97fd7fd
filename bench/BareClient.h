#pragma once
// The bare client shared by the build benchmarks: the document build's late-bound calls made
// straight through IDispatch, with the program's releases, timed part by part.
#include "Handles.h"
#include "ThreadStartup.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

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

// ---- The bare client ----------------------------------------------------------------------

[[noreturn]] void Fail(const char* what, HRESULT hr) {
    std::printf("bare client: %s failed, 0x%08lX\n", what, static_cast<unsigned long>(hr));
    std::fflush(stdout);
    ExitProcess(3);
}

// Where the bare client's time goes: name lookups, invocations, releases (seconds, counts).
struct Parts {
    double names = 0, invokes = 0, releases = 0;
    size_t nameCount = 0, invokeCount = 0, releaseCount = 0;
} parts;

double Tick() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// An object reference whose release is timed.
class Ref {
public:
    Ref() = default;
    explicit Ref(IDispatch* p) : p_(p) {}
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    IDispatch* Get() const { return p_; }
    void Reset() {
        if (!p_)
            return;
        const double t = Tick();
        p_->Release();
        parts.releases += Tick() - t;
        ++parts.releaseCount;
        p_ = nullptr;
    }

private:
    IDispatch* p_ = nullptr;
};

// One call site: member and named-argument names, resolved together on every call as the
// program does.
struct Site {
    std::vector<const wchar_t*> names; // member first
    WORD kind;
};

const WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
const Site sDocuments{{L"Documents"}, kGet}, sAdd{{L"Add"}, kGet},
    sActiveDocument{{L"ActiveDocument"}, kGet}, sPageSetup{{L"PageSetup"}, kGet},
    sLinesPage{{L"LinesPage"}, kGet}, sPageHeight{{L"PageHeight"}, kGet},
    sTopMargin{{L"TopMargin"}, kGet}, sBottomMargin{{L"BottomMargin"}, kGet},
    sSelection{{L"Selection"}, kGet}, sTypeParagraph{{L"TypeParagraph"}, DISPATCH_METHOD},
    sGoToPage{{L"GoTo", L"What", L"Which", L"Name"}, DISPATCH_METHOD},
    sGoToLine{{L"GoTo", L"What", L"Which", L"Count", L"Name"}, DISPATCH_METHOD},
    sRange{{L"Range"}, kGet}, sShapes{{L"Shapes"}, kGet},
    sAddPicture{{L"AddPicture", L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"},
                DISPATCH_METHOD},
    sHeight{{L"Height"}, kGet}, sSetHeight{{L"Height"}, DISPATCH_PROPERTYPUT},
    sSetLockAspectRatio{{L"LockAspectRatio"}, DISPATCH_PROPERTYPUT},
    sWrapFormat{{L"WrapFormat"}, kGet}, sType{{L"Type"}, DISPATCH_PROPERTYPUT},
    sZOrder{{L"ZOrder"}, DISPATCH_METHOD}, sCount{{L"Count"}, kGet},
    sShapeRange{{L"Range"}, DISPATCH_METHOD}, sSaveAs{{L"SaveAs", L"Filename"}, DISPATCH_METHOD},
    sQuit{{L"Quit", L"SaveChanges"}, DISPATCH_METHOD};

// Arguments in the caller's order; slots are filled in reverse as Invoke wants them.
HRESULT CallRaw(IDispatch* target, const Site& site, VARIANT* args, UINT count, VARIANT* result) {
    DISPID ids[8];
    const double t0 = Tick();
    HRESULT hr =
        target->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(site.names.data()),
                              static_cast<UINT>(site.names.size()), GetThreadLocale(), ids);
    parts.names += Tick() - t0;
    ++parts.nameCount;
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
    const double t1 = Tick();
    hr = target->Invoke(ids[0], IID_NULL, 0, site.kind, &dp, result, &info, &argError);
    parts.invokes += Tick() - t1;
    ++parts.invokeCount;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

Ref Get(IDispatch* target, const Site& site, VARIANT* args = nullptr, UINT count = 0) {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = CallRaw(target, site, args, count, &result);
    if (FAILED(hr) || result.vt != VT_DISPATCH)
        Fail("a call for an object", hr);
    // Takes over the result's reference. (This library's ComPtr::Attach would add one, and every
    // object would stay alive in the server: no release round trips, a faster but wrong client.)
    return Ref(result.pdispVal);
}

// A call whose result is not used: the program takes it all the same and releases it at once
// (GoTo answers with a range).
void Do(IDispatch* target, const Site& site, VARIANT* args = nullptr, UINT count = 0) {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = CallRaw(target, site, args, count, &result);
    if (FAILED(hr))
        Fail("a call", hr);
    if (result.vt == VT_DISPATCH) {
        Ref released(result.pdispVal); // timed like every release
        VariantInit(&result);
    }
    VariantClear(&result);
}

// A get whose answer is read as a real number.
double Real(IDispatch* target, const Site& site) {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(CallRaw(target, site, nullptr, 0, &v)) ||
        FAILED(VariantChangeType(&v, &v, 0, VT_R8)))
        Fail("a real-number get", E_FAIL);
    return v.dblVal;
}

// An argument as the bare client passes it: the value lent, nothing copied or owned.
template <VARTYPE Type, class T> VARIANT Lent(T value) {
    VARIANT x;
    VariantInit(&x);
    x.vt = Type;
    static_assert(sizeof(T) <= sizeof(x.llVal));
    std::memcpy(&x.llVal, &value, sizeof(T)); // every value member starts there
    return x;
}
constexpr auto I4 = &Lent<VT_I4, LONG>;
constexpr auto R8 = &Lent<VT_R8, double>;
constexpr auto Bool = &Lent<VT_BOOL, VARIANT_BOOL>;
constexpr auto Str = &Lent<VT_BSTR, BSTR>;
constexpr auto Obj = &Lent<VT_DISPATCH, IDispatch*>;

// The build's calls, objects released where the program releases them; wrap "front".
double BareBuild(const std::vector<std::wstring>& files, int perPage, const std::wstring& output) {
    std::vector<BSTR> names;
    for (const std::wstring& f : files)
        names.push_back(SysAllocStringLen(f.data(), static_cast<UINT>(f.size())));
    const UniqueBstr empty(SysAllocString(L"")), one(SysAllocString(L"1"));
    BSTR saveName = SysAllocString(output.c_str());
    const int pageCount = static_cast<int>((files.size() + perPage - 1) / perPage);

    parts = {};
    const double cpu0 = ThreadCpu();
    const auto t0 = Clock::now();
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Word.Application", &clsid);
    if (FAILED(hr))
        Fail("CLSIDFromProgID", hr);
    Ref word;
    {
        ComPtr<IUnknown> unknown;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(&unknown));
        IDispatch* dispatch = nullptr;
        if (FAILED(hr) || FAILED(unknown->QueryInterface(IID_PPV_ARGS(&dispatch))))
            Fail("CoCreateInstance", hr);
        word = Ref(dispatch);
    }
    {
        Ref added = Get(Get(word.Get(), sDocuments).Get(), sAdd);
        int lines = 0, lineStep = 0, remainder = 0;
        double pitch = 0; // points between two lines; 0: the pictures have no places
        {
            Ref pageSetup = Get(Get(word.Get(), sActiveDocument).Get(), sPageSetup);
            VARIANT v;
            VariantInit(&v);
            if (FAILED(CallRaw(pageSetup.Get(), sLinesPage, nullptr, 0, &v)) ||
                FAILED(VariantChangeType(&v, &v, 0, VT_I4)))
                Fail("LinesPage", E_FAIL);
            lines = v.lVal;
            lineStep = lines / perPage;
            remainder = lines % perPage;
            if (lines >= 1 && lineStep >= 1) {
                const double text = Real(pageSetup.Get(), sPageHeight) -
                                    Real(pageSetup.Get(), sTopMargin) -
                                    Real(pageSetup.Get(), sBottomMargin);
                const double twips = std::floor(text * 20 / lines + 0.01);
                pitch = twips >= 1 ? twips / 20 : 0;
            }
        }
        const long long paragraphs = std::max<long long>(1LL * pageCount * lines - 1, 0);
        for (long long i = 0; i < paragraphs; ++i)
            Do(Get(word.Get(), sSelection).Get(), sTypeParagraph);
        VARIANT firstPage[] = {I4(1), I4(2), Str(one.get())};
        Do(Get(word.Get(), sSelection).Get(), sGoToPage, firstPage, 3);
        VARIANT nextLine[] = {I4(3), I4(2), I4(1), Str(empty.get())};
        auto moveLines = [&](int count) {
            for (int i = 0; i < count; ++i)
                Do(Get(word.Get(), sSelection).Get(), sGoToLine, nextLine, 4);
        };
        int slot = 1;
        for (BSTR file : names) {
            Ref shape;
            {
                Ref anchor = Get(Get(word.Get(), sSelection).Get(), sRange);
                Ref shapes = Get(Get(word.Get(), sActiveDocument).Get(), sShapes);
                VARIANT args[] = {Obj(anchor.Get()), Str(file), Bool(VARIANT_FALSE),
                                  Bool(VARIANT_TRUE)};
                shape = Get(shapes.Get(), sAddPicture, args, 4);
            }
            if (pitch > 0) {
                const double place = pitch * (slot >= perPage ? lineStep + remainder : lineStep);
                if (Real(shape.Get(), sHeight) > place + 0.01) {
                    VARIANT locked[] = {I4(-1)};
                    Do(shape.Get(), sSetLockAspectRatio, locked, 1);
                    VARIANT height[] = {R8(place)};
                    Do(shape.Get(), sSetHeight, height, 1);
                }
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
[[maybe_unused]] double BareBuildOnOwnThread(const std::vector<std::wstring>& files, int perPage,
                                             const std::wstring& output) {
    double seconds = -1;
    std::thread worker([&] {
        const ThreadStartup startup;
        if (!startup.ComReady())
            return;
        seconds = BareBuild(files, perPage, output);
    });
    worker.join();
    return seconds;
}

} // namespace
