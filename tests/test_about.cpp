// The version window: layout, content, the ways to close it, the owner kept disabled, release.
#include "DialogAnswerer.h"
#include "Error.h"
#include "ErrorText.h"
#include "ErrorDisplay.h"
#include "JpegPicture.h"
#include "MessagePump.h"
#include "OpenMainWindow.h"
#include "Main.h"
#include "about.h"
#include "WindowText.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::wstring kTitle = L"バージョン情報";

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

BOOL CALLBACK CollectAboutWindow(HWND hwnd, LPARAM lp) {
    if (ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == kTitle)
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

// Version windows of this thread, shown or not.
std::vector<HWND> AboutWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectAboutWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void ExpectRect(HWND child, int x, int y, int w, int h) {
    const RECT rc = ChildRect(child);
    EXPECT_EQ(rc.left, x) << TextOf(child);
    EXPECT_EQ(rc.top, y) << TextOf(child);
    EXPECT_EQ(rc.right - rc.left, w) << TextOf(child);
    EXPECT_EQ(rc.bottom - rc.top, h) << TextOf(child);
}

LOGFONTW FontOf(HWND hwnd) {
    LOGFONTW lf{};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    EXPECT_NE(font, nullptr);
    if (font)
        GetObjectW(font, sizeof(lf), &lf);
    return lf;
}

void ExpectFont(HWND hwnd, const wchar_t* face, int pixels) {
    const LOGFONTW lf = FontOf(hwnd);
    EXPECT_STREQ(lf.lfFaceName, face);
    EXPECT_EQ(lf.lfHeight, -pixels);
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
}

// Runs `inspect` on this thread once the modal version window is up, then presses "OK".
class ModalInspector {
public:
    explicit ModalInspector(std::function<void(HWND)> inspect) : inspect_(std::move(inspect)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 20, &ModalInspector::Tick);
    }
    ~ModalInspector() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool Ran() const { return ran_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        ModalInspector* self = current_;
        if (!self || self->ran_)
            return;
        HWND box = FindThreadWindow(GetCurrentThreadId(), kTitle);
        if (!box)
            return;
        self->ran_ = true;
        self->inspect_(box);
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }

    static inline ModalInspector* current_ = nullptr;
    std::function<void(HWND)> inspect_;
    UINT_PTR timer_ = 0;
    bool ran_ = false;
};

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        form_ = OpenMainWindow();
        owner_ = form_->Handle();
    }
    void TearDown() override { Pump(); }

    // Opens the window and answers it with the action; returns what Execute returned.
    int OpenAndAnswer(const DialogAction& action, DialogSeen* seen = nullptr) {
        DialogAnswerer answer(kTitle, action);
        const int result = TAboutBox::Execute(owner_);
        answer.Join();
        EXPECT_EQ(answer.Answered(), 1u);
        if (seen)
            *seen = answer.SeenAt(0);
        return result;
    }

    std::unique_ptr<TfrmMain> form_;
    HWND owner_ = nullptr;
};

// Mean absolute difference per channel between the shown bitmap and the picture sampled at the
// same relative spots.
double DifferenceFromPicture(HBITMAP shown, const JpegImage& picture) {
    DIBSECTION dib{};
    if (GetObjectW(shown, sizeof(dib), &dib) != sizeof(dib) || !dib.dsBm.bmBits)
        return 1e9;
    const int w = dib.dsBm.bmWidth, h = dib.dsBm.bmHeight;
    double total = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int row = dib.dsBmih.biHeight > 0 ? h - 1 - y : y;
            const auto* p = static_cast<const std::uint8_t*>(dib.dsBm.bmBits) +
                            static_cast<size_t>(row) * dib.dsBm.bmWidthBytes + x * 3;
            const int sx = (2 * x + 1) * picture.width / (2 * w);
            const int sy = (2 * y + 1) * picture.height / (2 * h);
            const auto* q = picture.rgb.data() + (static_cast<size_t>(sy) * picture.width + sx) * 3;
            total += std::abs(p[2] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[0] - q[2]);
        }
    return total / (3.0 * w * h);
}

COLORREF PixelOf(HDC dc, int x, int y) {
    return GetPixel(dc, x, y) & 0xFFFFFF;
}

} // namespace

TEST_F(AboutBoxTest, LayoutCaptionsAndFonts) {
    ModalInspector inspector([&](HWND box) {
        EXPECT_EQ(ClassOf(box), L"#32770") << "a dialog";
        EXPECT_EQ(GetWindow(box, GW_OWNER), owner_);
        EXPECT_FALSE(IsWindowEnabled(owner_));

        // Fixed dialog frame with a close box only, client 329 × 199, centred on the screen.
        const LONG style = GetWindowLongW(box, GWL_STYLE);
        const LONG exStyle = GetWindowLongW(box, GWL_EXSTYLE);
        EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD));
        EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
        RECT client, outer;
        GetClientRect(box, &client);
        GetWindowRect(box, &outer);
        EXPECT_EQ(client.right, 329);
        EXPECT_EQ(client.bottom, 199);
        EXPECT_NEAR((outer.left + outer.right) / 2.0, GetSystemMetrics(SM_CXSCREEN) / 2.0, 1.0);
        EXPECT_NEAR((outer.top + outer.bottom) / 2.0, GetSystemMetrics(SM_CYSCREEN) / 2.0, 1.0);
        ExpectFont(box, L"ＭＳ Ｐゴシック", 12);

        // Children by their places: the panel and the button on the window, the rest in the panel.
        HWND ok = GetDlgItem(box, IDOK);
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(TextOf(ok), L"OK");
        ExpectRect(ok, 131, 167, 69, 23);
        EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        ExpectFont(ok, L"ＭＳ Ｐゴシック", 12);
        EXPECT_EQ(GetFocus(), ok);

        HWND panel = GetWindow(ok, GW_HWNDFIRST);
        while (panel && (panel == ok || !GetWindow(panel, GW_CHILD)))
            panel = GetWindow(panel, GW_HWNDNEXT);
        ASSERT_NE(panel, nullptr);
        ExpectRect(panel, 7, 7, 314, 148);

        HWND icon = nullptr, product = nullptr, version = nullptr;
        for (HWND c = GetWindow(panel, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
                icon = c;
            else if (TextOf(c) == L"タブロリン")
                product = c;
            else if (TextOf(c) == L"バージョン Ver 1.03")
                version = c;
        }
        ASSERT_NE(icon, nullptr);
        ASSERT_NE(product, nullptr);
        ASSERT_NE(version, nullptr);

        ExpectRect(icon, 7, 7, 66, 58);
        HBITMAP shown =
            reinterpret_cast<HBITMAP>(SendMessageW(icon, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP bm{};
        ASSERT_TRUE(shown && GetObjectW(shown, sizeof(bm), &bm));
        EXPECT_EQ(bm.bmWidth, 66);
        EXPECT_EQ(bm.bmHeight, 58);
        const JpegImage picture =
            DecodeJpeg(LoadResourceBytes(GetModuleHandleW(nullptr), IDR_ABOUTPICTURE));
        EXPECT_LT(DifferenceFromPicture(shown, picture), 20.0);

        // Labels sit at their places and are wide enough for their text.
        for (auto [label, y, face, px] : {std::tuple{product, 15, L"HGP創英角ﾎﾟｯﾌﾟ体", 16},
                                          std::tuple{version, 45, L"HGP創英角ﾎﾟｯﾌﾟ体", 12}}) {
            const RECT rc = ChildRect(label);
            EXPECT_EQ(rc.left, 81);
            EXPECT_EQ(rc.top, y);
            ExpectFont(label, face, px);
            const std::wstring text = TextOf(label);
            const SIZE extent = TextExtentInWindowFont(label, text);
            EXPECT_GE(rc.right - rc.left, extent.cx) << text;
            EXPECT_GE(rc.bottom - rc.top, extent.cy) << text;
        }
    });
    EXPECT_EQ(TAboutBox::Execute(owner_), IDOK);
    EXPECT_TRUE(inspector.Ran());
    EXPECT_TRUE(IsWindowEnabled(owner_));
}

TEST_F(AboutBoxTest, PanelHasLoweredOuterAndRaisedInnerBevel) {
    ModalInspector inspector([&](HWND box) {
        HWND panel = ChildWindowFromPointEx(box, POINT{10, 10}, CWP_ALL);
        ASSERT_NE(panel, box);
        RECT rc;
        GetClientRect(panel, &rc);
        const WindowDc screen(nullptr);
        const UniqueMemDc memory(CreateCompatibleDC(screen.get()));
        const UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), rc.right, rc.bottom));
        const SelectObjectScope selected(memory.get(), bitmap.get());
        const HDC dc = memory.get();
        SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        const int r = rc.right - 1, b = rc.bottom - 1;
        const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
        const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
        EXPECT_EQ(PixelOf(dc, 50, 0), shadow);     // outer, top: lowered
        EXPECT_EQ(PixelOf(dc, 0, 50), shadow);     // outer, left
        EXPECT_EQ(PixelOf(dc, 50, b), light);      // outer, bottom
        EXPECT_EQ(PixelOf(dc, r, 50), light);      // outer, right
        EXPECT_EQ(PixelOf(dc, 50, 1), light);      // inner, top: raised
        EXPECT_EQ(PixelOf(dc, 50, b - 1), shadow); // inner, bottom
        EXPECT_EQ(PixelOf(dc, r / 2, b / 2), GetSysColor(COLOR_BTNFACE));
    });
    TAboutBox::Execute(owner_);
    EXPECT_TRUE(inspector.Ran());
}

TEST_F(AboutBoxTest, OkEnterAndCloseBoxEachCloseItWithOwnerDisabledMeanwhile) {
    const std::pair<DialogAction, int> ways[] = {
        {DialogAction::Press(L"OK"), IDOK},
        {DialogAction::Return(), IDOK},
        {DialogAction::Close(), IDCANCEL},
    };
    for (const auto& [action, expected] : ways) {
        DialogSeen seen;
        EXPECT_EQ(OpenAndAnswer(action, &seen), expected);
        EXPECT_TRUE(seen.ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(owner_));
        EXPECT_EQ(GetActiveWindow(), owner_); // the activation went back to the owner
        EXPECT_EQ(seen.text, L"タブロリン\nバージョン Ver 1.03");
        EXPECT_EQ(seen.buttons, std::vector<std::wstring>{L"OK"});
    }
}

TEST_F(AboutBoxTest, EscapeLeavesItOpen) {
    DialogAnswerer answer({{kTitle, DialogAction::Esc()}, {kTitle, DialogAction::Press(L"OK")}},
                          1500);
    EXPECT_EQ(TAboutBox::Execute(owner_), IDOK);
    answer.Join();
    EXPECT_EQ(answer.Answered(), 2u);
}

TEST_F(AboutBoxTest, EachOpeningIsAFreshWindowShowingTheSameAndIsReleasedAfter) {
    DialogSeen first, second;
    OpenAndAnswer(DialogAction::Press(L"OK"), &first);
    EXPECT_TRUE(AboutWindows().empty()) << "gone by the time Execute returns";

    OpenAndAnswer(DialogAction::Return(), &second);
    EXPECT_TRUE(AboutWindows().empty());
    EXPECT_EQ(second.text, first.text);
    EXPECT_EQ(second.buttons, first.buttons);
    EXPECT_EQ(second.style, first.style);
    EXPECT_TRUE(EqualRect(&second.rect, &first.rect));
}

// The program quitting under the window ends it as the close box would; the quit goes on to the
// program's own loop.
namespace {
// A timer procedure is called by Windows, so it has Windows' calling convention (a lambda has not).
void CALLBACK QuitOnceTheBoxShows(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = FindThreadWindow(GetCurrentThreadId(), kTitle); box && IsWindowVisible(box))
        PostQuitMessage(7);
}
} // namespace

TEST_F(AboutBoxTest, QuitWhileOpenEndsItAsCancelAndKeepsTheQuit) {
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, QuitOnceTheBoxShows);
    const int result = TAboutBox::Execute(owner_);
    KillTimer(nullptr, timer);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    EXPECT_TRUE(AboutWindows().empty());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(AboutBoxTest, ButtonOnTheMainWindowOpensIt) {
    DialogAnswerer answer(kTitle, DialogAction::Press(L"OK"));
    SendMessageW(form_->Button2, BM_CLICK, 0, 0);
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_TRUE(answer.SeenAt(0).ownerDisabled);
    EXPECT_EQ(answer.SeenAt(0).text, L"タブロリン\nバージョン Ver 1.03");
    EXPECT_TRUE(IsWindowEnabled(owner_));
    Pump();
    EXPECT_TRUE(AboutWindows().empty());
}

TEST_F(AboutBoxTest, DamagedPictureIsAnErrorAndLeavesNothingBehind) {
    const std::vector<std::uint8_t> damaged = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'};
    // The decoder's own error, not one about the window.
    const std::wstring decoderError = ErrorOf([&] { DecodeJpeg(damaged); });
    ASSERT_FALSE(decoderError.empty());
    EXPECT_EQ(ErrorOf([&] { TAboutBox::Execute(owner_, damaged); }), decoderError);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    EXPECT_EQ(FindThreadWindow(GetCurrentThreadId(), kTitle), nullptr);
    Pump();
    EXPECT_TRUE(AboutWindows().empty());

    // At a handler's boundary the error reaches the error display, titled like the main window.
    ShowWindow(owner_, SW_HIDE);
    DialogAnswerer answer(L"タブロリン", DialogAction::Press(L"OK"));
    RunHandler([&] { TAboutBox::Execute(owner_, damaged); });
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).text.rfind(L"画像を読み込めません: ", 0), 0u)
        << answer.SeenAt(0).text;
}
