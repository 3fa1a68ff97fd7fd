// The version window.
#include "about.h"

#include "Error.h"
#include "ErrorDisplay.h"
#include "JpegPicture.h"
#include "Main.h"
#include "resource.h"

#include <utility>

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

HFONT MakeFont(const wchar_t* face, int height) {
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font)
        throw Error(L"フォントを作成できません");
    return font;
}

HWND MakeChild(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
               int w, int h, int id, HFONT font) {
    HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
    if (!child)
        throw Error(L"ウィンドウを作成できません");
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// The panel: window-coloured, with a lowered outer and a raised inner bevel.
void PaintPanel(HWND hwnd, HDC dc) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    DrawEdge(dc, &rc, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintPanel(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        HDC dc = reinterpret_cast<HDC>(wp);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        PaintPanel(hwnd, dc);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void RegisterClasses(HINSTANCE instance, WNDPROC boxProc) {
    WNDCLASSEXW wc{sizeof(wc)};
    if (GetClassInfoExW(instance, TAboutBox::kClassName, &wc))
        return;
    wc = {sizeof(wc)};
    wc.lpfnWndProc = boxProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = TAboutBox::kClassName;
    WNDCLASSEXW panel = wc;
    panel.lpfnWndProc = PanelProc;
    panel.lpszClassName = kPanelClass;
    if (!RegisterClassExW(&panel) || !RegisterClassExW(&wc))
        throw Error(L"ウィンドウクラスを登録できません");
}

// Re-enables the owner when the modal run ends, however it ends.
class OwnerDisabled {
public:
    explicit OwnerDisabled(HWND owner) noexcept
        : owner_(owner && IsWindowEnabled(owner) ? owner : nullptr) {
        if (owner_)
            EnableWindow(owner_, FALSE);
    }
    OwnerDisabled(const OwnerDisabled&) = delete;
    OwnerDisabled& operator=(const OwnerDisabled&) = delete;
    ~OwnerDisabled() { Restore(); }
    void Restore() noexcept {
        if (owner_)
            EnableWindow(std::exchange(owner_, nullptr), TRUE);
    }

private:
    HWND owner_;
};

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
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClasses(instance, &TAboutBox::WndProc);
    Holder box(new TAboutBox);
    RECT rc{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (!CreateWindowExW(kExStyle, kClassName, L"バージョン情報", kStyle, x, y, width, height,
                         owner, nullptr, instance, box.get()))
        throw Error(L"ウィンドウを作成できません");
    box->CreateControls(picture);
    return box;
}

void TAboutBox::CreateControls(std::span<const std::uint8_t> picture) {
    font_.reset(MakeFont(L"ＭＳ Ｐゴシック", 12));
    productFont_.reset(MakeFont(L"HGP創英角ﾎﾟｯﾌﾟ体", 16));
    versionFont_.reset(MakeFont(L"HGP創英角ﾎﾟｯﾌﾟ体", 12));

    Panel1 = MakeChild(hwnd_, kPanelClass, L"", 0, 7, 7, 314, 148, idPanel1, font_.get());
    ProgramIcon = MakeChild(Panel1, L"STATIC", L"", SS_BITMAP, 7, 7, kPictureWidth, kPictureHeight,
                            idProgramIcon, font_.get());
    ProductName = MakeChild(Panel1, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 81, 15, 0, 0,
                            idProductName, productFont_.get());
    SetLabelText(ProductName, L"タブロリン");
    Version = MakeChild(Panel1, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 81, 45, 0, 0, idVersion,
                        versionFont_.get());
    OKButton = MakeChild(hwnd_, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 131, 167, 69, 23,
                         IDOK, font_.get());

    picture_ = MakeStretchedBitmap(DecodeJpeg(picture), kPictureWidth, kPictureHeight);
    SendMessageW(ProgramIcon, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.get()));
}

void TAboutBox::SetLabelText(HWND label, const wchar_t* text) {
    SetWindowTextW(label, text);
    WindowDc dc(label);
    SelectObjectScope select(dc.get(),
                             reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text, lstrlenW(text), &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.get(), &tm);
    SetWindowPos(label, nullptr, 0, 0, size.cx, tm.tmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TAboutBox::ShowModal() {
    OwnerDisabled disabled(GetWindow(hwnd_, GW_OWNER));
    ModalResult = 0;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(OKButton);
    MSG msg;
    while (ModalResult == 0 && hwnd_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) { // the program is quitting: leave the quit for the outer loop
            PostQuitMessage(static_cast<int>(msg.wParam));
            ModalResult = IDCANCEL;
        } else if (got == -1) {
            ModalResult = IDCANCEL;
        } else if (!IsDialogMessageW(hwnd_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (!hwnd_) // destroyed with its owner
        return ModalResult ? ModalResult : IDCANCEL;
    // The owner is enabled before the window hides, so the activation goes back to it.
    disabled.Restore();
    ShowWindow(hwnd_, SW_HIDE);
    return ModalResult;
}

void TAboutBox::Release() noexcept {
    if (!hwnd_) {
        delete this;
        return;
    }
    releasePending_ = true;
    if (!PostMessageW(hwnd_, kReleaseMessage, 0, 0))
        DestroyWindow(hwnd_); // the object goes in WM_NCDESTROY
}

void TAboutBox::OKButtonClick() {
    ModalResult = IDOK;
}

void TAboutBox::FormClose() {
    ModalResult = IDCANCEL;
}

LRESULT CALLBACK TAboutBox::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    TAboutBox* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<TAboutBox*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<TAboutBox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    try {
        result = self->HandleMessage(msg, wp, lp);
    } catch (...) {
        ShowCurrentException();
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        if (self->releasePending_)
            delete self;
    }
    return result;
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
        DestroyWindow(hwnd_);
        return 0;
    default:
        return DefWindowProcW(hwnd_, msg, wp, lp);
    }
}

void TfrmMain::Button2Click() {
    TAboutBox::Execute(hwnd_.get());
}
