// The program's message dialog: titles, icons, buttons, keys, placement and modality.
#include "MessageDialog.h"

#include "DialogAnswerer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

TModalResult Answered(TMsgDlgType type, TMsgDlgButtons buttons, const wchar_t* title,
                      DialogAction action, DialogSeen* seen = nullptr) {
    DialogAnswerer answer(title, std::move(action));
    const TModalResult r = MessageDialog(L"本当に消しますか？", type, buttons);
    answer.Join();
    EXPECT_EQ(answer.Answered(), 1u) << "no dialog titled " << title;
    if (seen)
        *seen = answer.SeenAt(0);
    return r;
}

// The icon shown by the dialog's icon control, read from another thread, then OK is pressed.
HICON IconOfDialog(const wchar_t* title, TMsgDlgType type) {
    const DWORD self = GetCurrentThreadId();
    std::atomic<HICON> icon{nullptr};
    std::thread reader([&] {
        for (int i = 0; i < 500; ++i) {
            if (HWND dialog = FindThreadWindow(self, title)) {
                Sleep(100);
                for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                        GetDlgCtrlID(c) != IDOK && GetDlgCtrlID(c) != IDCANCEL) {
                        wchar_t cls[16] = {};
                        GetClassNameW(c, cls, 16);
                        if (_wcsicmp(cls, L"Static") == 0)
                            icon = reinterpret_cast<HICON>(SendMessageW(c, STM_GETICON, 0, 0));
                    }
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(20);
        }
    });
    MessageDialog(L"x", type, TMsgDlgButtons::mbOK);
    reader.join();
    return icon;
}

} // namespace

TEST(MessageDialog, TitleTextAndButtonsFollowTheType) {
    struct Case {
        TMsgDlgType type;
        const wchar_t* title;
    } cases[] = {{TMsgDlgType::mtWarning, L"警告"},
                 {TMsgDlgType::mtInformation, L"情報"},
                 {TMsgDlgType::mtConfirmation, L"確認"}};
    for (const Case& c : cases) {
        DialogSeen seen;
        Answered(c.type, TMsgDlgButtons::mbOK, c.title, DialogAction::Press(L"OK"), &seen);
        EXPECT_EQ(seen.text, L"本当に消しますか？");
        EXPECT_EQ(seen.buttons, std::vector<std::wstring>{L"OK"});
        Answered(c.type, TMsgDlgButtons::mbOKCancel, c.title, DialogAction::Press(L"OK"), &seen);
        EXPECT_EQ(seen.buttons, (std::vector<std::wstring>{L"OK", L"キャンセル"}));
        EXPECT_TRUE(seen.style & WS_SYSMENU) << "a close box is offered";
    }
}

TEST(MessageDialog, IconFollowsTheType) {
    EXPECT_EQ(IconOfDialog(L"警告", TMsgDlgType::mtWarning), LoadIconW(nullptr, IDI_WARNING));
    EXPECT_EQ(IconOfDialog(L"情報", TMsgDlgType::mtInformation),
              LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_EQ(IconOfDialog(L"確認", TMsgDlgType::mtConfirmation), LoadIconW(nullptr, IDI_QUESTION));
}

TEST(MessageDialog, ButtonsReturnWhichEndedIt) {
    const auto okCancel = TMsgDlgButtons::mbOKCancel;
    const auto confirm = TMsgDlgType::mtConfirmation;
    EXPECT_EQ(Answered(confirm, okCancel, L"確認", DialogAction::Press(L"OK")), TModalResult::mrOk);
    EXPECT_EQ(Answered(confirm, okCancel, L"確認", DialogAction::Press(L"キャンセル")),
              TModalResult::mrCancel);
}

TEST(MessageDialog, EnterEscAndCloseBox) {
    const auto ok = TMsgDlgButtons::mbOK, okCancel = TMsgDlgButtons::mbOKCancel;
    const auto info = TMsgDlgType::mtInformation, confirm = TMsgDlgType::mtConfirmation;
    const auto mrOk = TModalResult::mrOk, mrCancel = TModalResult::mrCancel;
    // OK alone: Enter and Esc both mean OK, the close box still counts as キャンセル.
    // OK and キャンセル: Enter is OK (the default), Esc and the close box are キャンセル.
    const struct {
        TMsgDlgType type;
        TMsgDlgButtons buttons;
        const wchar_t* title;
        DialogAction action;
        TModalResult expected;
    } cases[] = {
        {info, ok, L"情報", DialogAction::Return(), mrOk},
        {info, ok, L"情報", DialogAction::Esc(), mrOk},
        {info, ok, L"情報", DialogAction::Close(), mrCancel},
        {confirm, okCancel, L"確認", DialogAction::Return(), mrOk},
        {confirm, okCancel, L"確認", DialogAction::Esc(), mrCancel},
        {confirm, okCancel, L"確認", DialogAction::Close(), mrCancel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Answered(c.type, c.buttons, c.title, c.action), c.expected)
            << c.title << " " << static_cast<int>(c.action.kind);
}

TEST(MessageDialog, CentredOnTheScreen) {
    DialogSeen seen;
    Answered(TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, L"警告", DialogAction::Esc(), &seen);
    const int cx = (seen.rect.left + seen.rect.right) / 2;
    const int cy = (seen.rect.top + seen.rect.bottom) / 2;
    EXPECT_NEAR(cx, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR(cy, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    EXPECT_GT(seen.rect.right - seen.rect.left, 150);
}

TEST(MessageDialog, LongTextIsShownWholeAndFitsTheScreen) {
    std::wstring text;
    for (int i = 0; i < 40; ++i)
        text += L"ファイル名が長すぎます。";
    text += L"\n二行目";
    DialogAnswerer answer(L"警告", DialogAction::Press(L"OK"));
    MessageDialog(text, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    const DialogSeen seen = answer.SeenAt(0);
    EXPECT_EQ(seen.text, text);
    EXPECT_LE(seen.rect.right - seen.rect.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_GE(seen.rect.left, 0);
}

TEST(MessageDialog, DisablesTheActiveWindowWhileUp) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(owner);
    SetActiveWindow(owner);
    ASSERT_EQ(GetActiveWindow(), owner);
    DialogSeen seen;
    Answered(TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, L"情報", DialogAction::Press(L"OK"),
             &seen);
    EXPECT_TRUE(seen.ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "enabled again afterwards";
    DestroyWindow(owner);
}
