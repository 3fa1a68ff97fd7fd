// Builds a document the way a user does: the pictures dropped from the shell onto the main window,
// the picture count and wrap chosen, the main button pressed and the save dialog answered. Leaves
// the document, and the Word stand-in's journal of the build beside it (OUTPUT.journal, UTF-8), for
// the layout check in a real word processor.
//   build_through_button OUTPUT.docx PICTURE_FOLDER PICTURES PER_PAGE WRAP(front|square) [...]
// Several builds (five arguments each) run one after another in one main window, so that one Wine
// session serves them all; pictures already in a folder are used as they are.
// PICTURES is a count (that many of the test pictures of assorted formats and sizes) or a string of
// phone photo kinds, one letter a picture: L landscape and P portrait, 4032 x 3024 pixels at
// 72 dpi as phones write them; W a 6000 x 1000 panorama at 72 dpi; S a small 160 x 120 at 96 dpi.
#include "DialogAnswerer.h"
#include "Main.h"
#include "ShellDrop.h"
#include "TestPictures.h"
#include "WordStub.h"
#include "Error.h"
#include "ThreadStartup.h"

#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The phone photos of a kinds string, written once into dir (a name per place and kind).
std::vector<std::wstring> MakePhotos(const std::wstring& dir, const std::wstring& kinds) {
    std::vector<std::wstring> files;
    for (size_t i = 0; i < kinds.size(); ++i) {
        UINT width = 0, height = 0;
        double dpi = 72;
        switch (kinds[i]) {
        case L'L':
            width = 4032, height = 3024;
            break;
        case L'P':
            width = 3024, height = 4032;
            break;
        case L'W':
            width = 6000, height = 1000;
            break;
        case L'S':
            width = 160, height = 120, dpi = 96;
            break;
        default:
            fwprintf(stderr, L"unknown picture kind %lc\n", kinds[i]);
            return {};
        }
        wchar_t name[32];
        swprintf(name, 32, L"\\photo%02zu-%lc.jpg", i + 1, kinds[i]);
        const std::wstring path = dir + name;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !WriteTestPicture(path, PictureFormat::Jpeg, width, height, dpi,
                              static_cast<unsigned>(i)))
            return {};
        files.push_back(path);
    }
    return files;
}

bool WriteJournal(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    for (const std::wstring& line : lines)
        out << ToUtf8(line) << '\n';
    return static_cast<bool>(out);
}

// One build through the button; an empty text when it reported success, else what went wrong.
std::wstring Build(TfrmMain& form, const std::wstring& output,
                   const std::vector<std::wstring>& files, int perPage, bool square) {
    form.Files.Clear();
    SendShellDrop(form.Handle(), files);
    if (form.Files.Count() != static_cast<int>(files.size()))
        return L"the list took " + std::to_wstring(form.Files.Count()) + L" of " +
               std::to_wstring(files.size()) + L" files";
    form.SetSpinValue(perPage);
    SendMessageW(form.RadioItems[square ? 1 : 0], BM_CLICK, 0, 0);
    DeleteFileW(output.c_str());
    StubSession session;
    DialogAnswerer answer(
        {{L"画像を添付するワードファイルの名前", DialogAction::TypeFileName(output)},
         {L"情報", DialogAction::Press(L"OK")}},
        120000);
    // The error box, in place of the information, ends the build too.
    DialogAnswerer failure(L"タブロリン", DialogAction::Press(L"OK"), 120000);
    SendMessageW(form.Button4, BM_CLICK, 0, 0);
    failure.Stop();
    if (answer.Answered() < 2 || failure.Answered() > 0) {
        std::wstring seen;
        for (const DialogAnswerer* watcher : {&answer, &failure})
            for (const DialogSeen& dialog : watcher->Seen())
                seen += dialog.title + L": " + dialog.text + L"\n";
        return seen + L"the build did not report success";
    }
    if (!session.WaitForExit() || !WriteJournal(output + L".journal", session.Journal()))
        return L"no journal of the build";
    return L"";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 6 || (argc - 1) % 5 != 0) {
        fwprintf(stderr, L"usage: build_through_button OUTPUT PICTURE_FOLDER COUNT|KINDS PER_PAGE "
                         L"front|square [...]\n");
        return 2;
    }
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    const UnexpectedBoxWatch boxes; // a build that meets one fails instead of hanging
    TfrmMain form;
    form.Create(GetModuleHandleW(nullptr));
    ShowWindow(form.Handle(), SW_SHOW);
    int result = 0;
    for (int i = 1; i < argc; i += 5) {
        const std::wstring output = argv[i], folder = argv[i + 1], pictures = argv[i + 2];
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::vector<std::wstring> files =
            std::iswdigit(pictures[0]) ? MakePictureSeries(folder, _wtoi(pictures.c_str()))
                                       : MakePhotos(folder, pictures);
        std::wstring error = L"cannot write the pictures";
        if (!files.empty())
            error = Build(form, output, files, _wtoi(argv[i + 3]),
                          std::wstring(argv[i + 4]) == L"square");
        if (!error.empty()) {
            // UTF-8: the dialogs' texts are Japanese.
            fprintf(stderr, "%s\n", ToUtf8(output + L": " + error).c_str());
            result = 1;
        }
    }
    return result;
}
