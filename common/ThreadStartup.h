#pragma once
// A thread started as the program, its tests, tools and benchmarks start theirs: COM in a
// single-threaded apartment and the common controls; COM is left again when the object goes.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

class ThreadStartup {
public:
    ThreadStartup() noexcept {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
    }
    ThreadStartup(const ThreadStartup&) = delete;
    ThreadStartup& operator=(const ThreadStartup&) = delete;
    ~ThreadStartup() {
        if (ComReady())
            CoUninitialize();
    }
    // The program goes on without COM; the tests and tools stop.
    bool ComReady() const noexcept { return SUCCEEDED(com_); }

private:
    const HRESULT com_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
};
