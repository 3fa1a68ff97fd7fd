#pragma once
// The application-wide error display and the boundary that keeps exceptions out of window
// procedures and COM callbacks.

#include <windows.h>

#include <string>

// The text the error box shows for a message: a "." is added after a last character above ".".
std::wstring ErrorDisplayText(const std::wstring& message);

// Shows the error box (title "タブロリン", stop icon, OK).
void ShowErrorMessage(const std::wstring& message);

// Shows the exception being handled (call only inside a catch block).
void ShowCurrentException() noexcept;

// Runs a handler; any exception it lets out goes to the error display.
template <class F> void RunHandler(F&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        ShowCurrentException();
    }
}
