// The main window as it opens: controls, places, captions, fonts, initial values, tab order,
// resizing, and the program's resources.
#include "MainWindowTest.h"

#include "AppTitle.h"
#include "Program.h"
#include "resource.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

LOGFONTW FontOf(HWND hwnd) {
    LOGFONTW lf{};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    EXPECT_TRUE(font) << "no font set";
    if (font)
        GetObjectW(font, sizeof(lf), &lf);
    return lf;
}

void ExpectFont(HWND hwnd, int pixels, const char* what) {
    const LOGFONTW lf = FontOf(hwnd);
    EXPECT_STREQ(lf.lfFaceName, L"ＭＳ Ｐゴシック") << what;
    EXPECT_EQ(lf.lfHeight, -pixels) << what;
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET) << what;
}

void ExpectRect(HWND hwnd, int x, int y, int w, int h, const char* what) {
    const RECT r = ChildRect(hwnd);
    EXPECT_EQ(r.left, x) << what;
    EXPECT_EQ(r.top, y) << what;
    EXPECT_EQ(r.right - r.left, w) << what;
    EXPECT_EQ(r.bottom - r.top, h) << what;
}

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    SIZE size{};
    if (!icon || !GetIconInfo(icon, &info))
        return size;
    BITMAP bm{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
    size = {bm.bmWidth, info.hbmColor ? bm.bmHeight : bm.bmHeight / 2};
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

void PressTab(HWND hwnd) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, VK_TAB, 1);
    PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC0000001);
    Pump(hwnd);
}

} // namespace

TEST_F(MainWindowTest, WindowFrameCaptionAndPlace) {
    RECT r;
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, 604);
    EXPECT_EQ(r.bottom - r.top, 450);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 604) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 450) / 2);
    EXPECT_EQ(TextOf(hwnd), L"タブロリン");
    EXPECT_EQ(TextOf(hwnd), kAppTitle);
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME) << "sizeable";
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
    ExpectFont(hwnd, 12, "window");
}

TEST_F(MainWindowTest, PanelControlsAtTheirPlacesWithCaptionsAndFont) {
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(GetParent(form.Panel1), hwnd);
    ExpectRect(form.Panel1, 0, 0, client.right, 73, "Panel1");
    const LONG panelEx = GetWindowLongW(form.Panel1, GWL_EXSTYLE);
    EXPECT_FALSE(panelEx & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE)) << "no bevel";
    EXPECT_FALSE(GetWindowLongW(form.Panel1, GWL_STYLE) & WS_BORDER);

    struct Control {
        HWND hwnd;
        const char* name;
        int x, y, w, h;
        const wchar_t* caption;
    } controls[] = {
        {form.Spin, "Spin", 15, 28, 57, 21, L"3"},
        {form.RadioGroup, "RadioGroup", 150, 21, 128, 44, L"折り返しの種類と配置"},
        {form.Button4, "Button4", 290, 10, 210, 25, L"名前を付けて保存　→　貼り付け開始"},
        {form.Button3, "Button3", 290, 42, 100, 25, L"一覧クリア"},
        {form.Button1, "Button1", 399, 42, 100, 25, L"行クリア"},
        {form.Button2, "Button2", 512, 8, 75, 60, L"バージョン"},
    };
    for (const Control& c : controls) {
        ASSERT_TRUE(IsWindow(c.hwnd)) << c.name;
        EXPECT_EQ(GetParent(c.hwnd), form.Panel1) << c.name;
        EXPECT_TRUE(IsWindowVisible(c.hwnd)) << c.name;
        ExpectRect(c.hwnd, c.x, c.y, c.w, c.h, c.name);
        EXPECT_EQ(TextOf(c.hwnd), c.caption) << c.name;
        ExpectFont(c.hwnd, 12, c.name);
    }
    // The caption "　→　" gaps are ideographic spaces.
    EXPECT_EQ(TextOf(form.Button4).substr(8, 3), std::wstring(L"\u3000\u2192\u3000"));

    EXPECT_EQ(TextOf(form.Label1), L"1頁に貼り付ける画像の数");
    const RECT label = ChildRect(form.Label1);
    EXPECT_EQ(label.left, 8);
    EXPECT_EQ(label.top, 9);
    ExpectFont(form.Label1, 12, "Label1");
    {
        // The label is wide enough for its whole caption.
        WindowDc dc(form.Label1);
        SelectObjectScope select(
            dc.get(), reinterpret_cast<HFONT>(SendMessageW(form.Label1, WM_GETFONT, 0, 0)));
        SIZE size{};
        const std::wstring text = TextOf(form.Label1);
        GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
        EXPECT_GE(label.right - label.left, size.cx);
        EXPECT_LT(label.right, 15 + 57 + 100) << "stays above the spin field's column";
    }
}

TEST_F(MainWindowTest, ListAndStatusBarFillTheRest) {
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(GetParent(form.ListBox), hwnd);
    EXPECT_EQ(GetParent(form.StatusBar), hwnd);
    ExpectRect(form.StatusBar, 0, client.bottom - 23, client.right, 23, "StatusBar");
    ExpectRect(form.ListBox, 0, 73, client.right, client.bottom - 73 - 23, "ListBox");

    const LONG style = GetWindowLongW(form.ListBox, GWL_STYLE);
    EXPECT_FALSE(style & WS_TABSTOP);
    // The horizontal scroll bar comes up once the extent is wider than the list.
    SendMessageW(form.ListBox, LB_SETHORIZONTALEXTENT, 3000, 0);
    SCROLLINFO si{sizeof(si), SIF_RANGE | SIF_PAGE};
    EXPECT_TRUE(GetScrollInfo(form.ListBox, SB_HORZ, &si));
    EXPECT_GE(si.nMax + 1, 3000);
    EXPECT_TRUE(GetWindowLongW(form.ListBox, GWL_STYLE) & WS_HSCROLL);
    SendMessageW(form.ListBox, LB_SETHORIZONTALEXTENT, 0, 0);
    EXPECT_FALSE(style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) << "single selection";
    ExpectFont(form.ListBox, 15, "ListBox");
    EXPECT_EQ(SendMessageW(form.ListBox, LB_GETITEMHEIGHT, 0, 0), 15);
    EXPECT_EQ(SendMessageW(form.ListBox, LB_GETCOUNT, 0, 0), 0);

    EXPECT_TRUE(SendMessageW(form.StatusBar, SB_ISSIMPLE, 0, 0));
    EXPECT_EQ(form.StatusText(), L"0ファイル");
    ExpectFont(form.StatusBar, 12, "StatusBar");
}

TEST_F(MainWindowTest, ResizingKeepsPanelListAndStatusBarInPlace) {
    RECT before;
    GetWindowRect(hwnd, &before);
    SetWindowPos(hwnd, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
    Pump(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    ExpectRect(form.Panel1, 0, 0, client.right, 73, "Panel1");
    ExpectRect(form.StatusBar, 0, client.bottom - 23, client.right, 23, "StatusBar");
    ExpectRect(form.ListBox, 0, 73, client.right, client.bottom - 96, "ListBox");
    ExpectRect(form.Button2, 512, 8, 75, 60, "Button2 keeps its place");
    SetWindowPos(hwnd, nullptr, 0, 0, before.right - before.left, before.bottom - before.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    Pump(hwnd);
}

TEST_F(MainWindowTest, RadioGroupHasTwoColumnsWithTheFirstChosen) {
    const RECT group = ChildRect(form.RadioGroup);
    const wchar_t* captions[2] = {L"前面", L"四角"};
    RECT item[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(IsWindowVisible(form.RadioItems[i]));
        EXPECT_EQ(TextOf(form.RadioItems[i]), captions[i]);
        EXPECT_EQ(GetWindowLongW(form.RadioItems[i], GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
        ExpectFont(form.RadioItems[i], 12, "radio item");
        item[i] = ChildRect(form.RadioItems[i]);
        RECT inside;
        EXPECT_TRUE(IntersectRect(&inside, &item[i], &group) && EqualRect(&inside, &item[i]))
            << "item " << i << " lies inside the group box";
        EXPECT_GT(item[i].top, group.top + 10) << "below the caption";
    }
    EXPECT_EQ(item[0].top, item[1].top) << "one row";
    EXPECT_GE(item[1].left, item[0].right) << "two columns";
    EXPECT_EQ(item[0].right - item[0].left, item[1].right - item[1].left);

    EXPECT_EQ(SendMessageW(form.RadioItems[0], BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(form.RadioItems[1], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(form.WrapChoice(), Wrap::InFront);

    SendMessageW(form.RadioItems[1], BM_CLICK, 0, 0);
    Pump(hwnd);
    EXPECT_EQ(form.WrapChoice(), Wrap::Square);
    EXPECT_EQ(SendMessageW(form.RadioItems[0], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(form.RadioItems[0], BM_CLICK, 0, 0);
    Pump(hwnd);
    EXPECT_EQ(form.WrapChoice(), Wrap::InFront);
}

TEST_F(MainWindowTest, TabGoesSpinButton3Button4Button1RadioGroupButton2) {
    SetFocus(form.Spin);
    Pump(hwnd);
    ASSERT_EQ(GetFocus(), form.Spin);
    const std::vector<HWND> expected = {form.Button3,       form.Button4, form.Button1,
                                        form.RadioItems[0], form.Button2, form.Spin};
    for (HWND next : expected) {
        PressTab(hwnd);
        EXPECT_EQ(GetFocus(), next) << "after Tab";
    }
    // Tab enters the radio group at the chosen item.
    SendMessageW(form.RadioItems[1], BM_CLICK, 0, 0);
    SetFocus(form.Button1);
    PressTab(hwnd);
    EXPECT_EQ(GetFocus(), form.RadioItems[1]);
    PressTab(hwnd);
    EXPECT_EQ(GetFocus(), form.Button2);
    SendMessageW(form.RadioItems[0], BM_CLICK, 0, 0);
    Pump(hwnd);
}

TEST_F(MainWindowTest, SaveDialogPreparedForTheDesktop) {
    // The shell's own answer for the desktop folder, asked another way.
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
    EXPECT_EQ(lstrcmpiW(form.DesktopPath, desktop), 0)
        << std::wstring(form.DesktopPath) << " vs " << desktop;
    EXPECT_EQ(sizeof(form.DesktopPath) / sizeof(form.DesktopPath[0]), 261u);
    EXPECT_EQ(form.SaveDialog.InitialDir, form.DesktopPath);
    EXPECT_EQ(form.SaveDialog.Title, L"画像を添付するワードファイルの名前");
    EXPECT_EQ(form.SaveDialog.DefaultExt, L"doc");
    EXPECT_EQ(form.SaveDialog.Options, static_cast<DWORD>(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY |
                                                          OFN_NOCHANGEDIR | OFN_ENABLESIZING));
    // The stand-in reports a version after 12 by default.
    EXPECT_EQ(form.SaveDialog.Filter, L"Word 文書（*.docx）|*.docx");
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(form.Files.DragIndex, -1);
}

TEST_F(MainWindowTest, SaveDialogOpensWithTitleAndTheDesktopFolder) {
    // Run it over the window as the build will, and cancel.
    DialogAnswerer answer(L"画像を添付するワードファイルの名前", DialogAction::Esc());
    EXPECT_FALSE(form.SaveDialog.Execute(hwnd));
    answer.Join();
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_TRUE(answer.SeenAt(0).ownerDisabled);
}

TEST(ProgramResources, IconsAtBothSizes) {
    const HINSTANCE self = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDI_MAINICON), RT_GROUP_ICON);
    ASSERT_TRUE(group);
    auto* dir = static_cast<BYTE*>(LockResource(LoadResource(self, group)));
    ASSERT_TRUE(dir);
    for (int size : {32, 16}) {
        const int id = LookupIconIdFromDirectoryEx(dir, TRUE, size, size, LR_DEFAULTCOLOR);
        ASSERT_NE(id, 0) << size;
        HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(id), RT_ICON);
        ASSERT_TRUE(res);
        HICON icon = CreateIconFromResourceEx(
            static_cast<BYTE*>(LockResource(LoadResource(self, res))), SizeofResource(self, res),
            TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
        const SIZE s = IconSize(icon);
        EXPECT_EQ(s.cx, size);
        EXPECT_EQ(s.cy, size);
        DestroyIcon(icon);
    }
}

TEST_F(MainWindowTest, WindowClassCarriesTheProgramIcon) {
    const SIZE big = IconSize(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICON)));
    EXPECT_EQ(big.cx, 32);
    EXPECT_EQ(big.cy, 32);
    const SIZE small = IconSize(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICONSM)));
    EXPECT_EQ(small.cx, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(small.cy, GetSystemMetrics(SM_CYSMICON));
}

TEST(ProgramResources, VersionSaysOnePointZeroThree) {
    const HINSTANCE self = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_TRUE(res);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(self, res)));
    const DWORD size = SizeofResource(self, res);
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (DWORD i = 0; i + sizeof(VS_FIXEDFILEINFO) <= size; i += 4)
        if (reinterpret_cast<const VS_FIXEDFILEINFO*>(data + i)->dwSignature == 0xFEEF04BD) {
            fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + i);
            break;
        }
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00030000u);
    const std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    EXPECT_NE(text.find(L"FileVersion"), std::wstring::npos);
    EXPECT_NE(text.find(std::wstring(L"1.03") + L'\0'), std::wstring::npos);
}

TEST(ProgramResources, ManifestAsksForCommonControlsSixAndNotForDpiAwareness) {
    const HINSTANCE self = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(res);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(self, res))),
                               SizeofResource(self, res));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    // Sizes are pixels at any resolution: nothing may declare the program DPI-aware.
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
    EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);

    // And the process really runs with version 6 of the common controls.
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    ASSERT_TRUE(comctl);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(comctl, path, MAX_PATH);
    CharLowerW(path);
    auto get = reinterpret_cast<HRESULT(CALLBACK*)(DLLVERSIONINFO*)>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
    ASSERT_TRUE(get);
    DLLVERSIONINFO info{sizeof(info)};
    ASSERT_EQ(get(&info), S_OK);
    // (Wine's side-by-side copy still reports 5 as its version.)
    EXPECT_TRUE(info.dwMajorVersion >= 6 ||
                std::wstring(path).find(L"common-controls_6595b64144ccf1df_6.") !=
                    std::wstring::npos)
        << "loaded: " << path;
}

TEST(MainWindowFocus, OpensInTheSpinFieldAndComesBackToTheLastControl) {
    StubSession stub;
    TfrmMain form;
    HWND hwnd = form.Create(GetModuleHandleW(nullptr));
    ASSERT_TRUE(hwnd);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
    Pump(hwnd);
    EXPECT_EQ(GetFocus(), form.Spin);
    DWORD start = 0, end = 0;
    SendMessageW(form.Spin, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 1u) << "the whole text selected";

    SetFocus(form.Button3);
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetActiveWindow(other);
    Pump(hwnd);
    EXPECT_NE(GetFocus(), form.Button3);
    SetActiveWindow(hwnd);
    Pump(hwnd);
    EXPECT_EQ(GetFocus(), form.Button3);
    DestroyWindow(other);
    DestroyWindow(hwnd);
    Pump(nullptr);
}

namespace {

// What the list saw of its window when it was destroyed.
struct AtListDestroy {
    TfrmMain* form = nullptr;
    DWORD listFont = 0;   // object type of the list's font
    DWORD windowFont = 0; // object type of the font the main window answers with
    HWND handle = nullptr;
};

LRESULT CALLBACK WatchListDestroy(HWND list, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                  DWORD_PTR ref) {
    if (msg == WM_DESTROY) {
        auto* seen = reinterpret_cast<AtListDestroy*>(ref);
        auto typeOfFont = [](HWND hwnd) {
            return GetObjectType(reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
        };
        seen->listFont = typeOfFont(list);
        seen->windowFont = typeOfFont(GetParent(list));
        seen->handle = seen->form->Handle();
    }
    return DefSubclassProc(list, msg, wp, lp);
}

} // namespace

namespace {

// Shows `made` each window of one class made on this thread while it lives, before the window's
// first message; an answer of true refuses the window, as the system does when it runs out of
// resources.
class ClassHook {
public:
    ClassHook(const wchar_t* className, bool (*made)(HWND)) {
        className_ = className;
        made_ = made;
        calls = 0;
        hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ClassHook(const ClassHook&) = delete;
    ClassHook& operator=(const ClassHook&) = delete;
    ~ClassHook() {
        if (hook_)
            UnhookWindowsHookEx(hook_);
    }
    bool ok() const { return hook_ != nullptr; }
    static inline int calls = 0;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_CREATEWND) {
            // The window's own class name: a system class may be given by its atom.
            wchar_t name[64] = {};
            GetClassNameW(reinterpret_cast<HWND>(wp), name, 64);
            if (CompareStringOrdinal(name, -1, className_, -1, TRUE) == CSTR_EQUAL) {
                ++calls;
                if (made_(reinterpret_cast<HWND>(wp)))
                    return 1;
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static inline const wchar_t* className_ = nullptr;
    static inline bool (*made_)(HWND) = nullptr;
    HHOOK hook_ = nullptr;
};

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (std::wstring(name) == TfrmMain::kClassName)
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

} // namespace

// A control that cannot be made: the error is shown, the program ends with 1 and leaves no
// window; Word is not asked anything.
TEST(MainWindowStart, AControlThatCannotBeMadeEndsTheProgram) {
    StubSession stub;
    // The status bar is made last: every other control exists by then.
    ClassHook refuse(STATUSCLASSNAMEW, [](HWND) { return true; });
    ASSERT_TRUE(refuse.ok());
    DialogAnswerer answer(kAppTitle, DialogAction::Press(L"OK"));
    // Should a window open after all, it is closed so that its message loop ends.
    const DWORD self = GetCurrentThreadId();
    std::atomic<bool> returned{false};
    std::thread closer([&] {
        while (!returned) {
            if (HWND opened = FindWindowW(TfrmMain::kClassName, nullptr);
                opened && GetWindowThreadProcessId(opened, nullptr) == self &&
                IsWindowVisible(opened))
                PostMessageW(opened, WM_CLOSE, 0, 0);
            Sleep(50);
        }
    });
    const int exitCode = RunProgram(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    returned = true;
    closer.join();
    answer.Join();
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(ClassHook::calls, 1);
    ASSERT_EQ(answer.Answered(), 1u);
    EXPECT_EQ(answer.SeenAt(0).text, L"ウィンドウを作成できません.");
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), FindMainWindow, reinterpret_cast<LPARAM>(&found));
    EXPECT_FALSE(found) << "a half-made main window was left";
    EXPECT_TRUE(stub.Journal().empty()) << "the start-up went on to ask Word";
}

// Closing the window: the messages of its teardown still find the window's fonts and handle. A
// subclass of the list made before the window's own sees them as well as one made after it.
TEST(MainWindowTeardown, ControlsAreDestroyedWhileTheWindowsMembersLive) {
    StubSession stub;
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "list subclassed as it is made" : "list subclassed afterwards");
        auto form = std::make_unique<TfrmMain>();
        static AtListDestroy seen;
        seen = {form.get()};
        auto watch = [](HWND list) { // true where it failed, which refuses the list
            return !SetWindowSubclass(list, WatchListDestroy, 1,
                                      reinterpret_cast<DWORD_PTR>(&seen));
        };
        const ClassHook asMade(earlier ? L"LISTBOX" : L"", watch);
        ASSERT_TRUE(asMade.ok());
        HWND hwnd = form->Create(GetModuleHandleW(nullptr));
        ASSERT_TRUE(hwnd);
        ASSERT_EQ(ClassHook::calls, earlier ? 1 : 0);
        if (!earlier) {
            ASSERT_FALSE(watch(form->ListBox));
        }
        form.reset();
        Pump(nullptr);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(seen.listFont, static_cast<DWORD>(OBJ_FONT));
        EXPECT_EQ(seen.windowFont, static_cast<DWORD>(OBJ_FONT));
        EXPECT_EQ(seen.handle, hwnd);
    }
}
