#pragma once
// The late-bound face every stand-in object shows: a table of members with Word's names, resolved
// without regard to case, and an Invoke that checks the invocation kind, the arguments and their
// kinds before the member runs, and journals every call it receives.

#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

namespace wordstub {

// GetPut: a property that can be read and written, under one DISPID as Word has it.
enum class Access { Get, Put, GetPut, Method };
enum class ArgType { Integer, Real, Boolean, Text, Object }; // Real: Word's Single

struct Param {
    DISPID id;           // the argument's DISPID, also its position among positional arguments
    const wchar_t* name; // nullptr for a property put's value
    ArgType type;
    bool required;
};

struct Member {
    DISPID id;
    const wchar_t* name;
    Access access;
    std::vector<Param> params;
};

class StubObject;

// The arguments of one call after checking, by the member's parameter index.
class Arguments {
public:
    explicit Arguments(size_t count) : values_(count) {}
    bool Has(size_t i) const { return values_[i].has_value(); }
    // The call writes the property (rather than reads it).
    bool IsPut() const { return put_; }
    void SetPut(bool put) { put_ = put; }
    int Integer(size_t i, int fallback = 0) const;
    float Real(size_t i, float fallback = 0) const;
    bool Boolean(size_t i, bool fallback = false) const;
    std::wstring Text(size_t i, const std::wstring& fallback = {}) const;
    StubObject* Object(size_t i) const; // nullptr when absent or not one of ours

    struct Value {
        long integer = 0;
        float real = 0;
        bool boolean = false;
        std::wstring text;
        IUnknown* object = nullptr; // borrowed for the call
    };
    std::optional<Value>& at(size_t i) { return values_[i]; }

private:
    std::vector<std::optional<Value>> values_;
    bool put_ = false;
};

// An error raised inside a member: Word reports it as an exception with its own description
// (DISP_E_EXCEPTION), or, without a description, as the plain code.
struct MemberError {
    HRESULT code;
    std::wstring description;
};

// Word's own error codes are reported in this form.
constexpr HRESULT WordError(int number) {
    return static_cast<HRESULT>(0x800A0000u | static_cast<unsigned>(number));
}

class StubObject : public IDispatch {
public:
    StubObject(const wchar_t* kind, const std::vector<Member>& members);
    StubObject(const StubObject&) = delete;
    StubObject& operator=(const StubObject&) = delete;
    virtual ~StubObject();

    const wchar_t* Kind() const noexcept { return kind_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                     UINT* argErr) override;

    // Recognises one of our own objects handed back by the client (an anchor range).
    static StubObject* FromUnknown(IUnknown* unknown);

protected:
    // Runs the member; fills result for gets and methods that return something.
    virtual void Call(const Member& member, const Arguments& args, VARIANT& result) = 0;

private:
    const Member* Find(DISPID id) const;
    HRESULT Resolve(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) const;
    HRESULT Check(const Member& member, WORD flags, const DISPPARAMS& params, Arguments& args,
                  UINT* argErr) const;

    LONG refs_ = 1;
    const wchar_t* kind_;
    const std::vector<Member>& members_;
};

// Hands a new object to the caller as a VT_DISPATCH result (the object starts with one reference).
void ReturnObject(VARIANT& result, StubObject* object);

// The journal's form of one argument: <VT>:<value>.
std::wstring DescribeArgument(const VARIANT& value);
// The journal's form of an invocation kind.
std::wstring DescribeFlags(WORD flags);

} // namespace wordstub
