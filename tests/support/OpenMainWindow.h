#pragma once
// The program's main window made in the test's own thread, as the program makes it at start-up.

#include "Main.h"
#include "MessagePump.h"

#include <memory>
#include <stdexcept>

// Creates the main window, shows it unless told not to, and runs what that queued.
inline std::unique_ptr<TfrmMain> OpenMainWindow(bool show = true) {
    auto form = std::make_unique<TfrmMain>();
    if (!form->Create(GetModuleHandleW(nullptr)))
        throw std::runtime_error("the main window was not created");
    if (show) {
        ShowWindow(form->Handle(), SW_SHOWNORMAL);
        UpdateWindow(form->Handle());
    }
    Pump(form->Handle());
    return form;
}
