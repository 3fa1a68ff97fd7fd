#pragma once
// Late-bound calls into an automation server (Word) through IDispatch.

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
enum class ArgKind { Integer, Boolean, Text, TextByRef, Object };

// One call site: which member, how it is invoked, and the shape of its arguments.
// Named arguments are the last `names.size()` of the arguments, in the order given.
struct CallDesc {
    std::wstring_view member;
    CallKind kind;
    std::vector<ArgKind> argKinds;
    std::vector<std::wstring_view> names;
};

// One argument value; its kind must match the call description.
struct Arg {
    ArgKind kind;
    int32_t integer = 0;
    bool boolean = false;
    std::wstring text;
    std::wstring* textRef = nullptr;
    const Variant* object = nullptr;

    static Arg Int(int32_t v) { return {ArgKind::Integer, v, false, {}, nullptr, nullptr}; }
    static Arg Bool(bool v) { return {ArgKind::Boolean, 0, v, {}, nullptr, nullptr}; }
    static Arg Text(std::wstring v) {
        return {ArgKind::Text, 0, false, std::move(v), nullptr, nullptr};
    }
    static Arg TextRef(std::wstring& v) { return {ArgKind::TextByRef, 0, false, {}, &v, nullptr}; }
    static Arg Object(const Variant& v) { return {ArgKind::Object, 0, false, {}, nullptr, &v}; }
};

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

// Drops the reference held by the variant.
void Release(Variant& object) noexcept;

// Result conversions.
int32_t ToInt32(const Variant& value);
// <0, 0 or >0 as value is less than, equal to or greater than n, compared as real numbers.
int CompareWithInt(const Variant& value, int32_t n);

// The user-facing text for a failure code (system text, else "OLE エラー XXXXXXXX").
std::wstring ErrorText(HRESULT hr);

} // namespace automation
