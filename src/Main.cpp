#include "Main.h"

#include "AppTitle.h"
#include "DialogOwner.h"
#include "ErrorDisplay.h"
#include "FileIdentity.h"
#include "MessageDialog.h"
#include "UiFont.h"
#include "WordProbe.h"
#include "about.h"
#include "resource.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>

namespace {

constexpr int kFormWidth = 604;
constexpr int kFormHeight = 450;
constexpr int kPanelHeight = 73;
constexpr int kStatusHeight = 23;
constexpr wchar_t kPanelClass[] = L"TPanel";
constexpr wchar_t kAddFilesFirst[] = L"一覧にファイルを追加して下さい。";

enum ControlId : int {
    idLabel1 = 100,
    idSpin,
    idSpinButtons,
    idRadioGroup,
    idRadio0,
    idRadio1,
    idButton4,
    idButton3,
    idButton1,
    idButton2,
    idListBox,
    idStatusBar,
};

// The top panel only hosts controls; their notifications go to the main window, and they take
// its font.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_GETFONT:
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetParent(hwnd), msg, wp, lp);
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// A confirmation: true when the user pressed OK.
bool Confirmed(const wchar_t* question) {
    return MessageDialog(question, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbOKCancel) ==
           TModalResult::mrOk;
}

// Word has kept one call waiting for a while: the user chooses between waiting on and giving the
// call up. Asked inside COM's wait, where nothing may throw: a question that cannot be shown is a
// キャンセル.
automation::WaitAnswer AskWhetherToWaitForWord() noexcept {
    try {
        return Confirmed(L"Ｗｏｒｄから応答がありません。待ち続けますか？")
                   ? automation::WaitAnswer::KeepWaiting
                   : automation::WaitAnswer::Cancel;
    } catch (...) {
        return automation::WaitAnswer::Cancel;
    }
}

} // namespace

TfrmMain::~TfrmMain() {
    // The window goes before the members: its teardown messages still use the fonts, the spin
    // field and the drag state, and find the window's handle where they expect it.
    if (HWND hwnd = hwnd_.get())
        DestroyWindow(hwnd);
}

void TfrmMain::DescribeClass(WNDCLASSEXW& wc) {
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_MAINICON));
    wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(IDI_MAINICON),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

HWND TfrmMain::Create(HINSTANCE instance) {
    RegisterWindowClass(instance, kPanelClass, PanelProc);
    SaveDialog.Title = L"画像を添付するワードファイルの名前";
    SaveDialog.Filter = L"Word 文書（*.doc）|*.doc";
    SaveDialog.DefaultExt = L"doc";

    // Centred on the screen; sizes are pixels whatever the display's resolution.
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kFormWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kFormHeight) / 2;
    return CreateWindowOf(nullptr,
                          {.text = kAppTitle,
                           .style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           .rect = Bounds(x, y, kFormWidth, kFormHeight)},
                          instance);
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = hwnd_.get();
    switch (msg) {
    case WM_NCCREATE:
        RegisterMainWindow(hwnd);
        // Calls to Word that take long are the user's to give up, with the main window as owner.
        previousQuestion_ = automation::SetWaitQuestion(&AskWhetherToWaitForWord);
        return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_CREATE:
        CreateControls();
        RunHandler([&] { FormCreate(); });
        return 0;
    case WM_SIZE:
        LayoutControls();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_.get());
    case WM_ACTIVATE:
        // Like a dialog: the focus leaves with the window and comes back to the same control,
        // the first in the tab order (the spin field) when the window opens.
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus))
                lastFocus_ = focus;
        } else if (!HIWORD(wp)) {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_COMMAND:
        if (lp)
            OnCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_SETCURSOR:
        // Children pass this up first, so one answer here covers the whole window.
        if (screenCursor_) {
            SetCursor(screenCursor_);
            return TRUE;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_DROPFILES:
        // A window that has not (yet) agreed to take drops only lets go of the handle.
        if (!(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)) {
            DragFinish(reinterpret_cast<HDROP>(wp));
            return 0;
        }
        RunHandler([&] { WMDropFiles(reinterpret_cast<HDROP>(wp)); });
        return 0;
    case WM_DESTROY:
        UnregisterMainWindow(hwnd);
        if (EndsProgram)
            PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        // Also the last message of a window whose creation failed, which may get no WM_DESTROY.
        UnregisterMainWindow(hwnd);
        automation::SetWaitQuestion(previousQuestion_);
        return DefWindowProcW(hwnd, msg, wp, lp);
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT TfrmMain::ListBoxMessage(HWND list, UINT msg, WPARAM wp, LPARAM lp) {
    bool usedByDrag = false;
    RunHandler([&] { usedByDrag = Files.DragMessage(msg, wp, lp, *this); });
    if (usedByDrag)
        return 0;
    // The list selects the entry first, as it does for a user; then the handler runs. The second
    // press of a double-click is a press too: a quick click and drag still moves.
    const LRESULT r = CallOriginal(list, msg, wp, lp);
    if (IsPress(msg))
        ListBoxMouseDown(ButtonOf(msg), static_cast<UINT>(wp), GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
    return r;
}

void TfrmMain::RestoreFocus() {
    HWND target = lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : Spin;
    if (target && IsWindowVisible(target) && IsWindowEnabled(target))
        SetFocus(target);
}

void TfrmMain::OnCommand(HWND control, int code) {
    if (code != BN_CLICKED)
        return;
    if (control == RadioItems[0] || control == RadioItems[1])
        RadioGroupClick(control == RadioItems[1] ? 1 : 0);
    else if (control == Button4)
        RunHandler([&] { Button4Click(); });
    else if (control == Button3)
        RunHandler([&] { Button3Click(); });
    else if (control == Button1)
        RunHandler([&] { Button1Click(); });
    else if (control == Button2)
        RunHandler([&] { Button2Click(); });
}

void TfrmMain::CreateControls() {
    HWND hwnd = hwnd_.get();
    font_ = CreateUiFont(12);
    listFont_ = CreateUiFont(15);

    // Panel, list and status bar take their places in LayoutControls.
    Panel1 = CreateChild(
        hwnd, {.className = kPanelClass, .style = WS_CLIPSIBLINGS, .exStyle = WS_EX_CONTROLPARENT});
    // Creation order is the tab order: Spin, Button3, Button4, Button1, RadioGroup, Button2.
    const wchar_t* labelText = L"1頁に貼り付ける画像の数";
    const SIZE labelSize = TextSize(font_.get(), labelText);
    Label1 = CreateChild(Panel1, {.className = L"STATIC",
                                  .text = labelText,
                                  .style = SS_LEFT | SS_NOPREFIX,
                                  .rect = Bounds(8, 9, labelSize.cx, labelSize.cy),
                                  .id = idLabel1});
    spin_.Create(Panel1, Bounds(15, 28, 57, 21), idSpin, 1, 10, 2);
    Spin = spin_.Edit();
    SpinButtons = spin_.Buttons();
    auto button = [&](const wchar_t* text, RECT rect, int id) {
        return CreateChild(Panel1, {.className = L"BUTTON",
                                    .text = text,
                                    .style = WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON,
                                    .rect = rect,
                                    .id = id});
    };
    Button3 = button(L"一覧クリア", Bounds(290, 42, 100, 25), idButton3);
    Button4 = button(L"名前を付けて保存　→　貼り付け開始", Bounds(290, 10, 210, 25), idButton4);
    Button1 = button(L"行クリア", Bounds(399, 42, 100, 25), idButton1);
    CreateRadioGroup();
    Button2 = button(L"バージョン", Bounds(512, 8, 75, 60), idButton2);

    ListBox = Files.Create(hwnd, idListBox, listFont_.get());
    Subclass<&TfrmMain::ListBoxMessage>(ListBox);

    constexpr DWORD kStatus = SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
    StatusBar =
        CreateChild(hwnd, {.className = STATUSCLASSNAMEW, .style = kStatus, .id = idStatusBar});
    SendMessageW(StatusBar, SB_SIMPLE, TRUE, 0);
    LayoutControls();
}

void TfrmMain::LayoutControls() {
    RECT rc;
    GetClientRect(hwnd_.get(), &rc);
    MoveWindow(Panel1, 0, 0, rc.right, kPanelHeight, TRUE);
    MoveWindow(StatusBar, 0, rc.bottom - kStatusHeight, rc.right, kStatusHeight, TRUE);
    MoveWindow(ListBox, 0, kPanelHeight, rc.right, rc.bottom - kPanelHeight - kStatusHeight, TRUE);
}

void TfrmMain::CreateRadioGroup() {
    constexpr int left = 150, top = 21, width = 128, height = 44, columns = 2;
    RadioGroup = CreateChild(Panel1, {.className = L"BUTTON",
                                      .text = L"折り返しの種類と配置",
                                      .style = BS_GROUPBOX,
                                      .rect = Bounds(left, top, width, height),
                                      .id = idRadioGroup});
    // Items in columns under the caption, one row.
    const int fontHeight = TextSize(font_.get(), L"").cy;
    const int itemWidth = (width - 10) / columns;
    const int itemHeight = height - fontHeight - 5;
    const int itemTop = top + fontHeight + 1;
    const wchar_t* captions[2] = {L"前面", L"四角"};
    for (int i = 0; i < 2; ++i)
        RadioItems[i] = CreateChild(
            Panel1, {.className = L"BUTTON",
                     .text = captions[i],
                     .style = static_cast<DWORD>(BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0)),
                     .rect = Bounds(left + 8 + i * itemWidth, itemTop, itemWidth, itemHeight),
                     .id = i == 0 ? idRadio0 : idRadio1});
    SendMessageW(RadioItems[0], BM_SETCHECK, BST_CHECKED, 0);
    RadioGroupClick(0);
}

void TfrmMain::RadioGroupClick(int index) {
    // Only the chosen item is a tab stop, so Tab enters the group at the choice.
    for (int i = 0; i < 2; ++i) {
        const LONG style = GetWindowLongW(RadioItems[i], GWL_STYLE);
        SetWindowLongW(RadioItems[i], GWL_STYLE,
                       i == index ? style | WS_TABSTOP : style & ~static_cast<LONG>(WS_TABSTOP));
    }
}

void TfrmMain::FormCreate() {
    SetSpinValue(3);
    UpdateStatusText();
    // The desktop, left empty when the shell cannot tell: the save dialog then opens in its own
    // default folder.
    LPITEMIDLIST raw = nullptr;
    SHGetSpecialFolderLocation(hwnd_.get(), CSIDL_DESKTOP, &raw);
    const UniqueCoTaskMem pidl(raw);
    if (!raw || !SHGetPathFromIDListW(raw, DesktopPath))
        DesktopPath[0] = L'\0';
    SaveDialog.InitialDir = DesktopPath;
    if (WordWritesDocx())
        SaveDialog.Filter = L"Word 文書（*.docx）|*.docx";
    DragAcceptFiles(hwnd_.get(), TRUE);
}

std::wstring TfrmMain::StatusText() const {
    // In simple mode the status bar answers for part 0 with the simple text.
    const LRESULT len = LOWORD(SendMessageW(StatusBar, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(len));
    return text;
}

void TfrmMain::UpdateStatusText() {
    const std::wstring text = std::to_wstring(Files.Count()) + L"ファイル";
    SendMessageW(StatusBar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void TfrmMain::WMDropFiles(HDROP drop) {
    if (Files.AddDropped(drop))
        UpdateStatusText();
    if (Files.Count() > 0)
        Files.UpdateHorizontalExtent();
}

// A warning about the list; the user goes on in the list.
void TfrmMain::Warn(const wchar_t* text) {
    MessageDialog(text, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    SetFocus(ListBox);
}

void TfrmMain::Button1Click() {
    if (Files.Count() == 0)
        return Warn(kAddFilesFirst);
    const int selected = Files.Selected();
    if (selected == -1)
        return Warn(L"クリアする行を選択して下さい。");
    if (!Confirmed(L"行をクリアします。よろしいですか？"))
        return;
    Files.Delete(selected);
    UpdateStatusText();
}

void TfrmMain::Button2Click() {
    TAboutBox::Execute(Handle());
}

void TfrmMain::Button3Click() {
    if (!Confirmed(L"一覧をクリアします。よろしいですか？"))
        return;
    Files.Clear();
    UpdateStatusText();
    Files.UpdateHorizontalExtent();
}

// The hourglass over the whole window while Word works; afterwards each window's own cursor,
// chosen now by the window under the pointer rather than at the next mouse move.
class TfrmMain::Hourglass {
public:
    explicit Hourglass(TfrmMain& form) : form_(form) {
        form_.screenCursor_ = LoadCursorW(nullptr, IDC_WAIT);
        SetCursor(form_.screenCursor_);
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;
    ~Hourglass() {
        form_.screenCursor_ = nullptr;
        POINT point;
        HWND under = GetCursorPos(&point) ? WindowFromPoint(point) : nullptr;
        if (under && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId()) {
            const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
            SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                         MAKELPARAM(LOWORD(hit), WM_MOUSEMOVE));
        } else {
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        }
    }

private:
    TfrmMain& form_;
};

void TfrmMain::Button4Click() {
    // Word's calls let messages through; a click that arrives during a build is not a new build.
    if (Building())
        return;
    if (Files.Count() == 0)
        return Warn(kAddFilesFirst);
    if (!SaveDialog.Execute(Handle())) {
        SetFocus(ListBox);
        return;
    }
    const BuildRequest request{Files.Entries(), SpinValue(), WrapChoice(), SaveDialog.FileName};
    // Word would save the document over one of the pictures it has just embedded.
    if (SameFileAsAny(request.outputPath, request.entries)) {
        // The next dialog must not offer the refused name again.
        SaveDialog.FileName.clear();
        return Warn(L"一覧にあるファイルには保存できません。別の名前を指定して下さい。");
    }
    {
        const Hourglass hourglass(*this);
        BuildDocument(request);
    }
    MessageDialog(L"Ｗｏｒｄファイルを出力しました。", TMsgDlgType::mtInformation,
                  TMsgDlgButtons::mbOK);
}
