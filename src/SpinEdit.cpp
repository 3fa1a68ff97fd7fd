#include "SpinEdit.h"

#include <windowsx.h>

#include <climits>
#include <string>

namespace {

wchar_t DecimalSeparator() {
    wchar_t buf[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) > 1)
        return buf[0];
    return L'.';
}

// Whether a typed character may enter the field.
bool IsValidChar(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return true;
    if (c == L'+' || c == L'-' || c == DecimalSeparator())
        return true;
    return c < 0x20 && c != L'\r';
}

// Strict integer reading: optional leading blanks, optional sign, decimal digits, in range.
bool ParseInteger(const std::wstring& text, int& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == L' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    if (i == text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        v = v * 10 + (text[i] - L'0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > INT_MAX || v < INT_MIN)
        return false;
    value = static_cast<int>(v);
    return true;
}

// Messages after which the edit control may have painted (on WM_PAINT or straight through its
// DC while typing, selecting or changing focus).
bool PaintsField(UINT msg) {
    switch (msg) {
    case WM_PAINT:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_SETSEL:
    case EM_REPLACESEL:
        return true;
    default:
        return false;
    }
}

} // namespace

void TSpinEdit::Create(HWND parent, RECT rect, int id, int minValue, int maxValue, int maxLength) {
    min_ = minValue;
    max_ = maxValue;
    edit_ = CreateChild(parent, {.className = L"EDIT",
                                 .style = WS_TABSTOP | WS_GROUP | WS_CLIPCHILDREN | ES_AUTOHSCROLL,
                                 .rect = rect,
                                 .id = id,
                                 .exStyle = WS_EX_CLIENTEDGE});
    SendMessageW(edit_, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    CreateWindowOf(edit_, {.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS});
    Subclass<&TSpinEdit::EditMessage>(edit_);
    Reposition();
}

void TSpinEdit::Reposition() {
    RECT client;
    GetClientRect(edit_, &client);
    MoveWindow(Handle(), client.right - kButtonWidth, 0, kButtonWidth, client.bottom, TRUE);
    // Keep typed text clear of the buttons.
    SendMessageW(edit_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, kButtonWidth + 1));
}

int TSpinEdit::Clamp(int value) const noexcept {
    return value < min_ ? min_ : value > max_ ? max_ : value;
}

int TSpinEdit::Value() const {
    const int len = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    GetWindowTextW(edit_, text.data(), len + 1);
    text.resize(static_cast<size_t>(len));
    int value = 0;
    return ParseInteger(text, value) ? value : min_;
}

void TSpinEdit::SetValue(int value) {
    SetWindowTextW(edit_, std::to_wstring(Clamp(value)).c_str());
}

LRESULT TSpinEdit::EditMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CHAR && !IsValidChar(static_cast<wchar_t>(wp))) {
        MessageBeep(0);
        return 0;
    }
    if (msg == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN)) {
        Step(wp == VK_UP ? 1 : -1);
        return 0;
    }
    if (msg == WM_LBUTTONDOWN)
        mousePress_ = true;
    LRESULT r = CallOriginal(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_GETDLGCODE: {
        // Enter reaches the field (which refuses it) instead of the window's dialog keys.
        const MSG* m = reinterpret_cast<const MSG*>(lp);
        if (m && (m->message == WM_KEYDOWN || m->message == WM_CHAR) && m->wParam == VK_RETURN)
            r |= DLGC_WANTMESSAGE;
        break;
    }
    case WM_LBUTTONDOWN:
        mousePress_ = false;
        break;
    case WM_SETFOCUS:
        if (!mousePress_)
            SendMessageW(hwnd, EM_SETSEL, 0, -1);
        break;
    case WM_KILLFOCUS: {
        const int value = Value();
        if (Clamp(value) != value)
            SetValue(value);
        break;
    }
    case WM_SIZE:
        Reposition();
        break;
    default:
        break;
    }
    // The edit control paints with its parent's clipping (CS_PARENTDC), over the buttons inside
    // it: draw them again whenever the field may have painted.
    if (PaintsField(msg) && Handle())
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return r;
}

LRESULT TSpinEdit::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        ButtonMouseDown(pt);
        return 0;
    case WM_MOUSEMOVE:
        ButtonMouseMove(pt);
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        ButtonMouseUp();
        return 0;
    case WM_TIMER:
        if (wp == kRepeatTimer)
            ButtonTimer();
        return 0;
    case WM_PAINT:
        ButtonPaint();
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    default:
        return DefWindowProcW(Handle(), msg, wp, lp);
    }
}

RECT TSpinEdit::HalfRect(int direction) const {
    RECT rc;
    GetClientRect(Handle(), &rc);
    const int middle = rc.bottom / 2;
    if (direction > 0)
        rc.bottom = middle;
    else
        rc.top = middle;
    return rc;
}

void TSpinEdit::ButtonMouseDown(POINT pt) {
    // The field takes the focus first, as a click on it would.
    if (GetFocus() != edit_ && IsWindowEnabled(edit_))
        SetFocus(edit_);
    const RECT up = HalfRect(1);
    pressed_ = PtInRect(&up, pt) ? 1 : -1;
    pointerOn_ = true;
    SetCapture(Handle());
    InvalidateRect(Handle(), nullptr, FALSE);
    SetTimer(Handle(), kRepeatTimer, kInitialRepeatPause, nullptr);
    Step(pressed_);
}

void TSpinEdit::ButtonMouseMove(POINT pt) {
    if (!pressed_)
        return;
    const RECT half = HalfRect(pressed_);
    const bool on = PtInRect(&half, pt) != FALSE;
    if (on != pointerOn_) {
        pointerOn_ = on;
        InvalidateRect(Handle(), nullptr, FALSE);
    }
}

void TSpinEdit::ButtonMouseUp() {
    if (!pressed_)
        return;
    pressed_ = 0;
    pointerOn_ = false;
    KillTimer(Handle(), kRepeatTimer);
    if (GetCapture() == Handle())
        ReleaseCapture();
    InvalidateRect(Handle(), nullptr, FALSE);
}

void TSpinEdit::ButtonTimer() {
    if (!pressed_) {
        KillTimer(Handle(), kRepeatTimer);
        return;
    }
    SetTimer(Handle(), kRepeatTimer, kRepeatPause, nullptr);
    if (pointerOn_)
        Step(pressed_);
}

void TSpinEdit::ButtonPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Handle(), &ps);
    for (int direction : {1, -1}) {
        RECT half = HalfRect(direction);
        UINT state = direction > 0 ? DFCS_SCROLLUP : DFCS_SCROLLDOWN;
        if (pressed_ == direction && pointerOn_)
            state |= DFCS_PUSHED;
        DrawFrameControl(dc, &half, DFC_SCROLL, state);
    }
    EndPaint(Handle(), &ps);
}
