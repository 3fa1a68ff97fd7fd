// The automation layer against in-process objects: what reaches IDispatch, how failures read,
// and how results convert.
#include "automation/Automation.h"
#include "ErrorText.h"

#include "Error.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cmath>
#include <cwchar>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace automation;

namespace {

#define EXPECT_ERROR_TEXT(expr, text) EXPECT_EQ(ErrorOf([&] { (void)(expr); }), std::wstring(text))

template <class Set> Variant Make(VARTYPE vt, Set set) {
    Variant v;
    VARIANT* raw = v.put();
    raw->vt = vt;
    set(*raw);
    return v;
}
Variant I4(LONG n) {
    return Make(VT_I4, [n](VARIANT& v) { v.lVal = n; });
}
Variant R8(double d) {
    return Make(VT_R8, [d](VARIANT& v) { v.dblVal = d; });
}
Variant Str(const wchar_t* s) {
    return Make(VT_BSTR, [s](VARIANT& v) { v.bstrVal = SysAllocString(s); });
}

// A reference-counted object that lives on the test's stack: the count shows leaks and double
// releases.
template <class... Interfaces> class Counted : public Interfaces... {
public:
    ULONG refs = 1;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

class PlainUnknown : public Counted<IUnknown> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown)
            return E_NOINTERFACE;
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
};

// An argument slot as it arrived, written like the stand-in's journal.
std::wstring Describe(const VARIANTARG& v) {
    switch (v.vt) {
    case VT_I4:
        return L"VT_I4:" + std::to_wstring(v.lVal);
    case VT_BOOL:
        return L"VT_BOOL:" + std::to_wstring(v.boolVal);
    case VT_R8: {
        wchar_t number[32];
        swprintf(number, 32, L"%.17g", v.dblVal);
        return L"VT_R8:" + std::wstring(number);
    }
    case VT_BSTR:
        return L"VT_BSTR:\"" + std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) + L"\"";
    case VT_BSTR | VT_BYREF:
        return L"VT_BSTR|VT_BYREF:\"" + std::wstring(*v.pbstrVal, SysStringLen(*v.pbstrVal)) +
               L"\"";
    case VT_DISPATCH:
        return L"VT_DISPATCH";
    default:
        return L"VT_" + std::to_wstring(v.vt);
    }
}

// A dispatch object that records what the layer sends it. Names map to DISPIDs by their place in
// `known` (1-based); Invoke's behaviour is up to the test.
class FakeDispatch : public Counted<IDispatch> {
public:
    struct NameRequest {
        std::vector<std::wstring> names;
        LCID lcid;
    };
    struct Invocation {
        DISPID member;
        WORD flags;
        LCID lcid;
        std::vector<std::wstring> args; // rgvarg order
        std::vector<DISPID> named;
        bool resultSlot;           // a VARIANT for the result was passed
        const VARIANTARG* rawArgs; // valid only during the call
    };
    std::vector<std::wstring> known;
    std::vector<NameRequest> nameRequests;
    std::vector<Invocation> invocations;
    std::function<HRESULT(Invocation&, VARIANT*, EXCEPINFO*)> onInvoke;
    std::function<void()> onRelease;
    int busyNames = 0; // name requests still to be turned away as by a busy server

    explicit FakeDispatch(std::vector<std::wstring> names = {}) : known(std::move(names)) {}

    DISPID Id(const std::wstring& name) const {
        for (size_t i = 0; i < known.size(); ++i)
            if (known[i] == name)
                return static_cast<DISPID>(i + 1);
        return DISPID_UNKNOWN;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        if (onRelease)
            onRelease();
        return --refs;
    }
    // A Variant holding a new reference to this object.
    Variant Ref() {
        AddRef();
        return Variant(static_cast<IDispatch*>(this));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch)
            return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        NameRequest request{{}, lcid};
        if (busyNames > 0) {
            --busyNames;
            nameRequests.push_back(request);
            return RPC_E_CALL_REJECTED;
        }
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            request.names.emplace_back(names[i]);
            ids[i] = Id(names[i]);
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        nameRequests.push_back(request);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT*) override {
        Invocation call{member, flags, lcid, {}, {}, result != nullptr, params->rgvarg};
        for (UINT i = 0; i < params->cArgs; ++i)
            call.args.push_back(Describe(params->rgvarg[i]));
        for (UINT i = 0; i < params->cNamedArgs; ++i)
            call.named.push_back(params->rgdispidNamedArgs[i]);
        const HRESULT hr = onInvoke ? onInvoke(call, result, exception) : S_OK;
        call.rawArgs = nullptr;
        invocations.push_back(call);
        return hr;
    }
};

const CallDesc kTypeParagraph{L"TypeParagraph", CallKind::Method};
const CallDesc kVersion{L"Version", CallKind::PropertyGet};
const CallDesc kGoToLine{L"GoTo", CallKind::Method, {L"What", L"Which", L"Count", L"Name"}};
const CallDesc kWrapType{L"Type", CallKind::PropertyPut};
const CallDesc kSaveAs{L"SaveAs", CallKind::Method, {L"Filename"}, Repeatable::Yes};

HRESULT STDAPICALLTYPE FillDescriptionLater(EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(L"遅れて届いた説明。 \r\n");
    return S_OK;
}

const wchar_t kNotOperable[] = L"バリアントに対する演算が正しくありません";
const wchar_t kNotObject[] = L"バリアントはオートメーション オブジェクトを参照していません";

} // namespace

// ---------------------------------------------------------------------------------------------
// The target must be an automation object.

TEST(AutomationTarget, ValuesWithoutAnInterfaceAreNotOperable) {
    Variant empty;
    EXPECT_ERROR_TEXT(Call(empty, kVersion), kNotOperable);
    EXPECT_ERROR_TEXT(CallVoid(I4(12), kTypeParagraph), kNotOperable);
    EXPECT_ERROR_TEXT(Call(Str(L"Word"), kVersion), kNotOperable);
    EXPECT_ERROR_TEXT(
        CallVoid(Make(VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }), kTypeParagraph),
        kNotOperable);
}

TEST(AutomationTarget, InterfaceWithoutDispatchIsNotAnObject) {
    PlainUnknown plain;
    {
        plain.AddRef();
        Variant target = Make(VT_UNKNOWN, [&](VARIANT& v) { v.punkVal = &plain; });
        EXPECT_ERROR_TEXT(Call(target, kVersion), kNotObject);
        EXPECT_ERROR_TEXT(CallVoid(target, kWrapType, std::vector<Arg>{3}), kNotObject);
        EXPECT_EQ(plain.refs, 2u);
    }
    EXPECT_EQ(plain.refs, 1u);
}

TEST(AutomationTarget, UnknownThatIsAlsoDispatchIsCalled) {
    FakeDispatch word({L"Version"});
    word.onInvoke = [](auto&, VARIANT* result, EXCEPINFO*) {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(L"16.0");
        return S_OK;
    };
    {
        word.AddRef();
        Variant target =
            Make(VT_UNKNOWN, [&](VARIANT& v) { v.punkVal = static_cast<IDispatch*>(&word); });
        Variant version = Call(target, kVersion);
        ASSERT_EQ(version.get().vt, VT_BSTR);
        EXPECT_STREQ(version.get().bstrVal, L"16.0");
    }
    EXPECT_EQ(word.refs, 1u);
}

// ---------------------------------------------------------------------------------------------
// Names: one request per call, in the thread's locale, with the member's name in the failure.

TEST(AutomationNames, MemberAndNamedArgumentsResolvedInOneRequest) {
    FakeDispatch selection({L"Name", L"GoTo", L"Count", L"Which", L"What"});
    CallVoid(selection.Ref(), kGoToLine, std::vector<Arg>{3, 2, 1, L""});
    ASSERT_EQ(selection.nameRequests.size(), 1u);
    EXPECT_EQ(selection.nameRequests[0].names,
              (std::vector<std::wstring>{L"GoTo", L"What", L"Which", L"Count", L"Name"}));
    EXPECT_EQ(selection.nameRequests[0].lcid, GetThreadLocale());
    ASSERT_EQ(selection.invocations.size(), 1u);
    EXPECT_EQ(selection.invocations[0].member, selection.Id(L"GoTo"));
    EXPECT_EQ(selection.invocations[0].lcid, 0u);
    EXPECT_EQ(selection.refs, 1u);
}

TEST(AutomationNames, UnknownMemberOrArgumentNamesTheMember) {
    FakeDispatch selection({L"GoTo", L"What", L"Which", L"Name"});
    EXPECT_ERROR_TEXT(
        CallVoid(selection.Ref(), kTypeParagraph),
        L"メソッド 'TypeParagraph' はオートメーション オブジェクトでサポートしていません");
    // "Count" is the one it does not know, yet the text names the member.
    EXPECT_ERROR_TEXT(CallVoid(selection.Ref(), kGoToLine, std::vector<Arg>{3, 2, 1, L""}),
                      L"メソッド 'GoTo' はオートメーション オブジェクトでサポートしていません");
    EXPECT_TRUE(selection.invocations.empty());
    EXPECT_EQ(selection.refs, 1u);
}

// ---------------------------------------------------------------------------------------------
// The parameter block: reverse order, named DISPIDs, argument kinds.

TEST(AutomationArguments, NamedArgumentsReversedWithTheirIds) {
    FakeDispatch shapes(
        {L"AddPicture", L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"});
    FakeDispatch range;
    {
        const Variant anchor = range.Ref();
        const CallDesc addPicture{L"AddPicture",
                                  CallKind::Method,
                                  {L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"}};
        const VARIANTARG* seenAnchor = nullptr;
        shapes.onInvoke = [&](FakeDispatch::Invocation& call, VARIANT*, EXCEPINFO*) {
            seenAnchor = &call.rawArgs[3];
            EXPECT_EQ(call.rawArgs[3].pdispVal, static_cast<IDispatch*>(&range));
            return S_OK;
        };
        Variant shape = Call(shapes.Ref(), addPicture,
                             std::vector<Arg>{&anchor, L"C:\\写真\\花 🌸.jpg", false, true});
        ASSERT_EQ(shapes.invocations.size(), 1u);
        const auto& call = shapes.invocations[0];
        EXPECT_NE(seenAnchor, nullptr);
        EXPECT_EQ(call.args,
                  (std::vector<std::wstring>{L"VT_BOOL:-1", L"VT_BOOL:0",
                                             L"VT_BSTR:\"C:\\写真\\花 🌸.jpg\"", L"VT_DISPATCH"}));
        EXPECT_EQ(call.named,
                  (std::vector<DISPID>{shapes.Id(L"SaveWithDocument"), shapes.Id(L"LinkToFile"),
                                       shapes.Id(L"FileName"), shapes.Id(L"Anchor")}));
        EXPECT_EQ(call.flags, DISPATCH_METHOD);
        EXPECT_TRUE(call.resultSlot);
        // The anchor is lent, not given away.
        EXPECT_EQ(range.refs, 2u);
    }
    EXPECT_EQ(range.refs, 1u);
    EXPECT_EQ(shapes.refs, 1u);
}

TEST(AutomationArguments, PositionalBeforeNamed) {
    FakeDispatch target({L"Mixed", L"Last"});
    const CallDesc mixed{L"Mixed", CallKind::Method, {L"Last"}};
    // Integer literals stay integers beside the real-number kind; a real goes as a Double.
    CallVoid(target.Ref(), mixed, std::vector<Arg>{-7, L"b", 219.2, true, INT32_MAX});
    ASSERT_EQ(target.invocations.size(), 1u);
    EXPECT_EQ(
        target.invocations[0].args,
        (std::vector<std::wstring>{L"VT_I4:2147483647", L"VT_BOOL:-1", L"VT_R8:219.19999999999999",
                                   L"VT_BSTR:\"b\"", L"VT_I4:-7"}));
    EXPECT_EQ(target.invocations[0].named, std::vector<DISPID>{target.Id(L"Last")});
}

TEST(AutomationArguments, ArgumentsThatDoNotMatchTheDescriptionAreRefused) {
    FakeDispatch target({L"GoTo", L"What", L"Which", L"Count", L"Name", L"Type"});
    EXPECT_THROW(CallVoid(target.Ref(), kGoToLine, std::vector<Arg>{3}), std::logic_error);
    EXPECT_THROW(CallVoid(target.Ref(), kWrapType), std::logic_error); // a put without its value
    EXPECT_TRUE(target.invocations.empty());
    EXPECT_EQ(target.refs, 1u);
}

TEST(AutomationArguments, TextByReferenceIsCopiedBack) {
    FakeDispatch document({L"SaveAs", L"Filename"});
    document.onInvoke = [](FakeDispatch::Invocation& call, VARIANT*, EXCEPINFO*) {
        // The callee may replace the string it was given.
        BSTR* slot = call.rawArgs[0].pbstrVal;
        SysFreeString(*slot);
        *slot = SysAllocString(L"C:\\出力\\結果 ①.docx");
        return S_OK;
    };
    std::wstring path = L"C:\\出力\\結果 ①";
    CallVoid(document.Ref(), kSaveAs, std::vector<Arg>{&path});
    EXPECT_EQ(document.invocations[0].args,
              std::vector<std::wstring>{L"VT_BSTR|VT_BYREF:\"C:\\出力\\結果 ①\""});
    EXPECT_EQ(document.invocations[0].named, std::vector<DISPID>{document.Id(L"Filename")});
    EXPECT_EQ(path, L"C:\\出力\\結果 ①.docx");

    // A failed call leaves the caller's text as it was.
    document.onInvoke = [](FakeDispatch::Invocation& call, VARIANT*, EXCEPINFO*) {
        BSTR* slot = call.rawArgs[0].pbstrVal;
        SysFreeString(*slot);
        *slot = SysAllocString(L"changed");
        return E_ACCESSDENIED;
    };
    EXPECT_ERROR_TEXT(CallVoid(document.Ref(), kSaveAs, std::vector<Arg>{&path}),
                      ErrorText(E_ACCESSDENIED));
    EXPECT_EQ(path, L"C:\\出力\\結果 ①.docx");
    EXPECT_EQ(document.refs, 1u);
}

// ---------------------------------------------------------------------------------------------
// Invocation kinds.

TEST(AutomationInvokeKind, ReadsAndUsedMethodsWithoutArgumentsGoOutAsMethodOrGet) {
    FakeDispatch target({L"Add", L"TypeParagraph", L"Range", L"Version", L"ZOrder"});
    const CallDesc add{L"Add", CallKind::Method};
    const CallDesc range{L"Range", CallKind::Method};
    const CallDesc zorder{L"ZOrder", CallKind::Method};
    (void)Call(target.Ref(), add);
    CallVoid(target.Ref(), kTypeParagraph);
    (void)Call(target.Ref(), range, std::vector<Arg>{1});
    CallVoid(target.Ref(), zorder, std::vector<Arg>{4});
    (void)Call(target.Ref(), kVersion);
    ASSERT_EQ(target.invocations.size(), 5u);
    EXPECT_EQ(target.invocations[0].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(target.invocations[1].flags, DISPATCH_METHOD);
    // The kind follows the caller's use; the result slot is there either way.
    for (const auto& call : target.invocations)
        EXPECT_TRUE(call.resultSlot);
    EXPECT_EQ(target.invocations[2].flags, DISPATCH_METHOD);
    EXPECT_EQ(target.invocations[2].args, std::vector<std::wstring>{L"VT_I4:1"});
    EXPECT_TRUE(target.invocations[2].named.empty());
    EXPECT_EQ(target.invocations[3].flags, DISPATCH_METHOD);
    EXPECT_EQ(target.invocations[4].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(target.refs, 1u);
}

TEST(AutomationInvokeKind, PutPassesTheValueAsThePropertyPutArgument) {
    FakeDispatch wrap({L"Type", L"Anchor", L"Height"});
    CallVoid(wrap.Ref(), kWrapType, std::vector<Arg>{3});
    FakeDispatch other;
    {
        const Variant value = other.Ref();
        const CallDesc putObject{L"Anchor", CallKind::PropertyPut};
        CallVoid(wrap.Ref(), putObject, std::vector<Arg>{&value});
    }
    CallVoid(wrap.Ref(), {L"Height", CallKind::PropertyPut}, std::vector<Arg>{164.25});
    ASSERT_EQ(wrap.invocations.size(), 3u);
    EXPECT_EQ(wrap.invocations[0].flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(wrap.invocations[0].args, std::vector<std::wstring>{L"VT_I4:3"});
    EXPECT_EQ(wrap.invocations[0].named, std::vector<DISPID>{DISPID_PROPERTYPUT});
    EXPECT_EQ(wrap.invocations[1].flags, DISPATCH_PROPERTYPUTREF);
    EXPECT_EQ(wrap.invocations[1].named, std::vector<DISPID>{DISPID_PROPERTYPUT});
    EXPECT_EQ(wrap.invocations[2].flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(wrap.invocations[2].args, std::vector<std::wstring>{L"VT_R8:164.25"});
    EXPECT_EQ(wrap.invocations[2].named, std::vector<DISPID>{DISPID_PROPERTYPUT});
    EXPECT_EQ(other.refs, 1u);
}

// ---------------------------------------------------------------------------------------------
// Results and references.

TEST(AutomationResults, ResultObjectIsHeldUntilReleased) {
    FakeDispatch application({L"Documents"});
    FakeDispatch documents;
    application.onInvoke = [&](auto&, VARIANT* result, EXCEPINFO*) {
        documents.AddRef();
        result->vt = VT_DISPATCH;
        result->pdispVal = &documents;
        return S_OK;
    };
    Variant app = application.Ref();
    Variant docs = Call(app, {L"Documents", CallKind::PropertyGet});
    EXPECT_EQ(docs.get().vt, VT_DISPATCH);
    EXPECT_EQ(documents.refs, 2u);
    Variant moved = std::move(docs);
    EXPECT_TRUE(docs.empty());
    EXPECT_EQ(documents.refs, 2u);
    moved.reset();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(documents.refs, 1u);
    app.reset();
    EXPECT_EQ(application.refs, 1u);
}

TEST(AutomationResults, WhatACallMadeForItsEffectReturnsIsReleased) {
    // Word's Selection.GoTo answers with a range even to a caller that only wants the move. A
    // proxy given no slot for it receives it all the same, and never lets go of it.
    FakeDispatch selection({L"GoTo", L"What", L"Which", L"Count", L"Name"});
    FakeDispatch range;
    selection.onInvoke = [&](auto&, VARIANT* result, EXCEPINFO*) {
        VARIANT proxySlot;
        VARIANT* slot = result ? result : &proxySlot;
        range.AddRef();
        slot->vt = VT_DISPATCH;
        slot->pdispVal = &range;
        return S_OK;
    };
    for (int i = 0; i < 3; ++i)
        CallVoid(selection.Ref(), kGoToLine, std::vector<Arg>{3, 2, 1, L""});
    EXPECT_EQ(selection.invocations.size(), 3u);
    EXPECT_EQ(range.refs, 1u);
    EXPECT_EQ(selection.refs, 1u);
}

// ---------------------------------------------------------------------------------------------
// Failure texts.

TEST(AutomationFailures, SystemTextsAreTrimmedAndWin32CodesFindTheirText) {
    const std::wstring text = ErrorText(E_FAIL);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.rfind(L"OLE エラー", 0), 0u);
    EXPECT_GE(text.back(), L'!');
    EXPECT_NE(text.back(), L'.');
    const std::wstring fileNotFound = ErrorText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(fileNotFound.rfind(L"OLE エラー", 0), 0u);
    EXPECT_EQ(fileNotFound, ErrorText(ERROR_FILE_NOT_FOUND));
    // Codes the system has no text for.
    EXPECT_EQ(ErrorText(static_cast<HRESULT>(0x800A13E9)), L"OLE エラー 800A13E9");
    EXPECT_EQ(ErrorText(static_cast<HRESULT>(0x8004FE0C)), L"OLE エラー 8004FE0C");
}

TEST(AutomationFailures, FailedCallGivesTheTextOfItsCode) {
    FakeDispatch target({L"Quit"});
    target.onInvoke = [](auto&, VARIANT*, EXCEPINFO*) { return static_cast<HRESULT>(0x800A1066); };
    EXPECT_ERROR_TEXT(CallVoid(target.Ref(), {L"Quit", CallKind::Method}), L"OLE エラー 800A1066");
    target.onInvoke = [](auto&, VARIANT*, EXCEPINFO*) { return DISP_E_TYPEMISMATCH; };
    EXPECT_ERROR_TEXT(CallVoid(target.Ref(), {L"Quit", CallKind::Method}),
                      ErrorText(DISP_E_TYPEMISMATCH));
    EXPECT_EQ(target.refs, 1u);
}

TEST(AutomationFailures, ServerExceptionsUseItsDescription) {
    FakeDispatch shapes({L"AddPicture", L"FileName"});
    const CallDesc addPicture{L"AddPicture", CallKind::Method, {L"FileName"}};
    auto raise = [&](const wchar_t* description, SCODE scode, bool deferred, WORD wCode = 0) {
        shapes.onInvoke = [=](auto&, VARIANT*, EXCEPINFO* e) {
            e->bstrSource = SysAllocString(L"Microsoft Word");
            e->bstrHelpFile = SysAllocString(L"wdmain11.chm");
            e->scode = scode;
            e->wCode = wCode;
            if (deferred)
                e->pfnDeferredFillIn = FillDescriptionLater;
            else if (description)
                e->bstrDescription = SysAllocString(description);
            return DISP_E_EXCEPTION;
        };
        return ErrorOf([&] { CallVoid(shapes.Ref(), addPicture, std::vector<Arg>{L"a"}); });
    };
    const SCODE wordCode = static_cast<SCODE>(0x800A13E9);
    EXPECT_EQ(raise(L"This is not a valid picture. ..\r\n", wordCode, false),
              L"This is not a valid picture");
    // Trailing "。" is the server's own wording and stays.
    EXPECT_EQ(raise(L"ファイルが壊れています。", wordCode, false), L"ファイルが壊れています。");
    EXPECT_EQ(raise(nullptr, wordCode, true), L"遅れて届いた説明。");
    // Nothing left of the description: the text of the code the server gave.
    EXPECT_EQ(raise(L" . \r\n", wordCode, false), L"OLE エラー 800A13E9");
    EXPECT_EQ(raise(nullptr, E_ACCESSDENIED, false), ErrorText(E_ACCESSDENIED));
    EXPECT_EQ(raise(nullptr, 0, false), ErrorText(DISP_E_EXCEPTION));
    // Word's error number in wCode instead of scode reads as the same code.
    EXPECT_EQ(raise(nullptr, 0, false, 5097), L"OLE エラー 800A13E9");
    EXPECT_EQ(raise(L" . ", 0, false, 4198), L"OLE エラー 800A1066");
    EXPECT_EQ(raise(L"説明があればそれ。", 0, false, 4198), L"説明があればそれ。");
    EXPECT_EQ(shapes.refs, 1u);
}

TEST(AutomationFailures, CreateReportsAnUnknownIdentifier) {
    EXPECT_ERROR_TEXT(Create(L"Tablorin.NoSuchServer"), ErrorText(CO_E_CLASSSTRING));
}

// ---------------------------------------------------------------------------------------------
// A busy server turns calls away, and a call may wait long for its answer: the user decides how
// long, and a call that may have acted is not made again.

namespace {

// Shorter waits for one test, so that a server that stays busy is asked about soon.
class Limits {
public:
    Limits(DWORD first, DWORD again) : previous_(SetWaitLimits({first, again})) {}
    Limits(const Limits&) = delete;
    Limits& operator=(const Limits&) = delete;
    ~Limits() { SetWaitLimits(previous_); }

private:
    WaitLimits previous_;
};

// The user's answers to the question, in order, while it lives; then no question again.
class Answers {
public:
    explicit Answers(std::vector<WaitAnswer> answers) {
        queue_ = std::move(answers);
        asked_ = 0;
        previous_ = SetWaitQuestion(&Next);
    }
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;
    ~Answers() {
        SetWaitQuestion(previous_);
        onFirst = nullptr;
    }
    static size_t Asked() { return asked_; }
    // Runs once, at the first question.
    static inline std::function<void()> onFirst;

private:
    static WaitAnswer Next() noexcept {
        if (asked_ == 0 && onFirst)
            onFirst();
        const size_t i = asked_++;
        return i < queue_.size() ? queue_[i] : WaitAnswer::Cancel;
    }
    static inline std::vector<WaitAnswer> queue_;
    static inline size_t asked_ = 0;
    WaitQuestion previous_;
};

const CallDesc kQuit{L"Quit", CallKind::Method, {L"SaveChanges"}, Repeatable::Yes, Closing::Yes};

// The text of the failure a call ends with, and whether it was given up on.
struct Outcome {
    std::wstring text;
    bool givenUp = false;
};
template <class F> Outcome OutcomeOf(F&& call) {
    try {
        call();
    } catch (const CallGivenUp& e) {
        return {e.message(), true};
    } catch (const Error& e) {
        return {e.message(), false};
    }
    return {};
}

// The message filter registered for this thread now, with a reference.
Microsoft::WRL::ComPtr<IMessageFilter> CurrentFilter() {
    Microsoft::WRL::ComPtr<IMessageFilter> current;
    CoRegisterMessageFilter(nullptr, current.GetAddressOf());
    CoRegisterMessageFilter(current.Get(), nullptr);
    return current;
}

class OtherFilter : public Counted<IMessageFilter> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IMessageFilter)
            return E_NOINTERFACE;
        *out = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return ~0u; }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

} // namespace

TEST(AutomationBusy, RefusedCallsAreMadeAgainUntilTaken) {
    FakeDispatch document({L"SaveAs", L"Filename"});
    int refusals = 3;
    document.busyNames = 2;
    document.onInvoke = [&](FakeDispatch::Invocation& call, VARIANT*, EXCEPINFO*) {
        if (refusals > 0) {
            --refusals;
            return RPC_E_CALL_REJECTED;
        }
        BSTR* slot = call.rawArgs[0].pbstrVal;
        SysFreeString(*slot);
        *slot = SysAllocString(L"C:\\保存\\済み.docx");
        return S_OK;
    };
    std::wstring path = L"C:\\保存\\済み";
    CallVoid(document.Ref(), kSaveAs, std::vector<Arg>{&path});
    EXPECT_EQ(document.nameRequests.size(), 3u);
    ASSERT_EQ(document.invocations.size(), 4u);
    // Each attempt carries the same arguments; the one taken gives its text back.
    for (const auto& call : document.invocations)
        EXPECT_EQ(call.args, std::vector<std::wstring>{L"VT_BSTR|VT_BYREF:\"C:\\保存\\済み\""});
    EXPECT_EQ(path, L"C:\\保存\\済み.docx");
    EXPECT_EQ(document.refs, 1u);
}

TEST(AutomationBusy, AServerThatStaysBusyEndsTheCallWithTheRefusalsText) {
    // Nobody to ask: the call is given up at the first limit.
    const Limits shortWait(300, 600000);
    FakeDispatch word({L"Quit", L"SaveChanges"});
    word.onInvoke = [](auto&, VARIANT*, EXCEPINFO*) { return RPC_E_CALL_REJECTED; };
    const Outcome outcome = OutcomeOf([&] { CallVoid(word.Ref(), kQuit, std::vector<Arg>{0}); });
    EXPECT_EQ(outcome.text, ErrorText(RPC_E_CALL_REJECTED));
    EXPECT_TRUE(outcome.givenUp);
    EXPECT_GE(word.invocations.size(), 2u);
    // Other failures are never tried again.
    word.invocations.clear();
    word.onInvoke = [](auto&, VARIANT*, EXCEPINFO*) { return RPC_E_SERVERCALL_RETRYLATER; };
    EXPECT_ERROR_TEXT(CallVoid(word.Ref(), {L"Quit", CallKind::Method}),
                      ErrorText(RPC_E_SERVERCALL_RETRYLATER));
    EXPECT_EQ(word.invocations.size(), 1u);
    EXPECT_EQ(word.refs, 1u);
}

TEST(AutomationBusy, TheFilterRetriesLaterCallsWithinTheLimitAndIsRemovedAfterwards) {
    const Limits limit(30000, 60000);
    OtherFilter before;
    ASSERT_EQ(CoRegisterMessageFilter(&before, nullptr), S_OK);
    {
        const BusyServerFilter busy;
        const auto filter = CurrentFilter();
        ASSERT_TRUE(filter);
        ASSERT_NE(filter.Get(), static_cast<IMessageFilter*>(&before));
        const DWORD first = filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER);
        EXPECT_LT(first, 30000u);
        const DWORD later = filter->RetryRejectedCall(nullptr, 29000, SERVERCALL_RETRYLATER);
        EXPECT_LE(later, 1000u);
        // Less than 100 reads as "again at once": never, not even just before the limit.
        for (DWORD elapsed : {0u, 29901u, 29950u, 29999u}) {
            const DWORD pause = filter->RetryRejectedCall(nullptr, elapsed, SERVERCALL_RETRYLATER);
            EXPECT_GE(pause, 100u) << elapsed;
            EXPECT_LE(pause, 1000u) << elapsed;
        }
        EXPECT_EQ(filter->RetryRejectedCall(nullptr, 30000, SERVERCALL_RETRYLATER), ~0u);
        EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), ~0u);
        EXPECT_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
                  static_cast<DWORD>(SERVERCALL_ISHANDLED));
        EXPECT_EQ(filter->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL),
                  static_cast<DWORD>(PENDINGMSG_WAITDEFPROCESS));
    }
    EXPECT_EQ(CurrentFilter().Get(), static_cast<IMessageFilter*>(&before));
    CoRegisterMessageFilter(nullptr, nullptr);
    EXPECT_EQ(before.refs, 1u);
}

TEST(AutomationBusy, ACallTheFilterGaveUpOnIsNotMadeAgain) {
    const BusyServerFilter busy;
    FakeDispatch word({L"Version"});
    word.onInvoke = [](auto&, VARIANT*, EXCEPINFO*) {
        // As COM does when the server refuses for good: it asks the filter, which says no.
        EXPECT_EQ(CurrentFilter()->RetryRejectedCall(nullptr, 10, SERVERCALL_REJECTED), ~0u);
        return RPC_E_CALL_REJECTED;
    };
    EXPECT_ERROR_TEXT(Call(word.Ref(), kVersion), ErrorText(RPC_E_CALL_REJECTED));
    EXPECT_EQ(word.invocations.size(), 1u);
}

TEST(AutomationBusy, OneClockCoversTheNameLookupAndTheInvocation) {
    // The names are refused until the user is first asked; then the invocation is refused for
    // longer than the first limit (five pauses of at least 100 ms). Counted from the start of the
    // call that is one question, counted from the start of the invocation it would be two.
    const Limits limits(300, 600000);
    FakeDispatch document({L"SaveAs", L"Filename"});
    document.busyNames = 1000000;
    const Answers answers({WaitAnswer::KeepWaiting});
    Answers::onFirst = [&] { document.busyNames = 0; };
    int refusals = 5;
    document.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
        return refusals-- > 0 ? RPC_E_CALL_REJECTED : S_OK;
    };
    std::wstring path = L"C:\\保存\\済み";
    CallVoid(document.Ref(), kSaveAs, std::vector<Arg>{&path});
    EXPECT_EQ(Answers::Asked(), 1u);
    EXPECT_EQ(document.invocations.size(), 6u);
    EXPECT_EQ(document.refs, 1u);
}

TEST(AutomationBusy, TheUserDecidesHowLongACallThatStaysBusyIsWaitedFor) {
    using enum WaitAnswer;
    constexpr int kForEver = 1 << 30;
    const struct {
        const char* what;
        int refusals;
        std::vector<WaitAnswer> answers;
        size_t asked;
        bool givenUp;
    } cases[] = {
        {"busy for a moment: nobody is asked", 2, {}, 0, false},
        {"given up at once", kForEver, {Cancel}, 1, true},
        {"waited for once, then given up", kForEver, {KeepWaiting, Cancel}, 2, true},
        {"waited for twice", kForEver, {KeepWaiting, KeepWaiting, Cancel}, 3, true},
        {"waited for until it answers", 4, {KeepWaiting, KeepWaiting, KeepWaiting}, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A moment is well below the first limit; the refusals of a server that answers in the
        // end take longer than the first limit but not than the next.
        const bool brief = c.answers.empty();
        const Limits limits(brief ? 600000 : 200, brief ? 600000 : c.givenUp ? 200 : 600000);
        const Answers answers(c.answers);
        FakeDispatch word({L"Quit", L"SaveChanges"});
        int refusals = c.refusals;
        word.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
            return refusals-- > 0 ? RPC_E_CALL_REJECTED : S_OK;
        };
        const Outcome outcome =
            OutcomeOf([&] { CallVoid(word.Ref(), kQuit, std::vector<Arg>{0}); });
        EXPECT_EQ(Answers::Asked(), c.asked);
        EXPECT_EQ(outcome.givenUp, c.givenUp);
        EXPECT_EQ(outcome.text, c.givenUp ? ErrorText(RPC_E_CALL_REJECTED) : L"");
        if (!c.givenUp) {
            EXPECT_EQ(word.invocations.size(), static_cast<size_t>(c.refusals) + 1);
        }
        EXPECT_EQ(word.refs, 1u);
    }
}

TEST(AutomationBusy, MethodsThatMayHaveActedAreNotMadeAgainWhenInvokeTurnsThemAway) {
    const CallDesc add{L"Add", CallKind::Method};
    const CallDesc addPicture{L"AddPicture", CallKind::Method, {L"FileName"}};
    const CallDesc zorder{L"ZOrder", CallKind::Method, {}, Repeatable::Yes};
    const CallDesc goToPage{
        L"GoTo", CallKind::Method, {L"What", L"Which", L"Name"}, Repeatable::Yes};
    const struct {
        const CallDesc& desc;
        std::vector<Arg> args;
        bool again;
    } cases[] = {
        {kTypeParagraph, {}, false},
        {kGoToLine, {3, 2, 1, L""}, false},
        {addPicture, {L"C:\\写真.jpg"}, false},
        {add, {}, false},
        {kVersion, {}, true},
        {kWrapType, {3}, true},
        {zorder, {4}, true},
        {goToPage, {1, 2, L"1"}, true},
        {kSaveAs, {L"C:\\出力.docx"}, true},
        {kQuit, {0}, true},
    };
    const Answers nobodyAsked({});
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(std::wstring(c.desc.member)));
        FakeDispatch target({std::wstring(c.desc.member), L"What", L"Which", L"Count", L"Name",
                             L"FileName", L"Filename", L"SaveChanges"});
        // Names are only looked up: a refused lookup is always made again.
        target.busyNames = 1;
        bool refused = false;
        target.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
            return std::exchange(refused, true) ? S_OK : RPC_E_CALL_REJECTED;
        };
        const Outcome outcome = OutcomeOf([&] { CallVoid(target.Ref(), c.desc, c.args); });
        EXPECT_EQ(target.nameRequests.size(), 2u);
        EXPECT_EQ(target.invocations.size(), c.again ? 2u : 1u);
        EXPECT_EQ(outcome.text, c.again ? L"" : ErrorText(RPC_E_CALL_REJECTED));
        EXPECT_FALSE(outcome.givenUp) << "a refusal is a failure, not a wait given up";
        EXPECT_EQ(target.refs, 1u);
    }
    EXPECT_EQ(Answers::Asked(), 0u);
}

TEST(AutomationBusy, TheFilterAsksAboutACallThatWaitsForItsAnswer) {
    using enum WaitAnswer;
    // Asked at the first consultation; the next limit is far.
    const Limits limits(0, 600000);
    const struct {
        const char* what;
        std::vector<WaitAnswer> answers; // none: no question installed
        bool installed;
        DWORD pending; // what MessagePending answers, every time
        HRESULT comAnswer;
    } cases[] = {
        {"waited for", {KeepWaiting}, true, PENDINGMSG_WAITDEFPROCESS, S_OK},
        {"given up", {Cancel}, true, PENDINGMSG_CANCELCALL, RPC_E_CALL_CANCELED},
        {"nobody to ask", {}, false, PENDINGMSG_CANCELCALL, RPC_E_CALL_CANCELED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BusyServerFilter busy; // a fresh server each time
        std::optional<Answers> answers;
        if (c.installed)
            answers.emplace(c.answers);
        FakeDispatch word({L"Version"});
        std::vector<DWORD> seen;
        word.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
            // As COM does while it waits for the answer and messages come in.
            for (int i = 0; i < 3; ++i)
                seen.push_back(CurrentFilter()->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL));
            return seen.back() == PENDINGMSG_CANCELCALL ? c.comAnswer : S_OK;
        };
        const Outcome outcome = OutcomeOf([&] { Call(word.Ref(), kVersion); });
        EXPECT_EQ(seen, std::vector<DWORD>(3, c.pending));
        if (c.installed) {
            EXPECT_EQ(Answers::Asked(), 1u) << "asked once, then left alone";
        }
        EXPECT_EQ(outcome.givenUp, c.comAnswer != S_OK);
        EXPECT_EQ(outcome.text, c.comAnswer != S_OK ? ErrorText(c.comAnswer) : L"");
        EXPECT_EQ(word.invocations.size(), 1u);
        // Between calls the filter has nothing to ask about.
        EXPECT_EQ(CurrentFilter()->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL),
                  static_cast<DWORD>(PENDINGMSG_WAITDEFPROCESS));
    }
}

TEST(AutomationBusy, ACallGivenUpInTheFilterIsNotMadeAgainNorIsTheServerWaitedForAgain) {
    using enum WaitAnswer;
    const Limits limits(0, 0);
    const struct {
        const char* what;
        std::vector<WaitAnswer> answers;
        bool inPause; // given up in the pause after Invoke refused, else in RetryRejectedCall
    } cases[] = {{"refused by the server's filter", {Cancel}, false},
                 {"during the pause between two attempts", {KeepWaiting, Cancel}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BusyServerFilter busy;
        const Answers answers(c.answers);
        FakeDispatch word({L"Quit", L"SaveChanges"});
        word.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
            // A message for the pause's wait, during which the user is asked once more.
            if (c.inPause)
                PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
            // Refused by the server's own message filter: COM asks ours, which gives up.
            else
                EXPECT_EQ(CurrentFilter()->RetryRejectedCall(nullptr, 10, SERVERCALL_RETRYLATER),
                          ~0u);
            return RPC_E_CALL_REJECTED;
        };
        std::optional<Variant> held = word.Ref();
        const Outcome outcome = OutcomeOf([&] { CallVoid(*held, kQuit, std::vector<Arg>{0}); });
        EXPECT_TRUE(outcome.givenUp);
        EXPECT_EQ(outcome.text, ErrorText(RPC_E_CALL_REJECTED));
        EXPECT_EQ(word.invocations.size(), 1u);
        EXPECT_EQ(Answers::Asked(), c.answers.size());
        // Nothing is made but the closing call, and the release: once each, waited for a moment
        // and given up without a question.
        const size_t lookups = word.nameRequests.size();
        EXPECT_TRUE(OutcomeOf([&] { Call(*held, kVersion); }).givenUp);
        EXPECT_EQ(word.nameRequests.size(), lookups);
        std::vector<DWORD> seen;
        const auto consult = [&] {
            seen.push_back(CurrentFilter()->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER));
            seen.push_back(CurrentFilter()->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL));
            Sleep(500);
            seen.push_back(CurrentFilter()->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL));
        };
        word.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
            consult();
            return S_OK;
        };
        word.onRelease = [&] {
            if (word.refs == 2) // the last reference but the object's own
                consult();
        };
        CallVoid(*held, kQuit, std::vector<Arg>{0});
        held.reset();
        const DWORD once[] = {~0u, PENDINGMSG_WAITDEFPROCESS, PENDINGMSG_CANCELCALL};
        EXPECT_EQ(seen, (std::vector<DWORD>{once[0], once[1], once[2], once[0], once[1], once[2]}));
        EXPECT_EQ(Answers::Asked(), c.answers.size());
        EXPECT_EQ(word.refs, 1u);
    }
}

TEST(AutomationBusy, ACallThatWaitsIsWokenAndLeavesNothingInTheQueue) {
    MSG msg;
    while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) {
    }
    const BusyServerFilter busy;
    FakeDispatch word({L"Version"});
    bool woken = false;
    word.onInvoke = [&](auto&, VARIANT*, EXCEPINFO*) {
        // COM's wait for the answer looks at the filter only when a message comes.
        woken =
            MsgWaitForMultipleObjectsEx(0, nullptr, 10000, QS_ALLPOSTMESSAGE, 0) == WAIT_OBJECT_0;
        return S_OK;
    };
    Call(word.Ref(), kVersion);
    EXPECT_TRUE(woken);
    EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE))
        << "left in the queue: " << msg.message;
    // Nothing comes between calls.
    Sleep(700);
    EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE))
        << "posted between calls: " << msg.message;
}

// ---------------------------------------------------------------------------------------------
// Conversions.

TEST(AutomationToInt32, IntegersUnchangedWithinThirtyTwoBits) {
    EXPECT_EQ(ToInt32(I4(36)), 36);
    EXPECT_EQ(ToInt32(I4(INT32_MIN)), INT32_MIN);
    EXPECT_EQ(ToInt32(I4(INT32_MAX)), INT32_MAX);
    EXPECT_EQ(ToInt32(Make(VT_I2, [](VARIANT& v) { v.iVal = -5; })), -5);
    EXPECT_EQ(ToInt32(Make(VT_UI1, [](VARIANT& v) { v.bVal = 255; })), 255);
    EXPECT_EQ(ToInt32(Make(VT_I8, [](VARIANT& v) { v.llVal = INT32_MIN; })), INT32_MIN);
    EXPECT_EQ(ToInt32(Make(VT_UI4, [](VARIANT& v) { v.ulVal = INT32_MAX; })), INT32_MAX);
    EXPECT_EQ(ToInt32(Make(VT_I1, [](VARIANT& v) { v.cVal = -128; })), -128);
    EXPECT_EQ(ToInt32(Make(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; })), 65535);
    EXPECT_EQ(ToInt32(Make(VT_INT, [](VARIANT& v) { v.intVal = INT32_MIN; })), INT32_MIN);
    EXPECT_EQ(ToInt32(Make(VT_UINT, [](VARIANT& v) { v.uintVal = INT32_MAX; })), INT32_MAX);
    EXPECT_EQ(ToInt32(Make(VT_UI8, [](VARIANT& v) { v.ullVal = 36; })), 36);
    EXPECT_EQ(ToInt32(Make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; })), -1);
    EXPECT_EQ(ToInt32(Variant()), 0);
    LONG referenced = 44;
    EXPECT_EQ(ToInt32(Make(VT_I4 | VT_BYREF, [&](VARIANT& v) { v.plVal = &referenced; })), 44);
}

TEST(AutomationToInt32, OutsideThirtyTwoBitsIsARangeError) {
    const wchar_t range[] = L"範囲チェックエラー";
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_I8, [](VARIANT& v) { v.llVal = 2147483648LL; })), range);
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_I8, [](VARIANT& v) { v.llVal = -2147483649LL; })), range);
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_UI4, [](VARIANT& v) { v.ulVal = 0x80000000u; })), range);
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_UINT, [](VARIANT& v) { v.uintVal = 0x80000000u; })), range);
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~0ull; })), range);
    EXPECT_ERROR_TEXT(ToInt32(R8(2147483648.0)), range);
    EXPECT_ERROR_TEXT(ToInt32(R8(2147483647.5)), range); // rounds up to 2^31
    EXPECT_ERROR_TEXT(ToInt32(R8(-2147483649.0)), range);
    EXPECT_ERROR_TEXT(ToInt32(R8(-2147483648.5000005)), range);
    EXPECT_ERROR_TEXT(ToInt32(R8(std::numeric_limits<double>::infinity())), range);
    EXPECT_ERROR_TEXT(ToInt32(R8(std::nan(""))), range);
    EXPECT_ERROR_TEXT(ToInt32(Str(L"1e10")), range);
    EXPECT_EQ(ToInt32(R8(2147483647.4)), INT32_MAX);
    EXPECT_EQ(ToInt32(R8(-2147483648.5)), INT32_MIN); // the even neighbour is in range
}

TEST(AutomationToInt32, RealsRoundHalfToEven) {
    const std::pair<double, int32_t> cases[] = {{0.5, 0},       {1.5, 2},
                                                {2.5, 2},       {3.5, 4},
                                                {-0.5, 0},      {-1.5, -2},
                                                {-2.5, -2},     {2.4999, 2},
                                                {2.5000001, 3}, {-2.5000001, -3},
                                                {36.0, 36},     {0.0, 0},
                                                {-0.4, 0},      {2147483646.5, 2147483646}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(ToInt32(R8(value)), expected) << value;
    EXPECT_EQ(ToInt32(Make(VT_R4, [](VARIANT& v) { v.fltVal = 36.0f; })), 36);
    EXPECT_EQ(ToInt32(Make(VT_R4, [](VARIANT& v) { v.fltVal = 6.5f; })), 6);
    EXPECT_EQ(ToInt32(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 25000; })), 2);
    EXPECT_EQ(ToInt32(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 35000; })), 4);
}

TEST(AutomationToInt32, TextsAreReadAsNumbers) {
    EXPECT_EQ(ToInt32(Str(L"36")), 36);
    EXPECT_EQ(ToInt32(Str(L" -12 ")), -12);
    EXPECT_EQ(ToInt32(Str(L"12.5")), 12);
    EXPECT_EQ(ToInt32(Str(L"13.5")), 14);
    EXPECT_EQ(ToInt32(Str(L"+3.6e1")), 36);
    const wchar_t notANumber[] = L"String型から Integer 型へのバリアント型変換はできません";
    for (const wchar_t* text : {L"abc", L"", L" ", L"12abc", L"1,000", L"0x10", L"１２", L".",
                                L"1e", L"--1", L"nan", L"inf"})
        EXPECT_ERROR_TEXT(ToInt32(Str(text)), notANumber) << text;
}

TEST(AutomationToInt32, OtherKindsNameBothTypes) {
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_NULL, [](VARIANT&) {})),
                      L"Null型から Integer 型へのバリアント型変換はできません");
    FakeDispatch object;
    EXPECT_ERROR_TEXT(ToInt32(object.Ref()),
                      L"Dispatch型から Integer 型へのバリアント型変換はできません");
    EXPECT_ERROR_TEXT(ToInt32(Make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; })),
                      L"Error型から Integer 型へのバリアント型変換はできません");
    EXPECT_EQ(object.refs, 1u);
}

TEST(AutomationCompare, TextsAndIntegersCompareAsRealNumbers) {
    // The real number a value converts to is the one compared.
    const std::pair<Variant, double> reals[] = {
        {Str(L"12.5"), 12.5},
        {Str(L" -1.25e2 "), -125.0},
        {I4(INT32_MIN), INT32_MIN},
        {R8(219.2), 219.2},
        {Make(VT_R4, [](VARIANT& v) { v.fltVal = 841.9f; }), static_cast<double>(841.9f)},
        {Make(VT_I8, [](VARIANT& v) { v.llVal = (1LL << 53) + 1; }), 9007199254740992.0},
        {Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~0ull; }), 18446744073709551615.0},
        {Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 2192500; }), 219.25},
        {Make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), -1.0},
        {Variant(), 0.0}};
    for (const auto& [value, expected] : reals)
        EXPECT_EQ(ToDouble(value), expected) << expected;
    double referenced = 99.25;
    EXPECT_EQ(ToDouble(Make(VT_R8 | VT_BYREF, [&](VARIANT& v) { v.pdblVal = &referenced; })),
              99.25);
    EXPECT_TRUE(std::isnan(ToDouble(R8(std::nan("")))));

    EXPECT_EQ(CompareWithInt(Str(L"12.0"), 12), 0);
    EXPECT_EQ(CompareWithInt(Str(L"12"), 12), 0);
    EXPECT_EQ(CompareWithInt(Str(L"1.2e1"), 12), 0);
    EXPECT_LT(CompareWithInt(Str(L"11.0"), 12), 0);
    EXPECT_LT(CompareWithInt(Str(L"11.9999"), 12), 0);
    EXPECT_GT(CompareWithInt(Str(L"12.0001"), 12), 0);
    EXPECT_GT(CompareWithInt(Str(L"16.0"), 12), 0);
    EXPECT_GT(CompareWithInt(Str(L"100"), 12), 0); // not compared as text
    EXPECT_EQ(CompareWithInt(I4(12), 12), 0);
    EXPECT_LT(CompareWithInt(I4(INT32_MIN), INT32_MAX), 0);
    EXPECT_EQ(CompareWithInt(R8(12.0), 12), 0);
    EXPECT_GT(CompareWithInt(R8(12.5), 12), 0);
    EXPECT_GT(CompareWithInt(Make(VT_I8, [](VARIANT& v) { v.llVal = 1LL << 40; }), INT32_MAX), 0);
    EXPECT_GT(CompareWithInt(Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~0ull; }), 12), 0);
}

TEST(AutomationCompare, ValuesThatAreNotNumbersFail) {
    PlainUnknown plain;
    plain.AddRef();
    FakeDispatch object;
    {
        const std::pair<Variant, const wchar_t*> cases[] = {
            {Str(L"Word 2007"), L"String型から Double 型へのバリアント型変換はできません"},
            {Str(L""), L"String型から Double 型へのバリアント型変換はできません"},
            {Str(L"２１９"), L"String型から Double 型へのバリアント型変換はできません"},
            {Make(VT_NULL, [](VARIANT&) {}),
             L"Null型から Double 型へのバリアント型変換はできません"},
            {Make(VT_UNKNOWN, [&](VARIANT& v) { v.punkVal = &plain; }),
             L"Unknown型から Double 型へのバリアント型変換はできません"},
            {object.Ref(), L"Dispatch型から Double 型へのバリアント型変換はできません"},
            {Make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }),
             L"Error型から Double 型へのバリアント型変換はできません"}};
        // Neither compared nor read as a real number.
        for (const auto& [value, text] : cases) {
            EXPECT_ERROR_TEXT(CompareWithInt(value, 12), text);
            EXPECT_ERROR_TEXT(ToDouble(value), text);
        }
    }
    EXPECT_EQ(plain.refs, 1u);
    EXPECT_EQ(object.refs, 1u);
}
