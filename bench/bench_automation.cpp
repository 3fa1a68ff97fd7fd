// Figures for the automation layer: the cost of one late-bound call in-process (the layer's own
// overhead), conversions, round trips to the Word stand-in, and memory over many calls.
#include "automation/Automation.h"

#include "Error.h"
#include "ThreadStartup.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <vector>

using namespace automation;
using Clock = std::chrono::steady_clock;

namespace {

// Answers every name and every call at once, so only the layer's work is measured.
class NullDispatch : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out =
            (iid == IID_IUnknown || iid == IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                            DISPID* ids) override {
        for (UINT i = 0; i < count; ++i)
            ids[i] = static_cast<DISPID>(i + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if (result) {
            result->vt = VT_R4;
            result->fltVal = 36.0f;
        }
        return S_OK;
    }
};

const CallDesc kGoToLine{L"GoTo", CallKind::Method, {L"What", L"Which", L"Count", L"Name"}};
const CallDesc kTypeParagraph{L"TypeParagraph", CallKind::Method};

double MicrosecondsEach(Clock::time_point start, int count) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
}

void InProcess() {
    NullDispatch object;
    const Variant target(static_cast<IDispatch*>(&object));
    const std::vector<Arg> args{3, 2, 1, L""};
    constexpr int kWarm = 10000, kCalls = 200000;
    for (int i = 0; i < kWarm; ++i)
        CallVoid(target, kGoToLine, args);
    const size_t before = PrivateBytes();
    auto start = Clock::now();
    for (int i = 0; i < kCalls; ++i)
        CallVoid(target, kGoToLine, args);
    std::printf("in-process GoTo, 4 named arguments: %.3f us/call over %d calls\n",
                MicrosecondsEach(start, kCalls), kCalls);
    std::printf("private bytes change over those calls: %+lld KiB\n",
                (static_cast<long long>(PrivateBytes()) - static_cast<long long>(before)) / 1024);

    start = Clock::now();
    long long sum = 0;
    for (int i = 0; i < kCalls; ++i)
        sum += ToInt32(Call(target, {L"LinesPage", CallKind::PropertyGet}));
    std::printf("in-process get + ToInt32: %.3f us/call (checksum %lld)\n",
                MicrosecondsEach(start, kCalls), sum);
}

void Conversions() {
    Variant text;
    VARIANT* raw = text.put();
    raw->vt = VT_BSTR;
    raw->bstrVal = SysAllocString(L"16.0");
    Variant real;
    raw = real.put();
    raw->vt = VT_R8;
    raw->dblVal = 2.5;
    constexpr int kCount = 1000000;
    long long sum = 0;
    auto start = Clock::now();
    for (int i = 0; i < kCount; ++i)
        sum += CompareWithInt(text, 12);
    std::printf("CompareWithInt(\"16.0\", 12): %.4f us each\n", MicrosecondsEach(start, kCount));
    start = Clock::now();
    for (int i = 0; i < kCount; ++i)
        sum += ToInt32(real);
    std::printf("ToInt32(2.5): %.4f us each (checksum %lld)\n", MicrosecondsEach(start, kCount),
                sum);
}

void StandIn() {
    try {
        auto start = Clock::now();
        Variant app = Create(L"Word.Application");
        std::printf("stand-in Create: %.1f ms\n", MicrosecondsEach(start, 1) / 1000);
        {
            Variant added =
                Call(Call(app, {L"Documents", CallKind::PropertyGet}), {L"Add", CallKind::Method});
            const Variant selection = Call(app, {L"Selection", CallKind::PropertyGet});
            constexpr int kCalls = 2000;
            start = Clock::now();
            for (int i = 0; i < kCalls; ++i)
                CallVoid(selection, kTypeParagraph);
            std::printf("stand-in TypeParagraph: %.1f us/call over %d calls\n",
                        MicrosecondsEach(start, kCalls), kCalls);
            const std::vector<Arg> args{3, 2, 1, L""};
            start = Clock::now();
            for (int i = 0; i < kCalls; ++i)
                CallVoid(selection, kGoToLine, args);
            std::printf("stand-in GoTo, 4 named arguments: %.1f us/call over %d calls\n",
                        MicrosecondsEach(start, kCalls), kCalls);
            // As a build makes them: with the message filter, whose timer wakes waiting calls.
            const BusyServerFilter busy;
            start = Clock::now();
            for (int i = 0; i < kCalls; ++i)
                CallVoid(selection, kTypeParagraph);
            std::printf("stand-in TypeParagraph with the filter: %.1f us/call over %d calls\n",
                        MicrosecondsEach(start, kCalls), kCalls);
        }
        CallVoid(app, {L"Quit", CallKind::Method, {L"SaveChanges"}}, std::vector<Arg>{0});
    } catch (const Error& e) {
        std::printf("stand-in not measured: %s\n", e.what());
    }
}

} // namespace

int wmain() {
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    InProcess();
    Conversions();
    StandIn();
    return 0;
}
