#pragma once
// The program's run, called by the entry point: COM for this thread, the main window, the message
// loop. Returns the exit code.

#include <windows.h>

// A main window that cannot be made is reported and ends the run with 1, leaving no window.
int RunProgram(HINSTANCE instance, int show);
