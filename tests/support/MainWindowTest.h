#pragma once
// The main window created in the test process, shown, with the Word stand-in answering its probe.

#include "Main.h"

#include "DialogAnswerer.h"
#include "MessagePump.h"
#include "OpenMainWindow.h"
#include "WindowText.h"
#include "WordStub.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// One main window for all the tests of a suite (each start-up runs the Word stand-in once).
class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        stub_ = std::make_unique<StubSession>();
        form_ = OpenMainWindow();
        hwnd_ = form_->Handle();
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
