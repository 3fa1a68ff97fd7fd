#include "about.h"

#include "Error.h"
#include "JpegPicture.h"
#include "UiFont.h"
#include "WindowBase.h"
#include "resource.h"

namespace {

constexpr wchar_t kPanelClass[] = L"TAboutPanel";
constexpr int kPictureWidth = 66;
constexpr int kPictureHeight = 58;

enum ControlId : int { idPanel1 = 100, idProgramIcon, idProductName, idVersion };

UniqueFont MakeFont(const wchar_t* face, int height) {
    UniqueFont font = CreateUiFont(height, face);
    if (!font)
        throw Error(L"フォントを作成できません");
    return font;
}

// The panel: window-coloured, with a lowered outer and a raised inner bevel, the same on the
// screen and in a copy (WM_PRINTCLIENT). Its controls take the window's font.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_GETFONT)
        return SendMessageW(GetParent(hwnd), msg, wp, lp);
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
    TAboutBox box(picture);
    box.ShowModal(owner, L"バージョン情報", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                  WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    return box.ModalResult ? box.ModalResult : IDCANCEL; // 0: quitting, or the owner went
}

void TAboutBox::CreateControls() {
    RegisterWindowClass(GetModuleHandleW(nullptr), kPanelClass, PanelProc);
    productFont_ = MakeFont(L"HGP創英角ﾎﾟｯﾌﾟ体", 16);
    versionFont_ = MakeFont(L"HGP創英角ﾎﾟｯﾌﾟ体", 12);
    PlaceCentred(329, 199);
    HWND hwnd = Handle();

    Panel1 = CreateChild(
        hwnd, {.className = kPanelClass, .rect = Bounds(7, 7, 314, 148), .id = idPanel1});
    ProgramIcon = CreateChild(Panel1, {.className = L"STATIC",
                                       .style = SS_BITMAP,
                                       .rect = Bounds(7, 7, kPictureWidth, kPictureHeight),
                                       .id = idProgramIcon});
    ProductName = CreateChild(Panel1, {.className = L"STATIC",
                                       .style = SS_LEFT | SS_NOPREFIX,
                                       .rect = Bounds(81, 15, 0, 0),
                                       .id = idProductName,
                                       .font = productFont_.get()});
    SetLabelText(ProductName, L"タブロリン");
    Version = CreateChild(Panel1, {.className = L"STATIC",
                                   .style = SS_LEFT | SS_NOPREFIX,
                                   .rect = Bounds(81, 45, 0, 0),
                                   .id = idVersion,
                                   .font = versionFont_.get()});
    OKButton = CreateChild(hwnd, {.className = L"BUTTON",
                                  .text = L"OK",
                                  .style = WS_TABSTOP | BS_DEFPUSHBUTTON,
                                  .rect = Bounds(131, 167, 69, 23),
                                  .id = IDOK});

    picture_ = MakeStretchedBitmap(DecodeJpeg(pictureBytes_), kPictureWidth, kPictureHeight);
    SendMessageW(ProgramIcon, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.get()));
    SendMessageW(hwnd, DM_SETDEFID, IDOK, 0);
    SetFocus(OKButton);
    SetLabelText(Version, kVersionText);
}

bool TAboutBox::HandleMessage(UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_COMMAND: // Esc's IDCANCEL leaves the window open
        if (LOWORD(wp) == IDOK && HIWORD(wp) == BN_CLICKED)
            OKButtonClick();
        return true;
    case WM_CLOSE:
        FormClose();
        return true;
    default:
        return false;
    }
}
