#pragma once
// What the document-build tests share: a real main window, picture files written at test time,
// a build driven through the real button and dialogs, and a reading of the stand-in's journal.

#include "DialogAnswerer.h"
#include "DocumentBuild.h"
#include "automation/Automation.h"
#include "Error.h"
#include "ErrorText.h"
#include "Main.h"
#include "MessagePump.h"
#include "OpenMainWindow.h"
#include "TestPictures.h"
#include "WordStub.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace buildkit {

namespace fs = std::filesystem;

inline const wchar_t kSaveTitle[] = L"画像を添付するワードファイルの名前";
inline const wchar_t kInfoTitle[] = L"情報";
inline const wchar_t kWarningTitle[] = L"警告";
inline const wchar_t kErrorTitle[] = L"タブロリン";
inline const wchar_t kDoneText[] = L"Ｗｏｒｄファイルを出力しました。";
// Asked when Word keeps one call waiting.
inline const wchar_t kQuestionTitle[] = L"確認";
inline const wchar_t kNoAnswerText[] = L"Ｗｏｒｄから応答がありません。待ち続けますか？";
// The error when the wait for the clean-up's Quit was given up.
inline const wchar_t kWordLeftRunning[] = L"Ｗｏｒｄが応答しないため、終了を確認できませんでした。"
                                          L"Ｗｏｒｄは起動したままになっています。";

// Shorter waits for Word while it lives: the user is asked after `first` milliseconds, and again
// only after `again`.
class ShortWaits {
public:
    explicit ShortWaits(DWORD first = 400, DWORD again = 600000)
        : previous_(automation::SetWaitLimits({first, again})) {}
    ShortWaits(const ShortWaits&) = delete;
    ShortWaits& operator=(const ShortWaits&) = delete;
    ~ShortWaits() { automation::SetWaitLimits(previous_); }

private:
    automation::WaitLimits previous_;
};

// ---- the window ---------------------------------------------------------------------------

// The main window shared by the tests of one program (its start-up probe runs once, before any
// journal is opened).
inline TfrmMain& Form() {
    static const std::unique_ptr<TfrmMain> form = OpenMainWindow();
    return *form;
}

// Puts exactly these entries, in this order, into the list; picture count 3, "前面".
inline void ResetForm(const std::vector<std::wstring>& entries, int imagesPerPage = 3,
                      Wrap wrap = Wrap::InFront) {
    TfrmMain& form = Form();
    SendMessageW(form.ListBox, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& e : entries)
        SendMessageW(form.ListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
    form.SetSpinValue(imagesPerPage);
    SendMessageW(form.RadioItems[0], BM_SETCHECK,
                 wrap == Wrap::InFront ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(form.RadioItems[1], BM_SETCHECK,
                 wrap == Wrap::Square ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The build straight from a request, as the main button starts it: the error's text, "" for none.
inline std::wstring BuildFromRequest(const std::vector<std::wstring>& entries, int imagesPerPage,
                                     Wrap wrap, const std::wstring& outputPath) {
    return ErrorOf([&] { BuildDocument({entries, imagesPerPage, wrap, outputPath}); });
}

// Presses the main button as a user would; returns once the command has ended.
inline void ClickBuild() {
    SendMessageW(Form().Button4, BM_CLICK, 0, 0);
}

struct BuildOutcome {
    std::vector<DialogSeen> dialogs;
    bool allAnswered = false;
    HCURSOR cursorAfter = nullptr;
};

// Clicks the button with the save dialog answered by typing outputPath, then the dialogs of
// `between` answered, then the closing dialog (the information or the error box) confirmed.
inline BuildOutcome RunBuild(const std::wstring& outputPath, const wchar_t* closingTitle,
                             std::vector<DialogAnswerer::Step> between = {}) {
    // The error box bears the main window's own title: hidden, the window cannot be taken for it.
    const bool hide = std::wstring(closingTitle) == kErrorTitle;
    if (hide)
        ShowWindow(Form().Handle(), SW_HIDE);
    std::vector<DialogAnswerer::Step> steps = {
        {kSaveTitle, DialogAction::TypeFileName(outputPath)}};
    steps.insert(steps.end(), between.begin(), between.end());
    steps.push_back({closingTitle, DialogAction::Press(L"OK")});
    DialogAnswerer answer(std::move(steps), 60000);
    ClickBuild();
    answer.Join();
    if (hide)
        ShowWindow(Form().Handle(), SW_SHOW);
    BuildOutcome outcome;
    outcome.cursorAfter = GetCursor();
    outcome.dialogs = answer.Seen();
    outcome.allAnswered = answer.AllAnswered();
    return outcome;
}

// Watches the cursor of the window's thread while a build runs, sharing its input state.
class CursorWatch {
public:
    explicit CursorWatch(DWORD threadId) : target_(threadId), thread_([this] { Run(); }) {}
    ~CursorWatch() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::set<HCURSOR> seen;
    bool keptAfterSetCursor = true; // a WM_SETCURSOR on the list did not undo the hourglass
    bool clickTurnedAway = false;   // a click on the main button came back without a dialog
    bool probed = false;

private:
    void Run() {
        AttachThreadInput(GetCurrentThreadId(), target_, TRUE);
        const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
        while (!stop_) {
            const HCURSOR now = GetCursor();
            seen.insert(now);
            if (now == wait && !probed) {
                // As a mouse move over the list would: the list asks its parent first.
                DWORD_PTR result = 0;
                HWND list = Form().ListBox;
                SendMessageTimeoutW(list, WM_SETCURSOR, reinterpret_cast<WPARAM>(list),
                                    MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), SMTO_BLOCK, 5000, &result);
                keptAfterSetCursor = GetCursor() == wait;
                // Word's calls let messages through: the click reaches the button mid-build.
                clickTurnedAway = SendMessageTimeoutW(Form().Button4, BM_CLICK, 0, 0, SMTO_BLOCK,
                                                      5000, &result) != 0;
                if (HWND nested = FindThreadWindow(target_, kSaveTitle))
                    PostMessageW(nested, WM_COMMAND, IDCANCEL, 0);
                probed = true;
            }
            Sleep(1);
        }
        AttachThreadInput(GetCurrentThreadId(), target_, FALSE);
    }
    DWORD target_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The window, a folder of pictures of the series for the whole suite, and for each test an output
// path with no file left there by an earlier build.
class BuildTest : public testing::Test {
protected:
    static void MakePictures(const wchar_t* folder, size_t count) {
        Form();
        dir_ = MakeTempFolder(folder);
        pictures_ = MakePictureSeries(dir_.wstring(), count);
        ASSERT_EQ(pictures_.size(), count);
    }
    void FreshOutput(const wchar_t* name) {
        output_ = (dir_ / name).wstring();
        std::error_code ec;
        fs::remove(output_, ec);
        // The pointer rests on the list, so the cursor it shows is the list's own arrow.
        RECT rc;
        GetWindowRect(Form().ListBox, &rc);
        SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    }
    // A page of 9 lines rather than Word's 36, for builds whose subject is not the grid: every call
    // site is there and the places are as tall, with a third of the calls.
    static StubScenario SmallGrid() {
        StubScenario scenario;
        scenario.linesPage = 9;
        return scenario;
    }

    static inline fs::path dir_;
    static inline std::vector<std::wstring> pictures_;
    std::wstring output_;
};

// ---- the journal --------------------------------------------------------------------------

inline bool StartsWith(const std::wstring& s, const std::wstring& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

inline size_t CountLines(const std::vector<std::wstring>& journal, const std::wstring& line) {
    return static_cast<size_t>(std::count(journal.begin(), journal.end(), line));
}

inline size_t CountPrefix(const std::vector<std::wstring>& journal, const std::wstring& prefix) {
    return static_cast<size_t>(std::count_if(journal.begin(), journal.end(),
                                             [&](const auto& l) { return StartsWith(l, prefix); }));
}

inline const std::wstring kTypeParagraph = L"Selection.TypeParagraph method";
inline const std::wstring kPageGoTo =
    L"Selection.GoTo method What=VT_I4:1 Which=VT_I4:2 Name=VT_BSTR:\"1\"";
inline const std::wstring kLineGoTo =
    L"Selection.GoTo method What=VT_I4:3 Which=VT_I4:2 Count=VT_I4:1 Name=VT_BSTR:\"\"";
inline const std::wstring kQuit = L"Application.Quit method SaveChanges=VT_I4:0";

inline std::wstring AddPictureLine(const std::wstring& file) {
    return L"Shapes.AddPicture method Anchor=VT_DISPATCH:Range FileName=VT_BSTR:\"" + file +
           L"\" LinkToFile=VT_BOOL:0 SaveWithDocument=VT_BOOL:-1";
}

struct Placement {
    std::wstring file;
    int page = 0; // 1-based
    int line = 0; // 1-based on its page
    bool operator==(const Placement&) const = default;
};

// Follows the insertion point through the journal as Word would move it, and reports where each
// picture was anchored. linesPerPage is the grid the document was given.
inline std::vector<Placement> Placements(const std::vector<std::wstring>& journal,
                                         int linesPerPage) {
    std::vector<Placement> result;
    int64_t lines = 1, cursor = 0;
    const std::wstring addPrefix = L"Shapes.AddPicture method Anchor=VT_DISPATCH:Range FileName=";
    for (const std::wstring& l : journal) {
        if (l == kTypeParagraph) {
            ++lines;
            ++cursor;
        } else if (l == kPageGoTo) {
            cursor = 0;
        } else if (l == kLineGoTo) {
            cursor = std::min(cursor + 1, lines - 1);
        } else if (StartsWith(l, addPrefix)) {
            const size_t open = l.find(L'"'), close = l.find(L'"', open + 1);
            const int per = std::max(linesPerPage, 1);
            result.push_back({l.substr(open + 1, close - open - 1),
                              static_cast<int>(cursor / per) + 1,
                              static_cast<int>(cursor % per) + 1});
        }
    }
    return result;
}

inline std::vector<std::wstring> WrapPuts(const std::vector<std::wstring>& journal) {
    std::vector<std::wstring> puts;
    for (const std::wstring& l : journal)
        if (StartsWith(l, L"WrapFormat.Type put "))
            puts.push_back(l.substr(20));
    return puts;
}

// Word sits on the call it hangs at or keeps refusing, as the question about a call that takes
// long is due. With short waits a slow moment elsewhere may bring a question too: that one is
// answered OK (see DialogAnswerer::Step::due).
inline std::function<bool()> WordStuck(const StubSession& session) {
    return [&session] {
        const auto journal = session.Journal();
        return !journal.empty() &&
               (StartsWith(journal.back(), L"HANG ") || StartsWith(journal.back(), L"BUSY "));
    };
}

// Word was told to quit without saving, as the last call, and every reference was given back.
inline void ExpectWordEndedClean(const StubSession& session) {
    ASSERT_TRUE(session.WaitForExit());
    const auto journal = session.Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ(CountLines(journal, kQuit), 1u);
    auto quit = std::find(journal.begin(), journal.end(), kQuit);
    ASSERT_NE(quit, journal.end());
    for (auto it = quit + 1; it != journal.end(); ++it)
        EXPECT_TRUE(StartsWith(*it, L"FAIL ") || StartsWith(*it, L"EXIT ")) << ToUtf8(*it);
    EXPECT_EQ(journal.back(), L"EXIT refs=0");
}

inline bool FileExists(const std::wstring& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

} // namespace buildkit
