#include "DialogOwner.h"

namespace {

HWND mainWindow = nullptr;

} // namespace

void RegisterMainWindow(HWND window) noexcept {
    if (!mainWindow || !IsWindow(mainWindow))
        mainWindow = window;
}

void UnregisterMainWindow(HWND window) noexcept {
    if (mainWindow == window)
        mainWindow = nullptr;
}

HWND DialogOwner() noexcept {
    if (!mainWindow || !IsWindow(mainWindow))
        return GetActiveWindow();
    if (IsWindowEnabled(mainWindow))
        return mainWindow;
    // Disabled by a modal window of ours: the box goes over that one, so it stays modal.
    HWND over = GetActiveWindow();
    if (!over)
        over = GetLastActivePopup(mainWindow);
    return over && over != mainWindow && IsWindowVisible(over) && IsWindowEnabled(over)
               ? over
               : mainWindow;
}
