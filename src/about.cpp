// The version window.
#include "about.h"

#include "Error.h"
#include "ErrorDisplay.h"
#include "JpegPicture.h"
#include "UiFont.h"
#include "resource.h"

namespace {

constexpr wchar_t kPanelClass[] = L"TAboutPanel";
constexpr int kClientWidth = 329;
constexpr int kClientHeight = 199;
constexpr int kPictureWidth = 66;
constexpr int kPictureHeight = 58;
// Posted to the window by Release; destroys it once the current message is done.
constexpr UINT kReleaseMessage = WM_APP + 1;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

enum ControlId : int { idPanel1 = 100, idProgramIcon, idProductName, idVersion };

UniqueFont MakeFont(const wchar_t* face, int height) {
    UniqueFont font = CreateUiFont(height, face);
    if (!font)
        throw Error(L"フォントを作成できません");
    return font;
}

// The panel: window-coloured, with a lowered outer and a raised inner bevel, the same on the
// screen and in a copy (WM_PRINTCLIENT).
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg != WM_PAINT && msg != WM_PRINTCLIENT)
        return DefWindowProcW(hwnd, msg, wp, lp);
    PAINTSTRUCT ps{};
    HDC dc = msg == WM_PAINT ? BeginPaint(hwnd, &ps) : reinterpret_cast<HDC>(wp);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &rc, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
    if (msg == WM_PAINT)
        EndPaint(hwnd, &ps);
    return 0;
}

// Sets a label's text and fits the label to it.
void SetLabelText(HWND label, const wchar_t* text) {
    SetWindowTextW(label, text);
    const SIZE size =
        TextSize(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), text);
    SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

int TAboutBox::Execute(HWND owner) {
    return Execute(owner, LoadResourceBytes(GetModuleHandleW(nullptr), IDR_ABOUTPICTURE));
}

int TAboutBox::Execute(HWND owner, std::span<const std::uint8_t> picture) {
    Holder box = Create(owner, picture);
    SetLabelText(box->Version, kVersionText);
    return box->ShowModal();
}

TAboutBox::Holder TAboutBox::Create(HWND owner, std::span<const std::uint8_t> picture) {
    RegisterWindowClass(GetModuleHandleW(nullptr), kPanelClass, PanelProc);
    Holder box(new TAboutBox);
    RECT rc{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    box->CreateWindowOf(owner, {nullptr, L"バージョン情報", kStyle, Bounds(x, y, width, height), 0,
                                nullptr, kExStyle});
    box->CreateControls(picture);
    return box;
}

void TAboutBox::CreateControls(std::span<const std::uint8_t> picture) {
    font_ = MakeFont(L"ＭＳ Ｐゴシック", 12);
    productFont_ = MakeFont(L"HGP創英角ﾎﾟｯﾌﾟ体", 16);
    versionFont_ = MakeFont(L"HGP創英角ﾎﾟｯﾌﾟ体", 12);
    HWND hwnd = Handle();
    HFONT font = font_.get();

    Panel1 = CreateChild(hwnd, {kPanelClass, L"", 0, Bounds(7, 7, 314, 148), idPanel1, font});
    ProgramIcon =
        CreateChild(Panel1, {L"STATIC", L"", SS_BITMAP, Bounds(7, 7, kPictureWidth, kPictureHeight),
                             idProgramIcon, font});
    ProductName = CreateChild(Panel1, {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, Bounds(81, 15, 0, 0),
                                       idProductName, productFont_.get()});
    SetLabelText(ProductName, L"タブロリン");
    Version = CreateChild(Panel1, {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, Bounds(81, 45, 0, 0),
                                   idVersion, versionFont_.get()});
    OKButton = CreateChild(hwnd, {L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON,
                                  Bounds(131, 167, 69, 23), IDOK, font});

    picture_ = MakeStretchedBitmap(DecodeJpeg(picture), kPictureWidth, kPictureHeight);
    SendMessageW(ProgramIcon, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.get()));
}

int TAboutBox::ShowModal() {
    // An enabled owner is disabled meanwhile. Nothing here throws: window procedures keep their
    // exceptions, so the owner is enabled again on every way out.
    HWND owner = GetWindow(Handle(), GW_OWNER);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    ModalResult = 0;
    ShowWindow(Handle(), SW_SHOWNORMAL);
    SetFocus(OKButton);
    MSG msg;
    while (ModalResult == 0 && Handle()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) { // the program is quitting: leave the quit for the outer loop
            PostQuitMessage(static_cast<int>(msg.wParam));
            ModalResult = IDCANCEL;
        } else if (got == -1) {
            ModalResult = IDCANCEL;
        } else if (!IsDialogMessageW(Handle(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner is enabled before the window hides, so the activation goes back to it.
    if (disableOwner)
        EnableWindow(owner, TRUE);
    if (!Handle()) // destroyed with its owner
        return ModalResult ? ModalResult : IDCANCEL;
    ShowWindow(Handle(), SW_HIDE);
    return ModalResult;
}

void TAboutBox::Release() noexcept {
    if (!Handle()) {
        delete this;
        return;
    }
    releasePending_ = true;
    if (!PostMessageW(Handle(), kReleaseMessage, 0, 0))
        DestroyWindow(Handle()); // the object goes in WM_NCDESTROY
}

void TAboutBox::OnFinalMessage() noexcept {
    if (releasePending_)
        delete this;
}

LRESULT TAboutBox::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK && HIWORD(wp) == BN_CLICKED)
            OKButtonClick();
        return 0;
    case WM_GETFONT: // the window's own font, which its controls use too
        return reinterpret_cast<LRESULT>(font_.get());
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && OKButton)
            SetFocus(OKButton);
        return 0;
    case WM_CLOSE:
        FormClose();
        return 0;
    case kReleaseMessage:
        DestroyWindow(Handle());
        return 0;
    default:
        return DefWindowProcW(Handle(), msg, wp, lp);
    }
}
