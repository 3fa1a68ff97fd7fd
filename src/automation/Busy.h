#pragma once
// Inside the automation layer: how long one call has waited for Word, when the user is asked
// about it, and how a call that a busy server turned away is tried again.

#include <windows.h>

namespace automation::busy {

// The clock of one call on this thread, from before the name lookup to the end of the invocation
// (or of the object's creation, or of a release). While it lives it is the thread's current call,
// which the message filter consults; the one it interrupted is current again afterwards. Started
// after a call was given up on under the same filter, it waits a moment for the answer and then
// gives up without a question, and it makes no second attempt.
class CallClock {
public:
    CallClock() noexcept;
    CallClock(const CallClock&) = delete;
    CallClock& operator=(const CallClock&) = delete;
    ~CallClock();

    // The call goes on waiting: true to wait on, false once it has been given up. When the time
    // has come it asks the user first, and without a question installed it gives up.
    bool KeepWaiting() noexcept;
    // The same for making a refused call again.
    bool MayRetry() noexcept { return !serverGivenUp_ && KeepWaiting(); }
    bool GivenUp() const noexcept { return givenUp_; }
    // The server was given up on before this call started.
    bool ServerGivenUp() const noexcept { return serverGivenUp_; }
    // Milliseconds since the call started, and when the user is to be asked next.
    DWORD Waited() const noexcept;
    DWORD AskAt() const noexcept { return askAt_; }

    // This thread's call in progress, or null.
    static CallClock* Current() noexcept;

private:
    ULONGLONG start_;
    bool* filterGivenUp_; // the filter's, or null
    bool serverGivenUp_;  // already when the call started
    DWORD askAt_;
    bool givenUp_ = false;
    bool asking_ = false;
    CallClock* interrupted_;
};

// Milliseconds to wait before the next attempt at a refused call, waited milliseconds after its
// start, when the user is to be asked at askAt. Never below 100: COM takes anything less as
// "again at once".
DWORD PauseBefore(DWORD waited, DWORD askAt) noexcept;

// Waits that long letting window and COM messages through, as a call in progress does; less when
// the wait is cancelled.
void Pause(DWORD milliseconds) noexcept;

// Set when this thread's message filter has given up on the call in progress (the server refused
// it for good, or the call was given up): the refusal that follows then stands.
bool& GaveUp() noexcept;

// Makes the call, and makes it again while the server's Invoke answers that it is busy, as long
// as the call may be made twice and this thread's current call is not given up, also not during
// the pause between two attempts.
template <class F> HRESULT RetryWhileBusy(F&& attempt, bool repeatable) {
    for (;;) {
        GaveUp() = false;
        const HRESULT hr = attempt();
        if (hr != RPC_E_CALL_REJECTED || GaveUp() || !repeatable)
            return hr;
        CallClock* clock = CallClock::Current();
        if (!clock || !clock->MayRetry())
            return hr;
        Pause(PauseBefore(clock->Waited(), clock->AskAt()));
        if (clock->GivenUp())
            return hr;
    }
}

} // namespace automation::busy
