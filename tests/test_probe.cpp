// Start-up asks Word for its version: the file type offered, the error shown when Word cannot
// answer, and the references the probe leaves behind (none, and no Quit).
#include "Main.h"

#include "DialogAnswerer.h"
#include "ErrorDisplay.h"
#include "Error.h"
#include "ShellDrop.h"
#include "WordStub.h"
#include "automation/Automation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace {

struct StartUp {
    std::vector<DialogSeen> errors;    // error boxes shown while the window was created
    std::vector<std::wstring> journal; // the stand-in's calls, once it has exited
    bool stubExited = false;
};

size_t Count(const std::vector<std::wstring>& lines, const std::wstring& part) {
    size_t n = 0;
    for (const auto& line : lines)
        if (line.find(part) != std::wstring::npos)
            ++n;
    return n;
}

// Creates the window (not shown, as the entry does before the loop), answering any error box.
StartUp Start(TfrmMain& form, const StubSession& session) {
    StartUp result;
    {
        // A second step, to see that the error is not shown twice. Every box of the start-up
        // comes and goes inside Create, so the watch ends when it returns, however slowly the
        // stand-in started.
        DialogAnswerer answer({{L"タブロリン", DialogAction::Press(L"OK")},
                               {L"タブロリン", DialogAction::Press(L"OK")}});
        EXPECT_TRUE(form.Create(GetModuleHandleW(nullptr)));
        EXPECT_FALSE(IsWindowVisible(form.Handle())) << "not shown before the probe ended";
        answer.Stop();
        result.errors = answer.Seen();
    }
    result.stubExited = session.WaitForExit(10000);
    result.journal = session.Journal();
    return result;
}

// The automation layer's own text for a version that is not a number.
std::wstring NotANumberText(const wchar_t* version) {
    automation::Variant text;
    VARIANT* v = text.put();
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocString(version);
    try {
        automation::CompareWithInt(text, 12);
    } catch (const Error& e) {
        return e.message();
    }
    ADD_FAILURE() << "the layer accepted a version that is not a number";
    return {};
}

void ExpectStepsOneToThreeDone(TfrmMain& form) {
    EXPECT_EQ(form.SpinValue(), 3);
    EXPECT_EQ(form.StatusText(), L"0ファイル");
    EXPECT_NE(form.DesktopPath[0], L'\0');
    EXPECT_EQ(form.SaveDialog.InitialDir, form.DesktopPath);
}

void ExpectProbeOnlyAskedTheVersion(const StartUp& s) {
    EXPECT_TRUE(s.stubExited) << "the stand-in should exit once the probe lets go";
    EXPECT_EQ(Count(s.journal, L"CREATE Application"), 1u);
    EXPECT_EQ(Count(s.journal, L"Application.Version method|get"), 1u);
    EXPECT_EQ(Count(s.journal, L"Quit"), 0u) << "the probe never tells Word to quit";
    ASSERT_FALSE(s.journal.empty());
    EXPECT_EQ(s.journal.back(), L"EXIT refs=0") << "every reference released";
    size_t calls = 0;
    for (const auto& line : s.journal)
        if (line.find(L"Application.") == 0 || line.find(L"Documents.") == 0)
            ++calls;
    EXPECT_EQ(calls, 1u) << "nothing but the version is asked";
}

} // namespace

TEST(StartUpProbe, TheVersionChoosesTheFileTypeAndTheDefaultExtensionStaysDoc) {
    const std::wstring doc = L"Word 文書（*.doc）|*.doc", docx = L"Word 文書（*.docx）|*.docx";
    const struct {
        const char* what;
        const wchar_t* version;
        DWORD busyTimes; // the first call turned away this often: Word still starting
        const std::wstring& filter;
    } cases[] = {
        {"Word 12", L"12.0", 0, docx},
        // An old Word is no failure: drops are taken all the same.
        {"Word 11", L"11.0", 0, doc},
        {"Word 12 still starting is asked again", L"12.0", 2, docx},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StubScenario scenario;
        scenario.version = c.version;
        scenario.busyCall = c.busyTimes ? 1 : 0;
        scenario.busyTimes = c.busyTimes;
        StubSession session(scenario);
        TfrmMain form;
        const StartUp s = Start(form, session);
        EXPECT_TRUE(s.errors.empty());
        EXPECT_EQ(form.SaveDialog.Filter, c.filter);
        EXPECT_EQ(form.SaveDialog.DefaultExt, L"doc");
        EXPECT_TRUE(GetWindowLongW(form.Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
        ExpectStepsOneToThreeDone(form);
        EXPECT_EQ(Count(s.journal, L"BUSY Application.Version"), size_t{c.busyTimes});
        ExpectProbeOnlyAskedTheVersion(s);
    }
}

class ProbeFailure : public testing::Test {
protected:
    // After a failed probe: shown once, .doc kept, drops refused, the rest of start-up done.
    void ExpectFailedStart(TfrmMain& form, const StartUp& s, const std::wstring& message) {
        ASSERT_EQ(s.errors.size(), 1u) << "the error is shown exactly once";
        EXPECT_EQ(s.errors[0].text, ErrorDisplayText(message));
        EXPECT_EQ(s.errors[0].buttons, std::vector<std::wstring>{L"OK"});
        EXPECT_EQ(form.SaveDialog.Filter, L"Word 文書（*.doc）|*.doc");
        EXPECT_EQ(form.SaveDialog.DefaultExt, L"doc");
        EXPECT_FALSE(GetWindowLongW(form.Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
        ExpectStepsOneToThreeDone(form);

        // Files dropped on it are not taken.
        namespace fs = std::filesystem;
        const fs::path file = fs::temp_directory_path() / L"tablorin-probe-drop.jpg";
        std::ofstream(file) << "x";
        ShowWindow(form.Handle(), SW_SHOWNORMAL);
        SendShellDrop(form.Handle(), {file.wstring()});
        EXPECT_EQ(form.Files.Count(), 0);
        EXPECT_EQ(form.StatusText(), L"0ファイル");
        fs::remove(file);
    }
};

TEST_F(ProbeFailure, VersionThatIsNotANumber) {
    StubScenario scenario;
    scenario.version = L"Word 次期版";
    StubSession session(scenario);
    TfrmMain form;
    const StartUp s = Start(form, session);
    const std::wstring message = NotANumberText(L"Word 次期版");
    ASSERT_FALSE(message.empty());
    ASSERT_NO_FATAL_FAILURE(ExpectFailedStart(form, s, message));
    ExpectProbeOnlyAskedTheVersion(s);
}

TEST_F(ProbeFailure, WordNotInstalled) {
    StubSession session;
    std::wstring message;
    StubUnregistered noWord;
    try {
        automation::Create(L"Word.Application");
        ADD_FAILURE() << "Word.Application still resolves";
    } catch (const Error& e) {
        message = e.message();
    }
    TfrmMain form;
    const StartUp s = Start(form, session);
    ASSERT_NO_FATAL_FAILURE(ExpectFailedStart(form, s, message));
    EXPECT_TRUE(s.journal.empty()) << "no stand-in was started";
}

TEST_F(ProbeFailure, VersionThatWordNeverAnswersIsGivenUpByTheUser) {
    // The window opens once the user gave the call up, as after any failed probe.
    const automation::WaitLimits before = automation::SetWaitLimits({400, 600000});
    StubScenario scenario;
    scenario.hangMember = L"Version";
    scenario.hangCall = 1;
    StubSession session(scenario);
    TfrmMain form;
    StartUp s;
    {
        // Under Wine the call given up still waits for Word's answer: Word answers as the user
        // does, and the probe drops what comes. A question about anything else is answered OK.
        const auto hung = [&] {
            const auto journal = session.Journal();
            return !journal.empty() && journal.back() == L"HANG Application.Version";
        };
        DialogAnswerer answer(
            {{L"確認", DialogAction::Press(L"キャンセル"), [&] { session.EndHang(); }, hung},
             {L"タブロリン", DialogAction::Press(L"OK")},
             {L"タブロリン", DialogAction::Press(L"OK")}},
            5000);
        EXPECT_TRUE(form.Create(GetModuleHandleW(nullptr)));
        answer.Join();
        const auto seen = answer.Seen();
        ASSERT_GE(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, L"Ｗｏｒｄから応答がありません。待ち続けますか？");
        EXPECT_EQ(seen[0].owner, form.Handle());
        s.errors.assign(seen.begin() + 1, seen.end());
    }
    automation::SetWaitLimits(before);
    s.stubExited = session.WaitForExit(10000);
    s.journal = session.Journal();
    ASSERT_NO_FATAL_FAILURE(
        ExpectFailedStart(form, s,
                          automation::ErrorText(RPC_E_CALL_CANCELED) +
                              L"。Ｗｏｒｄは起動中のままになっている可能性があります。"));
    ExpectProbeOnlyAskedTheVersion(s);
    EXPECT_EQ(Count(s.journal, L"HANG-END Application.Version released"), 1u);
}

TEST_F(ProbeFailure, VersionCallFailsInsideWord) {
    StubScenario scenario;
    scenario.failMember = L"Version";
    scenario.failDescription = L"バージョンを取得できません。";
    StubSession session(scenario);
    TfrmMain form;
    const StartUp s = Start(form, session);
    // Word's own description; ending in "。", it gets a "." from the display.
    ASSERT_NO_FATAL_FAILURE(ExpectFailedStart(form, s, L"バージョンを取得できません。"));
    EXPECT_EQ(s.errors[0].text, L"バージョンを取得できません。.");
    EXPECT_TRUE(s.stubExited);
    EXPECT_EQ(Count(s.journal, L"Quit"), 0u);
    ASSERT_FALSE(s.journal.empty());
    EXPECT_EQ(s.journal.back(), L"EXIT refs=0");
}
