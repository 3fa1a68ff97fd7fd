#include "SaveDialog.h"

bool TSaveDialog::Execute(HWND) { return false; }
