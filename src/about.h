#pragma once
// The version window: the program's picture, name and version.

#include "DialogBase.h"
#include "Handles.h"

#include <windows.h>

#include <cstdint>
#include <span>

class TAboutBox final : public DialogBase {
public:
    static constexpr wchar_t kVersionText[] = L"バージョン Ver 1.03";

    // Shows a fresh version window modally over the owner, with the program's own picture.
    // Returns IDOK ("OK" or Enter) or IDCANCEL (close box).
    static int Execute(HWND owner);
    // The same with the given JPEG picture.
    static int Execute(HWND owner, std::span<const std::uint8_t> picture);

    // Controls (children are destroyed with the window).
    HWND Panel1 = nullptr;
    HWND ProgramIcon = nullptr;
    HWND ProductName = nullptr;
    HWND Version = nullptr;
    HWND OKButton = nullptr;

    // IDOK or IDCANCEL once the modal run has ended; 0 while it runs.
    int ModalResult = 0;

    // Handlers.
    void OKButtonClick() { End(ModalResult = IDOK); }
    void FormClose() { End(ModalResult = IDCANCEL); }

private:
    explicit TAboutBox(std::span<const std::uint8_t> picture) : pictureBytes_(picture) {}

    void CreateControls() override;
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

    std::span<const std::uint8_t> pictureBytes_;
    UniqueFont productFont_; // "HGP創英角ﾎﾟｯﾌﾟ体" 16 px
    UniqueFont versionFont_; // "HGP創英角ﾎﾟｯﾌﾟ体" 12 px
    UniqueBitmap picture_;
};
