// Calls that take Word long to answer: the clock of each call, the question to the user, the
// pause between attempts at a refused call, and the message filter through which COM asks
// whether to try again or to wait on.
#include "Automation.h"
#include "Busy.h"

#include "Handles.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

namespace automation {

namespace {

// Word refuses calls while it starts (a cold start with add-ins on a slow machine takes seconds,
// sometimes tens of them) and while it saves a document full of pictures, and both end by
// themselves; a dialog of its own, in an invisible Word, ends only by the user, who cannot see
// it. 20 s lets the usual delays pass before the user is troubled; a user who chose to wait on is
// asked again only after a minute, so that a slow save is not interrupted every few seconds.
constexpr WaitLimits kDefaultLimits{20000, 60000};

// How often a call that waits for its answer wakes to let COM consult the filter.
constexpr DWORD kWakePeriod = 200;

// A call to a server given up on is still waited for that long (and up to a wake more), without a
// question: a Word that has come back answers in time, and takes its Quit.
constexpr DWORD kGivenUpGrace = kWakePeriod;

std::atomic<DWORD> firstLimit{kDefaultLimits.first};
std::atomic<DWORD> againLimit{kDefaultLimits.again};
std::atomic<WaitQuestion> installedQuestion{nullptr};

thread_local bool gaveUp = false;
thread_local busy::CallClock* currentCall = nullptr;

// A call whose answer is awaited sleeps in COM, which consults the message filter only when a
// message arrives. Wine's wait wakes for posted and sent messages and paints, not for timers, so
// a pool thread posts a message of ours to the calling thread while a call is in progress; those
// left in the queue are taken out once the call has ended.
class Waker {
public:
    Waker() noexcept : thread_(GetCurrentThreadId()) {}
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    void CallStarted() noexcept {
        const std::lock_guard lock(mutex_);
        if (calls_++ == 0)
            started_ = GetTickCount64();
    }
    void CallEnded() noexcept {
        bool posted = false;
        {
            const std::lock_guard lock(mutex_);
            if (--calls_ == 0)
                posted = std::exchange(posted_, false);
        }
        MSG msg;
        while (posted && PeekMessageW(&msg, reinterpret_cast<HWND>(-1), Message(), Message(),
                                      PM_REMOVE | PM_NOYIELD)) {
        }
    }
    static void CALLBACK Tick(void* self, BOOLEAN) noexcept { static_cast<Waker*>(self)->Post(); }

private:
    static UINT Message() noexcept {
        static const UINT message = RegisterWindowMessageW(L"TablorinWordCallWaiting");
        return message;
    }
    // Only a call that has waited a while is woken: the thousands of quick ones of a build are
    // left alone.
    void Post() noexcept {
        const std::lock_guard lock(mutex_);
        if (calls_ > 0 && GetTickCount64() - started_ >= kWakePeriod &&
            PostThreadMessageW(thread_, Message(), 0, 0))
            posted_ = true;
    }

    const DWORD thread_;
    std::mutex mutex_;
    int calls_ = 0;
    ULONGLONG started_ = 0; // of the outermost call in progress
    bool posted_ = false;
};

thread_local Waker* currentWaker = nullptr;
// Set once a call has been given up on under the current filter.
thread_local bool* serverGivenUp = nullptr;

// Answers COM for this thread: serve incoming calls, ask the user about calls that take too long,
// and try a refused call again only when the server asked for that and the call goes on.
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
        // SERVERCALL_REJECTED is the server's final word.
        if (rejectType == SERVERCALL_RETRYLATER) {
            busy::CallClock* call = busy::CallClock::Current();
            if (call && call->MayRetry())
                return busy::PauseBefore(call->Waited(), call->AskAt());
            // A call not made through this layer keeps the first limit, without a question.
            const DWORD limit = firstLimit.load();
            if (!call && elapsed < limit)
                return busy::PauseBefore(elapsed, limit);
        }
        gaveUp = true;
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        busy::CallClock* call = busy::CallClock::Current();
        return call && !call->KeepWaiting() ? PENDINGMSG_CANCELCALL : PENDINGMSG_WAITDEFPROCESS;
    }
};

RetryingFilter filter;

} // namespace

WaitLimits SetWaitLimits(WaitLimits limits) noexcept {
    return {firstLimit.exchange(limits.first), againLimit.exchange(limits.again)};
}

WaitQuestion SetWaitQuestion(WaitQuestion question) noexcept {
    return installedQuestion.exchange(question);
}

struct BusyServerFilter::Wake {
    Waker waker;
    Waker* interrupted = currentWaker;
    HANDLE timer = nullptr;
    bool givenUp = false;
    bool* interruptedGivenUp = serverGivenUp;
};

BusyServerFilter::BusyServerFilter() noexcept {
    registered_ = SUCCEEDED(CoRegisterMessageFilter(&filter, &previous_));
    if (!registered_) {
        previous_ = nullptr;
        return;
    }
    wake_.reset(new (std::nothrow) Wake);
    if (!wake_)
        return;
    if (!CreateTimerQueueTimer(&wake_->timer, nullptr, &Waker::Tick, &wake_->waker, kWakePeriod,
                               kWakePeriod, WT_EXECUTEDEFAULT))
        wake_->timer = nullptr;
    currentWaker = &wake_->waker;
    serverGivenUp = &wake_->givenUp;
}

BusyServerFilter::~BusyServerFilter() {
    if (!registered_)
        return;
    if (wake_) {
        // Waits for a tick in progress, so none comes after the waker is gone.
        if (wake_->timer)
            DeleteTimerQueueTimer(nullptr, wake_->timer, INVALID_HANDLE_VALUE);
        currentWaker = wake_->interrupted;
        serverGivenUp = wake_->interruptedGivenUp;
    }
    IMessageFilter* ours = nullptr;
    CoRegisterMessageFilter(previous_, &ours);
    if (ours)
        ours->Release();
    if (previous_)
        previous_->Release();
}

bool BusyServerFilter::GivenUp() const noexcept {
    return wake_ && wake_->givenUp;
}

namespace busy {

CallClock::CallClock() noexcept
    : start_(GetTickCount64()), filterGivenUp_(serverGivenUp),
      serverGivenUp_(filterGivenUp_ && *filterGivenUp_),
      askAt_(serverGivenUp_ ? kGivenUpGrace : firstLimit.load()), interrupted_(currentCall) {
    currentCall = this;
    if (currentWaker)
        currentWaker->CallStarted();
}

CallClock::~CallClock() {
    if (currentWaker)
        currentWaker->CallEnded();
    currentCall = interrupted_;
}

CallClock* CallClock::Current() noexcept {
    return currentCall;
}

DWORD CallClock::Waited() const noexcept {
    return static_cast<DWORD>(std::min<ULONGLONG>(GetTickCount64() - start_, MAXDWORD));
}

bool CallClock::KeepWaiting() noexcept {
    // While the question is up, the waits it lets run go on.
    if (givenUp_ || asking_)
        return !givenUp_;
    if (Waited() < askAt_)
        return true;
    asking_ = true;
    const WaitQuestion question = serverGivenUp_ ? nullptr : installedQuestion.load();
    const WaitAnswer answer = question ? question() : WaitAnswer::Cancel;
    asking_ = false;
    if (answer == WaitAnswer::Cancel) {
        givenUp_ = true;
        if (filterGivenUp_)
            *filterGivenUp_ = true;
        return false;
    }
    const ULONGLONG next = static_cast<ULONGLONG>(Waited()) + againLimit.load();
    askAt_ = static_cast<DWORD>(std::min<ULONGLONG>(next, MAXDWORD));
    return true;
}

DWORD PauseBefore(DWORD waited, DWORD askAt) noexcept {
    // The longer the server stays busy, the less often it is asked, at most once a second; the
    // pause ends about when the user is to be asked.
    const DWORD pause = std::clamp<DWORD>(waited / 4, 100, 1000);
    const DWORD left = askAt > waited ? askAt - waited : 0;
    return std::max<DWORD>(std::min(pause, left), 100);
}

void Pause(DWORD milliseconds) noexcept {
    // Nothing ever sets the event: the wait is the time-out, with COM's message handling. A wait
    // that the filter cancelled ends there, and the caller looks at its clock.
    const UniqueKernelHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE handle = never.get();
    DWORD index = 0;
    const HRESULT hr =
        handle ? CoWaitForMultipleHandles(0, milliseconds, 1, &handle, &index) : E_HANDLE;
    if (hr != RPC_S_CALLPENDING && hr != RPC_E_CALL_CANCELED)
        Sleep(milliseconds);
}

bool& GaveUp() noexcept {
    return gaveUp;
}

} // namespace busy

} // namespace automation
