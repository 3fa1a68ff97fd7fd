// Each control's event reaches its handler: real clicks, list presses and drags, shell drops.
#include "MainWindowTest.h"

#include "ShellDrop.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class RoutingTest : public MainWindowTest {
protected:
    void Click(HWND button) {
        RECT rc;
        GetClientRect(button, &rc);
        const LPARAM at = MAKELPARAM(rc.right / 2, rc.bottom / 2);
        SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(button, WM_LBUTTONUP, 0, at);
    }

    // Clicks and answers the dialog the handler opens; what the watcher saw, if anything.
    // The handlers' dialogs are modal: once the click returns, none can come any more, so the
    // watcher waits as long as the click takes (a slow machine opens the save dialog late).
    std::vector<DialogSeen> ClickAndAnswer(HWND button, const wchar_t* title, DialogAction action) {
        DialogAnswerer answer(title, std::move(action), 600000);
        Click(button);
        answer.Stop();
        Pump(hwnd);
        return answer.Seen();
    }

    static std::vector<std::wstring> MakeFiles(std::initializer_list<const wchar_t*> names) {
        const fs::path dir = fs::temp_directory_path() / L"tablorin-routing";
        fs::create_directories(dir);
        std::vector<std::wstring> paths;
        for (const wchar_t* name : names) {
            std::ofstream(dir / name) << "x";
            paths.push_back((dir / name).wstring());
        }
        return paths;
    }

    POINT ItemCentre(int index) {
        RECT rc;
        SendMessageW(form.ListBox, LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&rc));
        return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }

    void EmptyTheList() {
        SendMessageW(form.ListBox, LB_RESETCONTENT, 0, 0);
        form.UpdateStatusText();
    }
};

} // namespace

TEST_F(RoutingTest, ButtonsReachTheirHandlers) {
    EmptyTheList();
    auto seen = ClickAndAnswer(form.Button1, L"警告", DialogAction::Press(L"OK"));
    ASSERT_EQ(seen.size(), 1u) << "行クリア";
    EXPECT_EQ(seen[0].text, L"一覧にファイルを追加して下さい。");

    seen = ClickAndAnswer(form.Button3, L"確認", DialogAction::Press(L"キャンセル"));
    ASSERT_EQ(seen.size(), 1u) << "一覧クリア";
    EXPECT_EQ(seen[0].text, L"一覧をクリアします。よろしいですか？");

    seen = ClickAndAnswer(form.Button4, L"警告", DialogAction::Press(L"OK"));
    ASSERT_EQ(seen.size(), 1u) << "名前を付けて保存　→　貼り付け開始";
    EXPECT_EQ(seen[0].text, L"一覧にファイルを追加して下さい。");

    // With a file listed, the command goes on to the save dialog (cancelled here).
    const auto files = MakeFiles({L"one.jpg"});
    SendShellDrop(hwnd, files);
    Pump(hwnd);
    ASSERT_EQ(form.Files.Count(), 1);
    seen = ClickAndAnswer(form.Button4, L"画像を添付するワードファイルの名前", DialogAction::Esc());
    EXPECT_EQ(seen.size(), 1u) << "save dialog";
    EmptyTheList();

    seen = ClickAndAnswer(form.Button2, L"バージョン情報", DialogAction::Press(L"OK"));
    EXPECT_EQ(seen.size(), 1u) << "バージョン";
    EXPECT_TRUE(IsWindowEnabled(hwnd));
}

TEST_F(RoutingTest, ShellDropReachesTheList) {
    EmptyTheList();
    const auto files = MakeFiles({L"b.jpg", L"a.jpg"});
    SendShellDrop(hwnd, files);
    Pump(hwnd);
    ASSERT_EQ(form.Files.Count(), 2);
    EXPECT_EQ(form.Files.At(0), files[1]);
    EXPECT_EQ(form.StatusText(), L"2ファイル");
    EmptyTheList();
}

TEST_F(RoutingTest, ListPressesAndDragsReachTheirHandlers) {
    EmptyTheList();
    const auto files = MakeFiles({L"p1.jpg", L"p2.jpg", L"p3.jpg"});
    SendShellDrop(hwnd, files);
    Pump(hwnd);
    ASSERT_EQ(form.Files.Count(), 3);

    // Each press on the first entry, dragged onto the last one, moves it there; the second press
    // of a double-click is a press like any other. A right press reaches no drag: DragIndex stays.
    const struct {
        const char* what;
        UINT press, release;
        WPARAM held;
        bool drags;
    } presses[] = {
        {"left press", WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, true},
        {"left double-click", WM_LBUTTONDBLCLK, WM_LBUTTONUP, MK_LBUTTON, true},
        {"middle press", WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON, true},
        {"middle double-click", WM_MBUTTONDBLCLK, WM_MBUTTONUP, MK_MBUTTON, true},
        {"right press", WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, false},
        {"right double-click", WM_RBUTTONDBLCLK, WM_RBUTTONUP, MK_RBUTTON, false},
    };
    for (const auto& p : presses) {
        SCOPED_TRACE(p.what);
        SendMessageW(form.ListBox, LB_RESETCONTENT, 0, 0);
        for (const std::wstring& file : files)
            SendMessageW(form.ListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(file.c_str()));
        // The first press of a double-click has selected the entry.
        SendMessageW(form.ListBox, LB_SETCURSEL, 0, 0);
        form.Files.DragIndex = -1;
        const POINT from = ItemCentre(0), to = ItemCentre(2);
        SendMessageW(form.ListBox, p.press, p.held, MAKELPARAM(from.x, from.y));
        EXPECT_EQ(form.Files.DragIndex, p.drags ? 0 : -1);
        SendMessageW(form.ListBox, WM_MOUSEMOVE, p.held, MAKELPARAM(to.x, to.y));
        SendMessageW(form.ListBox, p.release, 0, MAKELPARAM(to.x, to.y));
        Pump(hwnd);
        EXPECT_EQ(form.Files.At(2), p.drags ? files[0] : files[2]);
        EXPECT_EQ(form.Files.At(0), p.drags ? files[1] : files[0]);
    }
    EmptyTheList();
}
