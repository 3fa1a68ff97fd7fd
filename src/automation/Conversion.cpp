// Conversions of call results to the program's numbers.
#include "Automation.h"

#include "Error.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cwchar>
#include <optional>

namespace automation {

namespace {

// Type names as the conversion failure texts give them.
struct TypeNameOf {
    VARTYPE vt;
    const wchar_t* name;
};
constexpr TypeNameOf kTypeNames[] = {
    {VT_EMPTY, L"Empty"},  {VT_NULL, L"Null"},         {VT_I1, L"ShortInt"},
    {VT_I2, L"Smallint"},  {VT_I4, L"Integer"},        {VT_INT, L"Integer"},
    {VT_I8, L"Int64"},     {VT_UI1, L"Byte"},          {VT_UI2, L"Word"},
    {VT_UI4, L"LongWord"}, {VT_UINT, L"LongWord"},     {VT_UI8, L"UInt64"},
    {VT_R4, L"Single"},    {VT_R8, L"Double"},         {VT_CY, L"Currency"},
    {VT_DATE, L"Date"},    {VT_DECIMAL, L"Decimal"},   {VT_BSTR, L"String"},
    {VT_BOOL, L"Boolean"}, {VT_DISPATCH, L"Dispatch"}, {VT_UNKNOWN, L"Unknown"},
    {VT_ERROR, L"Error"},  {VT_VARIANT, L"Variant"}};

std::wstring TypeName(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const auto* known = std::ranges::find(kTypeNames, base, &TypeNameOf::vt);
    const std::wstring name =
        known != std::end(kTypeNames) ? known->name : L"$" + text::Hex(base, 4);
    return (vt & VT_ARRAY) ? L"Array " + name : name;
}

[[noreturn]] void ThrowCastError(VARTYPE from, const wchar_t* to) {
    throw Error(TypeName(from) + L"型から " + to + L" 型へのバリアント型変換はできません");
}

[[noreturn]] void ThrowRangeError() {
    throw Error(L"範囲チェックエラー");
}

// A decimal number written in plain digits: optional spaces, sign, digits with one optional
// point, optional exponent. Read the same whatever the user's locale is.
std::optional<double> ParseReal(const std::wstring& text) {
    size_t i = 0, end = text.size();
    while (i < end && text[i] <= L' ')
        ++i;
    while (end > i && text[end - 1] <= L' ')
        --end;
    const size_t start = i;
    auto digits = [&] {
        const size_t from = i;
        while (i < end && text[i] >= L'0' && text[i] <= L'9')
            ++i;
        return i - from;
    };
    if (i < end && (text[i] == L'+' || text[i] == L'-'))
        ++i;
    size_t mantissa = digits();
    if (i < end && text[i] == L'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return std::nullopt;
    if (i < end && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < end && (text[i] == L'+' || text[i] == L'-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    // Only ASCII is left here, which the "C" locale reads with a point as separator.
    const std::wstring number = text.substr(start, end - start);
    return std::wcstod(number.c_str(), nullptr);
}

// The value as a number: an exact integer where it is one, a real number otherwise.
struct Number {
    bool exact = true;
    long long integer = 0;
    double real = 0;
};

// Reads the value as a number; `target` names the type for the failure text.
Number ToNumber(const Variant& value, const wchar_t* target) {
    Variant direct;
    const VARIANT* v = &value.get();
    if (v->vt & VT_BYREF) {
        if (FAILED(VariantCopyInd(direct.put(), const_cast<VARIANT*>(v))))
            ThrowCastError(v->vt & ~VT_BYREF, target);
        v = &direct.get();
    }
    Number n;
    auto real = [&n](double d) {
        n.exact = false;
        n.real = d;
        return n;
    };
    switch (v->vt) {
    case VT_EMPTY:
        return n;
    case VT_BOOL:
        n.integer = v->boolVal ? -1 : 0;
        return n;
    case VT_UI8:
        // Beyond 63 bits it is out of every range the program compares with anyway.
        if (v->ullVal > static_cast<unsigned long long>(LLONG_MAX))
            return real(static_cast<double>(v->ullVal));
        [[fallthrough]];
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT: {
        // Every integer kind widens to 64 bits as it is.
        Variant wide;
        if (FAILED(VariantChangeType(wide.put(), const_cast<VARIANT*>(v), 0, VT_I8)))
            ThrowCastError(v->vt, target);
        n.integer = wide.get().llVal;
        return n;
    }
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_CY: // exact for every amount that fits 32 bits, halves included
    case VT_DECIMAL: {
        Variant wide;
        if (FAILED(VariantChangeType(wide.put(), const_cast<VARIANT*>(v), 0, VT_R8)))
            ThrowRangeError();
        return real(wide.get().dblVal);
    }
    case VT_BSTR: {
        const std::wstring text(v->bstrVal ? v->bstrVal : L"",
                                v->bstrVal ? SysStringLen(v->bstrVal) : 0);
        if (const std::optional<double> d = ParseReal(text))
            return real(*d);
        ThrowCastError(VT_BSTR, target);
    }
    default:
        ThrowCastError(v->vt, target);
    }
}

// Nearest integer, a half going to the even neighbour.
double RoundHalfEven(double d) {
    const double down = std::floor(d);
    const double fraction = d - down;
    if (fraction < 0.5)
        return down;
    if (fraction > 0.5)
        return down + 1;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

} // namespace

int32_t ToInt32(const Variant& value) {
    const Number n = ToNumber(value, L"Integer");
    if (n.exact) {
        if (n.integer < INT32_MIN || n.integer > INT32_MAX)
            ThrowRangeError();
        return static_cast<int32_t>(n.integer);
    }
    if (std::isnan(n.real))
        ThrowRangeError();
    const double rounded = RoundHalfEven(n.real);
    if (rounded < static_cast<double>(INT32_MIN) || rounded > static_cast<double>(INT32_MAX))
        ThrowRangeError();
    return static_cast<int32_t>(rounded);
}

double ToDouble(const Variant& value) {
    const Number n = ToNumber(value, L"Double");
    return n.exact ? static_cast<double>(n.integer) : n.real;
}

int CompareWithInt(const Variant& value, int32_t n) {
    const Number v = ToNumber(value, L"Double");
    if (v.exact)
        return v.integer < n ? -1 : v.integer > n ? 1 : 0;
    // A value that is not a number has no place beside any integer.
    if (std::isnan(v.real))
        ThrowRangeError();
    const double d = n;
    return v.real < d ? -1 : v.real > d ? 1 : 0;
}

} // namespace automation
