// The save-and-paste command: page arithmetic, whole builds from a request and through the real
// button and dialogs, with the Word stand-in, checked on its journal and the saved file.
#include "automation/Automation.h"
#include "DocumentBuildKit.h"
#include "DocxReader.h"
#include "DriveLetter.h"
#include "ErrorDisplay.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <iterator>
#include <optional>
#include <set>
#include <thread>

using namespace buildkit;

namespace {

// ---- page arithmetic ----------------------------------------------------------------------

PageLayout Layout(int files, int perPage, int32_t lines) {
    PageLayout layout = PageLayout::ForFiles(files, perPage);
    layout.SetLinesPerPage(lines);
    return layout;
}

// The same on the page of a new Japanese A4 document, as Word answers it in Singles (points).
PageLayout OnA4(int files, int perPage, int32_t lines, float height = 841.9f, float top = 99.25f,
                float bottom = 85.05f) {
    PageLayout layout = Layout(files, perPage, lines);
    if (layout.HasPlaces())
        layout.SetPageHeight(height, top, bottom);
    return layout;
}

TEST(PageLayout, PagesAreRoundedUpAndLinesSpreadEvenly) {
    // Small grids type nothing or only what fits; without a line per page, or a line between two
    // pictures, no picture has a place of its own.
    const struct {
        int files, perPage;
        int32_t lines;
        int pageCount, lineStep, pageRemainder;
        int64_t paragraphs;
        bool places;
    } counts[] = {
        {5, 3, 36, 2, 12, 0, 71, true}, // the worked example
        {6, 3, 36, 2, 12, 0, 71, true}, {7, 3, 36, 3, 12, 0, 107, true},
        {7, 7, 36, 1, 5, 1, 35, true},  {11, 10, 36, 2, 3, 6, 71, true},
        {1, 1, 1, 1, 1, 0, 0, true},    {4, 3, 0, 2, 0, 0, 0, false},
        {11, 10, 5, 2, 0, 5, 9, false},
    };
    for (const auto& c : counts) {
        SCOPED_TRACE(std::to_string(c.files) + " files, " + std::to_string(c.perPage) +
                     " per page, " + std::to_string(c.lines) + " lines");
        const PageLayout layout = Layout(c.files, c.perPage, c.lines);
        EXPECT_EQ(layout.pageCount, c.pageCount);
        EXPECT_EQ(layout.lineStep, c.lineStep);
        EXPECT_EQ(layout.pageRemainder, c.pageRemainder);
        EXPECT_EQ(layout.paragraphs, c.paragraphs);
        EXPECT_EQ(layout.HasPlaces(), c.places);
    }

    // A place runs to the next anchor line; the last of a page takes the lines left at the foot.
    // 657.6 points of text on 36 lines: the grid's pitch is 18.25 points in whole twentieths.
    const struct {
        int perPage;
        int32_t lines;
        double pitch;
        std::vector<double> places; // for slots 1, 2, ... perPage
    } grids[] = {
        {3, 36, 18.25, {219, 219, 219}},
        {1, 36, 18.25, {657}},
        {7, 36, 18.25, {91.25, 91.25, 91.25, 91.25, 91.25, 91.25, 109.5}},
        {10, 36, 18.25, {54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 54.75, 164.25}},
        {3, 40, 16.4, {213.2, 213.2, 229.6}},
        {3, 1, 657.6, {}}, // one line for three pictures: no places
    };
    for (const auto& g : grids) {
        SCOPED_TRACE(std::to_string(g.perPage) + " per page, " + std::to_string(g.lines) +
                     " lines");
        const PageLayout layout = OnA4(5, g.perPage, g.lines);
        EXPECT_EQ(layout.HasPlaces(), !g.places.empty());
        EXPECT_DOUBLE_EQ(layout.linePitch, g.places.empty() ? 0 : g.pitch);
        for (size_t i = 0; i < g.places.size(); ++i) {
            const int32_t slot = static_cast<int32_t>(i) + 1;
            EXPECT_NEAR(layout.SlotHeight(slot), g.places[i], 1e-9) << slot;
            // Only a picture taller than its place by more than a rounding error is scaled.
            EXPECT_FALSE(layout.Overflows(g.places[i] + 0.009, slot));
            EXPECT_TRUE(layout.Overflows(g.places[i] + 0.011, slot));
            EXPECT_FALSE(layout.Overflows(g.places[i] / 2, slot));
        }
    }
}

TEST(PageLayout, ExtremeGridsFromWordDoNotOverflow) {
    const PageLayout huge = Layout(30000, 1, INT32_MAX);
    EXPECT_EQ(huge.paragraphs, int64_t{30000} * INT32_MAX - 1);
    EXPECT_EQ(huge.lineStep, INT32_MAX);
    const PageLayout hugeThree = Layout(5, 3, INT32_MAX);
    EXPECT_EQ(hugeThree.lineStep, INT32_MAX / 3);
    EXPECT_EQ(hugeThree.pageRemainder, INT32_MAX % 3);

    // A negative grid moves nothing: no paragraphs, and counts below one mean no line moves.
    const PageLayout negative = Layout(5, 3, INT32_MIN);
    EXPECT_EQ(negative.paragraphs, 0);
    EXPECT_LE(negative.lineStep, 0);
    EXPECT_LE(negative.pageRemainder, 0);
    EXPECT_EQ(Layout(5, 3, -7).paragraphs, 0);
    EXPECT_FALSE(negative.HasPlaces());

    // Pages whose margins leave no room, or values that are no lengths: no place to fit into, so
    // nothing is ever scaled.
    const struct {
        const char* what;
        PageLayout layout;
    } nonsense[] = {
        {"margins filling the page", OnA4(5, 3, 36, 841.9f, 441.9f, 400.0f)},
        {"margins beyond the page", OnA4(5, 3, 36, 100.0f, 99.25f, 85.05f)},
        {"less than a twentieth of a point a line", OnA4(5, 3, 36, 1.0f, 0.0f, 0.0f)},
        {"not a number", OnA4(5, 3, 36, std::nanf(""))},
        {"infinite", OnA4(5, 3, 36, INFINITY)},
        {"more lines than twentieths", OnA4(5, 3, INT32_MAX)},
    };
    for (const auto& n : nonsense) {
        SCOPED_TRACE(n.what);
        EXPECT_EQ(n.layout.linePitch, 0.0);
        for (int32_t slot : {1, 3})
            EXPECT_FALSE(n.layout.Overflows(1e30, slot));
    }
}

TEST(PageLayout, PictureCountOutsideTheFieldRangeIsBroughtIntoIt) {
    // The field corrects itself when it loses the focus; a value read before that must not divide
    // by zero.
    EXPECT_EQ(PageLayout::ForFiles(5, 0).imagesPerPage, 1);
    EXPECT_EQ(PageLayout::ForFiles(5, 0).pageCount, 5);
    EXPECT_EQ(PageLayout::ForFiles(5, 99).imagesPerPage, 10);
    EXPECT_EQ(PageLayout::ForFiles(5, 99).pageCount, 1);
}

// ---- whole builds -------------------------------------------------------------------------

class DocumentBuild : public BuildTest {
protected:
    static void SetUpTestSuite() { MakePictures(L"tablorin-docbuild", 12); }
    void SetUp() override { FreshOutput(L"出力 結果.docx"); }

    static std::vector<std::wstring> First(int n) {
        return {pictures_.begin(), pictures_.begin() + n};
    }

    // A build expected to succeed: the information dialog closes it and Word ended clean.
    std::vector<std::wstring> Succeed(const StubSession& session) {
        const BuildOutcome outcome = RunBuild(output_, kInfoTitle);
        EXPECT_TRUE(outcome.allAnswered);
        if (outcome.dialogs.size() == 2) {
            EXPECT_EQ(outcome.dialogs[1].text, kDoneText);
            EXPECT_EQ(outcome.dialogs[1].buttons, std::vector<std::wstring>{L"OK"});
        }
        EXPECT_EQ(outcome.cursorAfter, LoadCursorW(nullptr, IDC_ARROW));
        ExpectWordEndedClean(session);
        EXPECT_TRUE(FileExists(output_));
        return session.Journal();
    }

    // The same straight from a request.
    std::vector<std::wstring> Build(const StubSession& session,
                                    const std::vector<std::wstring>& files, int perPage,
                                    int wrapChoice = 0) {
        EXPECT_EQ(BuildFromRequest(files, perPage, wrapChoice, output_), L"");
        ExpectWordEndedClean(session);
        EXPECT_TRUE(FileExists(output_));
        return session.Journal();
    }
};

// The page's size was not asked, nor any picture's.
void ExpectNoFitting(const std::vector<std::wstring>& journal) {
    for (const wchar_t* call :
         {L"PageSetup.PageHeight", L"PageSetup.TopMargin", L"PageSetup.BottomMargin",
          L"Shape.Height", L"Shape.LockAspectRatio"})
        EXPECT_EQ(CountPrefix(journal, call), 0u) << ToUtf8(call);
}

std::vector<std::wstring> Repeat(std::vector<std::wstring> lines, int times) {
    std::vector<std::wstring> out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), lines.begin(), lines.end());
    return out;
}

void Append(std::vector<std::wstring>& to, const std::vector<std::wstring>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

TEST_F(DocumentBuild, WorkedExampleMakesExactlyTheseCalls) {
    const auto files = First(5);
    ResetForm(files, 3, 0);
    StubSession session;
    const auto journal = Succeed(session);

    const std::wstring selection = L"Application.Selection method|get";
    std::vector<std::wstring> expected = {
        L"CREATE Application",
        L"Application.Documents method|get",
        L"Documents.Add method|get",
        L"Application.ActiveDocument method|get",
        L"Document.PageSetup method|get",
        L"PageSetup.LinesPage method|get",
        L"PageSetup.PageHeight method|get",
        L"PageSetup.TopMargin method|get",
        L"PageSetup.BottomMargin method|get",
    };
    Append(expected, Repeat({selection, kTypeParagraph}, 71));
    Append(expected, {selection, kPageGoTo});
    for (const std::wstring& file : files) {
        Append(expected,
               {selection, L"Selection.Range method|get", L"Application.ActiveDocument method|get",
                L"Document.Shapes method|get", AddPictureLine(file), L"Shape.Height method|get",
                L"Shape.WrapFormat method|get", L"WrapFormat.Type put VT_I4:3",
                L"Shape.ZOrder method VT_I4:4"});
        Append(expected, Repeat({selection, kLineGoTo}, 12));
    }
    Append(expected, {L"Application.ActiveDocument method|get",
                      L"Document.SaveAs method Filename=VT_BSTR|VT_BYREF:\"" + output_ + L"\"",
                      kQuit, L"EXIT refs=0"});
    EXPECT_EQ(journal, expected);

    const std::vector<Placement> where = {{files[0], 1, 1},
                                          {files[1], 1, 13},
                                          {files[2], 1, 25},
                                          {files[3], 2, 1},
                                          {files[4], 2, 13}};
    EXPECT_EQ(Placements(journal, 36), where);

    std::ifstream saved(fs::path(output_), std::ios::binary);
    char magic[2] = {};
    saved.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "PK");
}

TEST_F(DocumentBuild, EmptyListWarnsAndStartsNothing) {
    ResetForm({});
    SetFocus(Form().Button4);
    StubSession session;
    DialogAnswerer answer({{kWarningTitle, DialogAction::Press(L"OK")}});
    ClickBuild();
    answer.Join();
    ASSERT_TRUE(answer.AllAnswered());
    EXPECT_EQ(answer.SeenAt(0).text, L"一覧にファイルを追加して下さい。");
    EXPECT_EQ(answer.SeenAt(0).buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_EQ(GetFocus(), Form().ListBox);
    EXPECT_TRUE(session.Journal().empty());
    // No save dialog came up either.
    EXPECT_FALSE(FindThreadWindow(GetCurrentThreadId(), kSaveTitle));
}

TEST_F(DocumentBuild, CancelledSaveDialogStartsNothing) {
    ResetForm(First(2));
    SetFocus(Form().Button4);
    StubSession session;
    DialogAnswerer answer({{kSaveTitle, DialogAction::Esc()}});
    ClickBuild();
    answer.Join();
    ASSERT_TRUE(answer.AllAnswered());
    EXPECT_EQ(GetFocus(), Form().ListBox);
    EXPECT_TRUE(session.Journal().empty());
    EXPECT_FALSE(FileExists(output_));
    EXPECT_EQ(Form().Files.Count(), 2);
}

TEST_F(DocumentBuild, SecondBuildOffersTheFirstOutputPath) {
    ResetForm(First(1), 1, 0);
    {
        StubSession session;
        Succeed(session);
    }
    EXPECT_EQ(Form().SaveDialog.FileName, output_);
    const std::wstring second = (dir_ / L"二回目.docx").wstring();
    std::error_code ec;
    fs::remove(second, ec);
    StubSession session;
    const BuildOutcome outcome = RunBuild(second, kInfoTitle);
    ASSERT_TRUE(outcome.allAnswered);
    // The dialog opens in the first document's folder with its name filled in.
    const std::wstring offered = outcome.dialogs[0].fileNameField;
    EXPECT_TRUE(offered == output_ || offered == fs::path(output_).filename().wstring())
        << ToUtf8(offered);
    ExpectWordEndedClean(session);
    EXPECT_TRUE(FileExists(second));
    // Each build started Word afresh.
    EXPECT_EQ(CountLines(session.Journal(), L"CREATE Application"), 1u);
}

TEST_F(DocumentBuild, OneLineGridTypesNoParagraph) {
    StubSession session({.linesPage = 1});
    const auto journal = Build(session, First(1), 1);
    EXPECT_EQ(CountLines(journal, kTypeParagraph), 0u);
    EXPECT_EQ(CountLines(journal, kPageGoTo), 1u);
    EXPECT_EQ(Placements(journal, 1), (std::vector<Placement>{{pictures_[0], 1, 1}}));
}

TEST_F(DocumentBuild, TenPerPageStepsThreeLinesAndSkipsSixAtTheFoot) {
    const auto files = First(11);
    StubSession session;
    const auto journal = Build(session, files, 10);
    EXPECT_EQ(CountLines(journal, kTypeParagraph), 71u);
    EXPECT_EQ(CountLines(journal, kLineGoTo), 11u * 3 + 6);
    std::vector<Placement> where;
    for (int i = 0; i < 10; ++i)
        where.push_back({files[i], 1, 1 + 3 * i});
    where.push_back({files[10], 2, 1});
    EXPECT_EQ(Placements(journal, 36), where);

    // The sizes of MakePictureSeries' pictures, in pixels, before each is made 8 pixels wider than
    // the one before.
    const double kSeriesSizes[4][2] = {{240, 160}, {320, 180}, {300, 200}, {200, 200}};
    // Places of three lines (54.75 points) hold none of these pictures, 120 to 150 points high:
    // each is locked and scaled down to its place. The tenth has nine lines, 164.25 points, and
    // keeps its size.
    std::vector<std::wstring> sizing;
    for (const std::wstring& l : journal)
        if (StartsWith(l, L"Shape.Height ") || StartsWith(l, L"Shape.LockAspectRatio ") ||
            StartsWith(l, L"Shapes.AddPicture "))
            sizing.push_back(StartsWith(l, L"Shapes.AddPicture ") ? L"AddPicture" : l);
    std::vector<std::wstring> expected;
    for (int i = 0; i < 11; ++i) {
        Append(expected, {L"AddPicture", L"Shape.Height method|get"});
        if (i != 9)
            Append(expected,
                   {L"Shape.LockAspectRatio put VT_I4:-1", L"Shape.Height put VT_R8:54.75"});
    }
    EXPECT_EQ(sizing, expected);
    const auto layout = ReadDocxLayout(output_);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->pictures.size(), 11u);
    for (size_t i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        const DocxPicture& p = layout->pictures[i];
        const double height = i == 9 ? 135.0 : 54.75; // the tenth: 392 x 180 pixels at 96 dpi
        EXPECT_NEAR(p.heightPt, height, 0.01);
        // Proportions kept: width over height as the series' pixels have it.
        const double pixelWidth = kSeriesSizes[i % 4][0] + 8.0 * static_cast<double>(i);
        EXPECT_NEAR(p.widthPt / p.heightPt, pixelWidth / kSeriesSizes[i % 4][1], 1e-4);
    }
}

TEST_F(DocumentBuild, FewerLinesThanPicturesShareTheFirstLineOfTheirPage) {
    // No place to fit a picture into either: the page and the pictures are not measured.
    const struct {
        int files, perPage;
        float linesPage;
        size_t paragraphs, lineMoves;
        int onPageOne;
    } grids[] = {
        {4, 3, 0, 0, 0, 4},    // no line at all: every picture on the first line, still saved
        {11, 10, 5, 9, 5, 10}, // five lines for ten pictures a page
    };
    for (const auto& g : grids) {
        SCOPED_TRACE(g.linesPage);
        FreshOutput(L"出力 結果.docx");
        const auto files = First(g.files);
        StubSession session({.linesPage = g.linesPage});
        const auto journal = Build(session, files, g.perPage);
        EXPECT_EQ(CountLines(journal, kTypeParagraph), g.paragraphs);
        EXPECT_EQ(CountLines(journal, kLineGoTo), g.lineMoves);
        EXPECT_EQ(CountPrefix(journal, L"Document.SaveAs "), 1u);
        ExpectNoFitting(journal);
        std::vector<Placement> where;
        for (int i = 0; i < g.files; ++i)
            where.push_back({files[i], i < g.onPageOne ? 1 : 2, 1});
        EXPECT_EQ(Placements(journal, static_cast<int>(g.linesPage)), where);
    }
}

TEST_F(DocumentBuild, SquareWrapChangesEveryShapeAfterAllArePlaced) {
    const auto files = First(5);
    StubSession session;
    const auto journal = Build(session, files, 3, 1);

    const std::vector<std::wstring> puts = WrapPuts(journal);
    const std::vector<std::wstring> expectedPuts = {L"VT_I4:3", L"VT_I4:3", L"VT_I4:3", L"VT_I4:3",
                                                    L"VT_I4:3", L"VT_I4:0", L"VT_I4:0", L"VT_I4:0",
                                                    L"VT_I4:0", L"VT_I4:0"};
    EXPECT_EQ(puts, expectedPuts);

    // The pass starts after the last picture and asks for each shape by its number.
    const auto lastPicture = std::find_if(journal.rbegin(), journal.rend(), [](const auto& l) {
        return StartsWith(l, L"Shapes.AddPicture ");
    });
    const auto count = std::find(journal.begin(), journal.end(), L"Shapes.Count method|get");
    ASSERT_NE(count, journal.end());
    EXPECT_GT(count - journal.begin(), journal.rend() - lastPicture - 1);
    std::vector<std::wstring> pass(count + 1, journal.end());
    std::vector<std::wstring> expectedPass;
    for (int j = 1; j <= 5; ++j)
        Append(expectedPass,
               {L"Application.ActiveDocument method|get", L"Document.Shapes method|get",
                L"Shapes.Range method VT_I4:" + std::to_wstring(j),
                L"ShapeRange.WrapFormat method|get", L"WrapFormat.Type put VT_I4:0",
                L"ShapeRange.ZOrder method VT_I4:4"});
    Append(expectedPass, {L"Application.ActiveDocument method|get"});
    pass.resize(std::min(pass.size(), expectedPass.size()));
    EXPECT_EQ(pass, expectedPass);
    // The anchors stay where the pictures were placed.
    EXPECT_EQ(Placements(journal, 36).size(), 5u);
    EXPECT_EQ(Placements(journal, 36)[4], (Placement{files[4], 2, 13}));
}

TEST_F(DocumentBuild, InFrontWrapLeavesEveryShapeInFront) {
    StubSession session;
    const auto journal = Build(session, First(4), 2);
    EXPECT_EQ(WrapPuts(journal), std::vector<std::wstring>(4, L"VT_I4:3"));
    EXPECT_EQ(CountPrefix(journal, L"Shapes.Count"), 0u);
    EXPECT_EQ(CountPrefix(journal, L"Shapes.Range"), 0u);
}

TEST_F(DocumentBuild, PicturesGoInListOrderNotNameOrder) {
    const std::vector<std::wstring> files = {pictures_[3], pictures_[0], pictures_[2]};
    StubSession session;
    const auto journal = Build(session, files, 1);
    EXPECT_EQ(Placements(journal, 36),
              (std::vector<Placement>{{files[0], 1, 1}, {files[1], 2, 1}, {files[2], 3, 1}}));
}

TEST_F(DocumentBuild, EntryThatIsNotAPictureEndsTheBuildWithWordsError) {
    const fs::path text = dir_ / L"メモ.txt";
    WriteBytes(text.wstring(), "not a picture");
    StubSession session;
    const std::wstring error =
        BuildFromRequest({pictures_[0], text.wstring(), pictures_[1]}, 3, 0, output_);
    ExpectWordEndedClean(session);
    const auto journal = session.Journal();
    EXPECT_EQ(CountPrefix(journal, L"Shapes.AddPicture "), 2u);
    EXPECT_EQ(CountPrefix(journal, L"Document.SaveAs"), 0u);
    // Word's own description, naming the file.
    EXPECT_NE(error.find(text.filename().wstring()), std::wstring::npos) << ToUtf8(error);
    EXPECT_FALSE(FileExists(output_));
}

TEST_F(DocumentBuild, WithoutWordTheErrorIsReportedAndTheNextBuildWorks) {
    {
        StubUnregistered noWord;
        StubSession session;
        EXPECT_NE(BuildFromRequest(First(1), 1, 0, output_), L"");
        EXPECT_TRUE(session.Journal().empty());
        EXPECT_FALSE(FileExists(output_));
    }
    StubSession session;
    Build(session, First(1), 1);
}

// ---- a busy Word --------------------------------------------------------------------------

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The journal without the attempts that a busy Word turned away.
std::vector<std::wstring> CallsTaken(std::vector<std::wstring> journal) {
    std::erase_if(journal, [](const std::wstring& l) { return StartsWith(l, L"BUSY "); });
    return journal;
}

TEST_F(DocumentBuild, CallsABusyWordTurnsAwayAreMadeAgainForTheSameDocument) {
    std::vector<std::wstring> clean;
    std::string document;
    {
        StubSession session(SmallGrid());
        clean = Build(session, First(5), 3);
        document = FileBytes(output_);
    }
    ASSERT_FALSE(document.empty());
    const struct {
        const wchar_t* member;
        DWORD call, times;
        std::wstring busy;
    } cases[] = {
        {L"", 1, 3, L"BUSY Application.Documents"},        // still starting: the build's first call
        {L"LinesPage", 1, 2, L"BUSY PageSetup.LinesPage"}, // a get
        {L"TopMargin", 1, 2, L"BUSY PageSetup.TopMargin"},
        {L"Height", 4, 3, L"BUSY Shape.Height"},
        {L"GoTo", 1, 2, L"BUSY Selection.GoTo"},  // the page move: absolute
        {L"Type", 3, 2, L"BUSY WrapFormat.Type"}, // a put
        {L"ZOrder", 2, 2, L"BUSY Shape.ZOrder"},
        {L"SaveAs", 1, 2, L"BUSY Document.SaveAs"},
        {L"Quit", 1, 3, L"BUSY Application.Quit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.busy));
        std::error_code ec;
        fs::remove(output_, ec);
        StubScenario scenario = SmallGrid();
        scenario.busyMember = c.member;
        scenario.busyCall = c.call;
        scenario.busyTimes = c.times;
        StubSession session(scenario);
        const auto journal = Build(session, First(5), 3);
        EXPECT_EQ(CountLines(journal, c.busy), c.times);
        EXPECT_EQ(CountPrefix(journal, L"BUSY "), c.times);
        // The refusals come just before the attempt that was taken.
        const auto taken = std::find_if(journal.rbegin(), journal.rend(), [&](const auto& l) {
                               return l == c.busy;
                           }).base();
        ASSERT_NE(taken, journal.end());
        EXPECT_TRUE(StartsWith(*taken, c.busy.substr(5) + L" ")) << ToUtf8(*taken);
        EXPECT_EQ(CallsTaken(journal), clean);
        EXPECT_EQ(FileBytes(output_), document);
    }
}

TEST_F(DocumentBuild, CallsThatMayHaveActedAreNotMadeAgainWhenWordTurnsThemAway) {
    // Word's own Invoke refused them: a second paragraph, picture, document or line move would
    // shift the layout unseen, so the build fails instead.
    const struct {
        const wchar_t* member;
        DWORD call;
        std::wstring line; // of the calls to it that Word took
        size_t taken;
    } cases[] = {
        {L"Add", 1, L"Documents.Add ", 0},
        {L"TypeParagraph", 5, kTypeParagraph, 4},
        {L"AddPicture", 2, L"Shapes.AddPicture ", 1},
        {L"GoTo", 2, L"Selection.GoTo method What=VT_I4:3 ", 0}, // the first line move
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.member));
        StubScenario scenario = SmallGrid();
        scenario.busyMember = c.member;
        scenario.busyCall = c.call;
        scenario.busyTimes = 1;
        StubSession session(scenario);
        EXPECT_EQ(BuildFromRequest(First(5), 3, 0, output_),
                  automation::ErrorText(RPC_E_CALL_REJECTED));
        ExpectWordEndedClean(session);
        const auto journal = session.Journal();
        EXPECT_EQ(CountPrefix(journal, L"BUSY "), 1u);
        EXPECT_EQ(CountPrefix(journal, c.line), c.taken) << "made again";
        EXPECT_EQ(CountPrefix(journal, L"Document.SaveAs"), 0u);
        EXPECT_FALSE(FileExists(output_));
    }
}

TEST_F(DocumentBuild, AWordThatStaysBusyIsTheUsersToGiveUpStillToldToQuitAndLetGo) {
    // The question comes at the first limit of the first call, not a lookup's and an
    // invocation's limits later; given up, the clean-up's Quit is asked about in turn.
    const ShortWaits waits;
    StubSession session({.busyCall = 1, .busyTimes = 0xFFFFFFFF});
    DialogAnswerer answer(
        {{kQuestionTitle, DialogAction::Press(L"キャンセル"), {}, WordStuck(session)},
         {kQuestionTitle, DialogAction::Press(L"キャンセル"), {}, WordStuck(session)}});
    EXPECT_EQ(BuildFromRequest(First(2), 3, 0, output_), kWordLeftRunning);
    answer.Join();
    ASSERT_TRUE(answer.AllAnswered());
    for (const DialogSeen& seen : answer.Seen()) {
        EXPECT_EQ(seen.text, kNoAnswerText);
        EXPECT_EQ(seen.buttons, (std::vector<std::wstring>{L"OK", L"キャンセル"}));
        EXPECT_EQ(seen.owner, Form().Handle());
        EXPECT_TRUE(seen.ownerDisabled) << "modal";
    }
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    EXPECT_GE(CountLines(journal, L"BUSY Application.Documents"), 2u);
    EXPECT_GE(CountLines(journal, L"BUSY Application.Quit"), 2u);
    EXPECT_EQ(CountLines(journal, L"CREATE Application") + CountPrefix(journal, L"BUSY ") + 1,
              journal.size())
        << "Word took no call";
    EXPECT_EQ(journal.back(), L"EXIT refs=0");
    EXPECT_FALSE(FileExists(output_));
}

// ---- a Word that stops answering ----------------------------------------------------------

TEST_F(DocumentBuild, AWordThatStopsAnsweringIsWaitedForOrGivenUpAsTheUserSays) {
    const std::wstring cancelled = automation::ErrorText(RPC_E_CALL_CANCELED);
    const struct {
        const char* what;
        const wchar_t* member;
        DWORD call;
        DWORD hangMs;
        std::wstring hung;     // as the journal names the call
        const wchar_t* answer; // to the question; none: no question comes
        std::wstring error;    // none: the build succeeds
        bool saved;
    } cases[] = {
        {"a picture, given up", L"AddPicture", 2, INFINITE, L"Shapes.AddPicture", L"キャンセル",
         cancelled, false},
        {"a picture, waited for", L"AddPicture", 2, INFINITE, L"Shapes.AddPicture", L"OK", L"",
         true},
        {"a picture, a moment", L"AddPicture", 2, 300, L"Shapes.AddPicture", nullptr, L"", true},
        {"the clean-up's Quit, given up", L"Quit", 1, INFINITE, L"Application.Quit", L"キャンセル",
         kWordLeftRunning, true},
    };
    const auto files = First(5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        fs::remove(output_, ec);
        ResetForm(files, 3, 0);
        // A moment is well within the usual first limit.
        std::optional<ShortWaits> waits;
        if (c.answer)
            waits.emplace();
        StubSession session({.hangMember = c.member, .hangCall = c.call, .hangMs = c.hangMs});
        std::vector<DialogAnswerer::Step> question;
        if (c.answer) {
            // Under Wine a call given up still waits for Word's answer: Word answers as the user
            // does, and the program drops what comes.
            question.push_back({kQuestionTitle, DialogAction::Press(c.answer),
                                [&] { session.EndHang(); }, WordStuck(session)});
        }
        CursorWatch watch(GetCurrentThreadId());
        const BuildOutcome outcome =
            RunBuild(output_, c.error.empty() ? kInfoTitle : kErrorTitle, question);
        watch.Stop();
        ASSERT_TRUE(outcome.allAnswered);
        ASSERT_EQ(outcome.dialogs.size(), c.answer ? 3u : 2u);
        if (c.answer) {
            const DialogSeen& asked = outcome.dialogs[1];
            EXPECT_EQ(asked.text, kNoAnswerText);
            EXPECT_EQ(asked.buttons, (std::vector<std::wstring>{L"OK", L"キャンセル"}));
            EXPECT_EQ(asked.owner, Form().Handle());
            EXPECT_TRUE(asked.ownerDisabled) << "modal";
        }
        EXPECT_EQ(outcome.dialogs.back().text,
                  c.error.empty() ? std::wstring(kDoneText) : ErrorDisplayText(c.error));
        EXPECT_TRUE(watch.seen.count(LoadCursorW(nullptr, IDC_WAIT)));
        EXPECT_EQ(outcome.cursorAfter, LoadCursorW(nullptr, IDC_ARROW));
        EXPECT_FALSE(Form().Building());
        EXPECT_EQ(FileExists(output_), c.saved);

        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        const auto start = std::find(journal.begin(), journal.end(), L"HANG " + c.hung);
        ASSERT_NE(start, journal.end());
        ASSERT_NE(start + 1, journal.end());
        EXPECT_EQ(start[1], L"HANG-END " + c.hung + (c.answer ? L" released" : L" time up"));
        EXPECT_TRUE(StartsWith(start[-1], c.hung + L" ")) << "the hung call's own line first";
        // Word is told to quit once, however the build ended: after the hang, or it is the hang.
        EXPECT_EQ(CountLines(journal, kQuit), 1u);
        const auto quit = std::find(journal.begin(), journal.end(), kQuit);
        EXPECT_GE(quit - start, c.hung == L"Application.Quit" ? -1 : 2);
        EXPECT_EQ(CountPrefix(journal, L"Document.SaveAs"), c.saved ? 1u : 0u);
        if (c.error.empty()) {
            EXPECT_EQ(Placements(journal, 36), (std::vector<Placement>{{files[0], 1, 1},
                                                                       {files[1], 1, 13},
                                                                       {files[2], 1, 25},
                                                                       {files[3], 2, 1},
                                                                       {files[4], 2, 13}}));
            EXPECT_EQ(journal.back(), L"EXIT refs=0");
        }
        // Nothing of the waits is left in the thread's queue.
        MSG msg;
        EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE))
            << msg.message;
    }
    // The next build, with a Word that answers, succeeds.
    fs::remove(output_);
    StubSession session;
    Succeed(session);
}

TEST_F(DocumentBuild, HourglassShowsWhileWordWorksAndTheArrowReturns) {
    ResetForm(First(6), 1, 0);
    StubSession session(SmallGrid());
    CursorWatch watch(GetCurrentThreadId());
    Succeed(session);
    watch.Stop();
    EXPECT_TRUE(watch.seen.count(LoadCursorW(nullptr, IDC_WAIT)));
    EXPECT_TRUE(watch.probed);
    EXPECT_TRUE(watch.keptAfterSetCursor);
    EXPECT_TRUE(watch.clickTurnedAway);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_FALSE(Form().Building());
    // Outside a build the list shows its own cursor again.
    SendMessageW(Form().ListBox, WM_SETCURSOR, reinterpret_cast<WPARAM>(Form().ListBox),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

std::string Contents(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(DocumentBuild, OutputThatIsAListedFileWarnsAndStartsNothing) {
    const auto files = First(3);
    const std::wstring picture = files[1];
    const fs::path sub = dir_ / L"sub";
    fs::create_directories(sub);
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(picture.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), picture) << "the picture's name has a short form";
    std::wstring upper = picture;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    const std::wstring roundabout = (sub / L".." / fs::path(picture).filename()).wstring();
    // The same file under other names that no text comparison can see through.
    const std::wstring link = (sub / L"別名.jpg").wstring();
    std::error_code ec;
    fs::remove(link, ec);
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), picture.c_str(), nullptr)) << GetLastError();
    const SecondDriveLetter drive(dir_.wstring());
    ASSERT_TRUE(drive.ok()) << "no second drive letter for the pictures' folder";
    const std::wstring throughDrive = drive.Root() + fs::path(picture).filename().wstring();
    const struct {
        const char* what;
        std::wstring listed, typed;
    } cases[] = {
        {"the listed path", picture, picture},
        {"other letter case", picture, upper},
        {"through a folder and back", picture, roundabout},
        {"short name typed", picture, shortName},
        {"short name listed", shortName, picture},
        {"a hard link typed", picture, link},
        {"a hard link listed", link, picture},
        {"another drive letter typed", picture, throughDrive},
        {"another drive letter listed", throughDrive, picture},
        {"a long path form typed", picture, L"\\\\?\\" + picture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(OutputIsListed({{files[0], c.listed, files[2]}, 3, 0, c.typed}));
    }
    // The same name in another folder is another file, and so is a copy; a name that names no
    // file yet replaces none, listed or not.
    const std::wstring elsewhere = (sub / fs::path(picture).filename()).wstring();
    fs::remove(elsewhere, ec);
    EXPECT_FALSE(OutputIsListed({files, 3, 0, elsewhere}));
    const std::wstring copy = (sub / L"複製.jpg").wstring();
    fs::copy_file(picture, copy, fs::copy_options::overwrite_existing);
    EXPECT_FALSE(OutputIsListed({files, 3, 0, copy}));
    const std::wstring gone = (sub / L"消えた.jpg").wstring();
    fs::remove(gone, ec);
    EXPECT_FALSE(OutputIsListed({{files[0], gone}, 3, 0, gone}));

    // Through the button: a warning, neither Word nor the picture touched, and the refused name
    // not offered again.
    const std::string before = Contents(picture);
    ASSERT_FALSE(before.empty());
    ResetForm({files[0], shortName, files[2]});
    for (const std::wstring& typed : {picture, link, throughDrive}) {
        SCOPED_TRACE(ToUtf8(typed));
        SetFocus(Form().Button4);
        const bool refusedBefore = typed != picture;
        StubSession session;
        // The save dialog asks first whether to replace the existing file (yes), then the warning.
        DialogAnswerer answer({{kSaveTitle, DialogAction::TypeFileName(typed)},
                               {kSaveTitle, DialogAction::Return()},
                               {kWarningTitle, DialogAction::Press(L"OK")}},
                              5000);
        // Should a build run after all, its closing box is answered too, so the test goes on.
        DialogAnswerer stray({{kInfoTitle, DialogAction::Press(L"OK")}}, 60000);
        ClickBuild();
        answer.Join();
        EXPECT_EQ(stray.Answered(), 0u) << "a document was built";
        ASSERT_TRUE(answer.AllAnswered()) << answer.Answered();
        if (refusedBefore) {
            EXPECT_EQ(answer.SeenAt(0).fileNameField, L"") << "the refused name offered again";
        }
        EXPECT_EQ(answer.SeenAt(2).text,
                  L"一覧にあるファイルには保存できません。別の名前を指定して下さい。");
        EXPECT_EQ(answer.SeenAt(2).buttons, std::vector<std::wstring>{L"OK"});
        EXPECT_EQ(GetFocus(), Form().ListBox);
        EXPECT_TRUE(session.Journal().empty()) << "Word was started";
        EXPECT_EQ(Contents(picture), before);
        EXPECT_EQ(Form().Files.Count(), 3);
        EXPECT_EQ(Form().SaveDialog.FileName, L"");
    }

    // Saved elsewhere, the build goes on.
    ResetForm(files, 3, 0);
    output_ = elsewhere;
    StubSession session;
    Succeed(session);
    EXPECT_EQ(Contents(picture), before);
}

// A window of another thread, standing for another program the user turns to.
class OtherProgram {
public:
    OtherProgram() {
        thread_ = std::thread([this] { Run(); });
        while (!ready_)
            Sleep(5);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;
    ~OtherProgram() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        // Its window's going may activate one of ours: answer what it sends meanwhile.
        while (!done_) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
            Sleep(5);
        }
        thread_.join();
    }

    // Brings its window to the front, as a click on it would; true once it is in front.
    bool TakeForeground() {
        PostThreadMessageW(threadId_, WM_APP, 0, 0);
        for (int i = 0; i < 300 && GetForegroundWindow() != hwnd_; ++i)
            Sleep(10);
        return GetForegroundWindow() == hwnd_;
    }

private:
    void Run() {
        hwnd_ =
            CreateWindowExW(0, L"STATIC", L"別のプログラム", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                            40, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        threadId_ = GetCurrentThreadId();
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue exists from here
        ready_ = true;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_APP && !msg.hwnd)
                SetForegroundWindow(hwnd_);
            DispatchMessageW(&msg);
        }
        DestroyWindow(hwnd_);
        done_ = true;
    }

    std::thread thread_;
    std::atomic<bool> ready_{false}, done_{false};
    DWORD threadId_ = 0;
    HWND hwnd_ = nullptr;
};

TEST_F(DocumentBuild, ClosingBoxIsOwnedByTheMainWindowAfterTheUserTurnedAway) {
    // While the build runs the user works in another program: this thread has no active window
    // when the build ends. The closing box must still keep the main window disabled, or a second
    // build could start inside it. (The error box's owner is checked with the error display.)
    HWND main = Form().Handle();
    const DWORD self = GetCurrentThreadId();
    ResetForm(First(2), 3, 0);
    OtherProgram other;
    bool turnedAway = false;
    StubSession session;
    DialogAnswerer answer({{kSaveTitle, DialogAction::TypeFileName(output_),
                            [&] {
                                GUITHREADINFO gti{sizeof(gti)};
                                turnedAway = other.TakeForeground() &&
                                             GetGUIThreadInfo(self, &gti) && !gti.hwndActive;
                            }},
                           {kInfoTitle, DialogAction::Press(L"OK")}},
                          60000);
    ClickBuild();
    answer.Join();
    ASSERT_TRUE(answer.AllAnswered());
    ASSERT_TRUE(turnedAway) << "the other window did not come to the front";
    EXPECT_EQ(answer.SeenAt(1).owner, main);
    EXPECT_TRUE(answer.SeenAt(1).ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(main)) << "enabled again once the box is closed";
    ExpectWordEndedClean(session);
    SetForegroundWindow(main);
    Pump();
}

} // namespace
