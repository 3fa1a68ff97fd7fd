#pragma once
// Inside the automation layer: how a call that a busy server turned away is tried again.

#include "Automation.h"

#include <windows.h>

namespace automation::busy {

// Milliseconds to wait before the next attempt, elapsed milliseconds after the first one.
DWORD PauseBefore(DWORD elapsed, DWORD limit) noexcept;

// Waits that long letting window and COM messages through, as a call in progress does.
void Pause(DWORD milliseconds) noexcept;

// Set when this thread's message filter has given up on the call in progress (the server refused
// it for good, or the retry time ran out): the refusal that follows then stands.
bool& GaveUp() noexcept;

// Makes the call, and makes it again while the server answers that it is busy, within the limit.
template <class F> HRESULT RetryWhileBusy(F&& attempt) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        GaveUp() = false;
        const HRESULT hr = attempt();
        if (hr != RPC_E_CALL_REJECTED || GaveUp())
            return hr;
        const ULONGLONG elapsed = GetTickCount64() - start;
        const DWORD limit = BusyRetryLimit();
        if (elapsed >= limit)
            return hr;
        Pause(PauseBefore(static_cast<DWORD>(elapsed), limit));
    }
}

} // namespace automation::busy
