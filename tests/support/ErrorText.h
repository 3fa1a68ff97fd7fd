#pragma once
// The user-facing text of the Error a call throws.

#include "Error.h"

#include <string>

// Runs `f` and returns the text of the Error it throws ("" when it throws none).
template <class F> std::wstring ErrorOf(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.message();
    }
    return L"";
}
