#pragma once
// Resource identifiers shared by the resource scripts and the code.

#define IDI_MAINICON 1
#define IDR_ABOUTPICTURE 101
#define IDC_DRAGENTRY 102
