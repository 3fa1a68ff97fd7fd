// The automation layer across process boundaries, against the Word stand-in: what Word receives
// (its journal), what comes back, how failures read, and that no reference is left behind.
#include "automation/Automation.h"
#include "ErrorText.h"

#include "Error.h"
#include "TempFolder.h"
#include "WordStub.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace automation;

namespace {

const CallDesc kVersion{L"Version", CallKind::PropertyGet};
const CallDesc kDocuments{L"Documents", CallKind::PropertyGet};
const CallDesc kAdd{L"Add", CallKind::Method};
const CallDesc kActiveDocument{L"ActiveDocument", CallKind::PropertyGet};
const CallDesc kPageSetup{L"PageSetup", CallKind::PropertyGet};
const CallDesc kLinesPage{L"LinesPage", CallKind::PropertyGet};
const CallDesc kSelection{L"Selection", CallKind::PropertyGet};
const CallDesc kTypeParagraph{L"TypeParagraph", CallKind::Method};
const CallDesc kGoToPage{L"GoTo", CallKind::Method, {L"What", L"Which", L"Name"}};
const CallDesc kGoToLine{L"GoTo", CallKind::Method, {L"What", L"Which", L"Count", L"Name"}};
const CallDesc kRange{L"Range", CallKind::PropertyGet};
const CallDesc kShapes{L"Shapes", CallKind::PropertyGet};
const CallDesc kAddPicture{
    L"AddPicture", CallKind::Method, {L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"}};
const CallDesc kWrapFormat{L"WrapFormat", CallKind::PropertyGet};
const CallDesc kType{L"Type", CallKind::PropertyPut};
const CallDesc kZOrder{L"ZOrder", CallKind::Method};
const CallDesc kCount{L"Count", CallKind::PropertyGet};
const CallDesc kShapeRange{L"Range", CallKind::Method};
const CallDesc kSaveAs{L"SaveAs", CallKind::Method, {L"Filename"}};
const CallDesc kQuit{L"Quit", CallKind::Method, {L"SaveChanges"}};

// A 2×2 24-bit BMP: the smallest picture every reader knows.
void WriteBmp(const std::filesystem::path& path) {
    const unsigned char bmp[] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, // file header
                                 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                                 16, // info header
                                 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 0, 255, 0, 255, 0, 0, 0,   // bottom row: red,
                                                                  // green, padding
                                 255, 0, 0, 255, 255, 255, 0, 0}; // top row: blue, white, padding
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp), sizeof bmp);
}

// The journal without the lines that tell how the server started and stopped.
std::vector<std::wstring> Calls(const StubSession& session) {
    std::vector<std::wstring> calls;
    for (const std::wstring& line : session.Journal())
        if (line.rfind(L"CREATE ", 0) != 0 && line.rfind(L"EXIT ", 0) != 0)
            calls.push_back(line);
    return calls;
}

std::wstring ExitLine(const StubSession& session) {
    const std::vector<std::wstring> journal = session.Journal();
    for (auto it = journal.rbegin(); it != journal.rend(); ++it)
        if (it->rfind(L"EXIT ", 0) == 0)
            return *it;
    return L"(no EXIT line)";
}

// Quits Word and waits until its process is gone, as every build ends.
void QuitAndRelease(const StubSession& session, Variant& app) {
    CallVoid(app, kQuit, std::vector<Arg>{0});
    app.reset();
    EXPECT_TRUE(session.WaitForExit());
}

} // namespace

TEST(WordCalls, CreateVersionAndQuit) {
    StubSession session;
    Variant app = Create(L"Word.Application");
    ASSERT_EQ(app.get().vt, VT_DISPATCH);
    const Variant version = Call(app, kVersion);
    ASSERT_EQ(version.get().vt, VT_BSTR);
    EXPECT_STREQ(version.get().bstrVal, L"16.0");
    EXPECT_GT(CompareWithInt(version, 12), 0);
    QuitAndRelease(session, app);
    const std::vector<std::wstring> journal = session.Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front(), L"CREATE Application");
    EXPECT_EQ(Calls(session), (std::vector<std::wstring>{
                                  L"Application.Version method|get",
                                  L"Application.Quit method SaveChanges=VT_I4:0",
                              }));
    EXPECT_EQ(ExitLine(session), L"EXIT refs=0");
}

TEST(WordCalls, ChainOfGetsAndLinesPageRounding) {
    for (const auto& [lines, expected] :
         std::vector<std::pair<float, int32_t>>{{36.0f, 36}, {6.5f, 6}}) {
        StubScenario scenario;
        scenario.linesPage = lines;
        StubSession session(scenario);
        Variant app = Create(L"Word.Application");
        {
            Variant added = Call(Call(app, kDocuments), kAdd);
            const Variant linesPage =
                Call(Call(Call(app, kActiveDocument), kPageSetup), kLinesPage);
            EXPECT_EQ(ToInt32(linesPage), expected) << lines;
        }
        QuitAndRelease(session, app);
        EXPECT_EQ(Calls(session), (std::vector<std::wstring>{
                                      L"Application.Documents method|get",
                                      L"Documents.Add method|get",
                                      L"Application.ActiveDocument method|get",
                                      L"Document.PageSetup method|get",
                                      L"PageSetup.LinesPage method|get",
                                      L"Application.Quit method SaveChanges=VT_I4:0",
                                  }));
        EXPECT_EQ(ExitLine(session), L"EXIT refs=0");
    }
}

// Every argument kind, named and positional, a property put, a reference text — one small build.
TEST(WordCalls, EveryArgumentKindReachesWord) {
    const std::filesystem::path dir = MakeTempFolder(L"tablorin 自動化 ①");
    const std::filesystem::path picture = dir / L"花 🌸.bmp";
    WriteBmp(picture);
    std::wstring output = (dir / L"結果 ①.docx").wstring();
    const std::wstring requested = output;

    StubSession session;
    Variant app = Create(L"Word.Application");
    {
        Variant added = Call(Call(app, kDocuments), kAdd);
        const Variant selection = Call(app, kSelection);
        CallVoid(selection, kTypeParagraph);
        CallVoid(selection, kGoToPage, std::vector<Arg>{1, 2, L"1"});
        const Variant document = Call(app, kActiveDocument);
        const Variant anchor = Call(selection, kRange);
        {
            const Variant shape = Call(Call(document, kShapes), kAddPicture,
                                       std::vector<Arg>{&anchor, picture.wstring(), false, true});
            CallVoid(Call(shape, kWrapFormat), kType, std::vector<Arg>{3});
            CallVoid(shape, kZOrder, std::vector<Arg>{4});
        }
        CallVoid(selection, kGoToLine, std::vector<Arg>{3, 2, 1, L""});
        const Variant shapes = Call(document, kShapes);
        EXPECT_EQ(ToInt32(Call(shapes, kCount)), 1);
        {
            const Variant range = Call(shapes, kShapeRange, std::vector<Arg>{1});
            CallVoid(Call(range, kWrapFormat), kType, std::vector<Arg>{0});
        }
        CallVoid(document, kSaveAs, std::vector<Arg>{&output});
    }
    QuitAndRelease(session, app);

    EXPECT_EQ(output, requested);
    EXPECT_TRUE(std::filesystem::exists(requested));
    const std::wstring pictureText = L"\"" + picture.wstring() + L"\"";
    EXPECT_EQ(
        Calls(session),
        (std::vector<std::wstring>{
            L"Application.Documents method|get",
            L"Documents.Add method|get",
            L"Application.Selection method|get",
            L"Selection.TypeParagraph method",
            L"Selection.GoTo method What=VT_I4:1 Which=VT_I4:2 Name=VT_BSTR:\"1\"",
            L"Application.ActiveDocument method|get",
            L"Selection.Range method|get",
            L"Document.Shapes method|get",
            L"Shapes.AddPicture method Anchor=VT_DISPATCH:Range FileName=VT_BSTR:" + pictureText +
                L" LinkToFile=VT_BOOL:0 SaveWithDocument=VT_BOOL:-1",
            L"Shape.WrapFormat method|get",
            L"WrapFormat.Type put VT_I4:3",
            L"Shape.ZOrder method VT_I4:4",
            L"Selection.GoTo method What=VT_I4:3 Which=VT_I4:2 Count=VT_I4:1 Name=VT_BSTR:\"\"",
            L"Document.Shapes method|get",
            L"Shapes.Count method|get",
            L"Shapes.Range method VT_I4:1",
            L"ShapeRange.WrapFormat method|get",
            L"WrapFormat.Type put VT_I4:0",
            L"Document.SaveAs method Filename=VT_BSTR|VT_BYREF:\"" + requested + L"\"",
            L"Application.Quit method SaveChanges=VT_I4:0",
        }));
    EXPECT_EQ(ExitLine(session), L"EXIT refs=0");
    std::filesystem::remove_all(dir);
}

TEST(WordCalls, UnknownNamesNameTheMember) {
    StubSession session;
    Variant app = Create(L"Word.Application");
    EXPECT_EQ(ErrorOf([&] {
                  CallVoid(app, {L"Visiblee", CallKind::Method});
              }),
              L"メソッド 'Visiblee' はオートメーション オブジェクトでサポートしていません");
    EXPECT_EQ(ErrorOf([&] {
                  CallVoid(app, {L"Quit", CallKind::Method, {L"SaveChangez"}}, std::vector<Arg>{0});
              }),
              L"メソッド 'Quit' はオートメーション オブジェクトでサポートしていません");
    QuitAndRelease(session, app);
    EXPECT_EQ(ExitLine(session), L"EXIT refs=0");
}

// ---------------------------------------------------------------------------------------------
// Failures reported by Word, and a Word that is gone.

namespace {

// Adds a document and tries to type a paragraph; returns the failure text (the scenario decides).
std::wstring FailingTypeParagraph(const StubScenario& scenario) {
    StubSession session(scenario);
    Variant app = Create(L"Word.Application");
    std::wstring text;
    {
        Variant added = Call(Call(app, kDocuments), kAdd);
        const Variant selection = Call(app, kSelection);
        text = ErrorOf([&] { CallVoid(selection, kTypeParagraph); });
    }
    QuitAndRelease(session, app);
    EXPECT_EQ(ExitLine(session), L"EXIT refs=0");
    return text;
}

StubScenario FailAt(const wchar_t* member, const wchar_t* description, HRESULT code) {
    StubScenario scenario;
    scenario.failMember = member;
    scenario.failDescription = description;
    scenario.failCode = code;
    return scenario;
}

} // namespace

TEST(WordFailures, ExceptionWithDescriptionShowsItTrimmed) {
    EXPECT_EQ(FailingTypeParagraph(FailAt(L"TypeParagraph", L"文書がロックされています。 \r\n",
                                          static_cast<HRESULT>(0x800A13E9))),
              L"文書がロックされています。");
    EXPECT_EQ(FailingTypeParagraph(FailAt(L"TypeParagraph", L"The document is locked...", E_FAIL)),
              L"The document is locked");
}

TEST(WordFailures, ExceptionWithoutDescriptionShowsTheTextOfItsCode) {
    // A description of nothing but stops and spaces counts as none.
    EXPECT_EQ(FailingTypeParagraph(FailAt(L"TypeParagraph", L" .", E_ACCESSDENIED)),
              ErrorText(E_ACCESSDENIED));
    EXPECT_EQ(
        FailingTypeParagraph(FailAt(L"TypeParagraph", L" .", static_cast<HRESULT>(0x800A13E9))),
        L"OLE エラー 800A13E9");
    // An empty description: the stand-in gives Word's general code 4198, which the system does
    // not know.
    EXPECT_EQ(FailingTypeParagraph(FailAt(L"TypeParagraph", L"", DISP_E_EXCEPTION)),
              L"OLE エラー 800A1066");
}

TEST(WordFailures, FailureWithoutExceptionShowsTheSystemText) {
    EXPECT_EQ(FailingTypeParagraph(FailAt(L"TypeParagraph", L"", E_FAIL)), ErrorText(E_FAIL));
    EXPECT_EQ(FailingTypeParagraph(FailAt(L"TypeParagraph", L"", static_cast<HRESULT>(0x800A1066))),
              L"OLE エラー 800A1066");
}

TEST(WordFailures, PictureWordCannotReadReportsWordsDescription) {
    const std::filesystem::path dir = MakeTempFolder(L"tablorin 自動化 ②");
    const std::filesystem::path notPicture = dir / L"メモ.txt";
    std::ofstream(notPicture) << "not a picture";
    StubSession session;
    Variant app = Create(L"Word.Application");
    std::wstring text;
    {
        Variant added = Call(Call(app, kDocuments), kAdd);
        const Variant document = Call(app, kActiveDocument);
        const Variant anchor = Call(Call(app, kSelection), kRange);
        text = ErrorOf([&] {
            (void)Call(Call(document, kShapes), kAddPicture,
                       std::vector<Arg>{&anchor, notPicture.wstring(), false, true});
        });
    }
    QuitAndRelease(session, app);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.find(notPicture.wstring()), std::wstring::npos) << text;
    EXPECT_NE(text.rfind(L"OLE エラー", 0), 0u) << text;
    EXPECT_EQ(ExitLine(session), L"EXIT refs=0");
    std::filesystem::remove_all(dir);
}

TEST(WordFailures, DeadServerFailsWithTheSystemText) {
    StubScenario scenario;
    scenario.crashMember = L"TypeParagraph";
    StubSession session(scenario);
    Variant app = Create(L"Word.Application");
    Variant added = Call(Call(app, kDocuments), kAdd);
    Variant selection = Call(app, kSelection);
    const std::wstring atCrash = ErrorOf([&] { CallVoid(selection, kTypeParagraph); });
    const std::wstring afterCrash = ErrorOf([&] { CallVoid(app, kQuit, std::vector<Arg>{0}); });
    EXPECT_TRUE(session.WaitForExit());
    // Releasing what the dead server handed out must neither hang nor crash.
    selection.reset();
    added.reset();
    app.reset();
    // The RPC failure codes a vanished server can produce, as the system words them.
    std::vector<std::wstring> expected;
    for (HRESULT hr :
         {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), HRESULT_FROM_WIN32(RPC_S_CALL_FAILED),
          RPC_E_DISCONNECTED, RPC_E_SERVERFAULT, RPC_E_CALL_REJECTED})
        expected.push_back(ErrorText(hr));
    EXPECT_NE(std::find(expected.begin(), expected.end(), atCrash), expected.end()) << atCrash;
    EXPECT_NE(std::find(expected.begin(), expected.end(), afterCrash), expected.end())
        << afterCrash;
}

TEST(WordFailures, MissingWordFailsAtCreation) {
    const StubUnregistered noWord;
    const std::wstring text = ErrorOf([] { (void)Create(L"Word.Application"); });
    EXPECT_TRUE(text == ErrorText(CO_E_CLASSSTRING) || text == ErrorText(REGDB_E_CLASSNOTREG))
        << text;
}
