#pragma once
// How long the test kit waits for what it expects (a dialog, a stand-in's exit), and how often it
// looks: times by TABLORIN_TEST_TIME_SCALE, a whole number (1 when unset), for a machine many times
// slower than a desktop, such as an emulated one. The program's own times are not scaled.

#include <windows.h>

#include <cwchar>

inline DWORD TestTime(DWORD ms) {
    static const DWORD scale = [] {
        wchar_t value[8] = {};
        const DWORD n = GetEnvironmentVariableW(L"TABLORIN_TEST_TIME_SCALE", value, 8);
        const long s = n > 0 && n < 8 ? std::wcstol(value, nullptr, 10) : 1;
        return s >= 1 && s <= 100 ? static_cast<DWORD>(s) : 1u;
    }();
    return ms * scale;
}
