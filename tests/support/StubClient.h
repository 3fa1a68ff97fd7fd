#pragma once
// Raw late-bound calls to the Word stand-in, written against IDispatch directly so that the
// stand-in's own tests do not lean on the program's automation layer.

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace stubclient {

using Microsoft::WRL::ComPtr;

// A VARIANT that owns its content.
struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    ~Var() { VariantClear(&v); }
    static Var I4(LONG value) {
        Var r;
        V_VT(&r.v) = VT_I4;
        V_I4(&r.v) = value;
        return r;
    }
    static Var R8(double value) {
        Var r;
        V_VT(&r.v) = VT_R8;
        V_R8(&r.v) = value;
        return r;
    }
    static Var Bool(bool value) {
        Var r;
        V_VT(&r.v) = VT_BOOL;
        V_BOOL(&r.v) = value ? VARIANT_TRUE : VARIANT_FALSE;
        return r;
    }
    static Var Str(const std::wstring& value) {
        Var r;
        V_VT(&r.v) = VT_BSTR;
        V_BSTR(&r.v) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return r;
    }
    static Var Disp(IDispatch* value) {
        Var r;
        V_VT(&r.v) = VT_DISPATCH;
        V_DISPATCH(&r.v) = value;
        if (value)
            value->AddRef();
        return r;
    }
    Var(Var&& other) noexcept : v(other.v) { VariantInit(&other.v); }
};

// One argument as the client gives it: named when name is set.
struct Arg {
    std::wstring name;
    VARIANT value; // borrowed
};

struct CallResult {
    HRESULT hr = E_FAIL;
    Var value;
    std::wstring description; // of an exception
    SCODE scode = 0;
    UINT argErr = ~0u;
};

// Resolves the member and the named arguments in one request, then invokes with rgvarg reversed.
inline CallResult Call(IDispatch* target, const std::wstring& member, WORD flags,
                       const std::vector<Arg>& args = {}) {
    CallResult r;
    std::vector<std::wstring> names{member};
    for (const Arg& a : args)
        if (!a.name.empty())
            names.push_back(a.name);
    std::vector<LPOLESTR> raw;
    for (auto& n : names)
        raw.push_back(n.data());
    std::vector<DISPID> ids(names.size());
    r.hr = target->GetIDsOfNames(IID_NULL, raw.data(), static_cast<UINT>(raw.size()),
                                 LOCALE_USER_DEFAULT, ids.data());
    if (FAILED(r.hr))
        return r;
    std::vector<VARIANT> rgvarg(args.size());
    std::vector<DISPID> named;
    const size_t n = args.size();
    for (size_t i = 0; i < n; ++i)
        rgvarg[i] = args[n - 1 - i].value;
    // Named arguments come last in the client's order, so first in rgvarg.
    size_t namedCount = names.size() - 1;
    for (size_t i = 0; i < namedCount; ++i)
        named.push_back(ids[names.size() - 1 - i]);
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        named.insert(named.begin(), DISPID_PROPERTYPUT);
        ++namedCount;
    }
    DISPPARAMS params{rgvarg.data(), named.data(), static_cast<UINT>(n),
                      static_cast<UINT>(namedCount)};
    EXCEPINFO excep{};
    r.hr = target->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &r.value.v, &excep,
                          &r.argErr);
    if (r.hr == DISP_E_EXCEPTION) {
        r.description = excep.bstrDescription ? excep.bstrDescription : L"";
        r.scode = excep.scode;
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return r;
}

constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// A property or method that returns an object; null when the call fails, or when there is no
// object to call it on (so that calls chain).
inline ComPtr<IDispatch> Object(IDispatch* target, const std::wstring& member, WORD flags = kGet,
                                const std::vector<Arg>& args = {}) {
    ComPtr<IDispatch> out;
    if (!target)
        return out;
    CallResult r = Call(target, member, flags, args);
    if (SUCCEEDED(r.hr) && V_VT(&r.value.v) == VT_DISPATCH)
        out = V_DISPATCH(&r.value.v);
    return out;
}

// Document.SaveAs with the file name passed by reference, as the program passes it.
inline CallResult SaveAs(IDispatch* doc, const std::wstring& path) {
    Var name = Var::Str(path);
    VARIANT byRef;
    VariantInit(&byRef);
    V_VT(&byRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&byRef) = &V_BSTR(&name.v);
    return Call(doc, L"SaveAs", DISPATCH_METHOD, {{L"Filename", byRef}});
}

inline ComPtr<IDispatch> CreateWord(HRESULT* hr = nullptr) {
    CLSID clsid{};
    ComPtr<IDispatch> app;
    HRESULT result = CLSIDFromProgID(L"Word.Application", &clsid);
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_PPV_ARGS(&app));
    if (hr)
        *hr = result;
    return app;
}

} // namespace stubclient
