#pragma once
// Late-bound calls into an automation server (Word) through IDispatch.

#include "Error.h"

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace automation {

// Owns one VARIANT: a result, a created object, or nothing (VT_EMPTY). Move-only. Dropping the
// object it holds is waited for as a call is (see BusyServerFilter).
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    explicit Variant(IDispatch* disp) noexcept; // takes over one reference
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() { Clear(); }

    const VARIANT& get() const noexcept { return v_; }
    VARIANT* put() noexcept; // clears first; for out-parameters
    bool empty() const noexcept { return v_.vt == VT_EMPTY; }
    void reset() noexcept { Clear(); }

private:
    void Clear() noexcept;
    VARIANT v_;
};

enum class CallKind { Method, PropertyGet, PropertyPut };

// Whether a method may be made again after the server's own Invoke turned it away: the server may
// have acted before refusing, and a second paragraph, picture or document would go unnoticed.
// Reading or setting a property twice does no harm, so gets and puts always may.
enum class Repeatable : bool { No, Yes };

// Whether a call is still made once the user has given up on the server (see BusyServerFilter):
// only the one that ends the session is. Any other fails at once, unmade.
enum class Closing : bool { No, Yes };

// One call site: which member, how it is invoked, and the names of its named arguments, which are
// the last arguments given, in the order given. Unused names stay empty; four is as many as any
// Word call here names, and a longer list does not compile.
struct CallDesc {
    std::wstring_view member;
    CallKind kind;
    std::array<std::wstring_view, 4> names{};
    Repeatable repeatable = Repeatable::No; // read for methods only
    Closing closing = Closing::No;

    constexpr std::span<const std::wstring_view> Named() const noexcept {
        size_t count = 0;
        while (count < names.size() && !names[count].empty())
            ++count;
        return {names.data(), count};
    }
    constexpr bool MayRepeat() const noexcept {
        return kind != CallKind::Method || repeatable == Repeatable::Yes;
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

// Word may take long to answer one call: it refuses calls while it starts, saves or shows a
// dialog of its own, and an invisible Word can sit on such a dialog for good. Each call (the name
// lookup and the invocation together, or the creation of the object) has one clock. Once it has
// waited `first` milliseconds without an answer the user is asked whether to keep waiting, and
// again each `again` milliseconds after an answer to wait on. Returns the previous limits.
struct WaitLimits {
    DWORD first;
    DWORD again;
};
WaitLimits SetWaitLimits(WaitLimits limits) noexcept;

// The question put to the user. It runs inside a COM callback, on the thread of the call, and must
// not throw: a question that cannot be asked is a キャンセル. Without a question installed, a call
// that reaches the first limit is given up.
enum class WaitAnswer { KeepWaiting, Cancel };
using WaitQuestion = WaitAnswer (*)() noexcept;
// Installs the question for every thread (nullptr: none); returns the one installed before.
WaitQuestion SetWaitQuestion(WaitQuestion question) noexcept;

// What a call that was given up on throws: the system's text for its failure code.
class CallGivenUp : public Error {
public:
    using Error::Error;
};

// While it lives, this thread's COM message filter asks about calls that take too long, retries
// calls that a busy server asks to be retried later, and lets window messages through as COM does
// by default. So that COM consults the filter while a call waits for its answer, a timer wakes the
// thread during each call; what it leaves in the queue is removed after the call. The filter
// registered before is put back afterwards. Without an apartment that takes filters it does
// nothing.
// Once the user has given up on one call, the server is given up on: the call that closes the
// session, and every release of its objects, is still made once, but waited for only a moment and
// then given up without a question; no other call is made.
class BusyServerFilter {
public:
    BusyServerFilter() noexcept;
    ~BusyServerFilter();

    // A call has been given up on while this filter lived.
    bool GivenUp() const noexcept;

private:
    struct Wake;
    bool registered_ = false;
    IMessageFilter* previous_ = nullptr;
    std::unique_ptr<Wake> wake_; // and with it, no copies
};

// Result conversions.
int32_t ToInt32(const Variant& value);
// A real number; texts are read as the comparison reads them.
double ToDouble(const Variant& value);
// <0, 0 or >0 as value is less than, equal to or greater than n, compared as real numbers.
int CompareWithInt(const Variant& value, int32_t n);

// The user-facing text for a failure code (system text, else "OLE エラー XXXXXXXX").
std::wstring ErrorText(HRESULT hr);

// Said after an error's text when Word may outlive the program's use of it: a Word given up on
// while it started, and a Word whose Quit failed.
inline constexpr wchar_t kWordMayStillBeStarting[] =
    L"Ｗｏｒｄは起動中のままになっている可能性があります。";
inline constexpr wchar_t kWordStillRunning[] = L"Ｗｏｒｄは起動したままになっています。";
// The text, ended with "。" unless it ends so already, then the sentence.
std::wstring FollowedBy(const std::wstring& text, std::wstring_view sentence);

} // namespace automation
