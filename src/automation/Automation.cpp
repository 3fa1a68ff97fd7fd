#include "Automation.h"

#include "Busy.h"
#include "Handles.h"
#include "Text.h"

#include <wrl/client.h>

#include <stdexcept>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace automation {

Variant::Variant(IDispatch* disp) noexcept {
    VariantInit(&v_);
    v_.vt = VT_DISPATCH;
    v_.pdispVal = disp;
}
Variant::Variant(Variant&& other) noexcept : v_(other.v_) {
    VariantInit(&other.v_);
}
Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        Clear();
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    return *this;
}
VARIANT* Variant::put() noexcept {
    Clear();
    return &v_;
}
// Dropping the last reference to an object of another process is a call to it, and it is waited
// for as one: the user may give it up, and on a server given up on it is given up shortly. A
// reference whose release was given up stays counted in the server; COM lets it go once the
// program has ended.
void Variant::Clear() noexcept {
    if (v_.vt != VT_DISPATCH && v_.vt != VT_UNKNOWN) {
        VariantClear(&v_);
        return;
    }
    const busy::CallClock clock;
    VariantClear(&v_);
}

using text::TrimTail;

namespace {

[[noreturn]] void ThrowFailure(HRESULT hr) {
    throw Error(ErrorText(hr));
}

void Check(HRESULT hr) {
    if (FAILED(hr))
        ThrowFailure(hr);
}

// A call given up on fails with the text of what COM answered in the end.
void CheckNotGivenUp(HRESULT hr, const busy::CallClock& clock) {
    if (FAILED(hr) && clock.GivenUp())
        throw CallGivenUp(ErrorText(hr));
}

// The interface pointer a variant holds, looking through references; null when it holds none.
IUnknown* InterfaceOf(const VARIANT& v) {
    switch (v.vt) {
    case VT_DISPATCH:
        return v.pdispVal;
    case VT_UNKNOWN:
        return v.punkVal;
    case VT_DISPATCH | VT_BYREF:
        return v.ppdispVal ? *v.ppdispVal : nullptr;
    case VT_UNKNOWN | VT_BYREF:
        return v.ppunkVal ? *v.ppunkVal : nullptr;
    case VT_VARIANT | VT_BYREF:
        return v.pvarVal ? InterfaceOf(*v.pvarVal) : nullptr;
    default:
        return nullptr;
    }
}

ComPtr<IDispatch> DispatchOf(const VARIANT& target) {
    IUnknown* unknown = InterfaceOf(target);
    if (!unknown)
        throw Error(L"バリアントに対する演算が正しくありません");
    ComPtr<IDispatch> dispatch;
    if (target.vt == VT_DISPATCH)
        dispatch = target.pdispVal;
    else if (FAILED(unknown->QueryInterface(IID_PPV_ARGS(&dispatch))) || !dispatch)
        throw Error(L"バリアントはオートメーション オブジェクトを参照していません");
    return dispatch;
}

// The argument slots of one call, in the reverse order that IDispatch::Invoke wants.
// Owns every string it hands to the server, including those the server may replace by reference;
// objects are lent as they stand.
class ParamBlock {
public:
    explicit ParamBlock(size_t count) : slots_(count), texts_(count) {
        for (VARIANTARG& slot : slots_)
            VariantInit(&slot);
    }

    // Puts argument `index` (in the caller's order) into its slot.
    void Set(size_t index, const Arg& arg) {
        const size_t at = slots_.size() - 1 - index;
        VARIANTARG& slot = slots_[at];
        if (const int32_t* integer = std::get_if<int32_t>(&arg)) {
            slot.vt = VT_I4;
            slot.lVal = *integer;
        } else if (const bool* boolean = std::get_if<bool>(&arg)) {
            slot.vt = VT_BOOL;
            slot.boolVal = *boolean ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (const double* real = std::get_if<double>(&arg)) {
            slot.vt = VT_R8; // Word takes it for its Single properties
            slot.dblVal = *real;
        } else if (const std::wstring* text = std::get_if<std::wstring>(&arg)) {
            texts_[at].reset(AllocText(*text));
            slot.vt = VT_BSTR;
            slot.bstrVal = texts_[at].get();
        } else if (std::wstring* const* textRef = std::get_if<std::wstring*>(&arg)) {
            if (!*textRef)
                throw std::logic_error("automation: text-by-reference argument without a text");
            slot.vt = VT_BSTR | VT_BYREF;
            slot.pbstrVal = texts_[at].put();
            *slot.pbstrVal = AllocText(**textRef);
        } else if (const Variant* object = std::get<const Variant*>(arg)) {
            slot = object->get();
        }
    }

    // Copies the texts the server may have changed back into the caller's strings.
    void CopyBack(std::span<const Arg> args) const {
        for (size_t i = 0; i < args.size(); ++i) {
            if (std::wstring* const* textRef = std::get_if<std::wstring*>(&args[i])) {
                const BSTR text = texts_[slots_.size() - 1 - i].get();
                (*textRef)->assign(text ? text : L"", text ? SysStringLen(text) : 0);
            }
        }
    }

    VARIANTARG* data() noexcept { return slots_.empty() ? nullptr : slots_.data(); }
    UINT size() const noexcept { return static_cast<UINT>(slots_.size()); }

private:
    static BSTR AllocText(const std::wstring& text) {
        BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!b)
            throw std::bad_alloc();
        return b;
    }

    std::vector<VARIANTARG> slots_;
    std::vector<UniqueBstr> texts_;
};

// EXCEPINFO whose strings are freed however the call ends.
struct ExcepInfoOwner {
    EXCEPINFO info{};
    ExcepInfoOwner() = default;
    ExcepInfoOwner(const ExcepInfoOwner&) = delete;
    ExcepInfoOwner& operator=(const ExcepInfoOwner&) = delete;
    ~ExcepInfoOwner() {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

[[noreturn]] void ThrowException(ExcepInfoOwner& exception) {
    EXCEPINFO& info = exception.info;
    if (info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    std::wstring description;
    if (info.bstrDescription)
        description.assign(info.bstrDescription, SysStringLen(info.bstrDescription));
    description = TrimTail(std::move(description));
    if (!description.empty())
        throw Error(description);
    // An error number in wCode is the same kind of number that Word gives in scode as
    // 0x800A0000 + number, so it reads the same either way.
    if (info.scode == 0 && info.wCode != 0)
        ThrowFailure(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode));
    // A server that reports no code of its own leaves the bare "exception occurred".
    ThrowFailure(info.scode != 0 ? info.scode : DISP_E_EXCEPTION);
}

// The named arguments, and a put's value, must be among the arguments given.
void CheckShape(const CallDesc& desc, std::span<const Arg> args) {
    const size_t valueSlots = desc.kind == CallKind::PropertyPut ? 1 : 0;
    if (desc.Named().size() + valueSlots > args.size())
        throw std::logic_error("automation: fewer arguments than the call description names");
}

WORD InvokeKind(const CallDesc& desc, std::span<const Arg> args, bool resultWanted) {
    switch (desc.kind) {
    case CallKind::PropertyPut:
        return std::holds_alternative<const Variant*>(args.back()) ? DISPATCH_PROPERTYPUTREF
                                                                   : DISPATCH_PROPERTYPUT;
    case CallKind::PropertyGet:
        // Late binding reads a property the way it calls a method without arguments.
        return DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    case CallKind::Method:
        break;
    }
    return resultWanted && args.empty() ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_METHOD;
}

// Resolves the member and its named arguments in one request: ids[0] is the member's.
std::vector<DISPID> ResolveNames(IDispatch* dispatch, const CallDesc& desc,
                                 const busy::CallClock& clock) {
    const std::span<const std::wstring_view> named = desc.Named();
    std::vector<std::wstring> names{std::wstring(desc.member)};
    names.insert(names.end(), named.begin(), named.end());
    std::vector<LPOLESTR> pointers;
    for (std::wstring& name : names)
        pointers.push_back(name.data());
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    // Looking names up changes nothing: it is always tried again.
    const HRESULT hr = busy::RetryWhileBusy(
        [&] {
            return dispatch->GetIDsOfNames(IID_NULL, pointers.data(),
                                           static_cast<UINT>(pointers.size()), GetThreadLocale(),
                                           ids.data());
        },
        true);
    CheckNotGivenUp(hr, clock);
    if (hr == DISP_E_UNKNOWNNAME)
        throw Error(L"メソッド '" + std::wstring(desc.member) +
                    L"' はオートメーション オブジェクトでサポートしていません");
    Check(hr);
    return ids;
}

void Invoke(const Variant& target, const CallDesc& desc, std::span<const Arg> args, Variant& result,
            bool resultWanted) {
    // Asking a reference for its dispatch interface, and dropping that, are the call's too.
    const busy::CallClock clock;
    if (clock.ServerGivenUp() && desc.closing == Closing::No)
        throw CallGivenUp(ErrorText(RPC_E_CALL_CANCELED));
    ComPtr<IDispatch> dispatch = DispatchOf(target.get());
    CheckShape(desc, args);
    const std::vector<DISPID> ids = ResolveNames(dispatch.Get(), desc, clock);

    ParamBlock params(args.size());
    for (size_t i = 0; i < args.size(); ++i)
        params.Set(i, args[i]);

    // Slot 0 is the last argument: a put's value, else the last named one.
    std::vector<DISPID> named;
    if (desc.kind == CallKind::PropertyPut)
        named.push_back(DISPID_PROPERTYPUT);
    for (size_t j = desc.Named().size(); j > 0; --j)
        named.push_back(ids[j]);

    DISPPARAMS dp{};
    dp.rgvarg = params.data();
    dp.cArgs = params.size();
    dp.rgdispidNamedArgs = named.empty() ? nullptr : named.data();
    dp.cNamedArgs = static_cast<UINT>(named.size());

    const WORD kind = InvokeKind(desc, args, resultWanted);
    ExcepInfoOwner exception;
    UINT argError = 0;
    // Refused by Word's message filter, the call never reached the member and COM tries it again
    // through ours. Refused by Word's Invoke, it may have acted already.
    const HRESULT hr = busy::RetryWhileBusy(
        [&] {
            return dispatch->Invoke(ids[0], IID_NULL, 0, kind, &dp, result.put(), &exception.info,
                                    &argError);
        },
        desc.MayRepeat());
    CheckNotGivenUp(hr, clock);
    if (hr == DISP_E_EXCEPTION)
        ThrowException(exception);
    Check(hr);
    params.CopyBack(args);
}

} // namespace

Variant Create(std::wstring_view progId) {
    const std::wstring id(progId);
    CLSID clsid{};
    Check(CLSIDFromProgID(id.c_str(), &clsid));
    // Starting the server and asking it for its dispatch interface are waited for like a call.
    const busy::CallClock clock;
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_PPV_ARGS(&unknown));
    ComPtr<IDispatch> dispatch;
    if (SUCCEEDED(hr))
        hr = unknown.As(&dispatch);
    CheckNotGivenUp(hr, clock);
    Check(hr);
    return Variant(dispatch.Detach());
}

Variant Call(const Variant& target, const CallDesc& desc, std::span<const Arg> args) {
    Variant result;
    Invoke(target, desc, args, result, true);
    return result;
}

void CallVoid(const Variant& target, const CallDesc& desc, std::span<const Arg> args) {
    Variant unused; // released here, whatever the server put in it
    Invoke(target, desc, args, unused, false);
}

std::wstring ErrorText(HRESULT hr) {
    auto systemText = [](DWORD code) {
        wchar_t buffer[2048];
        const DWORD n =
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
        return TrimTail(std::wstring(buffer, n));
    };
    std::wstring message = systemText(static_cast<DWORD>(hr));
    // Some systems only know a Win32 failure by its plain code.
    if (message.empty() && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        message = systemText(HRESULT_CODE(hr));
    if (!message.empty())
        return message;
    return L"OLE エラー " + text::Hex(static_cast<unsigned>(hr), 8);
}

std::wstring FollowedBy(const std::wstring& text, std::wstring_view sentence) {
    std::wstring joined = text;
    if (!joined.empty() && joined.back() != L'。')
        joined += L'。';
    return joined.append(sentence);
}

} // namespace automation
