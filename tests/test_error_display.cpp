// The error display: the "." rule, the box itself, and handlers and windows whose errors end
// only them.
#include "ErrorDisplay.h"

#include "DialogAnswerer.h"
#include "MessagePump.h"
#include "Error.h"
#include "ErrorText.h"
#include "DialogBase.h"
#include "DialogOwner.h"
#include "WindowBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

TEST(ErrorDisplayText, FullStopAfterALastCharacterAboveFullStop) {
    EXPECT_EQ(ErrorDisplayText(L""), L"") << "an empty message stays empty";
    EXPECT_EQ(ErrorDisplayText(L"abc"), L"abc.");
    EXPECT_EQ(ErrorDisplayText(L"行を挿入できません"), L"行を挿入できません.");
    EXPECT_EQ(ErrorDisplayText(L"出力しました。"), L"出力しました。.")
        << "a wide full stop is no '.'";
    EXPECT_EQ(ErrorDisplayText(L"ｶﾅ"), L"ｶﾅ.");
    EXPECT_EQ(ErrorDisplayText(L"OLE エラー 800401F3"), L"OLE エラー 800401F3.");
    EXPECT_EQ(ErrorDisplayText(L"x/"), L"x/.") << "'/' is the first code above '.'";
    EXPECT_EQ(ErrorDisplayText(L"0"), L"0.");
}

TEST(ErrorDisplayText, NothingAddedAfterFullStopOrALowerCode) {
    EXPECT_EQ(ErrorDisplayText(L"done."), L"done.");
    EXPECT_EQ(ErrorDisplayText(L"x-"), L"x-") << "'-' is just below '.'";
    EXPECT_EQ(ErrorDisplayText(L"ok!"), L"ok!");
    EXPECT_EQ(ErrorDisplayText(L"a)"), L"a)");
    EXPECT_EQ(ErrorDisplayText(L"trailing "), L"trailing ");
    EXPECT_EQ(ErrorDisplayText(L"line\n"), L"line\n");
    EXPECT_EQ(ErrorDisplayText(L"."), L".");
}

TEST(ErrorDisplay, StandardBoxWithTitleStopIconAndOk) {
    DialogAnswerer answer(L"タブロリン", DialogAction::Press(L"OK"));
    ShowErrorMessage(L"ファイルが見つかりません");
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    const DialogSeen seen = answer.SeenAt(0);
    EXPECT_EQ(seen.text, L"ファイルが見つかりません.");
    EXPECT_EQ(seen.buttons, std::vector<std::wstring>{L"OK"});
}

TEST(ErrorDisplay, BoxShowsTheStopIcon) {
    const DWORD self = GetCurrentThreadId();
    std::atomic<HICON> icon{nullptr};
    std::thread reader([&] {
        for (int i = 0; i < 500; ++i) {
            if (HWND box = FindThreadWindow(self, L"タブロリン")) {
                Sleep(100);
                for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                        if (HICON h = reinterpret_cast<HICON>(SendMessageW(c, STM_GETICON, 0, 0)))
                            icon = h;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(20);
        }
    });
    ShowErrorMessage(L"x");
    reader.join();
    EXPECT_EQ(icon.load(), LoadIconW(nullptr, IDI_HAND));
}

TEST(ErrorDisplay, HandlerErrorIsShownAfterItsCleanUpAndTheCallerGoesOn) {
    std::vector<std::wstring> order;
    bool boxUpDuringCleanUp = true;
    struct CleanUp {
        std::vector<std::wstring>& order;
        bool& boxUp;
        ~CleanUp() {
            boxUp = FindThreadWindow(GetCurrentThreadId(), L"タブロリン") != nullptr;
            order.push_back(L"clean-up");
        }
    };
    DialogAnswerer answer(L"タブロリン", DialogAction::Press(L"OK"));
    RunHandler([&] {
        CleanUp guard{order, boxUpDuringCleanUp};
        order.push_back(L"work");
        throw Error(L"範囲チェックエラー");
    });
    order.push_back(L"next event");
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).text, L"範囲チェックエラー.");
    EXPECT_FALSE(boxUpDuringCleanUp) << "the box comes after the clean-up";
    EXPECT_EQ(order, (std::vector<std::wstring>{L"work", L"clean-up", L"next event"}));
}

TEST(ErrorDisplay, OtherExceptionsStillReachTheDisplay) {
    DialogAnswerer answer(
        {{L"タブロリン", DialogAction::Press(L"OK")}, {L"タブロリン", DialogAction::Return()}});
    RunHandler([] { throw std::runtime_error("disk full"); });
    RunHandler([] { throw std::bad_alloc(); });
    answer.Join();
    ASSERT_EQ(answer.Answered(), 2u);
    EXPECT_EQ(answer.SeenAt(0).text, L"disk full.");
    EXPECT_FALSE(answer.SeenAt(1).text.empty());
}

namespace {

// A class the system refuses: negative extra bytes.
class RefusedWindow : public WindowBase<RefusedWindow> {
public:
    static constexpr wchar_t kClassName[] = L"TRefusedWindow";
    static void DescribeClass(WNDCLASSEXW& wc) { wc.cbClsExtra = -1; }
    HWND Create() { return CreateWindowOf(nullptr, {.text = L"x", .style = WS_OVERLAPPED}); }
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
        return DefWindowProcW(Handle(), msg, wp, lp);
    }
};

class ThrowingWindow : public WindowBase<ThrowingWindow> {
public:
    static constexpr wchar_t kClassName[] = L"TThrowingWindow";
    HWND Create() { return CreateWindowOf(nullptr, {.text = L"x", .style = WS_OVERLAPPED}); }
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_APP)
            throw Error(L"範囲チェックエラー");
        if (msg == WM_APP + 1)
            return 42;
        return DefWindowProcW(Handle(), msg, wp, lp);
    }
};

// Fails while it is being made, at the message chosen.
class HalfMadeWindow : public WindowBase<HalfMadeWindow> {
public:
    static constexpr wchar_t kClassName[] = L"THalfMadeWindow";
    explicit HalfMadeWindow(UINT failAt) : failAt_(failAt) {}
    HWND Create() { return CreateWindowOf(nullptr, {.text = L"半端", .style = WS_OVERLAPPED}); }
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCDESTROY)
            destroyed = true;
        if (msg == failAt_)
            throw Error(L"部品を作れません");
        return msg == WM_CREATE ? 0 : DefWindowProcW(Handle(), msg, wp, lp);
    }
    bool destroyed = false;

private:
    UINT failAt_;
};

struct DialogFailure {
    UINT at;
};

// A dialog that fails at the message chosen: while it is being made, or when the user closes it.
class FailingDialog final : public DialogBase {
public:
    static constexpr wchar_t kTitle[] = L"半端な窓";
    explicit FailingDialog(UINT failAt) : failAt_(failAt) {}
    INT_PTR Show(HWND owner) {
        return ShowModal(owner, kTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME);
    }

private:
    void CreateControls() override {
        if (failAt_ == WM_INITDIALOG)
            throw DialogFailure{WM_INITDIALOG};
        PlaceCentred(200, 100);
    }
    bool HandleMessage(UINT msg, WPARAM, LPARAM) override {
        if (msg == failAt_)
            throw DialogFailure{msg};
        return false;
    }
    UINT failAt_;
};

} // namespace

// No null handle and no exception out of a window procedure: what fails is shown or thrown.
TEST(ErrorDisplay, WindowFailuresSurfaceAsTheError) {
    RefusedWindow refused;
    EXPECT_EQ(ErrorOf([&] { refused.Create(); }), L"ウィンドウクラスを登録できません");
    EXPECT_EQ(refused.Handle(), nullptr);

    ThrowingWindow window;
    HWND hwnd = window.Create();
    ASSERT_EQ(window.Handle(), hwnd);
    EXPECT_EQ(ErrorOf([&] { CreateChild(hwnd, {.className = L"TNoSuchClass", .id = 1}); }),
              L"ウィンドウを作成できません");
    DialogAnswerer answer(L"タブロリン", DialogAction::Press(L"OK"));
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 0);
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).text, L"範囲チェックエラー.");
    EXPECT_EQ(SendMessageW(hwnd, WM_APP + 1, 0, 0), 42) << "the window goes on";
    DestroyWindow(hwnd);
    EXPECT_EQ(window.Handle(), nullptr) << "the owner lets go at WM_NCDESTROY";

    // A failure while the window is being made is the creation's: nothing is shown, no half
    // window is left, and the caller gets the error itself.
    for (UINT failAt : {WM_NCCREATE, WM_CREATE}) {
        SCOPED_TRACE(failAt);
        HalfMadeWindow half(failAt);
        DialogAnswerer shown(L"タブロリン", DialogAction::Press(L"OK"), 1000);
        EXPECT_EQ(ErrorOf([&] { half.Create(); }), L"部品を作れません");
        shown.Join();
        EXPECT_EQ(shown.Answered(), 0u) << "shown instead of thrown";
        EXPECT_EQ(half.Handle(), nullptr);
        EXPECT_FALSE(FindWindowW(HalfMadeWindow::kClassName, nullptr));
        if (failAt == WM_CREATE) {
            EXPECT_TRUE(half.destroyed) << "the window made so far is taken down";
        }
    }
}

// A dialog's failure ends it and reaches whoever showed it as the very exception thrown: nothing
// is shown, the owner is enabled again and no window is left.
TEST(ErrorDisplay, DialogFailureReachesTheCallerItself) {
    // Hidden: the watchers must find no window of ours to read once the dialog is gone.
    HWND owner = CreateWindowExW(0, L"STATIC", L"本体", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(owner);
    for (UINT failAt : {WM_INITDIALOG, WM_CLOSE}) {
        SCOPED_TRACE(failAt);
        std::optional<DialogAnswerer> user;
        if (failAt == WM_CLOSE)
            user.emplace(FailingDialog::kTitle, DialogAction::Close());
        DialogAnswerer shown(L"タブロリン", DialogAction::Press(L"OK"), 1000);
        FailingDialog dialog(failAt);
        UINT thrownAt = 0;
        try {
            dialog.Show(owner);
        } catch (const DialogFailure& e) {
            thrownAt = e.at;
        }
        EXPECT_EQ(thrownAt, failAt);
        if (user) {
            user->Join();
            EXPECT_EQ(user->Answered(), 1u);
            EXPECT_TRUE(user->SeenAt(0).ownerDisabled);
        }
        shown.Join();
        EXPECT_EQ(shown.Answered(), 0u) << "shown instead of thrown";
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_EQ(FindThreadWindow(GetCurrentThreadId(), FailingDialog::kTitle), nullptr);
        EXPECT_EQ(dialog.Handle(), nullptr);
    }
    DestroyWindow(owner);
}

// The box is owned by the program's main window even when the user has turned to another
// program (this thread then has no active window): the main window stays disabled under it.
TEST(ErrorDisplay, OwnedByTheMainWindowWhenAnotherProgramIsInFront) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND main = CreateWindowExW(0, L"STATIC", L"本体", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                200, 100, nullptr, nullptr, instance, nullptr);
    ASSERT_TRUE(main);
    RegisterMainWindow(main);
    std::atomic<HWND> other{nullptr};
    std::atomic<bool> quit{false};
    std::thread program([&] {
        HWND w = CreateWindowExW(0, L"STATIC", L"別のプログラム", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 40, 40, 200, 100, nullptr, nullptr, instance, nullptr);
        SetForegroundWindow(w);
        other = w;
        while (!quit) {
            Pump();
            Sleep(5);
        }
        DestroyWindow(w);
    });
    while (!other) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(5);
    }
    for (int i = 0; i < 300 && GetActiveWindow(); ++i) {
        Pump();
        Sleep(10);
    }
    ASSERT_EQ(GetActiveWindow(), nullptr) << "the other program did not come to the front";
    DialogAnswerer answer(L"タブロリン", DialogAction::Press(L"OK"));
    ShowErrorMessage(L"保存できません");
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).owner, main);
    EXPECT_TRUE(answer.SeenAt(0).ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(main));
    quit = true;
    while (IsWindow(other)) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(5);
    }
    program.join();
    UnregisterMainWindow(main);
    DestroyWindow(main);
}
