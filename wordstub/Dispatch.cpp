#include "Dispatch.h"

#include "Server.h"

#include <cwchar>

namespace wordstub {

namespace {

// Answered only by our own objects in this process: a proxy cannot pass it on.
constexpr IID kStubObjectIid = {
    0x5d0f3a51, 0x8c1e, 0x4b7a, {0x9e, 0x21, 0x44, 0x6b, 0x0d, 0x3f, 0x71, 0xa2}};

struct VtName {
    VARTYPE vt;
    const wchar_t* name;
};
constexpr VtName kVtNames[] = {
    {VT_EMPTY, L"VT_EMPTY"},     {VT_NULL, L"VT_NULL"},
    {VT_I2, L"VT_I2"},           {VT_I4, L"VT_I4"},
    {VT_R4, L"VT_R4"},           {VT_R8, L"VT_R8"},
    {VT_CY, L"VT_CY"},           {VT_DATE, L"VT_DATE"},
    {VT_BSTR, L"VT_BSTR"},       {VT_DISPATCH, L"VT_DISPATCH"},
    {VT_ERROR, L"VT_ERROR"},     {VT_BOOL, L"VT_BOOL"},
    {VT_VARIANT, L"VT_VARIANT"}, {VT_UNKNOWN, L"VT_UNKNOWN"},
    {VT_DECIMAL, L"VT_DECIMAL"}, {VT_I1, L"VT_I1"},
    {VT_UI1, L"VT_UI1"},         {VT_UI2, L"VT_UI2"},
    {VT_UI4, L"VT_UI4"},         {VT_I8, L"VT_I8"},
    {VT_UI8, L"VT_UI8"},         {VT_INT, L"VT_INT"},
    {VT_UINT, L"VT_UINT"},
};

std::wstring TypeName(VARTYPE vt) {
    std::wstring name;
    const VARTYPE base = vt & VT_TYPEMASK;
    for (const auto& entry : kVtNames)
        if (entry.vt == base)
            name = entry.name;
    if (name.empty())
        name = L"VT_" + std::to_wstring(base);
    if (vt & VT_ARRAY)
        name += L"|VT_ARRAY";
    if (vt & VT_BYREF)
        name += L"|VT_BYREF";
    return name;
}

// A by-reference argument as the value it points to; a plain one unchanged.
class Dereferenced {
public:
    explicit Dereferenced(const VARIANT& in) {
        VariantInit(&copy_);
        if (V_VT(&in) & VT_BYREF) {
            ok_ = SUCCEEDED(VariantCopyInd(&copy_, const_cast<VARIANT*>(&in)));
            value_ = &copy_;
        } else {
            value_ = &in;
        }
    }
    Dereferenced(const Dereferenced&) = delete;
    Dereferenced& operator=(const Dereferenced&) = delete;
    ~Dereferenced() { VariantClear(&copy_); }
    bool ok() const { return ok_; }
    const VARIANT& get() const { return *value_; }

private:
    VARIANT copy_;
    const VARIANT* value_;
    bool ok_ = true;
};

bool IsMissing(const VARIANT& v) {
    return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND;
}

// Word coerces what it can use (as its type library would) and refuses the rest.
HRESULT Convert(const VARIANT& in, ArgType type, Arguments::Value& out) {
    Dereferenced arg(in);
    if (!arg.ok())
        return DISP_E_TYPEMISMATCH;
    const VARIANT& v = arg.get();
    const VARTYPE vt = V_VT(&v);
    if (type == ArgType::Object) {
        if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && V_UNKNOWN(&v)) {
            out.object = V_UNKNOWN(&v); // the caller's reference lasts for the call
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    if (vt == VT_EMPTY || vt == VT_NULL || vt == VT_DISPATCH || vt == VT_UNKNOWN ||
        vt == VT_ERROR || (vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    const VARTYPE target = type == ArgType::Integer   ? VT_I4
                           : type == ArgType::Real    ? VT_R4
                           : type == ArgType::Boolean ? VT_BOOL
                                                      : VT_BSTR;
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, target);
    if (FAILED(hr))
        return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    if (target == VT_I4)
        out.integer = V_I4(&converted);
    else if (target == VT_R4)
        out.real = V_R4(&converted);
    else if (target == VT_BOOL)
        out.boolean = V_BOOL(&converted) != VARIANT_FALSE;
    else
        out.text.assign(V_BSTR(&converted), SysStringLen(V_BSTR(&converted)));
    VariantClear(&converted);
    return S_OK;
}

const Param* ParamById(const Member& member, DISPID id, size_t& index) {
    for (size_t i = 0; i < member.params.size(); ++i)
        if (member.params[i].id == id) {
            index = i;
            return &member.params[i];
        }
    return nullptr;
}

} // namespace

int Arguments::Integer(size_t i, int fallback) const {
    return values_[i] ? static_cast<int>(values_[i]->integer) : fallback;
}
float Arguments::Real(size_t i, float fallback) const {
    return values_[i] ? values_[i]->real : fallback;
}
bool Arguments::Boolean(size_t i, bool fallback) const {
    return values_[i] ? values_[i]->boolean : fallback;
}
std::wstring Arguments::Text(size_t i, const std::wstring& fallback) const {
    return values_[i] ? values_[i]->text : fallback;
}
StubObject* Arguments::Object(size_t i) const {
    return values_[i] ? StubObject::FromUnknown(values_[i]->object) : nullptr;
}

std::wstring DescribeFlags(WORD flags) {
    std::wstring text;
    auto add = [&](WORD bit, const wchar_t* name) {
        if (flags & bit) {
            if (!text.empty())
                text += L'|';
            text += name;
        }
    };
    add(DISPATCH_METHOD, L"method");
    add(DISPATCH_PROPERTYGET, L"get");
    add(DISPATCH_PROPERTYPUT, L"put");
    add(DISPATCH_PROPERTYPUTREF, L"putref");
    return text.empty() ? L"none" : text;
}

std::wstring DescribeArgument(const VARIANT& value) {
    std::wstring text = TypeName(V_VT(&value)) + L":";
    if (V_VT(&value) & VT_ARRAY)
        return text + L"array";
    Dereferenced arg(value);
    const VARIANT& v = arg.get();
    wchar_t buffer[64];
    switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL:
        return text;
    case VT_BOOL:
        return text + std::to_wstring(static_cast<int>(V_BOOL(&v)));
    case VT_BSTR:
        return text + L"\"" +
               std::wstring(V_BSTR(&v) ? V_BSTR(&v) : L"", SysStringLen(V_BSTR(&v))) + L"\"";
    case VT_R4:
        swprintf(buffer, 64, L"%g", static_cast<double>(V_R4(&v)));
        return text + buffer;
    case VT_R8:
        swprintf(buffer, 64, L"%g", V_R8(&v));
        return text + buffer;
    case VT_ERROR:
        return text + HexCode(V_ERROR(&v));
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        if (!V_UNKNOWN(&v))
            return text + L"null";
        StubObject* ours = StubObject::FromUnknown(V_UNKNOWN(&v));
        return text + (ours ? ours->Kind() : L"foreign");
    }
    default: {
        VARIANT converted;
        VariantInit(&converted);
        if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_BSTR))) {
            text += std::wstring(V_BSTR(&converted), SysStringLen(V_BSTR(&converted)));
            VariantClear(&converted);
        } else {
            text += L"?";
        }
        return text;
    }
    }
}

void ReturnObject(VARIANT& result, StubObject* object) {
    VariantClear(&result);
    V_VT(&result) = VT_DISPATCH;
    V_DISPATCH(&result) = object;
}

StubObject::StubObject(const wchar_t* kind, const std::vector<Member>& members)
    : kind_(kind), members_(members) {
    Server::Instance().ObjectCreated();
}

StubObject::~StubObject() {
    Server::Instance().ObjectDestroyed();
}

StubObject* StubObject::FromUnknown(IUnknown* unknown) {
    if (!unknown)
        return nullptr;
    StubObject* ours = nullptr;
    if (FAILED(unknown->QueryInterface(kStubObjectIid, reinterpret_cast<void**>(&ours))) || !ours)
        return nullptr;
    ours->Release(); // the caller's reference keeps it alive for the call
    return ours;
}

HRESULT StubObject::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kStubObjectIid)) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG StubObject::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG StubObject::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

HRESULT StubObject::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT StubObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

const Member* StubObject::Find(DISPID id) const {
    for (const Member& m : members_)
        if (m.id == id)
            return &m;
    return nullptr;
}

HRESULT StubObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    try {
        return Resolve(iid, names, count, ids);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT StubObject::Resolve(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) const {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const std::wstring wanted = names[0] ? names[0] : L"";
    const Member* member = nullptr;
    for (const Member& m : members_)
        if (SameName(wanted, m.name))
            member = &m;
    auto& server = Server::Instance();
    if (!member) {
        server.Journal(std::wstring(kind_) + L"." + wanted + L" REJECTED " +
                       HexCode(DISP_E_UNKNOWNNAME));
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = member->id;
    std::wstring unknown;
    for (UINT i = 1; i < count; ++i) {
        const std::wstring name = names[i] ? names[i] : L"";
        for (const Param& p : member->params)
            if (p.name && SameName(name, p.name))
                ids[i] = p.id;
        if (ids[i] == DISPID_UNKNOWN)
            unknown += L" " + name;
    }
    if (!unknown.empty()) {
        server.Journal(std::wstring(kind_) + L"." + member->name + L" REJECTED " +
                       HexCode(DISP_E_UNKNOWNNAME) + unknown);
        return DISP_E_UNKNOWNNAME;
    }
    return S_OK;
}

HRESULT StubObject::Check(const Member& member, WORD flags, const DISPPARAMS& params,
                          Arguments& args, UINT* argErr) const {
    const bool readable = member.access == Access::Get || member.access == Access::GetPut;
    const bool writable = member.access == Access::Put || member.access == Access::GetPut;
    const bool put = writable && (flags & DISPATCH_PROPERTYPUT);
    const bool kindOk = put || (readable && (flags & DISPATCH_PROPERTYGET)) ||
                        (member.access == Access::Method && (flags & DISPATCH_METHOD));
    if (!kindOk)
        return DISP_E_MEMBERNOTFOUND;
    args.SetPut(put);
    if ((params.cArgs > 0 && !params.rgvarg) || params.cNamedArgs > params.cArgs ||
        (params.cNamedArgs > 0 && !params.rgdispidNamedArgs))
        return E_INVALIDARG;

    // Which parameter each rgvarg entry fills.
    std::vector<size_t> slot(params.cArgs);
    std::vector<bool> filled(member.params.size(), false);
    if (put) {
        if (params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
        if (params.cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        slot[0] = 0;
    } else {
        for (UINT i = 0; i < params.cNamedArgs; ++i) {
            size_t index = 0;
            const Param* p = ParamById(member, params.rgdispidNamedArgs[i], index);
            if (!p || !p->name || filled[index]) {
                if (argErr)
                    *argErr = i;
                return DISP_E_PARAMNOTFOUND;
            }
            filled[index] = true;
            slot[i] = index;
        }
        const UINT positional = params.cArgs - params.cNamedArgs;
        for (UINT pos = 0; pos < positional; ++pos) {
            const UINT at = params.cArgs - 1 - pos;
            size_t index = 0;
            if (!ParamById(member, static_cast<DISPID>(pos), index))
                return DISP_E_BADPARAMCOUNT;
            if (filled[index]) {
                if (argErr)
                    *argErr = at;
                return DISP_E_PARAMNOTFOUND;
            }
            filled[index] = true;
            slot[at] = index;
        }
    }
    for (UINT i = 0; i < params.cArgs; ++i) {
        const VARIANT& v = params.rgvarg[i];
        if (IsMissing(v))
            continue;
        Arguments::Value value;
        const HRESULT hr = Convert(v, member.params[slot[i]].type, value);
        if (FAILED(hr)) {
            if (argErr)
                *argErr = i;
            return hr;
        }
        args.at(slot[i]) = std::move(value);
    }
    for (size_t i = 0; i < member.params.size(); ++i)
        if (member.params[i].required && !args.Has(i) &&
            (put || member.params[i].id != DISPID_PROPERTYPUT))
            return DISP_E_PARAMNOTOPTIONAL;
    return S_OK;
}

HRESULT StubObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    auto& server = Server::Instance();
    try {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        const Member* member = Find(id);
        if (!member) {
            server.Journal(std::wstring(kind_) + L".#" + std::to_wstring(id) + L" REJECTED " +
                           HexCode(DISP_E_MEMBERNOTFOUND));
            return DISP_E_MEMBERNOTFOUND;
        }
        const std::wstring what = std::wstring(kind_) + L"." + member->name;
        // A busy Word turns the call away before looking at it: it never happened.
        if (server.TurnAway(member->name)) {
            server.Journal(L"BUSY " + what);
            return RPC_E_CALL_REJECTED;
        }
        DISPPARAMS none{};
        const DISPPARAMS& p = params ? *params : none;

        Arguments args(member->params.size());
        HRESULT hr = Check(*member, flags, p, args, argErr);
        if (SUCCEEDED(hr) && server.Quitting())
            hr = RPC_E_DISCONNECTED; // Word is on its way out
        if (FAILED(hr)) {
            server.Journal(what + L" REJECTED " + HexCode(hr));
            return hr;
        }

        std::wstring line = what + L" " + DescribeFlags(flags);
        for (UINT i = p.cArgs; i-- > 0;) {
            line += L" ";
            if (i < p.cNamedArgs && p.rgdispidNamedArgs[i] != DISPID_PROPERTYPUT) {
                size_t index = 0;
                line +=
                    std::wstring(ParamById(*member, p.rgdispidNamedArgs[i], index)->name) + L"=";
            }
            line += DescribeArgument(p.rgvarg[i]);
        }
        server.Journal(line);
        server.MaybeHang(member->name, what);

        MemberError error{S_OK, {}};
        VARIANT out;
        VariantInit(&out);
        switch (server.CountCall(member->name)) {
        case Fate::Crash:
            server.Crash(what);
        case Fate::Fail: {
            const Scenario& s = server.scenario();
            error.description = s.failDescription;
            error.code = s.failCode                  ? s.failCode
                         : s.failDescription.empty() ? E_FAIL
                                                     : WordError(4198);
            hr = !s.failDescription.empty() || error.code == DISP_E_EXCEPTION ? DISP_E_EXCEPTION
                                                                              : error.code;
            server.Journal(L"FAIL " + what + L" " + HexCode(hr) + L" \"" + error.description +
                           L"\"");
            break;
        }
        case Fate::Normal:
            try {
                Call(*member, args, out);
                hr = S_OK;
            } catch (const MemberError& e) {
                error = e;
                hr = e.description.empty() ? e.code : DISP_E_EXCEPTION;
            }
            break;
        }
        if (hr == DISP_E_EXCEPTION && excep) {
            *excep = EXCEPINFO{};
            excep->bstrSource = SysAllocString(L"Microsoft Word");
            excep->bstrDescription = SysAllocString(error.description.c_str());
            excep->scode = error.code == DISP_E_EXCEPTION ? WordError(4198) : error.code;
        }
        if (FAILED(hr)) {
            VariantClear(&out);
            return hr;
        }
        if (result) {
            VariantInit(result);
            *result = out;
        } else {
            VariantClear(&out);
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace wordstub
