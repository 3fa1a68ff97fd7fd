#include "ErrorDisplay.h"

#include "AppTitle.h"
#include "DialogOwner.h"
#include "Error.h"

#include <exception>
#include <new>

std::wstring ErrorDisplayText(const std::wstring& message) {
    // The last character is compared as an unsigned code: anything above '.' gets a full stop,
    // so a Japanese "。" is followed by "." while "." itself is left alone.
    if (!message.empty() && static_cast<unsigned>(message.back()) > L'.')
        return message + L".";
    return message;
}

void ShowErrorMessage(const std::wstring& message) {
    const std::wstring text = ErrorDisplayText(message);
    MessageBoxW(DialogOwner(), text.c_str(), kAppTitle, MB_OK | MB_ICONSTOP);
}

void ShowCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const Error& e) {
            ShowErrorMessage(e.message());
        } catch (const std::bad_alloc&) {
            ShowErrorMessage(L"メモリが不足しています");
        } catch (const std::exception& e) {
            ShowErrorMessage(FromUtf8(e.what()));
        } catch (...) {
            ShowErrorMessage(L"予期しないエラーが発生しました");
        }
    } catch (...) {
        // Nothing more can be shown.
    }
}
