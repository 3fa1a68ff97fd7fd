// Conversions of call results to the program's numbers.
#include "Automation.h"

#include "Error.h"
#include "Text.h"

#include <cmath>
#include <climits>
#include <cwchar>
#include <optional>

namespace automation {

namespace {

std::wstring TypeName(VARTYPE vt) {
    std::wstring name;
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
        name = L"Empty";
        break;
    case VT_NULL:
        name = L"Null";
        break;
    case VT_I1:
        name = L"ShortInt";
        break;
    case VT_I2:
        name = L"Smallint";
        break;
    case VT_I4:
    case VT_INT:
        name = L"Integer";
        break;
    case VT_I8:
        name = L"Int64";
        break;
    case VT_UI1:
        name = L"Byte";
        break;
    case VT_UI2:
        name = L"Word";
        break;
    case VT_UI4:
    case VT_UINT:
        name = L"LongWord";
        break;
    case VT_UI8:
        name = L"UInt64";
        break;
    case VT_R4:
        name = L"Single";
        break;
    case VT_R8:
        name = L"Double";
        break;
    case VT_CY:
        name = L"Currency";
        break;
    case VT_DATE:
        name = L"Date";
        break;
    case VT_DECIMAL:
        name = L"Decimal";
        break;
    case VT_BSTR:
        name = L"String";
        break;
    case VT_BOOL:
        name = L"Boolean";
        break;
    case VT_DISPATCH:
        name = L"Dispatch";
        break;
    case VT_UNKNOWN:
        name = L"Unknown";
        break;
    case VT_ERROR:
        name = L"Error";
        break;
    case VT_VARIANT:
        name = L"Variant";
        break;
    default:
        name = L"$" + text::Hex(vt & VT_TYPEMASK, 4);
        break;
    }
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
        n.integer = 0;
        return n;
    case VT_I1:
        n.integer = v->cVal;
        return n;
    case VT_I2:
        n.integer = v->iVal;
        return n;
    case VT_I4:
        n.integer = v->lVal;
        return n;
    case VT_INT:
        n.integer = v->intVal;
        return n;
    case VT_I8:
        n.integer = v->llVal;
        return n;
    case VT_UI1:
        n.integer = v->bVal;
        return n;
    case VT_UI2:
        n.integer = v->uiVal;
        return n;
    case VT_UI4:
        n.integer = v->ulVal;
        return n;
    case VT_UINT:
        n.integer = v->uintVal;
        return n;
    case VT_UI8:
        // Beyond 63 bits it is out of every range the program compares with anyway.
        if (v->ullVal > static_cast<unsigned long long>(LLONG_MAX))
            return real(static_cast<double>(v->ullVal));
        n.integer = static_cast<long long>(v->ullVal);
        return n;
    case VT_BOOL:
        n.integer = v->boolVal ? -1 : 0;
        return n;
    case VT_R4:
        return real(v->fltVal);
    case VT_R8:
        return real(v->dblVal);
    case VT_DATE:
        return real(v->date);
    // Exact for every amount that fits 32 bits, halves included.
    case VT_CY:
        return real(static_cast<double>(v->cyVal.int64) / 10000.0);
    case VT_DECIMAL: {
        double d = 0;
        if (FAILED(VarR8FromDec(const_cast<DECIMAL*>(&v->decVal), &d)))
            ThrowRangeError();
        return real(d);
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
