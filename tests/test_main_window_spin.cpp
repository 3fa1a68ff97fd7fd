// The pictures-per-page field as the user works it: typing, arrow keys, the spin buttons with
// their repeat, selection on entry and the clamp when the focus leaves.
#include "MainWindowTest.h"

#include <vector>

namespace {

class SpinTest : public MainWindowTest {
protected:
    void SetText(const wchar_t* text) {
        SetFocus(form.Spin);
        SetWindowTextW(form.Spin, text);
        SendMessageW(form.Spin, EM_SETSEL, 0, -1);
    }
    void Type(const std::wstring& chars) {
        for (wchar_t c : chars)
            SendMessageW(form.Spin, WM_CHAR, c, 1);
    }
    void Key(UINT vk) {
        // Through the loop, as the program gets its keys.
        PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1);
        PostMessageW(GetFocus(), WM_KEYUP, vk, 0xC0000001);
        Pump(hwnd);
    }
    std::wstring Text() const { return TextOf(form.Spin); }
    void LeaveField() {
        SetFocus(form.Button1);
        Pump(hwnd);
    }
    // A point in the upper (+1) or lower (-1) spin button, in its client coordinates.
    LPARAM ButtonPoint(int direction) const {
        RECT rc;
        GetClientRect(form.SpinButtons, &rc);
        return MAKELPARAM(rc.right / 2, direction > 0 ? rc.bottom / 4 : rc.bottom * 3 / 4);
    }
    void ClickButton(int direction) {
        SendMessageW(form.SpinButtons, WM_LBUTTONDOWN, MK_LBUTTON, ButtonPoint(direction));
        SendMessageW(form.SpinButtons, WM_LBUTTONUP, 0, ButtonPoint(direction));
        Pump(hwnd);
    }
    std::pair<int, int> Selection() const {
        DWORD start = 0, end = 0;
        SendMessageW(form.Spin, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return {static_cast<int>(start), static_cast<int>(end)};
    }
    void TearDown() override {
        SendMessageW(form.SpinButtons, WM_LBUTTONUP, 0, 0);
        SetText(L"3");
        LeaveField();
    }
};

} // namespace

TEST_F(SpinTest, StartsAtThreeWithButtonsInsideTheField) {
    EXPECT_EQ(Text(), L"3");
    EXPECT_EQ(form.SpinValue(), 3);
    EXPECT_EQ(GetParent(form.SpinButtons), form.Spin);
    EXPECT_TRUE(IsWindowVisible(form.SpinButtons));
    RECT field, buttons;
    GetClientRect(form.Spin, &field);
    GetWindowRect(form.SpinButtons, &buttons);
    MapWindowPoints(HWND_DESKTOP, form.Spin, reinterpret_cast<POINT*>(&buttons), 2);
    EXPECT_EQ(buttons.right, field.right) << "at the right edge";
    EXPECT_EQ(buttons.bottom - buttons.top, field.bottom);
    EXPECT_EQ(SendMessageW(form.Spin, EM_GETLIMITTEXT, 0, 0), 2);
}

TEST_F(SpinTest, OnlyDigitsSignsAndTheDecimalSeparatorCanBeTyped) {
    SetText(L"");
    Type(L"a x\r５");
    EXPECT_EQ(Text(), L"") << "letters, space, Enter and wide digits are refused";
    Type(L"7");
    EXPECT_EQ(Text(), L"7");
    SetText(L"");
    Type(L"-");
    EXPECT_EQ(Text(), L"-");
    SetText(L"");
    Type(L"+5");
    EXPECT_EQ(Text(), L"+5");
    EXPECT_EQ(form.SpinValue(), 5);
    SetText(L"");
    wchar_t separator[4] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
    Type(std::wstring(1, separator[0]));
    EXPECT_EQ(Text(), std::wstring(1, separator[0]));
    EXPECT_EQ(form.SpinValue(), 1) << "not an integer";
    // Control characters still work: Backspace deletes.
    SetText(L"");
    Type(L"4");
    Type(L"\b");
    EXPECT_EQ(Text(), L"");
    // At most two characters.
    Type(L"123");
    EXPECT_EQ(Text(), L"12");
}

TEST_F(SpinTest, EnterDoesNotLeaveTheFieldOrPressAnything) {
    SetText(L"4");
    Key(VK_RETURN);
    EXPECT_EQ(GetFocus(), form.Spin);
    EXPECT_EQ(Text(), L"4");
}

TEST_F(SpinTest, PastingIsNotFiltered) {
    ASSERT_TRUE(OpenClipboard(hwnd));
    EmptyClipboard();
    const wchar_t text[] = L"ab";
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof(text));
    memcpy(GlobalLock(mem), text, sizeof(text));
    GlobalUnlock(mem);
    SetClipboardData(CF_UNICODETEXT, mem);
    CloseClipboard();
    SetText(L"");
    Type(L"\x16"); // Ctrl+V
    EXPECT_EQ(Text(), L"ab");
    EXPECT_EQ(form.SpinValue(), 1);
}

TEST_F(SpinTest, ArrowKeysAndSpinButtonsStepWithinOneToTen) {
    // Out-of-range text steps from its value and is clamped; text that is no number reads as 1.
    const struct {
        const wchar_t* from;
        int direction;
        const wchar_t* to;
    } cases[] = {
        {L"3", +1, L"4"}, {L"3", -1, L"2"},  {L"10", +1, L"10"}, {L"1", -1, L"1"},
        {L"0", +1, L"1"}, {L"0", -1, L"1"},  {L"99", -1, L"10"}, {L"99", +1, L"10"},
        {L"-", +1, L"2"}, {L"05", +1, L"6"},
    };
    for (const bool byKey : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << (byKey ? "arrow key" : "spin button") << " from "
                         << testing::PrintToString(std::wstring(c.from)) << " by " << c.direction);
            SetText(c.from);
            if (byKey)
                Key(c.direction > 0 ? VK_UP : VK_DOWN);
            else
                ClickButton(c.direction);
            EXPECT_EQ(Text(), c.to);
            EXPECT_EQ(GetFocus(), form.Spin);
        }
    // A spin button takes the focus from wherever it was.
    SetText(L"5");
    LeaveField();
    ClickButton(+1);
    EXPECT_EQ(Text(), L"6");
    EXPECT_EQ(GetFocus(), form.Spin);
}

TEST_F(SpinTest, HeldButtonRepeatsAfter400ThenEvery100Ms) {
    SetText(L"1");
    std::vector<DWORD> steps; // times of the value changes
    const DWORD start = GetTickCount();
    SendMessageW(form.SpinButtons, WM_LBUTTONDOWN, MK_LBUTTON, ButtonPoint(+1));
    ASSERT_EQ(Text(), L"2") << "the press steps at once";
    std::wstring last = Text();
    while (GetTickCount() - start < 1600 && steps.size() < 5) {
        Pump(hwnd, 5);
        if (Text() != last) {
            steps.push_back(GetTickCount() - start);
            last = Text();
        }
    }
    SendMessageW(form.SpinButtons, WM_LBUTTONUP, 0, ButtonPoint(+1));
    ASSERT_GE(steps.size(), 3u) << "the held button repeats";
    // A busy machine can only delay a timer tick, and the next one then comes sooner: so no
    // step may come before its time on the schedule, and on average they keep its pace.
    for (size_t i = 0; i < steps.size(); ++i)
        EXPECT_GE(steps[i], 385u + 100u * i) << "step " << i;
    EXPECT_LT(steps[0], 700u) << "first repeat";
    EXPECT_LT((steps.back() - steps[0]) / (steps.size() - 1), 200u) << "repeat pace";
    // Released: no more steps.
    const std::wstring released = Text();
    Pump(hwnd, 300);
    EXPECT_EQ(Text(), released);
}

TEST_F(SpinTest, RepeatPausesWhileThePointerIsOffTheButton) {
    SetText(L"10");
    SendMessageW(form.SpinButtons, WM_LBUTTONDOWN, MK_LBUTTON, ButtonPoint(-1));
    ASSERT_EQ(Text(), L"9");
    // The pointer moves onto the other button, then off the control altogether.
    SendMessageW(form.SpinButtons, WM_MOUSEMOVE, MK_LBUTTON, ButtonPoint(+1));
    Pump(hwnd, 250);
    SendMessageW(form.SpinButtons, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 200));
    Pump(hwnd, 450);
    EXPECT_EQ(Text(), L"9");
    // Back on the held button: repeating goes on.
    SendMessageW(form.SpinButtons, WM_MOUSEMOVE, MK_LBUTTON, ButtonPoint(-1));
    Pump(hwnd, 350);
    SendMessageW(form.SpinButtons, WM_LBUTTONUP, 0, ButtonPoint(-1));
    EXPECT_LT(form.SpinValue(), 9);
}

TEST_F(SpinTest, EnteringByKeyboardSelectsAllButAMousePressDoesNot) {
    SetText(L"7");
    LeaveField();
    SetFocus(form.Spin);
    Pump(hwnd);
    EXPECT_EQ(Selection(), std::make_pair(0, 1));

    LeaveField();
    SendMessageW(form.Spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 8));
    SendMessageW(form.Spin, WM_LBUTTONUP, 0, MAKELPARAM(30, 8));
    Pump(hwnd);
    EXPECT_EQ(GetFocus(), form.Spin);
    const auto sel = Selection();
    EXPECT_EQ(sel.first, sel.second) << "a press only places the caret";

    // Tab into the field from the control before it in the cycle.
    SetFocus(form.Button2);
    Key(VK_TAB);
    ASSERT_EQ(GetFocus(), form.Spin);
    EXPECT_EQ(Selection(), std::make_pair(0, 1));
}

TEST_F(SpinTest, LeavingTheFieldClampsToTheNearestBound) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* after;
        int value;
    } cases[] = {
        {L"0", L"1", 1}, {L"99", L"10", 10}, {L"-5", L"1", 1},  {L"11", L"10", 10}, {L"-", L"-", 1},
        {L"", L"", 1},   {L"05", L"05", 5},  {L"+7", L"+7", 7}, {L"10", L"10", 10}, {L"1", L"1", 1},
    };
    for (const Case& c : cases) {
        SetText(L"");
        Type(c.typed);
        EXPECT_EQ(Text(), c.typed);
        LeaveField();
        EXPECT_EQ(Text(), c.after) << "typed " << c.typed;
        EXPECT_EQ(form.SpinValue(), c.value) << "typed " << c.typed;
    }
}

TEST_F(SpinTest, PressingAButtonAfterTypingZeroOrNinetyNine) {
    for (const auto& [typed, after] : {std::pair{L"0", L"1"}, std::pair{L"99", L"10"}}) {
        SetText(L"");
        Type(typed);
        // The press on "行クリア" takes the focus, so the field is mended before any click
        // handler could read it. The button is let go off itself: no handler runs here.
        RECT rc;
        GetClientRect(form.Button1, &rc);
        SendMessageW(form.Button1, WM_LBUTTONDOWN, MK_LBUTTON,
                     MAKELPARAM(rc.right / 2, rc.bottom / 2));
        EXPECT_EQ(GetFocus(), form.Button1);
        EXPECT_EQ(Text(), after) << "typed " << typed;
        EXPECT_EQ(form.SpinValue(), after == std::wstring(L"1") ? 1 : 10);
        SendMessageW(form.Button1, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(rc.right + 50, 0));
        SendMessageW(form.Button1, WM_LBUTTONUP, 0, MAKELPARAM(rc.right + 50, 0));
        Pump(hwnd);
        EXPECT_EQ(Text(), after) << "typed " << typed;
    }
}

// The field repaints itself when the focus comes and goes; the buttons inside it must stay drawn.
TEST_F(SpinTest, ButtonsStayDrawnWhenTheFocusComesAndGoes) {
    auto faceShare = [&] {
        Pump(hwnd, 100);
        // What the window shows at the buttons' place (read back from the window's own surface).
        RECT rc;
        GetClientRect(form.SpinButtons, &rc);
        const WindowDc dc(form.SpinButtons);
        const COLORREF face = GetSysColor(COLOR_BTNFACE) & 0xFFFFFF;
        int faces = 0, all = 0;
        for (int y = 2; y < rc.bottom - 2; ++y)
            for (int x = 2; x < rc.right - 2; ++x, ++all)
                faces += (GetPixel(dc.get(), x, y) & 0xFFFFFF) == face;
        return all ? faces * 100 / all : 0;
    };
    SetForegroundWindow(hwnd);
    SetFocus(form.Spin);
    EXPECT_GT(faceShare(), 40) << "focused";
    LeaveField();
    EXPECT_GT(faceShare(), 40) << "after the focus left";
    SetFocus(form.Spin);
    SendMessageW(form.Spin, WM_CHAR, L'5', 1);
    EXPECT_GT(faceShare(), 40) << "after typing";
}
