#pragma once
// Small text helpers shared by the automation layer's failure texts.

#include <string>

namespace automation::text {

// Drops trailing control characters, spaces and full stops, as system and server texts carry them.
inline std::wstring TrimTail(std::wstring text) {
    while (!text.empty() && (text.back() < L'!' || text.back() == L'.'))
        text.pop_back();
    return text;
}

// Upper-case hexadecimal with exactly `digits` digits.
inline std::wstring Hex(unsigned value, size_t digits) {
    std::wstring hex(digits, L'0');
    for (size_t i = digits; i-- > 0; value >>= 4)
        hex[i] = L"0123456789ABCDEF"[value & 0xF];
    return hex;
}

} // namespace automation::text
