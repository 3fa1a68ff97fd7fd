// Entry point: the program takes no arguments and runs its main window until it is closed.
#include "Program.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    return RunProgram(instance, show);
}
