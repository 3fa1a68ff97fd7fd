// Failures in the middle of a build: every call site of the worked example made to fail at its
// first and last occurrence, and turned away once by a busy Word at its first; Word dying in the
// middle, and the clean-up's own Quit failing.
// Each failure must end with Word told to quit, nothing held, no document and the right error; and
// through the window, the cursor back and the error shown. Two of the example's pictures are taller
// than their place, so that the calls which scale them down are among the sites.
#include "ErrorDisplay.h"
#include "automation/Automation.h"
#include "DocumentBuildKit.h"

#include <set>

using namespace buildkit;

namespace {

struct Site {
    std::wstring member;    // as the stand-in counts it
    std::wstring signature; // Object.Member kind and argument shape
    int occurrence = 0;     // among all calls of that member name
    bool afterSave = false; // the document has been written by then
    bool first = true;      // the first call of its signature
};

std::wstring MemberOf(const std::wstring& line) {
    const size_t dot = line.find(L'.'), space = line.find(L' ');
    return line.substr(dot + 1, space - dot - 1);
}

// The call's object, member, kind, argument names and types, and integer values; texts and
// file names left out, so every picture's insertion is one site.
std::wstring SignatureOf(const std::wstring& line) {
    std::vector<std::wstring> words(1);
    bool quoted = false;
    for (wchar_t c : line) {
        if (c == L'"')
            quoted = !quoted;
        if (c == L' ' && !quoted)
            words.emplace_back();
        else
            words.back() += c;
    }
    std::wstring sig;
    for (size_t i = 0; i < words.size(); ++i) {
        std::wstring word = words[i];
        if (i >= 2 && word.find(L"VT_I4:") == std::wstring::npos)
            word.resize(std::min(word.size(), word.find(L':')));
        sig += (i ? L" " : L"") + word;
    }
    return sig;
}

// First and last occurrence of each call site in a clean journal.
std::vector<Site> SitesOf(const std::vector<std::wstring>& journal) {
    std::map<std::wstring, int> perMember;
    std::map<std::wstring, std::pair<Site, Site>> bySignature;
    std::vector<std::wstring> order;
    bool saved = false;
    for (const std::wstring& line : journal) {
        if (StartsWith(line, L"CREATE ") || StartsWith(line, L"EXIT ") ||
            StartsWith(line, L"FAIL "))
            continue;
        const std::wstring member = MemberOf(line);
        const int n = ++perMember[member];
        const Site site{member, SignatureOf(line), n, saved};
        auto [it, inserted] = bySignature.try_emplace(site.signature, site, site);
        if (inserted)
            order.push_back(site.signature);
        else
            it->second.second = site;
        if (StartsWith(line, L"Document.SaveAs "))
            saved = true;
    }
    std::vector<Site> sites;
    for (const std::wstring& sig : order) {
        const auto& [firstSite, lastSite] = bySignature[sig];
        sites.push_back(firstSite);
        if (lastSite.occurrence != firstSite.occurrence) {
            sites.push_back(lastSite);
            sites.back().first = false;
        }
    }
    return sites;
}

// The calls that fit a picture into its place.
const std::set<std::wstring> kFittingMembers = {L"PageHeight", L"TopMargin", L"BottomMargin",
                                                L"Height", L"LockAspectRatio"};

class BuildFaults : public BuildTest {
protected:
    static void SetUpTestSuite() {
        ASSERT_NO_FATAL_FAILURE(MakePictures(L"tablorin-docbuild-faults", 5));
        // 300 points high at 96 dpi, on places of 219.
        ASSERT_TRUE(WriteTestPicture(pictures_[1], PictureFormat::Jpeg, 240, 400));
        ASSERT_TRUE(WriteTestPicture(pictures_[3], PictureFormat::Bmp, 300, 400));
    }
    void SetUp() override { FreshOutput(L"失敗.docx"); }

    // The worked example's clean journal for a wrap choice.
    std::vector<std::wstring> CleanJournal(Wrap wrap) {
        StubSession session(SmallGrid());
        EXPECT_EQ(BuildFromRequest(pictures_, 3, wrap, output_), L"");
        EXPECT_TRUE(session.WaitForExit());
        std::error_code ec;
        fs::remove(output_, ec);
        return session.Journal();
    }

    // A build expected to fail: the error box closes it.
    BuildOutcome Fail(const StubSession& session) {
        const BuildOutcome outcome = RunBuild(output_, kErrorTitle);
        EXPECT_TRUE(outcome.allAnswered);
        EXPECT_EQ(outcome.dialogs.size(), 2u);
        EXPECT_EQ(outcome.cursorAfter, LoadCursorW(nullptr, IDC_ARROW));
        EXPECT_FALSE(Form().Building());
        EXPECT_TRUE(session.WaitForExit());
        return outcome;
    }

    // Every part-th site from the first'th on, so that the sweep can run in parts side by side. The
    // square pass takes only the calls the front pass does not make: the others are the same calls
    // in the same order, failing the same way.
    void InjectAtEverySite(Wrap wrap, int first, int step) {
        wrap_ = wrap;
        const std::vector<std::wstring> clean = CleanJournal(wrap);
        std::vector<Site> sites = SitesOf(clean);
        ASSERT_GE(sites.size(), 20u);
        std::set<std::wstring> members;
        for (const Site& site : sites)
            members.insert(site.member);
        // Every member the build calls is made to fail somewhere in the sweep.
        for (const wchar_t* m :
             {L"Documents",  L"Add",           L"ActiveDocument", L"PageSetup",
              L"LinesPage",  L"PageHeight",    L"TopMargin",      L"BottomMargin",
              L"Selection",  L"TypeParagraph", L"GoTo",           L"Range",
              L"Shapes",     L"AddPicture",    L"Height",         L"LockAspectRatio",
              L"WrapFormat", L"Type",          L"ZOrder",         L"SaveAs",
              L"Quit"})
            EXPECT_TRUE(members.count(m)) << ToUtf8(m);
        if (wrap == Wrap::Square) {
            EXPECT_TRUE(members.count(L"Count"));
        }
        // The size is read of every picture, and set, after the lock, of the two tall ones.
        for (const wchar_t* sig :
             {L"Shape.Height method|get", L"Shape.LockAspectRatio put VT_I4:-1",
              L"Shape.Height put VT_R8"}) {
            EXPECT_EQ(std::count_if(sites.begin(), sites.end(),
                                    [&](const Site& site) { return site.signature == sig; }),
                      2)
                << ToUtf8(sig);
        }
        if (wrap == Wrap::Square) {
            std::set<std::wstring> inFront;
            for (const Site& site : SitesOf(CleanJournal(Wrap::InFront)))
                inFront.insert(site.signature);
            std::erase_if(sites, [&](const Site& site) { return inFront.count(site.signature); });
            // The wrap calls themselves, and the shape count of the square pass.
            EXPECT_GE(sites.size(), 2u);
        }
        for (size_t index = static_cast<size_t>(first); index < sites.size(); index += step) {
            const Site& site = sites[index];
            SCOPED_TRACE(ToUtf8(site.signature) + " #" + std::to_string(site.occurrence));
            StubScenario scenario = SmallGrid();
            scenario.failMember = site.member;
            scenario.failOccurrence = site.occurrence;
            std::wstring expected;
            // Alternately Word's own description and a bare failure code.
            if (index % 2 == 0) {
                scenario.failDescription =
                    L"注入した失敗 " + site.member + L" " + std::to_wstring(site.occurrence);
                expected = scenario.failDescription;
            } else {
                scenario.failCode = E_OUTOFMEMORY;
                expected = automation::ErrorText(E_OUTOFMEMORY);
            }
            // Word may still be running, and the user is told so.
            if (site.member == L"Quit")
                expected += L"。Ｗｏｒｄは起動したままになっています。";
            StubSession session(scenario);
            if (kFittingMembers.count(site.member)) {
                // Through the window: the hourglass goes and the error box shows the text.
                ResetForm(pictures_, 3, wrap);
                const BuildOutcome outcome = Fail(session);
                ASSERT_EQ(outcome.dialogs.size(), 2u);
                EXPECT_EQ(outcome.dialogs[1].text, ErrorDisplayText(expected));
            } else {
                EXPECT_EQ(BuildFromRequest(pictures_, 3, wrap, output_), expected);
            }
            ASSERT_TRUE(session.WaitForExit());
            const auto journal = session.Journal();
            EXPECT_EQ(CountPrefix(journal, L"FAIL "), 1u);
            if (site.member == L"Quit") {
                // The quit that failed was the one that ends the build; no second one follows.
                EXPECT_EQ(CountLines(journal, kQuit), 1u);
                EXPECT_EQ(journal.back(), L"EXIT refs=0");
            } else {
                ExpectWordEndedClean(session);
            }
            EXPECT_EQ(FileExists(output_), site.afterSave);
            std::error_code ec;
            fs::remove(output_, ec);
            if (HasFatalFailure())
                return;
            // Whether a call may be made again depends on the call, not on where it comes.
            if (!site.first || MayRepeat(site))
                continue;
            TurnAwayOnce(site);
            fs::remove(output_, ec);
            if (HasFatalFailure())
                return;
        }
        if (first == 0)
            TurnAwayEachOnce(sites, clean);
    }

    static bool MayRepeat(const Site& site) {
        return !std::ranges::any_of(
            kActsTwice, [&](const wchar_t* prefix) { return StartsWith(site.signature, prefix); });
    }

    // Word's own Invoke turns the site's call away once. One that adds a document, paragraph or
    // picture, or moves down a line, may have acted already: the build fails and saves nothing.
    void TurnAwayOnce(const Site& site) {
        SCOPED_TRACE("turned away once");
        StubScenario scenario = SmallGrid();
        scenario.busyMember = site.member;
        scenario.busyCall = static_cast<DWORD>(site.occurrence);
        scenario.busyTimes = 1;
        StubSession session(scenario);
        EXPECT_EQ(BuildFromRequest(pictures_, 3, wrap_, output_),
                  automation::ErrorText(RPC_E_CALL_REJECTED));
        ExpectWordEndedClean(session);
        EXPECT_EQ(CountPrefix(session.Journal(), L"BUSY "), 1u);
        EXPECT_EQ(FileExists(output_), site.afterSave);
    }

    // Every other site turned away once, all in one build: a call that lands where it landed the
    // first time is made again at once, and the build goes on as if nothing had happened.
    void TurnAwayEachOnce(const std::vector<Site>& sites, const std::vector<std::wstring>& clean) {
        SCOPED_TRACE("each turned away once");
        StubScenario scenario = SmallGrid();
        size_t listed = 0;
        for (const Site& site : sites)
            if (site.first && MayRepeat(site)) {
                scenario.busyOnce += site.member + L"#" + std::to_wstring(site.occurrence) + L" ";
                ++listed;
            }
        StubSession session(scenario);
        EXPECT_EQ(BuildFromRequest(pictures_, 3, wrap_, output_), L"");
        ExpectWordEndedClean(session);
        auto journal = session.Journal();
        EXPECT_EQ(CountPrefix(journal, L"BUSY "), listed);
        for (size_t i = 0; i + 1 < journal.size(); ++i) {
            if (StartsWith(journal[i], L"BUSY ")) {
                EXPECT_TRUE(StartsWith(journal[i + 1], journal[i].substr(5) + L" "))
                    << "made again at once: " << ToUtf8(journal[i]);
            }
        }
        std::erase_if(journal, [](const std::wstring& l) { return StartsWith(l, L"BUSY "); });
        EXPECT_EQ(journal, clean);
        EXPECT_TRUE(FileExists(output_));
    }

    static constexpr const wchar_t* kActsTwice[] = {L"Documents.Add ", L"Selection.TypeParagraph ",
                                                    L"Selection.GoTo method What=VT_I4:3 ",
                                                    L"Shapes.AddPicture "};
    Wrap wrap_ = Wrap::InFront;
};

TEST(BuildFaultSites, SignatureKeepsIntegersAndDropsTexts) {
    EXPECT_EQ(SignatureOf(L"Selection.GoTo method What=VT_I4:1 Which=VT_I4:2 Name=VT_BSTR:\"1\""),
              L"Selection.GoTo method What=VT_I4:1 Which=VT_I4:2 Name=VT_BSTR");
    EXPECT_EQ(SignatureOf(L"Shapes.AddPicture method Anchor=VT_DISPATCH:Range "
                          L"FileName=VT_BSTR:\"C:\\a b\\写真 1.png\" LinkToFile=VT_BOOL:0 "
                          L"SaveWithDocument=VT_BOOL:-1"),
              L"Shapes.AddPicture method Anchor=VT_DISPATCH FileName=VT_BSTR LinkToFile=VT_BOOL "
              L"SaveWithDocument=VT_BOOL");
    const std::vector<std::wstring> journal = {
        L"CREATE Application",
        L"Application.Selection method|get",
        L"Selection.GoTo method What=VT_I4:1 Which=VT_I4:2 Name=VT_BSTR:\"1\"",
        L"Application.Selection method|get",
        L"Selection.GoTo method What=VT_I4:3 Which=VT_I4:2 Count=VT_I4:1 Name=VT_BSTR:\"\"",
        L"Application.Selection method|get",
        L"Selection.GoTo method What=VT_I4:3 Which=VT_I4:2 Count=VT_I4:1 Name=VT_BSTR:\"\"",
        L"Document.SaveAs method Filename=VT_BSTR|VT_BYREF:\"x\"",
        L"Application.Quit method SaveChanges=VT_I4:0",
        L"EXIT refs=0"};
    const std::vector<Site> sites = SitesOf(journal);
    ASSERT_EQ(sites.size(), 7u);
    EXPECT_EQ(sites[0].occurrence, 1); // Selection, first
    EXPECT_EQ(sites[1].occurrence, 3); // Selection, last
    EXPECT_TRUE(sites[0].first);
    EXPECT_FALSE(sites[1].first);
    EXPECT_EQ(sites[2].member, L"GoTo");
    EXPECT_EQ(sites[2].occurrence, 1); // the page move
    EXPECT_EQ(sites[3].occurrence, 2); // the line moves, counted among all GoTo calls
    EXPECT_EQ(sites[4].occurrence, 3);
    EXPECT_FALSE(sites[5].afterSave);
    EXPECT_TRUE(sites[6].afterSave);
}

// The sweep in parts: ctest runs the program as shards (GTEST_TOTAL_SHARDS), one part or two
// each. The square pass, a few sites, is one part.
struct SweepPart {
    Wrap wrap;
    int part, parts;
};

class BuildFaultSweep : public BuildFaults, public testing::WithParamInterface<SweepPart> {};

TEST_P(BuildFaultSweep, EveryCallSite) {
    InjectAtEverySite(GetParam().wrap, GetParam().part, GetParam().parts);
}

INSTANTIATE_TEST_SUITE_P(, BuildFaultSweep,
                         testing::Values(SweepPart{Wrap::InFront, 0, 3},
                                         SweepPart{Wrap::InFront, 1, 3},
                                         SweepPart{Wrap::InFront, 2, 3},
                                         SweepPart{Wrap::Square, 0, 1}),
                         [](const testing::TestParamInfo<SweepPart>& info) {
                             const SweepPart& p = info.param;
                             return std::string(p.wrap == Wrap::Square ? "Square" : "InFront") +
                                    std::to_string(p.part + 1) + "of" + std::to_string(p.parts);
                         });

TEST_F(BuildFaults, WordDyingAmongThePicturesIsReportedAndTheNextBuildWorks) {
    {
        StubSession session({.crashMember = L"AddPicture", .crashOccurrence = 3});
        EXPECT_NE(BuildFromRequest(pictures_, 3, Wrap::Square, output_), L"");
        ASSERT_TRUE(session.WaitForExit());
        const auto journal = session.Journal();
        EXPECT_EQ(CountPrefix(journal, L"CRASH "), 1u);
        EXPECT_EQ(CountPrefix(journal, L"Document.SaveAs"), 0u);
        EXPECT_FALSE(FileExists(output_));
    }
    StubSession session;
    EXPECT_EQ(BuildFromRequest(pictures_, 3, Wrap::Square, output_), L"");
    ExpectWordEndedClean(session);
    EXPECT_TRUE(FileExists(output_));
}

TEST_F(BuildFaults, FailingQuitOfTheCleanUpIsTheErrorShown) {
    const fs::path text = dir_ / L"画像ではない.png";
    WriteBytes(text.wstring(), "text");
    ResetForm({pictures_[0], text.wstring()});
    StubSession session({.failMember = L"Quit", .failDescription = L"終了できません"});
    CursorWatch watch(GetCurrentThreadId());
    const BuildOutcome outcome = Fail(session);
    watch.Stop();
    // The hourglass was up while Word worked, and the arrow is back after both failures.
    EXPECT_TRUE(watch.seen.count(LoadCursorW(nullptr, IDC_WAIT)));
    ASSERT_EQ(outcome.dialogs.size(), 2u);
    EXPECT_EQ(outcome.dialogs[1].text, L"終了できません。Ｗｏｒｄは起動したままになっています。.");
    const auto journal = session.Journal();
    EXPECT_EQ(CountPrefix(journal, L"Shapes.AddPicture "), 2u);
    EXPECT_EQ(CountPrefix(journal, L"Document.SaveAs"), 0u);
    EXPECT_EQ(CountPrefix(journal, L"FAIL Application.Quit"), 1u);
    EXPECT_EQ(CountLines(journal, kQuit), 1u);
    EXPECT_EQ(journal.back(), L"EXIT refs=0");
    EXPECT_FALSE(FileExists(output_));
}

} // namespace
