// Builds a document the way a user does: the pictures dropped from the shell onto the main window,
// the picture count and wrap chosen, the main button pressed and the save dialog answered. Leaves
// the document, and the Word stand-in's journal of the build beside it (OUTPUT.journal, UTF-8), for
// the layout check in a real word processor.
//   build_through_button OUTPUT.docx PICTURE_FOLDER PICTURES PER_PAGE WRAP(front|square)
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
    StubSession session;
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
    if (!session.WaitForExit() || !WriteJournal(output + L".journal", session.Journal())) {
        fwprintf(stderr, L"no journal of the build\n");
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        fwprintf(stderr, L"usage: build_through_button OUTPUT PICTURE_FOLDER COUNT|KINDS PER_PAGE "
                         L"front|square\n");
        return 2;
    }
    const std::wstring pictures = argv[3];
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    CreateDirectoryW(argv[2], nullptr);
    const std::vector<std::wstring> files = std::iswdigit(pictures[0])
                                                ? MakePictureSeries(argv[2], _wtoi(argv[3]))
                                                : MakePhotos(argv[2], pictures);
    int result = 1;
    if (files.empty())
        fwprintf(stderr, L"cannot write the pictures\n");
    else
        result = Build(argv[1], files, _wtoi(argv[4]), std::wstring(argv[5]) == L"square");
    return result;
}
