// Builds a document the way a user does: the pictures dropped from the shell onto the main window,
// the picture count and wrap chosen, the main button pressed and the save dialog answered. Leaves
// the document for the layout check in a real word processor.
//   build_through_button OUTPUT.docx PICTURE_FOLDER COUNT PER_PAGE WRAP(front|square)
#include "DialogAnswerer.h"
#include "Main.h"
#include "ShellDrop.h"
#include "TestPictures.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Build(const std::wstring& output, const std::vector<std::wstring>& files, int perPage,
          bool square) {
    TfrmMain form;
    form.Create(GetModuleHandleW(nullptr));
    ShowWindow(form.Handle(), SW_SHOW);
    SendShellDrop(form.Handle(), files);
    if (form.Files.Count() != static_cast<int>(files.size())) {
        fwprintf(stderr, L"the list took %d of %zu files\n", form.Files.Count(), files.size());
        return 1;
    }
    form.SetSpinValue(perPage);
    if (square)
        SendMessageW(form.RadioItems[1], BM_CLICK, 0, 0);
    DeleteFileW(output.c_str());
    DialogAnswerer answer(
        {{L"画像を添付するワードファイルの名前", DialogAction::TypeFileName(output)},
         {L"情報", DialogAction::Press(L"OK")},
         {L"タブロリン", DialogAction::Press(L"OK")}},
        120000);
    SendMessageW(form.Button4, BM_CLICK, 0, 0);
    if (answer.Answered() < 2 || answer.SeenAt(1).title != L"情報") {
        for (const DialogSeen& seen : answer.Seen())
            fwprintf(stderr, L"%ls: %ls\n", seen.title.c_str(), seen.text.c_str());
        fwprintf(stderr, L"the build did not report success\n");
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        fwprintf(
            stderr,
            L"usage: build_through_button OUTPUT PICTURE_FOLDER COUNT PER_PAGE front|square\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    CreateDirectoryW(argv[2], nullptr);
    const std::vector<std::wstring> files = MakePictureSeries(argv[2], _wtoi(argv[3]));
    int result = 1;
    if (files.empty())
        fwprintf(stderr, L"cannot write the pictures\n");
    else
        result = Build(argv[1], files, _wtoi(argv[4]), std::wstring(argv[5]) == L"square");
    CoUninitialize();
    return result;
}
