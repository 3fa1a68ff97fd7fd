#pragma once
// The standard save-file dialog, kept for the window's lifetime so it remembers the last name.

#include <windows.h>
#include <commdlg.h>

#include <string>

class TSaveDialog {
public:
    std::wstring Title;
    std::wstring Filter;     // "description|pattern|description|pattern..."
    std::wstring DefaultExt; // without the dot
    std::wstring InitialDir;
    std::wstring FileName; // in: the name offered; out: the full path chosen
    DWORD Options = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING;

    // Runs the dialog; true when the user chose a name.
    bool Execute(HWND owner);

    // "a|b|c|d" as the system dialog takes it: NUL-separated, ending in two NULs.
    static std::wstring FilterForSystem(const std::wstring& filter);
};
