// The file list on the real main window: shell drops of real files, mouse gestures sent to the
// list as a user's would be, and the buttons that remove entries with their dialogs.
#include "DialogAnswerer.h"
#include "Main.h"
#include "MessagePump.h"
#include "OpenMainWindow.h"
#include "ShellDrop.h"
#include "TempFolder.h"
#include "WindowText.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh folder of its own for each test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static int serial = 0;
        path_ = MakeTempFolder(L"tablorin-list-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(++serial));
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::wstring Path(const std::wstring& name) const { return (path_ / name).wstring(); }
    const fs::path& Root() const { return path_; }

private:
    fs::path path_;
};

FILETIME FileTimeOf(WORD year, WORD month, WORD day) {
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = 12;
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

// Creates a file with a little content; optionally stamps its last-write time.
void MakeFile(const std::wstring& path, const FILETIME* lastWrite = nullptr) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create test file";
    DWORD written = 0;
    WriteFile(h, "x", 1, &written, nullptr);
    if (lastWrite)
        SetFileTime(h, nullptr, nullptr, lastWrite);
    CloseHandle(h);
}

std::wstring Upper(std::wstring s) {
    CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

int WidthInListFont(HWND list, const std::wstring& text) {
    return TextExtentInWindowFont(list, text).cx;
}

// A list box that refuses new lines once it holds a given number of them, as a full list would.
LRESULT CALLBACK RefusingList(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                              DWORD_PTR limit) {
    if ((msg == LB_ADDSTRING || msg == LB_INSERTSTRING) &&
        SendMessageW(hwnd, LB_GETCOUNT, 0, 0) >= static_cast<LRESULT>(limit))
        return LB_ERRSPACE;
    return DefSubclassProc(hwnd, msg, wp, lp);
}

class FileListTest : public testing::Test {
protected:
    void SetUp() override { OpenForm(true); }

    void OpenForm(bool visible) {
        form_ = OpenMainWindow(visible);
        if (visible) {
            SetForegroundWindow(form_->Handle());
            Pump();
        }
        list_ = form_->ListBox;
    }

    void TearDown() override {
        form_.reset();
        // Closing the main window asks the message loop to end; tests have no loop to end.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> out;
        for (int i = 0; i < form_->Files.Count(); ++i)
            out.push_back(form_->Files.At(i));
        return out;
    }

    void Drop(const std::vector<std::wstring>& paths) { SendShellDrop(form_->Handle(), paths); }

    // Fills the list through a drop of files named in the given order (they must sort that way).
    std::vector<std::wstring> DropNames(const std::vector<std::wstring>& names) {
        std::vector<std::wstring> paths;
        for (const auto& n : names) {
            paths.push_back(folder_.Path(n));
            MakeFile(paths.back());
        }
        Drop(paths);
        return paths;
    }

    int Extent() const {
        return static_cast<int>(SendMessageW(list_, LB_GETHORIZONTALEXTENT, 0, 0));
    }
    void SetExtent(int width) { SendMessageW(list_, LB_SETHORIZONTALEXTENT, width, 0); }
    int Selected() const { return static_cast<int>(SendMessageW(list_, LB_GETCURSEL, 0, 0)); }

    POINT RowPoint(int row) const {
        RECT r{};
        SendMessageW(list_, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
        return {r.left + 20, (r.top + r.bottom) / 2};
    }
    // A point of the window that is not the list: inside the top panel.
    POINT OutsidePoint() const { return {20, -30}; }

    void Mouse(UINT msg, WPARAM keys, POINT p) {
        SendMessageW(list_, msg, keys, MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
    }
    void LeftDrag(POINT from, POINT to) {
        Mouse(WM_LBUTTONDOWN, MK_LBUTTON, from);
        Mouse(WM_MOUSEMOVE, MK_LBUTTON, to);
        Mouse(WM_LBUTTONUP, 0, to);
    }
    // The cursor shown after the pointer moved to a point with the left button held.
    HCURSOR CursorAfterMoveTo(POINT p) {
        SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
        Mouse(WM_MOUSEMOVE, MK_LBUTTON, p);
        return GetCursor();
    }

    void Click(HWND button) {
        SendMessageW(form_->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }

    TempFolder folder_;
    std::unique_ptr<TfrmMain> form_;
    HWND list_ = nullptr;
};

// ---- Intake of shell drops ----

TEST_F(FileListTest, DropSortsIgnoringCaseAndShowsCountAndWidestExtent) {
    const std::wstring b = folder_.Path(L"b.jpg"), a = folder_.Path(L"A.jpg"),
                       c = folder_.Path(L"c.jpg");
    for (const auto& p : {b, a, c})
        MakeFile(p);
    EXPECT_EQ(form_->StatusText(), L"0ファイル");
    Drop({b, a, c});
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{a, b, c}));
    EXPECT_EQ(form_->StatusText(), L"3ファイル");
    const int widest =
        std::max({WidthInListFont(list_, a), WidthInListFont(list_, b), WidthInListFont(list_, c)});
    EXPECT_GT(widest, 0);
    EXPECT_EQ(Extent(), widest);
}

TEST_F(FileListTest, SecondDropIsSortedOnItsOwnAndAppended) {
    const auto first = DropNames({L"y.jpg", L"z.jpg"});
    const std::wstring a = folder_.Path(L"a.png"), longer = folder_.Path(L"B-longer-name.png");
    MakeFile(a);
    MakeFile(longer);
    Drop({longer, a});
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{first[0], first[1], a, longer}));
    EXPECT_EQ(form_->StatusText(), L"4ファイル");
    EXPECT_EQ(Extent(), WidthInListFont(list_, longer));
}

TEST_F(FileListTest, FileAlreadyListedInAnyLetterCaseIsNotAddedButExtentIsRecomputed) {
    const auto paths = DropNames({L"photo.jpg"});
    const int width = Extent();
    SetExtent(3);
    Drop({Upper(paths[0]), paths[0]});
    EXPECT_EQ(Entries(), paths);
    EXPECT_EQ(form_->StatusText(), L"1ファイル");
    EXPECT_EQ(Extent(), width);
}

TEST_F(FileListTest, FoldersMissingFilesAndPatternsAreSkipped) {
    const std::wstring sub = folder_.Path(L"folder.jpg");
    fs::create_directories(sub);
    MakeFile(folder_.Path(L"a1.jpg"));
    Drop({sub, folder_.Path(L"gone.jpg"), folder_.Path(L"a?.jpg"), folder_.Path(L"*.jpg"),
          folder_.Path(L"a<.jpg"), L""});
    EXPECT_EQ(form_->Files.Count(), 0);
    EXPECT_EQ(form_->StatusText(), L"0ファイル");
    // The list stayed empty, so its extent was left alone.
    SetExtent(5);
    Drop({sub});
    EXPECT_EQ(Extent(), 5);
}

TEST_F(FileListTest, OnlyFilesDatedWithinTheDosRangeAreAccepted) {
    const FILETIME t1979 = FileTimeOf(1979, 6, 1), t1980 = FileTimeOf(1980, 6, 1),
                   t2107 = FileTimeOf(2107, 6, 1), t2110 = FileTimeOf(2110, 6, 1);
    const std::wstring old = folder_.Path(L"old.jpg"), early = folder_.Path(L"early.jpg"),
                       late = folder_.Path(L"late.jpg"), future = folder_.Path(L"future.jpg");
    MakeFile(old, &t1979);
    MakeFile(early, &t1980);
    MakeFile(late, &t2107);
    MakeFile(future, &t2110);
    Drop({old, early, late, future});
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{early, late}));
}

TEST_F(FileListTest, NamesOutsideTheJapaneseCodePageKeepTheirCharacters) {
    const std::wstring flower = folder_.Path(L"写真 ① 🌸.jpg"), sharp = folder_.Path(L"ß.png");
    // Two files that a code-page conversion would turn into the same "?" name.
    const std::wstring other = folder_.Path(L"写真 ① 🌼.jpg");
    MakeFile(flower);
    MakeFile(sharp);
    Drop({flower, sharp});
    ASSERT_EQ(form_->Files.Count(), 2);
    const auto entries = Entries();
    EXPECT_NE(std::find(entries.begin(), entries.end(), flower), entries.end());
    EXPECT_NE(std::find(entries.begin(), entries.end(), sharp), entries.end());
    // A name that differs only in a character outside the code page is another, missing file.
    Drop({other});
    EXPECT_EQ(form_->Files.Count(), 2);
    MakeFile(other);
    Drop({other});
    EXPECT_EQ(form_->Files.Count(), 3);
    EXPECT_EQ(form_->Files.At(2), other);
}

TEST_F(FileListTest, PathOf259CharactersIsAcceptedAnd260IsSkipped) {
    const std::wstring base = folder_.Path(L"");
    ASSERT_LT(base.size(), 200u);
    auto pathOfLength = [&](size_t total, wchar_t fill) {
        std::wstring name(total - base.size() - 4, fill);
        return base + name + L".jpg";
    };
    const std::wstring fits = pathOfLength(259, L'a'), tooLong = pathOfLength(260, L'b');
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);
    // What a 260-character buffer would keep of the long name: another file that exists.
    const std::wstring cut = tooLong.substr(0, MAX_PATH - 1);
    MakeFile(fits);
    MakeFile(cut);
    MakeFile(L"\\\\?\\" + tooLong);
    ASSERT_NE(GetFileAttributesW((L"\\\\?\\" + tooLong).c_str()), INVALID_FILE_ATTRIBUTES);
    Drop({tooLong, fits});
    EXPECT_EQ(Entries(), std::vector<std::wstring>{fits});
    DeleteFileW((L"\\\\?\\" + tooLong).c_str());
}

// Whether a dropped name counts as already listed is exactly the list's own answer to an exact
// search, whatever the letters.
TEST_F(FileListTest, DuplicateTestAgreesWithTheListsOwnExactSearch) {
    const std::vector<std::pair<std::wstring, std::wstring>> pairs = {
        {L"é.png", L"É.png"},        {L"Ａ.png", L"ａ.png"}, {L"ß.png", L"SS.png"},
        {L"あ.png", L"ア.png"},      {L"ｱ.png", L"ア.png"},  {L"Straße.png", L"STRASSE.png"},
        {L"ω.png", L"Ω.png"},        {L"i.png", L"İ.png"},   {L"e\u0301.png", L"\u00e9.png"},
        {L"file1.png", L"FILE1.PNG"}};
    int found = 0, missed = 0;
    for (const auto& [first, second] : pairs) {
        SCOPED_TRACE(testing::Message() << "pair " << (&first - &pairs[0].first));
        TempFolder pairFolder;
        const std::wstring p1 = pairFolder.Path(first), p2 = pairFolder.Path(second);
        MakeFile(p1);
        MakeFile(p2);
        SendMessageW(list_, LB_RESETCONTENT, 0, 0);
        Drop({p1});
        ASSERT_EQ(form_->Files.Count(), 1);
        const bool listed = SendMessageW(list_, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(p2.c_str())) != LB_ERR;
        (listed ? found : missed)++;
        Drop({p2});
        EXPECT_EQ(form_->Files.Count(), listed ? 1 : 2);
    }
    // Both answers occurred, so the agreement above means something.
    EXPECT_GT(found, 0);
    EXPECT_GT(missed, 0);
}

TEST_F(FileListTest, RefusedLineReportsErrorKeepsEarlierLinesAndReleasesTheDrop) {
    // The window stays hidden so that the error box is the only window with the program's title.
    form_.reset();
    OpenForm(false);
    const auto first = DropNames({L"a.jpg"});
    const int extent = Extent();
    std::vector<std::wstring> more;
    for (const wchar_t* n :
         {L"e.jpg", L"b-much-longer-name-than-the-rest.jpg", L"d.jpg", L"c.jpg"}) {
        more.push_back(folder_.Path(n));
        MakeFile(more.back());
    }
    ASSERT_TRUE(SetWindowSubclass(list_, RefusingList, 77, 3));
    HDROP drop = MakeShellDrop(more);
    DialogAnswerer answer(L"タブロリン", DialogAction::Press(L"OK"));
    SendMessageW(form_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    answer.Join();
    RemoveWindowSubclass(list_, RefusingList, 77);
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).text, L"行を挿入できません.");
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{first[0], more[1], more[3]}));
    EXPECT_EQ(form_->StatusText(), L"1ファイル");
    EXPECT_EQ(Extent(), extent);
    // DragFinish freed the drop's memory.
    EXPECT_EQ(GlobalSize(drop), 0u);
}

TEST_F(FileListTest, DropHandleIsReleasedWhenNothingIsAdded) {
    HDROP drop = MakeShellDrop({folder_.Path(L"missing.jpg")});
    SendMessageW(form_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(GlobalSize(drop), 0u);
}

// ---- Reordering by dragging ----

TEST_F(FileListTest, LeftDragMovesEntryDownAndUpAndSelectsIt) {
    const auto p = DropNames({L"a.jpg", L"b.jpg", L"c.jpg", L"d.jpg"});
    SetExtent(7);
    LeftDrag(RowPoint(0), RowPoint(2));
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{p[1], p[2], p[0], p[3]}));
    EXPECT_EQ(Selected(), 2);
    LeftDrag(RowPoint(3), RowPoint(1));
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{p[1], p[3], p[2], p[0]}));
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(form_->Files.DragIndex, 3);
    // Count, status and extent are not touched by a move.
    EXPECT_EQ(form_->StatusText(), L"4ファイル");
    EXPECT_EQ(Extent(), 7);
    // Onto itself: nothing moves.
    LeftDrag(RowPoint(2), RowPoint(2));
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{p[1], p[3], p[2], p[0]}));
    EXPECT_EQ(Selected(), 2);
}

TEST_F(FileListTest, DropBelowTheLastLineMovesToTheEnd) {
    const auto p = DropNames({L"a.jpg", L"b.jpg", L"c.jpg"});
    const POINT below{RowPoint(2).x, RowPoint(2).y + 60};
    LeftDrag(RowPoint(0), below);
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{p[1], p[2], p[0]}));
    EXPECT_EQ(Selected(), 2);
}

TEST_F(FileListTest, DragBeyondTheFirst65536EntriesMovesTheEntryUnderThePointer) {
    // The list's hit test answers in 16 bits; the rows shown here lie past 65,535.
    constexpr int kCount = 70000;
    auto line = [](int i) { return L"行 " + std::to_wstring(i); };
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LB_INITSTORAGE, kCount, kCount * 16 * sizeof(wchar_t));
    for (int i = 0; i < kCount; ++i)
        SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line(i).c_str()));
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ASSERT_EQ(form_->Files.Count(), kCount);
    SendMessageW(list_, LB_SETTOPINDEX, kCount - 1, 0);
    const int top = static_cast<int>(SendMessageW(list_, LB_GETTOPINDEX, 0, 0));
    ASSERT_GT(top, 0xFFFF);

    LeftDrag(RowPoint(top), RowPoint(top + 1));
    EXPECT_EQ(form_->Files.DragIndex, top);
    EXPECT_EQ(form_->Files.At(top), line(top + 1));
    EXPECT_EQ(form_->Files.At(top + 1), line(top));
    EXPECT_EQ(Selected(), top + 1);
    // The entry with the same low 16 bits, far above, stays where it was.
    EXPECT_EQ(form_->Files.At(top & 0xFFFF), line(top & 0xFFFF));
    EXPECT_EQ(form_->Files.At((top & 0xFFFF) + 1), line((top & 0xFFFF) + 1));
}

TEST_F(FileListTest, CursorShowsWhereADropIsAcceptedAndReleaseOutsideChangesNothing) {
    const auto p = DropNames({L"a.jpg", L"b.jpg", L"c.jpg"});
    const HCURSOR noDrop = LoadCursorW(nullptr, IDC_NO);
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(0));
    EXPECT_EQ(form_->Files.DragIndex, 0);
    const HCURSOR over = CursorAfterMoveTo(RowPoint(1));
    EXPECT_NE(over, noDrop);
    EXPECT_NE(over, LoadCursorW(nullptr, IDC_IBEAM));
    EXPECT_EQ(CursorAfterMoveTo(OutsidePoint()), noDrop);
    EXPECT_EQ(CursorAfterMoveTo(RowPoint(2)), over);
    Mouse(WM_MOUSEMOVE, MK_LBUTTON, OutsidePoint());
    Mouse(WM_LBUTTONUP, 0, OutsidePoint());
    EXPECT_EQ(Entries(), p);
    EXPECT_EQ(Selected(), 0);
    // The drag is over: moving no longer shows the drag cursors.
    EXPECT_EQ(CursorAfterMoveTo(OutsidePoint()), LoadCursorW(nullptr, IDC_IBEAM));
}

TEST_F(FileListTest, SingleEntryIsSelectedByAPressButNotDragged) {
    const auto p = DropNames({L"only.jpg"});
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(0));
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(form_->Files.DragIndex, 0);
    EXPECT_EQ(CursorAfterMoveTo(OutsidePoint()), LoadCursorW(nullptr, IDC_IBEAM));
    Mouse(WM_LBUTTONUP, 0, OutsidePoint());
    EXPECT_EQ(Entries(), p);
}

TEST_F(FileListTest, PressBesideTheEntriesClearsDragIndexAndStartsNoDrag) {
    const auto p = DropNames({L"a.jpg", L"b.jpg"});
    LeftDrag(RowPoint(0), RowPoint(1));
    ASSERT_EQ(form_->Files.DragIndex, 0);
    const POINT below{RowPoint(1).x, RowPoint(1).y + 60};
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, below);
    EXPECT_EQ(form_->Files.DragIndex, -1);
    EXPECT_EQ(CursorAfterMoveTo(OutsidePoint()), LoadCursorW(nullptr, IDC_IBEAM));
    Mouse(WM_LBUTTONUP, 0, RowPoint(0));
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{p[1], p[0]}));
}

TEST_F(FileListTest, RightButtonNeitherDragsNorChangesDragIndex) {
    const auto p = DropNames({L"a.jpg", L"b.jpg", L"c.jpg"});
    LeftDrag(RowPoint(1), RowPoint(1));
    ASSERT_EQ(form_->Files.DragIndex, 1);
    Mouse(WM_RBUTTONDOWN, MK_RBUTTON, RowPoint(2));
    EXPECT_EQ(form_->Files.DragIndex, 1);
    SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
    Mouse(WM_MOUSEMOVE, MK_RBUTTON, OutsidePoint());
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_IBEAM));
    Mouse(WM_RBUTTONUP, 0, RowPoint(0));
    EXPECT_EQ(Entries(), p);
}

TEST_F(FileListTest, MiddleButtonDragsTheEntryUnderThePointerWhenSomethingIsSelected) {
    const auto p = DropNames({L"a.jpg", L"b.jpg", L"c.jpg"});
    // Nothing selected yet: the middle press records the entry but does not drag.
    Mouse(WM_MBUTTONDOWN, MK_MBUTTON, RowPoint(2));
    EXPECT_EQ(form_->Files.DragIndex, 2);
    Mouse(WM_MBUTTONUP, 0, RowPoint(0));
    EXPECT_EQ(Entries(), p);
    EXPECT_EQ(Selected(), -1);

    SendMessageW(list_, LB_SETCURSEL, 1, 0);
    Mouse(WM_MBUTTONDOWN, MK_MBUTTON, RowPoint(2));
    EXPECT_EQ(Selected(), 1); // the middle button does not select
    Mouse(WM_MOUSEMOVE, MK_MBUTTON, RowPoint(0));
    Mouse(WM_MBUTTONUP, 0, RowPoint(0));
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{p[2], p[0], p[1]}));
    EXPECT_EQ(Selected(), 0);
}

TEST_F(FileListTest, EscapeOrLosingTheMouseCancelsTheDrag) {
    const auto p = DropNames({L"a.jpg", L"b.jpg", L"c.jpg"});
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(0));
    Mouse(WM_MOUSEMOVE, MK_LBUTTON, RowPoint(2));
    SendMessageW(list_, WM_KEYDOWN, VK_ESCAPE, 1);
    Mouse(WM_LBUTTONUP, 0, RowPoint(2));
    EXPECT_EQ(Entries(), p);

    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, RowPoint(0));
    Mouse(WM_MOUSEMOVE, MK_LBUTTON, RowPoint(2));
    SetCapture(form_->Handle());
    ReleaseCapture();
    Mouse(WM_LBUTTONUP, 0, RowPoint(2));
    EXPECT_EQ(Entries(), p);
}

// ---- The buttons that remove entries, and what they ask first ----

TEST_F(FileListTest, ButtonsAskAndWarnInTheirOrderBeforeTheListChanges) {
    const std::wstring wide = folder_.Path(L"a-very-long-name-wider-than-the-other.jpg");
    const std::wstring narrow = folder_.Path(L"b.jpg");
    MakeFile(wide);
    MakeFile(narrow);
    const std::vector<std::wstring> both{wide, narrow}, none; // as the drop sorts them
    constexpr int kStale = 9;                                 // an extent no entry has
    struct Dialog {
        std::wstring title, text;
    };
    const Dialog addFiles{L"警告", L"一覧にファイルを追加して下さい。"};
    const Dialog pickRow{L"警告", L"クリアする行を選択して下さい。"};
    const Dialog askRow{L"確認", L"行をクリアします。よろしいですか？"};
    const Dialog askAll{L"確認", L"一覧をクリアします。よろしいですか？"};
    const struct {
        const char* what;
        HWND TfrmMain::*button;
        bool filled;  // both files listed, else an empty list
        int selected; // -1: none
        const Dialog& asked;
        const wchar_t* answer;
        std::vector<std::wstring> after;
        bool extentReset; // else left as it was
    } cases[] = {
        {"row, empty list", &TfrmMain::Button1, false, -1, addFiles, L"OK", none, false},
        {"row, none selected", &TfrmMain::Button1, true, -1, pickRow, L"OK", both, false},
        {"row, cancelled", &TfrmMain::Button1, true, 0, askRow, L"キャンセル", both, false},
        // The extent of the wider entry stays when it goes.
        {"row, removed", &TfrmMain::Button1, true, 0, askRow, L"OK", {narrow}, false},
        {"list, empty", &TfrmMain::Button3, false, -1, askAll, L"OK", none, true},
        {"list, cancelled", &TfrmMain::Button3, true, 1, askAll, L"キャンセル", both, false},
        {"list, cleared", &TfrmMain::Button3, true, 1, askAll, L"OK", none, true},
        // No save dialog follows.
        {"save, empty list", &TfrmMain::Button4, false, -1, addFiles, L"OK", none, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        form_->Files.Clear();
        if (c.filled)
            Drop({narrow, wide});
        ASSERT_EQ(Entries(), c.filled ? both : none);
        form_->UpdateStatusText();
        SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(c.selected), 0);
        SetExtent(kStale);
        HWND button = form_.get()->*c.button;
        SetFocus(button);

        DialogAnswerer answer(c.asked.title, DialogAction::Press(c.answer));
        Click(button);
        answer.Join();
        ASSERT_EQ(answer.Answered(), 1u);
        const bool warning = c.asked.title == L"警告";
        const std::vector<std::wstring> buttons =
            warning ? std::vector<std::wstring>{L"OK"}
                    : std::vector<std::wstring>{L"OK", L"キャンセル"};
        EXPECT_EQ(answer.SeenAt(0).text, c.asked.text);
        EXPECT_EQ(answer.SeenAt(0).buttons, buttons);

        EXPECT_EQ(Entries(), c.after);
        EXPECT_EQ(form_->StatusText(), std::to_wstring(c.after.size()) + L"ファイル");
        EXPECT_EQ(Extent(), c.extentReset ? 0 : kStale);
        // After a warning the user goes on in the list.
        if (warning) {
            EXPECT_EQ(GetFocus(), list_);
        }
    }
}

} // namespace
