#pragma once
// The version window.

#include <windows.h>

class TAboutBox {
public:
    // Shows a fresh version window modally over the owner.
    static void Execute(HWND owner);
};
