// The stand-in's document: the insertion point and its moves, pictures, wrap and order, saving,
// and the scenario's failures, crash and the references still held at exit.
#include "DocxReader.h"
#include "StubClient.h"
#include "TestPictures.h"
#include "WordStub.h"

#include "Dispatch.h"
#include "Win32Util.h"
#include "Zip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace stubclient;

namespace {

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A Word with one new document, as a build starts.
struct Word {
    ComPtr<IDispatch> app, doc, selection, shapes;
    Word() {
        app = CreateWord();
        if (!app)
            return;
        doc = Object(Object(app.Get(), L"Documents").Get(), L"Add");
        selection = Object(app.Get(), L"Selection");
        shapes = Object(doc.Get(), L"Shapes");
    }
    bool ok() const { return app && doc && selection && shapes; }

    // The insertion point as a character position (every paragraph is empty: its number).
    LONG Where() const {
        CallResult r = Call(Object(selection.Get(), L"Range").Get(), L"Start", kGet);
        return V_VT(&r.value.v) == VT_I4 ? V_I4(&r.value.v) : -1;
    }
    HRESULT TypeParagraphs(int n) const {
        for (int i = 0; i < n; ++i) {
            const HRESULT hr = Call(selection.Get(), L"TypeParagraph", DISPATCH_METHOD).hr;
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }
    HRESULT PageOne() const {
        return Call(
                   selection.Get(), L"GoTo", DISPATCH_METHOD,
                   {{L"What", Var::I4(1).v}, {L"Which", Var::I4(2).v}, {L"Name", Var::Str(L"1").v}})
            .hr;
    }
    HRESULT NextLine() const {
        return Call(selection.Get(), L"GoTo", DISPATCH_METHOD,
                    {{L"What", Var::I4(3).v},
                     {L"Which", Var::I4(2).v},
                     {L"Count", Var::I4(1).v},
                     {L"Name", Var::Str(L"").v}})
            .hr;
    }
    // A GoTo to the page of that name; where it went.
    LONG PageNamed(const wchar_t* name) const {
        if (FAILED(Call(selection.Get(), L"GoTo", DISPATCH_METHOD,
                        {{L"What", Var::I4(1).v}, {L"Name", Var::Str(name).v}})
                       .hr))
            return -1;
        return Where();
    }
    // A GoTo by lines or pages (What 3 or 1) with the given Which and Count; where it went.
    LONG Move(LONG what, LONG which, LONG count) const {
        if (FAILED(Call(selection.Get(), L"GoTo", DISPATCH_METHOD,
                        {{L"What", Var::I4(what).v},
                         {L"Which", Var::I4(which).v},
                         {L"Count", Var::I4(count).v}})
                       .hr))
            return -1;
        return Where();
    }
    CallResult AddPicture(const std::wstring& file) const {
        ComPtr<IDispatch> anchor = Object(selection.Get(), L"Range");
        return Call(shapes.Get(), L"AddPicture", DISPATCH_METHOD,
                    {{L"Anchor", Var::Disp(anchor.Get()).v},
                     {L"FileName", Var::Str(file).v},
                     {L"LinkToFile", Var::Bool(false).v},
                     {L"SaveWithDocument", Var::Bool(true).v}});
    }
    LONG Count() const {
        CallResult r = Call(shapes.Get(), L"Count", kGet);
        return V_VT(&r.value.v) == VT_I4 ? V_I4(&r.value.v) : -1;
    }
    CallResult SaveAs(const std::wstring& path) const {
        return stubclient::SaveAs(doc.Get(), path);
    }
    // The saved package as read back; nothing when the save fails.
    std::optional<DocxLayout> Saved(const std::wstring& path) const {
        if (FAILED(SaveAs(path).hr))
            return std::nullopt;
        return ReadDocxLayout(path);
    }
    void Quit() const {
        Call(app.Get(), L"Quit", DISPATCH_METHOD, {{L"SaveChanges", Var::I4(0).v}});
    }
};

// Calls `Invoke` directly with the given rgvarg (already reversed) and named DISPIDs.
HRESULT RawInvoke(IDispatch* target, const std::wstring& member, WORD flags,
                  std::vector<VARIANT> args, std::vector<DISPID> named, UINT* argErr = nullptr) {
    std::wstring name = member;
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    if (FAILED(target->GetIDsOfNames(IID_NULL, names, 1, 0, &id)))
        return E_FAIL;
    DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()),
                      static_cast<UINT>(named.size())};
    Var result;
    UINT err = ~0u;
    const HRESULT hr = target->Invoke(id, IID_NULL, 0, flags, &params, &result.v, nullptr, &err);
    if (argErr)
        *argErr = err;
    return hr;
}

DISPID IdOf(IDispatch* target, const std::wstring& member, const std::wstring& arg) {
    std::wstring m = member, a = arg;
    LPOLESTR names[] = {m.data(), a.data()};
    DISPID ids[2] = {};
    target->GetIDsOfNames(IID_NULL, names, 2, 0, ids);
    return ids[1];
}

std::string FileStart(const std::wstring& path, size_t n) {
    const UniqueKernelHandle file =
        wordstub::OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file)
        return {};
    std::string bytes(n, '\0');
    DWORD got = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(n), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

} // namespace

TEST(WordStubSelection, ParagraphsAndTheGoToMoves) {
    StubSession session;
    {
        Word word;
        ASSERT_TRUE(word.ok());
        EXPECT_EQ(word.Where(), 0);
        // A new document has one line: the next line is that same line.
        EXPECT_EQ(word.NextLine(), S_OK);
        EXPECT_EQ(word.Where(), 0);

        ASSERT_EQ(word.TypeParagraphs(71), S_OK); // two pages of 36 lines
        EXPECT_EQ(word.Where(), 71);
        ComPtr<IDispatch> before = Object(word.selection.Get(), L"Range");
        EXPECT_EQ(word.PageOne(), S_OK);
        EXPECT_EQ(word.Where(), 0);
        for (int i = 0; i < 12; ++i)
            ASSERT_EQ(word.NextLine(), S_OK);
        EXPECT_EQ(word.Where(), 12);
        // A range keeps the place it was taken at.
        CallResult kept = Call(before.Get(), L"Start", kGet);
        EXPECT_EQ(V_I4(&kept.value.v), 71);

        // Page 2 by name starts at line 37; the next page from the last page stays there.
        EXPECT_EQ(word.PageNamed(L"2"), 36);
        EXPECT_EQ(Call(word.selection.Get(), L"GoTo", DISPATCH_METHOD,
                       {{L"What", Var::I4(1).v}, {L"Which", Var::I4(2).v}})
                      .hr,
                  S_OK);
        EXPECT_EQ(word.Where(), 36);

        // The last line: the next line stays on it.
        EXPECT_EQ(Call(word.selection.Get(), L"GoTo", DISPATCH_METHOD,
                       {{L"What", Var::I4(3).v}, {L"Which", Var::I4(-1).v}})
                      .hr,
                  S_OK);
        EXPECT_EQ(word.Where(), 71);
        EXPECT_EQ(word.NextLine(), S_OK);
        EXPECT_EQ(word.Where(), 71);
        // Several lines back, and no further than the first.
        EXPECT_EQ(word.Move(3, 3, 5), 66);
        EXPECT_EQ(word.Move(3, 3, 500), 0);

        // Counts at the ends of the 32-bit range go as far as the document does.
        EXPECT_EQ(word.Move(3, 1, 2), 1);
        EXPECT_EQ(word.Move(3, 2, INT_MAX), 71);
        EXPECT_EQ(word.Move(3, 3, INT_MIN), 71);
        EXPECT_EQ(word.Move(3, 3, INT_MAX), 0);
        EXPECT_EQ(word.Move(3, 2, INT_MIN), 0);
        EXPECT_EQ(word.Move(3, 1, INT_MIN), 0);
        EXPECT_EQ(word.Move(3, 1, INT_MAX), 71);
        EXPECT_EQ(word.Move(1, 1, 1), 0);
        EXPECT_EQ(word.Move(1, 2, INT_MAX), 36);
        EXPECT_EQ(word.Move(1, 3, INT_MIN), 36);
        EXPECT_EQ(word.Move(1, 3, INT_MAX), 0);
        EXPECT_EQ(word.Move(1, 2, INT_MIN), 0);

        // Like Word, GoTo answers with the range it went to.
        CallResult moved = Call(word.selection.Get(), L"GoTo", DISPATCH_METHOD,
                                {{L"What", Var::I4(3).v}, {L"Which", Var::I4(-1).v}});
        ASSERT_EQ(moved.hr, S_OK);
        ASSERT_EQ(V_VT(&moved.value.v), VT_DISPATCH);
        CallResult start = Call(V_DISPATCH(&moved.value.v), L"Start", kGet);
        ASSERT_EQ(V_VT(&start.value.v), VT_I4);
        EXPECT_EQ(V_I4(&start.value.v), 71);

        // Items the document does not have (bookmarks, tables ...) are refused by Word.
        CallResult other = Call(word.selection.Get(), L"GoTo", DISPATCH_METHOD,
                                {{L"What", Var::I4(-1).v}, {L"Which", Var::I4(1).v}});
        EXPECT_EQ(other.hr, DISP_E_EXCEPTION);
        EXPECT_FALSE(other.description.empty());
        word.Quit();
    }
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), L"Selection.TypeParagraph method"), 71);
    EXPECT_TRUE(
        Contains(journal, L"Selection.GoTo method What=VT_I4:1 Which=VT_I4:2 Name=VT_BSTR:\"1\""));
    EXPECT_TRUE(Contains(journal, L"Selection.GoTo method What=VT_I4:3 Which=VT_I4:2 Count=VT_I4:1 "
                                  L"Name=VT_BSTR:\"\""));
    EXPECT_TRUE(Contains(journal, L"Selection.Range method|get"));
    EXPECT_EQ(journal.back(), L"EXIT refs=0");
}

TEST(WordStubSelection, PageGridFollowsLinesPage) {
    StubSession session({.linesPage = 5.0f});
    Word word;
    ASSERT_TRUE(word.ok());
    ASSERT_EQ(word.TypeParagraphs(14), S_OK); // three pages of five lines
    EXPECT_EQ(word.PageNamed(L"3"), 10);
    // A page past the end is the last page.
    EXPECT_EQ(word.PageNamed(L"9"), 10);
    // The saved document has the same grid.
    const auto layout = word.Saved(MakeTempFolder(L"wordstub-grid") + L"\\five.docx");
    word.Quit();
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->paragraphs, 15);
    EXPECT_EQ(layout->linesPerPage, 5);
}

TEST(WordStubArguments, WrongCountsKindsAndInvocationsAreRefused) {
    StubSession session;
    {
        Word word;
        ASSERT_TRUE(word.ok());
        UINT argErr = 0;
        // A text where an integer belongs, when it is no number.
        const DISPID what = IdOf(word.selection.Get(), L"GoTo", L"What");
        const DISPID which = IdOf(word.selection.Get(), L"GoTo", L"Which");
        Var bad = Var::Str(L"abc"), two = Var::I4(2);
        EXPECT_EQ(RawInvoke(word.selection.Get(), L"GoTo", DISPATCH_METHOD, {two.v, bad.v},
                            {which, what}, &argErr),
                  DISP_E_TYPEMISMATCH);
        EXPECT_EQ(argErr, 1u);
        // Word coerces a text that is a number, as its type library would.
        Var three = Var::Str(L"3");
        EXPECT_EQ(RawInvoke(word.selection.Get(), L"GoTo", DISPATCH_METHOD, {two.v, three.v},
                            {which, what}),
                  S_OK);
        // The same argument twice.
        EXPECT_EQ(
            RawInvoke(word.selection.Get(), L"GoTo", DISPATCH_METHOD, {two.v, two.v}, {what, what}),
            DISP_E_PARAMNOTFOUND);
        // Too many arguments, a missing required one.
        EXPECT_EQ(Call(word.selection.Get(), L"TypeParagraph", DISPATCH_METHOD, {{L"", two.v}}).hr,
                  DISP_E_BADPARAMCOUNT);
        ASSERT_EQ(word.AddPicture(L"C:\\nowhere.png").hr, DISP_E_EXCEPTION); // no shape yet
        EXPECT_EQ(Call(word.shapes.Get(), L"AddPicture", DISPATCH_METHOD,
                       {{L"LinkToFile", Var::Bool(false).v}})
                      .hr,
                  DISP_E_PARAMNOTOPTIONAL);
        // The anchor must be a range.
        EXPECT_EQ(Call(word.shapes.Get(), L"AddPicture", DISPATCH_METHOD,
                       {{L"Anchor", Var::I4(1).v}, {L"FileName", Var::Str(L"x.png").v}})
                      .hr,
                  DISP_E_TYPEMISMATCH);
        EXPECT_EQ(
            Call(word.shapes.Get(), L"AddPicture", DISPATCH_METHOD,
                 {{L"Anchor", Var::Disp(word.doc.Get()).v}, {L"FileName", Var::Str(L"x.png").v}})
                .hr,
            DISP_E_TYPEMISMATCH);
        // A get invoked as a plain method, a method as a plain get, a put of a get.
        EXPECT_EQ(Call(word.app.Get(), L"Version", DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
        EXPECT_EQ(Call(word.selection.Get(), L"TypeParagraph", DISPATCH_PROPERTYGET).hr,
                  DISP_E_MEMBERNOTFOUND);
        EXPECT_EQ(Call(word.app.Get(), L"Version", DISPATCH_PROPERTYPUT, {{L"", three.v}}).hr,
                  DISP_E_MEMBERNOTFOUND);
        // A linked picture is not something the stand-in can store.
        CallResult linked =
            Call(word.shapes.Get(), L"AddPicture", DISPATCH_METHOD,
                 {{L"FileName", Var::Str(L"C:\\x.png").v}, {L"LinkToFile", Var::Bool(true).v}});
        EXPECT_EQ(linked.hr, DISP_E_EXCEPTION);
        EXPECT_FALSE(linked.description.empty());
        // Quit refuses a SaveChanges value Word does not know.
        EXPECT_EQ(
            Call(word.app.Get(), L"Quit", DISPATCH_METHOD, {{L"SaveChanges", Var::I4(7).v}}).hr,
            DISP_E_EXCEPTION);
        word.Quit();
    }
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    for (const wchar_t* line :
         {L"Selection.GoTo REJECTED 0x80020005",
          L"Selection.GoTo method What=VT_BSTR:\"3\" Which=VT_I4:2",
          L"Selection.TypeParagraph REJECTED 0x8002000E", L"Shapes.AddPicture REJECTED 0x8002000F",
          L"Application.Version REJECTED 0x80020003"})
        EXPECT_TRUE(Contains(journal, line)) << line;
}

TEST(WordStubShapes, PicturesOfEveryFormatAndTheirWrapAndOrder) {
    const std::wstring dir = MakeTempFolder(L"wordstub-shapes");
    struct Case {
        PictureFormat format;
        const wchar_t* name;
    } cases[] = {{PictureFormat::Png, L"a.png"},
                 {PictureFormat::Jpeg, L"b.jpg"},
                 {PictureFormat::Gif, L"c.gif"},
                 {PictureFormat::Bmp, L"d.bmp"},
                 {PictureFormat::Tiff, L"e.tif"}};
    for (const Case& c : cases)
        ASSERT_TRUE(WriteTestPicture(dir + L"\\" + c.name, c.format, 64, 48)) << c.name;
    ASSERT_TRUE(WriteBytes(dir + L"\\note.txt", "just some text, no picture\r\n"));
    ASSERT_TRUE(WriteBytes(dir + L"\\broken.png",
                           std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, '\x11')));

    StubSession session;
    {
        Word word;
        ASSERT_TRUE(word.ok());
        ASSERT_EQ(word.TypeParagraphs(10), S_OK);
        ASSERT_EQ(word.PageOne(), S_OK);
        for (const Case& c : cases) {
            CallResult r = word.AddPicture(dir + L"\\" + c.name);
            ASSERT_EQ(r.hr, S_OK) << c.name;
            ASSERT_EQ(V_VT(&r.value.v), VT_DISPATCH);
            IDispatch* shape = V_DISPATCH(&r.value.v);
            ComPtr<IDispatch> wrap = Object(shape, L"WrapFormat");
            ASSERT_TRUE(wrap);
            EXPECT_EQ(Call(wrap.Get(), L"Type", DISPATCH_PROPERTYPUT, {{L"", Var::I4(3).v}}).hr,
                      S_OK);
            EXPECT_EQ(Call(shape, L"ZOrder", DISPATCH_METHOD, {{L"", Var::I4(4).v}}).hr, S_OK);
            ASSERT_EQ(word.NextLine(), S_OK);
        }
        EXPECT_EQ(word.Count(), 5);

        for (const wchar_t* bad : {L"note.txt", L"broken.png", L"missing.png"}) {
            CallResult r = word.AddPicture(dir + L"\\" + bad);
            EXPECT_EQ(r.hr, DISP_E_EXCEPTION) << bad;
            EXPECT_NE(r.description.find(bad), std::wstring::npos) << bad;
            EXPECT_TRUE(FAILED(r.scode));
        }
        EXPECT_EQ(word.Count(), 5);

        // One shape by its number, as a shape range.
        ComPtr<IDispatch> range =
            Object(word.shapes.Get(), L"Range", DISPATCH_METHOD, {{L"", Var::I4(2).v}});
        ASSERT_TRUE(range);
        ComPtr<IDispatch> wrap = Object(range.Get(), L"WrapFormat");
        ASSERT_TRUE(wrap);
        EXPECT_EQ(Call(wrap.Get(), L"Type", DISPATCH_PROPERTYPUT, {{L"", Var::I4(0).v}}).hr, S_OK);
        EXPECT_EQ(Call(wrap.Get(), L"Type", DISPATCH_PROPERTYPUT, {{L"", Var::I4(9).v}}).hr,
                  DISP_E_EXCEPTION);
        EXPECT_EQ(Call(wrap.Get(), L"Type", kGet).hr, DISP_E_MEMBERNOTFOUND);
        // A put must carry its value as the property-put argument.
        Var zero = Var::I4(0);
        EXPECT_EQ(RawInvoke(wrap.Get(), L"Type", DISPATCH_PROPERTYPUT, {zero.v}, {}),
                  DISP_E_PARAMNOTOPTIONAL);
        EXPECT_EQ(Call(range.Get(), L"ZOrder", DISPATCH_METHOD, {{L"", Var::I4(4).v}}).hr, S_OK);
        EXPECT_EQ(Call(range.Get(), L"ZOrder", DISPATCH_METHOD).hr, DISP_E_PARAMNOTOPTIONAL);
        EXPECT_EQ(Call(range.Get(), L"ZOrder", DISPATCH_METHOD,
                       {{L"", Var::I4(4).v}, {L"", Var::I4(4).v}})
                      .hr,
                  DISP_E_BADPARAMCOUNT);
        for (LONG outside : {0L, 6L}) {
            CallResult r =
                Call(word.shapes.Get(), L"Range", DISPATCH_METHOD, {{L"", Var::I4(outside).v}});
            EXPECT_EQ(r.hr, DISP_E_EXCEPTION) << outside;
            EXPECT_FALSE(r.description.empty());
        }

        // Sizes in points, as Singles. A range resizes each of its shapes, and answers a size only
        // when all of them have it.
        auto real = [](const CallResult& r) {
            return r.hr == S_OK && V_VT(&r.value.v) == VT_R4 ? V_R4(&r.value.v) : -1.0f;
        };
        auto triState = [](const CallResult& r) {
            return r.hr == S_OK && V_VT(&r.value.v) == VT_I4 ? V_I4(&r.value.v) : 99L;
        };
        ComPtr<IDispatch> all = Object(word.shapes.Get(), L"Range", DISPATCH_METHOD);
        ASSERT_TRUE(all);
        EXPECT_EQ(real(Call(range.Get(), L"Height", kGet)), 36.0f); // 48 pixels at 96 dpi
        EXPECT_EQ(real(Call(range.Get(), L"Width", kGet)), 48.0f);
        EXPECT_EQ(triState(Call(all.Get(), L"LockAspectRatio", kGet)), -1); // as Word inserts
        EXPECT_EQ(Call(all.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", Var::R8(18.0).v}}).hr,
                  S_OK);
        EXPECT_EQ(real(Call(all.Get(), L"Height", kGet)), 18.0f);
        EXPECT_EQ(real(Call(range.Get(), L"Width", kGet)), 24.0f);
        // Unlocked, a new height leaves the width.
        EXPECT_EQ(
            Call(range.Get(), L"LockAspectRatio", DISPATCH_PROPERTYPUT, {{L"", Var::I4(0).v}}).hr,
            S_OK);
        EXPECT_EQ(triState(Call(all.Get(), L"LockAspectRatio", kGet)), -2); // mixed
        EXPECT_EQ(Call(range.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", Var::Str(L"30").v}}).hr,
                  S_OK);
        EXPECT_EQ(real(Call(range.Get(), L"Height", kGet)), 30.0f);
        EXPECT_EQ(real(Call(range.Get(), L"Width", kGet)), 24.0f);
        const CallResult differ = Call(all.Get(), L"Height", kGet);
        EXPECT_EQ(differ.hr, DISP_E_EXCEPTION);
        EXPECT_FALSE(differ.description.empty());
        // Values Word refuses, and what it has no member for.
        for (const Var& bad : {Var::R8(0.0), Var::R8(-5.0), Var::R8(1584.5), Var::I4(-1)}) {
            const CallResult r = Call(range.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", bad.v}});
            EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
            EXPECT_FALSE(r.description.empty());
        }
        EXPECT_EQ(
            Call(range.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", Var::Str(L"高い").v}}).hr,
            DISP_E_TYPEMISMATCH);
        EXPECT_EQ(Call(range.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", Var::R8(1e300).v}}).hr,
                  DISP_E_OVERFLOW);
        for (LONG bad : {-2L, 2L, 7L})
            EXPECT_EQ(
                Call(range.Get(), L"LockAspectRatio", DISPATCH_PROPERTYPUT, {{L"", Var::I4(bad).v}})
                    .hr,
                DISP_E_EXCEPTION)
                << bad;
        EXPECT_EQ(real(Call(range.Get(), L"Height", kGet)), 30.0f);
        EXPECT_EQ(Call(range.Get(), L"Width", DISPATCH_PROPERTYPUT, {{L"", Var::R8(9.0).v}}).hr,
                  DISP_E_MEMBERNOTFOUND);
        EXPECT_EQ(Call(range.Get(), L"Height", DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
        EXPECT_EQ(Call(range.Get(), L"Height", kGet, {{L"", Var::I4(1).v}}).hr,
                  DISP_E_BADPARAMCOUNT);
        EXPECT_EQ(Call(range.Get(), L"ScaleHeight", DISPATCH_METHOD).hr, DISP_E_UNKNOWNNAME);
        word.Quit();
    }
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    EXPECT_TRUE(
        Contains(journal, L"Shapes.AddPicture method Anchor=VT_DISPATCH:Range FileName=VT_BSTR:\"" +
                              dir + L"\\a.png\" LinkToFile=VT_BOOL:0 SaveWithDocument=VT_BOOL:-1"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), L"WrapFormat.Type put VT_I4:3"), 5);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), L"Shape.ZOrder method VT_I4:4"), 5);
    for (const wchar_t* line :
         {L"Shapes.Range method VT_I4:2", L"ShapeRange.ZOrder method VT_I4:4",
          L"Shapes.Count method|get", L"ShapeRange.Height put VT_R8:18",
          L"ShapeRange.LockAspectRatio put VT_I4:0", L"ShapeRange.Width method|get"})
        EXPECT_TRUE(Contains(journal, line)) << line;
    EXPECT_EQ(journal.back(), L"EXIT refs=0");
}

TEST(WordStubSave, WritesAPackageOrReportsWhyNot) {
    const std::wstring dir = MakeTempFolder(L"wordstub-save");
    ASSERT_TRUE(WriteTestPicture(dir + L"\\p.png", PictureFormat::Png, 40, 30));
    ASSERT_TRUE(WriteTestPicture(dir + L"\\q.jpg", PictureFormat::Jpeg, 40, 30));
    StubSession session;
    {
        Word word;
        ASSERT_TRUE(word.ok());
        ASSERT_EQ(word.AddPicture(dir + L"\\p.png").hr, S_OK);
        ASSERT_EQ(word.AddPicture(dir + L"\\q.jpg").hr, S_OK);
        ASSERT_EQ(word.AddPicture(dir + L"\\P.PNG").hr, S_OK);
        // The extension does not matter: the package is what a recent Word writes.
        const std::wstring target = dir + L"\\出力 ①.doc";
        ASSERT_EQ(word.SaveAs(target).hr, S_OK);
        const std::string package = FileStart(target, 1 << 20);
        EXPECT_EQ(package.substr(0, 4), std::string("PK\x03\x04", 4));
        // Part names stand uncompressed in the local and the central headers: a picture placed
        // twice is stored once.
        size_t names = 0;
        for (size_t at = package.find("word/media/"); at != std::string::npos;
             at = package.find("word/media/", at + 1))
            ++names;
        EXPECT_EQ(names, 4u);

        CallResult r = word.SaveAs(dir + L"\\no such folder\\x.docx");
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
        EXPECT_NE(r.description.find(L"保存できません"), std::wstring::npos);
        word.Quit();
    }
    ASSERT_TRUE(session.WaitForExit());
    EXPECT_TRUE(Contains(session.Journal(), L"Document.SaveAs method Filename=VT_BSTR|VT_BYREF:\"" +
                                                dir + L"\\出力 ①.doc\""));
}

TEST(WordStubSave, AFileThereBeforeIsReplacedWholeOrLeftAsItWas) {
    const std::wstring dir = MakeTempFolder(L"wordstub-replace");
    const std::wstring older = dir + L"\\前の文書.docx", inUse = dir + L"\\開いている文書.docx";
    ASSERT_TRUE(WriteBytes(older, "the document of before"));
    ASSERT_TRUE(WriteBytes(inUse, "kept"));
    StubSession session;
    {
        Word word;
        ASSERT_TRUE(word.ok());
        ASSERT_EQ(word.SaveAs(older).hr, S_OK);
        EXPECT_EQ(FileStart(older, 4), std::string("PK\x03\x04", 4));
        // A file open elsewhere cannot be replaced: the save fails and the file stays as it was.
        {
            const UniqueKernelHandle reader = wordstub::OpenFile(
                inUse, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
            ASSERT_TRUE(reader);
            CallResult r = word.SaveAs(inUse);
            EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
            EXPECT_NE(r.description.find(L"保存できません"), std::wstring::npos);
        }
        EXPECT_EQ(FileStart(inUse, 100), "kept");
        word.Quit();
    }
    // No file written on the way was left beside them.
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"前の文書.docx", L"開いている文書.docx"}));
}

TEST(WordStubSave, AnEntryCountTheEndRecordCannotHoldIsRefused) {
    wordstub::ZipWriter zip;
    for (size_t i = 0; i < wordstub::ZipWriter::kMaxEntries; ++i)
        zip.Add("word/media/image" + std::to_string(i) + ".png", "");
    try {
        zip.Add("one/more.png", "");
        ADD_FAILURE() << "a 65,536th entry was taken";
    } catch (const wordstub::MemberError& e) {
        EXPECT_EQ(e.code, wordstub::WordError(5356));
        EXPECT_NE(e.description.find(L"保存できません"), std::wstring::npos);
    }
    // The package of the entries taken is whole: its end record counts every one of them.
    const std::string package = zip.Finish();
    ASSERT_GE(package.size(), 22u);
    const std::string end = package.substr(package.size() - 22);
    EXPECT_EQ(end.substr(0, 4), std::string("PK\x05\x06", 4));
    auto u16 = [&](size_t at) {
        return static_cast<unsigned char>(end[at]) | static_cast<unsigned char>(end[at + 1]) << 8;
    };
    EXPECT_EQ(u16(8), 65535);
    EXPECT_EQ(u16(10), 65535);
}

TEST(WordStubSave, ThePackageHoldsPagesAnchorsWrapsAndSizes) {
    const std::wstring dir = MakeTempFolder(L"wordstub-package");
    ASSERT_TRUE(WriteTestPicture(dir + L"\\small.png", PictureFormat::Png, 240, 160, 96));
    ASSERT_TRUE(WriteTestPicture(dir + L"\\fine.bmp", PictureFormat::Bmp, 200, 200, 144));
    ASSERT_TRUE(WriteTestPicture(dir + L"\\wide.gif", PictureFormat::Gif, 1200, 300, 96));
    const std::wstring target = dir + L"\\out.docx";
    StubSession session;
    std::optional<DocxLayout> layout;
    {
        Word word;
        ASSERT_TRUE(word.ok());
        ASSERT_EQ(word.TypeParagraphs(71), S_OK);
        ASSERT_EQ(word.PageOne(), S_OK);
        auto place = [&](const std::wstring& file, int lines, LONG order) {
            CallResult shape = word.AddPicture(dir + L"\\" + file);
            ASSERT_EQ(shape.hr, S_OK);
            ASSERT_EQ(Call(V_DISPATCH(&shape.value.v), L"ZOrder", DISPATCH_METHOD,
                           {{L"", Var::I4(order).v}})
                          .hr,
                      S_OK);
            for (int i = 0; i < lines; ++i)
                ASSERT_EQ(word.NextLine(), S_OK);
        };
        place(L"small.png", 12, 4); // page 1, line 1
        place(L"fine.bmp", 24, 5);  // page 1, line 13, behind the text
        place(L"wide.gif", 12, 4);  // page 2, line 1
        place(L"small.png", 0, 0);  // page 2, line 13, the same file again, to the front
        ComPtr<IDispatch> third =
            Object(word.shapes.Get(), L"Range", DISPATCH_METHOD, {{L"", Var::I4(3).v}});
        ASSERT_EQ(Call(Object(third.Get(), L"WrapFormat").Get(), L"Type", DISPATCH_PROPERTYPUT,
                       {{L"", Var::I4(0).v}})
                      .hr,
                  S_OK);
        // Half as high, and the width follows; the first one, unlocked, keeps its width.
        ASSERT_EQ(Call(third.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", Var::R8(53.15).v}}).hr,
                  S_OK);
        ComPtr<IDispatch> first =
            Object(word.shapes.Get(), L"Range", DISPATCH_METHOD, {{L"", Var::I4(1).v}});
        ASSERT_EQ(
            Call(first.Get(), L"LockAspectRatio", DISPATCH_PROPERTYPUT, {{L"", Var::I4(0).v}}).hr,
            S_OK);
        ASSERT_EQ(Call(first.Get(), L"Height", DISPATCH_PROPERTYPUT, {{L"", Var::R8(60).v}}).hr,
                  S_OK);
        layout = word.Saved(target);
        word.Quit();
    }
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->paragraphs, 72);
    EXPECT_EQ(layout->linesPerPage, 36);
    ASSERT_EQ(layout->pictures.size(), 4u);
    const auto& p = layout->pictures;
    struct Want {
        int page, line;
        const char* wrap;
        bool behind;
        double width, height;
        bool locked;
    } want[] = {{1, 1, "wrapNone", false, 180, 60, false},
                {1, 13, "wrapNone", true, 100, 100, true},
                {2, 1, "wrapSquare", false, 212.6, 53.15, true},
                {2, 13, "wrapNone", false, 180, 120, true}}; // the first one's file, its own size
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p[i].page, want[i].page);
        EXPECT_EQ(p[i].line, want[i].line);
        EXPECT_EQ(p[i].wrap, want[i].wrap);
        EXPECT_EQ(p[i].behindText, want[i].behind);
        EXPECT_NEAR(p[i].widthPt, want[i].width, 0.1);
        EXPECT_NEAR(p[i].heightPt, want[i].height, 0.1);
        // The picture's own frame is drawn at the drawing's size.
        EXPECT_EQ(p[i].frameWidthPt, p[i].widthPt);
        EXPECT_EQ(p[i].frameHeightPt, p[i].heightPt);
        EXPECT_EQ(p[i].aspectLocked, want[i].locked);
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(p[i].id, p[j].id);
    }
    // The fourth shape came to the front: above every other.
    for (size_t i = 0; i < 3; ++i)
        EXPECT_GT(p[3].relativeHeight, p[i].relativeHeight);
    // One part per picture file; the BMP is kept as PNG.
    EXPECT_EQ(p[0].media, p[3].media);
    EXPECT_NE(p[0].media, p[1].media);
    EXPECT_NE(p[1].media, p[2].media);
    size_t media = 0;
    for (const auto& [name, bytes] : layout->parts)
        media += name.rfind("word/media/", 0) == 0;
    EXPECT_EQ(media, 3u);
    EXPECT_EQ(layout->parts.at(p[1].media).substr(0, 4), "\x89PNG");
}

TEST(WordStubScenario, ACallFailsWithTheGivenDescriptionOrCode) {
    const std::wstring dir = MakeTempFolder(L"wordstub-fail");
    ASSERT_TRUE(WriteTestPicture(dir + L"\\p.png", PictureFormat::Png, 16, 16));
    {
        StubSession session({.failMember = L"AddPicture",
                             .failOccurrence = 2,
                             .failDescription = L"画像を挿入できません。"});
        {
            Word word;
            ASSERT_TRUE(word.ok());
            EXPECT_EQ(word.AddPicture(dir + L"\\p.png").hr, S_OK);
            CallResult second = word.AddPicture(dir + L"\\p.png");
            EXPECT_EQ(second.hr, DISP_E_EXCEPTION);
            EXPECT_EQ(second.description, L"画像を挿入できません。");
            EXPECT_EQ(word.AddPicture(dir + L"\\p.png").hr, S_OK);
            EXPECT_EQ(word.Count(), 2);
            word.Quit();
        }
        ASSERT_TRUE(session.WaitForExit());
        EXPECT_TRUE(Contains(session.Journal(),
                             L"FAIL Shapes.AddPicture 0x80020009 \"画像を挿入できません。\""));
    }
    {
        StubSession session({.failMember = L"typeparagraph", .failCode = E_ACCESSDENIED});
        Word word;
        ASSERT_TRUE(word.ok());
        EXPECT_EQ(word.TypeParagraphs(1), E_ACCESSDENIED);
        EXPECT_EQ(word.TypeParagraphs(1), S_OK);
        word.Quit();
    }
    {
        // Occurrences count across the stand-in processes of one session: the second probe fails.
        StubSession session(
            {.failMember = L"Version", .failOccurrence = 2, .failDescription = L"二度目"});
        EXPECT_EQ(Call(CreateWord().Get(), L"Version", kGet).hr, S_OK);
        CallResult second = Call(CreateWord().Get(), L"Version", kGet);
        EXPECT_EQ(second.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(second.description, L"二度目");
    }
}

TEST(WordStubScenario, ABusyWordTurnsCallsAwayAndThenTakesThem) {
    {
        StubSession session({.busyMember = L"typeparagraph", .busyCall = 2, .busyTimes = 2});
        {
            Word word;
            ASSERT_TRUE(word.ok());
            EXPECT_EQ(word.TypeParagraphs(1), S_OK);
            EXPECT_EQ(word.TypeParagraphs(1), RPC_E_CALL_REJECTED);
            EXPECT_EQ(word.TypeParagraphs(1), RPC_E_CALL_REJECTED);
            EXPECT_EQ(word.TypeParagraphs(2), S_OK);
            EXPECT_EQ(word.Where(), 3) << "a call turned away does nothing";
            word.Quit();
        }
        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        EXPECT_EQ(std::count(journal.begin(), journal.end(), L"BUSY Selection.TypeParagraph"), 2);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), L"Selection.TypeParagraph method"), 3);
        EXPECT_EQ(journal.back(), L"EXIT refs=0");
    }
    {
        // Without a member every call counts.
        StubSession session({.busyCall = 1, .busyTimes = 1});
        {
            ComPtr<IDispatch> word = CreateWord();
            ASSERT_TRUE(word);
            EXPECT_EQ(Call(word.Get(), L"Version", kGet).hr, RPC_E_CALL_REJECTED);
            EXPECT_EQ(Call(word.Get(), L"Version", kGet).hr, S_OK);
        }
        ASSERT_TRUE(session.WaitForExit());
        EXPECT_EQ(session.Journal(),
                  (std::vector<std::wstring>{L"CREATE Application", L"BUSY Application.Version",
                                             L"Application.Version method|get", L"EXIT refs=0"}));
    }
    {
        // Listed calls, each turned away once: the retry is the same call, not the next one.
        StubSession session({.busyOnce = L"TypeParagraph#2 Version#1"});
        {
            Word word;
            ASSERT_TRUE(word.ok());
            EXPECT_EQ(word.TypeParagraphs(1), S_OK);
            EXPECT_EQ(word.TypeParagraphs(1), RPC_E_CALL_REJECTED);
            EXPECT_EQ(word.TypeParagraphs(2), S_OK);
            EXPECT_EQ(word.Where(), 3);
            word.Quit();
        }
        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        EXPECT_EQ(std::count(journal.begin(), journal.end(), L"BUSY Selection.TypeParagraph"), 1);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), L"Selection.TypeParagraph method"), 3);
    }
}

TEST(WordStubScenario, AHungWordAnswersWhenItsTimeIsUpOrWhenReleased) {
    {
        // For a while: the call then runs as it would have.
        StubSession session({.hangMember = L"typeparagraph", .hangCall = 2, .hangMs = 300});
        {
            Word word;
            ASSERT_TRUE(word.ok());
            EXPECT_EQ(word.TypeParagraphs(3), S_OK);
            EXPECT_EQ(word.Where(), 3);
            word.Quit();
        }
        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        const auto hang =
            std::find(journal.begin(), journal.end(), L"HANG Selection.TypeParagraph");
        ASSERT_NE(hang, journal.end());
        ASSERT_GE(hang - journal.begin(), 2);
        // At the second call, after its own line.
        EXPECT_EQ(hang[-2], L"Selection.TypeParagraph method");
        EXPECT_EQ(hang[-1], L"Selection.TypeParagraph method");
        ASSERT_NE(hang + 1, journal.end());
        EXPECT_EQ(hang[1], L"HANG-END Selection.TypeParagraph time up");
        EXPECT_EQ(std::count(journal.begin(), journal.end(), L"Selection.TypeParagraph method"), 3);
        EXPECT_EQ(journal.back(), L"EXIT refs=0");
    }
    {
        // For good, until released; counted across the session's processes like a failure.
        StubSession session({.hangMember = L"Version", .hangCall = 2});
        EXPECT_EQ(Call(CreateWord().Get(), L"Version", kGet).hr, S_OK);
        std::thread release([&] {
            for (int i = 0; i < 1000 && !Contains(session.Journal(), L"HANG Application.Version");
                 ++i)
                Sleep(20);
            session.EndHang();
        });
        CallResult hung = Call(CreateWord().Get(), L"Version", kGet);
        release.join();
        EXPECT_EQ(hung.hr, S_OK);
        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        ASSERT_GE(journal.size(), 3u);
        EXPECT_EQ(
            std::vector<std::wstring>(journal.end() - 3, journal.end()),
            (std::vector<std::wstring>{L"HANG Application.Version",
                                       L"HANG-END Application.Version released", L"EXIT refs=0"}));
        EXPECT_EQ(std::count(journal.begin(), journal.end(), L"HANG Application.Version"), 1);
    }
}

TEST(WordStubScenario, AbruptExitInTheMiddleOfACall) {
    StubSession session({.crashMember = L"TypeParagraph", .crashOccurrence = 3});
    {
        Word word;
        ASSERT_TRUE(word.ok());
        EXPECT_EQ(word.TypeParagraphs(2), S_OK);
        const HRESULT crashed = word.TypeParagraphs(1);
        EXPECT_TRUE(FAILED(crashed));
        EXPECT_TRUE(FAILED(Call(word.app.Get(), L"Version", kGet).hr));
    }
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    EXPECT_EQ(journal.back(), L"CRASH Selection.TypeParagraph");
    EXPECT_FALSE(Contains(journal, L"EXIT refs=0"));
}

TEST(WordStubLifetime, ReferencesStillHeldAreCountedAtExit) {
    StubSession session;
    ComPtr<IDispatch> kept;
    ComPtr<IDispatch> movedTo; // the answer of a call made for its effect, never let go of
    {
        Word word;
        ASSERT_TRUE(word.ok());
        kept = word.doc;
        movedTo = Object(word.selection.Get(), L"GoTo", DISPATCH_METHOD, {{L"What", Var::I4(1).v}});
        ASSERT_TRUE(movedTo);
        word.Quit();
        // Word is on its way out: further calls are refused.
        EXPECT_EQ(Call(word.app.Get(), L"Version", kGet).hr, RPC_E_DISCONNECTED);
    }
    // The document is still held: the stand-in leaves after its grace period all the same.
    ASSERT_TRUE(session.WaitForExit(15000));
    const auto journal = session.Journal();
    EXPECT_EQ(journal.back(), L"EXIT refs=2");
    EXPECT_TRUE(Contains(journal, L"Application.Version REJECTED 0x80010108"));
    kept.Reset();
    movedTo.Reset();
}
