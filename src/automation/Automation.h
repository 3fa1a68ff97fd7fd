#pragma once
// Late-bound calls into an automation server (Word) through IDispatch.

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace automation {

// Owns one VARIANT: a result, a created object, or nothing (VT_EMPTY). Move-only.
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    explicit Variant(IDispatch* disp) noexcept; // takes over one reference
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() { VariantClear(&v_); }

    const VARIANT& get() const noexcept { return v_; }
    VARIANT* put() noexcept; // clears first; for out-parameters
    bool empty() const noexcept { return v_.vt == VT_EMPTY; }
    void reset() noexcept { VariantClear(&v_); }

private:
    VARIANT v_;
};

enum class CallKind { Method, PropertyGet, PropertyPut };

// One call site: which member, how it is invoked, and the names of its named arguments, which are
// the last arguments given, in the order given. Unused names stay empty; four is as many as any
// Word call here names, and a longer list does not compile.
struct CallDesc {
    std::wstring_view member;
    CallKind kind;
    std::array<std::wstring_view, 4> names{};

    constexpr std::span<const std::wstring_view> Named() const noexcept {
        size_t count = 0;
        while (count < names.size() && !names[count].empty())
            ++count;
        return {names.data(), count};
    }
};

// One argument value; the alternative it holds is its kind: integer, boolean, real number, text,
// text by reference, object. Integers, booleans, real numbers and texts are copied into the call.
// An object is lent as it stands: the server gets no reference of its own to keep. A text by
// reference is copied in, and after a call that succeeded the server's text is copied back into the
// caller's string. An integer literal stays an integer: neither bool nor double takes it without
// narrowing.
using Arg = std::variant<int32_t, bool, double, std::wstring, std::wstring*, const Variant*>;

// Creates the object registered under a programmatic identifier ("Word.Application").
Variant Create(std::wstring_view progId);

// One late-bound call whose result is wanted.
Variant Call(const Variant& target, const CallDesc& desc, std::span<const Arg> args = {});
// One late-bound call whose result is not used. Whatever the server returns is still received and
// released: a proxy left to receive it alone would keep an object alive in the server.
void CallVoid(const Variant& target, const CallDesc& desc, std::span<const Arg> args = {});

// A busy server (Word starting up, saving, or showing a dialog of its own) turns calls away
// unheard. Such a call is tried again, after a short pause, until this many milliseconds have
// passed since its first attempt; then the refusal is the call's failure. Returns the previous
// limit.
DWORD SetBusyRetryLimit(DWORD milliseconds) noexcept;
DWORD BusyRetryLimit() noexcept;

// While it lives, this thread's COM message filter retries calls that a busy server asks to be
// retried later, within BusyRetryLimit, and lets window messages through as COM does by default.
// The filter registered before is put back afterwards. Without an apartment that takes filters
// it does nothing.
class BusyServerFilter {
public:
    BusyServerFilter() noexcept;
    BusyServerFilter(const BusyServerFilter&) = delete;
    BusyServerFilter& operator=(const BusyServerFilter&) = delete;
    ~BusyServerFilter();

private:
    bool registered_ = false;
    IMessageFilter* previous_ = nullptr;
};

// Result conversions.
int32_t ToInt32(const Variant& value);
// A real number; texts are read as the comparison reads them.
double ToDouble(const Variant& value);
// <0, 0 or >0 as value is less than, equal to or greater than n, compared as real numbers.
int CompareWithInt(const Variant& value, int32_t n);

// The user-facing text for a failure code (system text, else "OLE エラー XXXXXXXX").
std::wstring ErrorText(HRESULT hr);

} // namespace automation
