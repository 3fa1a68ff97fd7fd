#include "SaveDialog.h"

#include "Error.h"

#include <algorithm>
#include <vector>

std::wstring TSaveDialog::FilterForSystem(const std::wstring& filter) {
    std::wstring out = filter;
    std::ranges::replace(out, L'|', L'\0');
    out.append(2, L'\0');
    return out;
}

bool TSaveDialog::Execute(HWND owner) {
    // Room for any path the dialog can return, so a long name never fails for lack of space.
    std::vector<wchar_t> file(32768, L'\0');
    FileName.copy(file.data(), std::min(FileName.size(), file.size() - 1));

    const std::wstring filter = FilterForSystem(Filter);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
    ofn.Flags = Options | OFN_EXPLORER;

    if (!GetSaveFileNameW(&ofn)) {
        if (CommDlgExtendedError() != 0)
            throw Error(L"ファイル保存ダイアログを開けません");
        return false;
    }
    FileName = file.data();
    return true;
}
