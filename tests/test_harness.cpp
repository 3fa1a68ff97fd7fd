// The test helpers themselves: shell drops built in-process and dialogs answered from the test.
#include "DialogAnswerer.h"
#include "ShellDrop.h"

#include <commdlg.h>
#include <shellapi.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct DropLog {
    std::vector<std::wstring> names;
    POINT point{};
    UINT count = 0;
};

LRESULT CALLBACK DropTarget(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DROPFILES) {
        auto* log = reinterpret_cast<DropLog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        HDROP drop = reinterpret_cast<HDROP>(wp);
        log->count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < log->count; ++i) {
            const UINT len = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring name(len + 1, L'\0');
            DragQueryFileW(drop, i, name.data(), len + 1);
            name.resize(len);
            log->names.push_back(name);
        }
        DragQueryPoint(drop, &log->point);
        DragFinish(drop);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND MakeTopWindow(const wchar_t* title, WNDPROC proc = DefWindowProcW) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HarnessTestWindow";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(L"HarnessTestWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    return hwnd;
}

} // namespace

TEST(ShellDrop, DeliversWideNamesAndPointAsWmDropFiles) {
    HWND hwnd = MakeTopWindow(L"drop target", DropTarget);
    DropLog log;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log));
    const std::vector<std::wstring> names = {L"C:\\写真\\写真 ① 🌸.jpg", L"C:\\ß.png",
                                             std::wstring(L"C:\\") + std::wstring(250, L'x')};
    SendShellDrop(hwnd, names, POINT{12, 34});
    EXPECT_EQ(log.count, 3u);
    EXPECT_EQ(log.names, names);
    EXPECT_EQ(log.point.x, 12);
    EXPECT_EQ(log.point.y, 34);
    DestroyWindow(hwnd);
}

TEST(DialogAnswerer, ReadsMessageBoxAndPressesNamedButton) {
    DialogAnswerer answer(L"Harness box", DialogAction::Press(L"Cancel"));
    const int r = MessageBoxW(nullptr, L"質問です", L"Harness box", MB_OKCANCEL | MB_ICONQUESTION);
    answer.Join();
    EXPECT_EQ(r, IDCANCEL);
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).text, L"質問です");
    EXPECT_EQ(answer.SeenAt(0).buttons.size(), 2u);
}

TEST(DialogAnswerer, KeysAndCloseBoxReachTheDialog) {
    {
        DialogAnswerer answer(L"Harness keys", DialogAction::Return());
        EXPECT_EQ(MessageBoxW(nullptr, L"x", L"Harness keys", MB_OKCANCEL), IDOK);
    }
    {
        DialogAnswerer answer(L"Harness keys", DialogAction::Esc());
        EXPECT_EQ(MessageBoxW(nullptr, L"x", L"Harness keys", MB_OKCANCEL), IDCANCEL);
    }
    {
        DialogAnswerer answer(L"Harness keys", DialogAction::Close());
        EXPECT_EQ(MessageBoxW(nullptr, L"x", L"Harness keys", MB_OKCANCEL), IDCANCEL);
    }
}

TEST(DialogAnswerer, AnswersSeveralDialogsInOrder) {
    DialogAnswerer answer(
        {{L"First", DialogAction::Press(L"OK")}, {L"Second", DialogAction::Press(L"Cancel")}});
    EXPECT_EQ(MessageBoxW(nullptr, L"one", L"First", MB_OKCANCEL), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"two", L"Second", MB_OKCANCEL), IDCANCEL);
    answer.Join();
    EXPECT_EQ(answer.Answered(), 2u);
    EXPECT_EQ(answer.SeenAt(1).text, L"two");
}

TEST(DialogAnswerer, TypesANameIntoTheSaveDialog) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / L"tablorin-harness";
    fs::create_directories(dir);
    const std::wstring target = (dir / L"出力 ①.docx").wstring();
    fs::remove(target);

    wchar_t file[MAX_PATH] = L"offered.docx";
    const std::wstring initial = dir.wstring();
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.lpstrFilter = L"Word 文書（*.docx）\0*.docx\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = initial.c_str();
    ofn.lpstrTitle = L"Harness save";
    ofn.lpstrDefExt = L"doc";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;

    DialogAnswerer answer(L"Harness save", DialogAction::TypeFileName(target));
    ASSERT_TRUE(GetSaveFileNameW(&ofn));
    answer.Join();
    EXPECT_EQ(std::wstring(file), target);
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).fileNameField, L"offered.docx");
}

TEST(DialogAnswerer, GivesUpWhenNoDialogComes) {
    DialogAnswerer answer(L"Never shown", DialogAction::Press(L"OK"), 300);
    answer.Join();
    EXPECT_EQ(answer.Answered(), 0u);
}

// The watch every test program runs: a box nobody answers fails the test, named, and is closed.
TEST(UnexpectedBoxWatch, FailsTheTestWithTheBoxsTextAndClosesIt) {
    EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(MessageBoxW(nullptr, L"stray text", L"Stray box", MB_OK),
                                           "unexpected dialog \"Stray box\": stray text");
}
