#pragma once
// The main window created in the test process, shown, with the Word stand-in answering its probe.

#include "Main.h"

#include "DialogAnswerer.h"
#include "WordStub.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Runs this thread's messages as the program's loop does, for the given time.
inline void Pump(HWND dialogKeysFor, DWORD ms = 0) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue; // a destroyed main window asks to quit; the test goes on
            if (!dialogKeysFor || !IsDialogMessageW(dialogKeysFor, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (static_cast<LONG>(GetTickCount() - end) >= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// A control's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::wstring TextOf(HWND hwnd) {
    const int len = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), len + 1);
    text.resize(static_cast<size_t>(len));
    return text;
}

// One main window for all the tests of a suite (each start-up runs the Word stand-in once).
class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        stub_ = std::make_unique<StubSession>();
        form_ = std::make_unique<TfrmMain>();
        hwnd_ = form_->Create(GetModuleHandleW(nullptr));
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
        Pump(hwnd_, 50);
    }

    static void TearDownTestSuite() {
        form_.reset();
        Pump(nullptr);
        stub_.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(IsWindow(hwnd_));
        SetForegroundWindow(hwnd_);
        SetFocus(hwnd_);
        Pump(hwnd_);
    }

    static inline std::unique_ptr<StubSession> stub_;
    static inline std::unique_ptr<TfrmMain> form_;
    static inline HWND hwnd_ = nullptr;
    TfrmMain& form = *form_;
    HWND hwnd = hwnd_;
};
