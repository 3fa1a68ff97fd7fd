// The version window.
#include "about.h"

#include "Main.h"

void TAboutBox::Execute(HWND) {}

void TfrmMain::Button2Click() { TAboutBox::Execute(hwnd_.get()); }
