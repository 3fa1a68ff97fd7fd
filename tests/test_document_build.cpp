// The save-and-paste command: whole builds from a request and through the real button and
// dialogs, with the Word stand-in, checked on its journal and the saved file.
#include "automation/Automation.h"
#include "DocumentBuildKit.h"
#include "DocxReader.h"
#include "DriveLetter.h"
#include "ErrorDisplay.h"
#include "FileIdentity.h"

#include <atomic>
#include <iterator>
#include <optional>
#include <set>
#include <thread>

using namespace buildkit;

namespace {

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
                                    Wrap wrap = Wrap::InFront) {
        EXPECT_EQ(BuildFromRequest(files, perPage, wrap, output_), L"");
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
    ResetForm(files);
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
    ResetForm(First(1), 1);
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
    const auto journal = Build(session, files, 3, Wrap::Square);

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
        BuildFromRequest({pictures_[0], text.wstring(), pictures_[1]}, 3, Wrap::InFront, output_);
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
        EXPECT_NE(BuildFromRequest(First(1), 1, Wrap::InFront, output_), L"");
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
        EXPECT_EQ(BuildFromRequest(First(5), 3, Wrap::InFront, output_),
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
    // invocation's limits later. Given up, Word is told to quit once, without a question.
    // The error shown is the last refusal, or the cancelled call when the question came while
    // a call was on its way (on a slow machine a round trip takes long enough).
    const struct {
        const char* what;
        bool readyAtTheAnswer; // Word takes calls from the user's answer on
        std::wstring after;    // what follows the error
    } cases[] = {
        {"busy for good", false, L"。Ｗｏｒｄは起動したままになっています。"},
        {"ready as the user gives up", true, L""},
    };
    const ShortWaits waits;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StubSession session({.busyCall = 1, .busyTimes = 0xFFFFFFFF});
        const auto ready = [&] {
            if (c.readyAtTheAnswer)
                session.EndHang();
        };
        // Should a second question come, it is answered too, and counted.
        DialogAnswerer answer(
            {{kQuestionTitle, DialogAction::Press(L"キャンセル"), ready, WordStuck(session)},
             {kQuestionTitle, DialogAction::Press(L"キャンセル")}});
        const std::wstring error = BuildFromRequest(First(2), 3, Wrap::InFront, output_);
        EXPECT_TRUE(error == automation::ErrorText(RPC_E_CALL_REJECTED) + c.after ||
                    error == automation::ErrorText(RPC_E_CALL_CANCELED) + c.after)
            << ToUtf8(error);
        answer.Stop();
        ASSERT_EQ(answer.Answered(), 1u);
        const DialogSeen seen = answer.SeenAt(0);
        EXPECT_EQ(seen.text, kNoAnswerText);
        EXPECT_EQ(seen.buttons, (std::vector<std::wstring>{L"OK", L"キャンセル"}));
        EXPECT_EQ(seen.owner, Form().Handle());
        EXPECT_TRUE(seen.ownerDisabled) << "modal";
        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        EXPECT_GE(CountLines(journal, L"BUSY Application.Documents"), 2u);
        // Word took no call but the one Quit, made once.
        EXPECT_EQ(CallsTaken(journal),
                  (c.readyAtTheAnswer
                       ? std::vector<std::wstring>{L"CREATE Application", kQuit, L"EXIT refs=0"}
                       : std::vector<std::wstring>{L"CREATE Application", L"EXIT refs=0"}));
        EXPECT_EQ(CountLines(journal, L"BUSY Application.Quit"), c.readyAtTheAnswer ? 0u : 1u);
        EXPECT_FALSE(FileExists(output_));
    }
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
        DWORD hangAfterMs = 0; // Word stays hung after the answer
    } cases[] = {
        {"a picture, given up, Word stays hung", L"AddPicture", 2, INFINITE, L"Shapes.AddPicture",
         L"キャンセル", cancelled + L"。Ｗｏｒｄは起動したままになっています。", false, 2000},
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
        ResetForm(files);
        // A moment is well within the usual first limit.
        std::optional<ShortWaits> waits;
        if (c.answer)
            waits.emplace();
        StubSession session({.hangMember = c.member,
                             .hangCall = c.call,
                             .hangMs = c.hangMs,
                             .hangAfterMs = c.hangAfterMs});
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
        if (c.hangAfterMs) {
            // Nothing but Quit after the answer; no answer to it in time, and no question.
            EXPECT_EQ(std::vector(start + 2, start + 5),
                      (std::vector<std::wstring>{kQuit, L"HANG Application.Quit",
                                                 L"HANG-END Application.Quit time up"}));
        }
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
    ResetForm(First(6), 1);
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
        EXPECT_TRUE(SameFileAsAny(c.typed, {files[0], c.listed, files[2]}));
    }
    // The same name in another folder is another file, and so is a copy; a name that names no
    // file yet replaces none, listed or not.
    const std::wstring elsewhere = (sub / fs::path(picture).filename()).wstring();
    fs::remove(elsewhere, ec);
    EXPECT_FALSE(SameFileAsAny(elsewhere, files));
    const std::wstring copy = (sub / L"複製.jpg").wstring();
    fs::copy_file(picture, copy, fs::copy_options::overwrite_existing);
    EXPECT_FALSE(SameFileAsAny(copy, files));
    const std::wstring gone = (sub / L"消えた.jpg").wstring();
    fs::remove(gone, ec);
    EXPECT_FALSE(SameFileAsAny(gone, {files[0], gone}));

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
    ResetForm(files);
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
    ResetForm(First(2));
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
