// Calls that a busy Word turns away: the retry time, the pause between attempts, and the message
// filter through which COM asks whether to try again.
#include "Automation.h"
#include "Busy.h"

#include "UniqueAny.h"

#include <algorithm>
#include <atomic>

namespace automation {

namespace {

// Word refuses calls while it starts (a cold start with add-ins on a slow machine takes seconds,
// sometimes tens of them) and while it saves a document full of pictures; both end by themselves
// well within half a minute. A dialog of its own, in an invisible Word, ends only by the user, who
// cannot see it: waiting longer would only keep the hourglass up. 30 s lets the first two pass and
// reports the third before the program looks hung.
constexpr DWORD kDefaultRetryLimit = 30000;

using UniqueEvent = UniqueAny<HANDLE, CloseHandle>;

std::atomic<DWORD> retryLimit{kDefaultRetryLimit};
thread_local bool gaveUp = false;

// Answers COM for this thread: serve incoming calls, handle pending messages the default way, and
// try a refused call again only when the server asked for that and the time is not up.
class RetryingFilter final : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMessageFilter)) {
            *out = static_cast<IMessageFilter*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // One filter serves every thread and lives as long as the program: nothing to count.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) override {
        const DWORD limit = BusyRetryLimit();
        if (rejectType == SERVERCALL_RETRYLATER && elapsed < limit)
            return busy::PauseBefore(elapsed, limit);
        // SERVERCALL_REJECTED is the server's final word.
        gaveUp = true;
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

RetryingFilter filter;

} // namespace

DWORD SetBusyRetryLimit(DWORD milliseconds) noexcept {
    return retryLimit.exchange(milliseconds);
}

DWORD BusyRetryLimit() noexcept {
    return retryLimit.load();
}

BusyServerFilter::BusyServerFilter() noexcept {
    registered_ = SUCCEEDED(CoRegisterMessageFilter(&filter, &previous_));
    if (!registered_)
        previous_ = nullptr;
}

BusyServerFilter::~BusyServerFilter() {
    if (!registered_)
        return;
    IMessageFilter* ours = nullptr;
    CoRegisterMessageFilter(previous_, &ours);
    if (ours)
        ours->Release();
    if (previous_)
        previous_->Release();
}

namespace busy {

DWORD PauseBefore(DWORD elapsed, DWORD limit) noexcept {
    // 100 ms is the shortest pause COM takes as a pause; the longer the server stays busy, the
    // less often it is asked, at most once a second, and never past the end of the retry time.
    const DWORD pause = std::clamp<DWORD>(elapsed / 4, 100, 1000);
    return std::min(pause, elapsed < limit ? limit - elapsed : 0);
}

void Pause(DWORD milliseconds) noexcept {
    // Nothing ever sets the event: the wait is the time-out, with COM's message handling.
    const UniqueEvent never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE handle = never.get();
    DWORD index = 0;
    if (!handle ||
        CoWaitForMultipleHandles(0, milliseconds, 1, &handle, &index) != RPC_S_CALLPENDING)
        Sleep(milliseconds);
}

bool& GaveUp() noexcept {
    return gaveUp;
}

} // namespace busy

} // namespace automation
