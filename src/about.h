#pragma once
// The version window: the program's picture, name and version.

#include "Handles.h"
#include "WindowBase.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <span>

class TAboutBox : public WindowBase<TAboutBox> {
public:
    static constexpr wchar_t kClassName[] = L"TAboutBox";
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
    void OKButtonClick() { ModalResult = IDOK; }
    void FormClose() { ModalResult = IDCANCEL; }

private:
    friend class WindowBase<TAboutBox>;
    struct Releaser {
        void operator()(TAboutBox* box) const noexcept { box->Release(); }
    };
    using Holder = std::unique_ptr<TAboutBox, Releaser>;

    TAboutBox() = default;
    ~TAboutBox() = default;

    // A new window with its controls, not shown yet; released when the holder lets go.
    static Holder Create(HWND owner, std::span<const std::uint8_t> picture);
    void CreateControls(std::span<const std::uint8_t> picture);
    int ShowModal();
    // Queues the window's destruction; the object goes with the window.
    void Release() noexcept;

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void OnFinalMessage() noexcept;

    bool releasePending_ = false;
    UniqueFont font_;        // "ＭＳ Ｐゴシック" 12 px
    UniqueFont productFont_; // "HGP創英角ﾎﾟｯﾌﾟ体" 16 px
    UniqueFont versionFont_; // "HGP創英角ﾎﾟｯﾌﾟ体" 12 px
    UniqueBitmap picture_;
};
