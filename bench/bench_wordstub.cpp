// How fast the Word stand-in serves a client in another process: start-up of a server process, and
// calls per second for the kinds of calls a build makes, with and without a journal.
#include "StubClient.h"
#include "WordStub.h"
#include "ThreadStartup.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>

using namespace stubclient;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void Rate(const char* what, int n, const std::function<HRESULT()>& call) {
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i)
        if (FAILED(call())) {
            std::printf("  %-44s failed at call %d\n", what, i);
            return;
        }
    const double s = Seconds(start);
    std::printf("  %-44s %8.0f calls/s  (%d calls, %.1f us each)\n", what, n / s, n, s * 1e6 / n);
}

void Measure(bool journal) {
    std::optional<StubSession> session;
    if (journal)
        session.emplace();
    std::printf("%s\n", journal ? "with a journal:" : "without a journal:");

    const auto created = Clock::now();
    ComPtr<IDispatch> word = CreateWord();
    if (!word) {
        std::printf("  cannot create Word.Application\n");
        return;
    }
    std::printf("  %-44s %8.1f ms\n", "start of a stand-in process", Seconds(created) * 1e3);
    ComPtr<IDispatch> doc = Object(Object(word.Get(), L"Documents").Get(), L"Add");
    ComPtr<IDispatch> selection = Object(word.Get(), L"Selection");
    const int n = 2000;

    Rate("Application.Version (get, text)", n,
         [&] { return Call(word.Get(), L"Version", kGet).hr; });
    Rate("Selection.TypeParagraph (method)", n,
         [&] { return Call(selection.Get(), L"TypeParagraph", DISPATCH_METHOD).hr; });
    Rate("Selection.GoTo (4 named arguments)", n, [&] {
        return Call(selection.Get(), L"GoTo", DISPATCH_METHOD,
                    {{L"What", Var::I4(3).v},
                     {L"Which", Var::I4(2).v},
                     {L"Count", Var::I4(1).v},
                     {L"Name", Var::Str(L"").v}})
            .hr;
    });
    Rate("Selection.Range (new object, released)", n,
         [&] { return Object(selection.Get(), L"Range") ? S_OK : E_FAIL; });
    // Invoke alone, with the DISPID resolved once, as a client that caches DISPIDs would do.
    std::wstring name = L"TypeParagraph";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    selection->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    Rate("Invoke only (TypeParagraph, cached DISPID)", n, [&] {
        DISPPARAMS none{};
        return selection->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                 nullptr);
    });
    // The floor: a remote call that does nothing in the server.
    Rate("IDispatch::GetTypeInfoCount (no work)", n, [&] {
        UINT count = 0;
        return word->GetTypeInfoCount(&count);
    });
    Call(word.Get(), L"Quit", DISPATCH_METHOD, {{L"SaveChanges", Var::I4(0).v}});
    selection.Reset();
    doc.Reset();
    word.Reset();
    if (session)
        session->WaitForExit();
}

} // namespace

int wmain() {
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 1;
    std::printf("Word stand-in, client in another process\n");
    Measure(false);
    Measure(true);
    return 0;
}
