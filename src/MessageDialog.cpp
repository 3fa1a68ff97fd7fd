#include "MessageDialog.h"

#include "DialogBase.h"
#include "DialogOwner.h"
#include "Error.h"
#include "Handles.h"
#include "WindowBase.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kGap = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;

// Title and icon of each dialog type, in the order of TMsgDlgType.
const struct {
    const wchar_t* title;
    const wchar_t* icon;
} kTypes[] = {{L"警告", IDI_WARNING}, {L"情報", IDI_INFORMATION}, {L"確認", IDI_QUESTION}};

class MessageForm final : public DialogBase {
public:
    MessageForm(const std::wstring& message, TMsgDlgType type, bool hasCancel)
        : message_(message), type_(type), hasCancel_(hasCancel) {}

    TModalResult Execute() {
        switch (ShowModal(DialogOwner(), kTypes[static_cast<int>(type_)].title,
                          DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                          WS_EX_DLGMODALFRAME)) {
        case IDOK:
            return TModalResult::mrOk;
        case IDCANCEL:
            return TModalResult::mrCancel;
        default: // closed unanswered
            throw Error(L"ダイアログを表示できません");
        }
    }

private:
    // Lays out icon, text and buttons, then centres the dialog on the screen.
    void CreateControls() override {
        HWND dialog = Handle();
        RECT text{0, 0, std::max(200, GetSystemMetrics(SM_CXSCREEN) / 2), 0};
        {
            WindowDc dc(dialog);
            SelectObjectScope select(dc.get(), Font());
            DrawTextW(dc.get(), message_.c_str(), -1, &text,
                      DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        }
        const int textW = text.right, textH = text.bottom;
        const int contentH = std::max(kIconSize, textH);
        const int textX = kMargin + kIconSize + kGap;
        const int buttonCount = hasCancel_ ? 2 : 1;
        const int buttonsW = buttonCount * kButtonWidth + (buttonCount - 1) * kButtonGap;
        const int clientW = std::max(textX + textW + kMargin, buttonsW + 2 * kMargin);
        const int buttonsY = kMargin + contentH + 16;

        HWND icon = CreateChild(dialog, {.className = L"STATIC",
                                         .style = SS_ICON,
                                         .rect = Bounds(kMargin, kMargin, kIconSize, kIconSize),
                                         .id = -1});
        SendMessageW(
            icon, STM_SETICON,
            reinterpret_cast<WPARAM>(LoadIconW(nullptr, kTypes[static_cast<int>(type_)].icon)), 0);
        CreateChild(dialog, {.className = L"STATIC",
                             .text = message_.c_str(),
                             .style = SS_LEFT | SS_NOPREFIX,
                             .rect = Bounds(textX, kMargin + (contentH - textH) / 2, textW, textH),
                             .id = -1});
        const int x = (clientW - buttonsW) / 2;
        HWND ok = CreateChild(dialog, {.className = L"BUTTON",
                                       .text = L"OK",
                                       .style = WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
                                       .rect = Bounds(x, buttonsY, kButtonWidth, kButtonHeight),
                                       .id = IDOK});
        if (hasCancel_)
            CreateChild(dialog, {.className = L"BUTTON",
                                 .text = L"キャンセル",
                                 .style = WS_TABSTOP | BS_PUSHBUTTON,
                                 .rect = Bounds(x + kButtonWidth + kButtonGap, buttonsY,
                                                kButtonWidth, kButtonHeight),
                                 .id = IDCANCEL});
        SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
        SetFocus(ok);
        PlaceCentred(clientW, buttonsY + kButtonHeight + kMargin);
    }

    bool HandleMessage(UINT msg, WPARAM wp, LPARAM) override {
        if (msg == WM_CLOSE)
            End(IDCANCEL);
        else if (msg == WM_COMMAND && LOWORD(wp) == IDOK)
            End(IDOK);
        else if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL)
            End(hasCancel_ ? IDCANCEL : IDOK); // Esc; without キャンセル it means OK
        else
            return false;
        return true;
    }

    const std::wstring& message_;
    TMsgDlgType type_;
    bool hasCancel_;
};

} // namespace

TModalResult MessageDialog(const std::wstring& message, TMsgDlgType type, TMsgDlgButtons buttons) {
    return MessageForm(message, type, buttons == TMsgDlgButtons::mbOKCancel).Execute();
}
