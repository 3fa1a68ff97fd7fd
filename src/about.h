#pragma once
// The version window: the program's picture, name and version.

#include "DialogBase.h"
#include "Handles.h"
#include "ProgramVersion.h"

#include <windows.h>

#include <cstdint>
#include <span>

class TAboutBox final : public DialogBase {
public:
    static constexpr wchar_t kVersionText[] = L"バージョン Ver " TABLORIN_VERSION_TEXT;

    // Shows a fresh version window modally over the owner, with the program's own picture.
    // Returns IDOK ("OK" or Enter) or IDCANCEL (close box).
    static int Execute(HWND owner);
    // The same with the given JPEG picture.
    static int Execute(HWND owner, std::span<const std::uint8_t> picture);

    // Controls (children are destroyed with the window).
    HWND Panel1 = nullptr;      // the raised frame around picture, name and version
    HWND ProgramIcon = nullptr; // the program's picture
    HWND ProductName = nullptr; // 「タブロリン」
    HWND Version = nullptr;     // 「バージョン Ver」 and the program's version
    HWND OKButton = nullptr;    // 「OK」: closes the window

    // IDOK or IDCANCEL once the modal run has ended; 0 while it runs.
    int ModalResult = 0;

    // Handlers.
    void OKButtonClick() { End(ModalResult = IDOK); } // 「OK」 or Enter
    void FormClose() { End(ModalResult = IDCANCEL); } // the close box

private:
    explicit TAboutBox(std::span<const std::uint8_t> picture) : pictureBytes_(picture) {}

    void CreateControls() override;
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

    std::span<const std::uint8_t> pictureBytes_;
    UniqueFont productFont_; // "HGP創英角ﾎﾟｯﾌﾟ体" 16 px
    UniqueFont versionFont_; // "HGP創英角ﾎﾟｯﾌﾟ体" 12 px
    UniqueBitmap picture_;
};
