// Builds a document through the Word stand-in the way the program's build drives Word, for the
// layout check in a real word processor.
//   stub_make_document OUTPUT.docx PICTURE_FOLDER COUNT PER_PAGE WRAP(front|square) [...]
// Writes COUNT pictures of assorted formats and sizes into PICTURE_FOLDER first. Several builds
// (five arguments each) run one after another, so that one Wine session serves them all.
#include "StubClient.h"
#include "TestPictures.h"
#include "WordStub.h"

#include "ThreadStartup.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace stubclient;

namespace {

int Fail(const wchar_t* step, const CallResult& r) {
    fwprintf(stderr, L"%ls failed: 0x%08lX %ls\n", step, static_cast<unsigned long>(r.hr),
             r.description.c_str());
    return 1;
}

std::vector<std::wstring> MakePictures(const std::wstring& dir, int count, bool wide) {
    struct Kind {
        PictureFormat format;
        const wchar_t* ext;
        UINT width, height;
        double dpi;
    };
    // Small enough that the pictures of one page do not overlap; one wider than the text unless
    // the text wraps around them (lines cannot pass beside a picture of the full text width).
    const Kind kinds[] = {{PictureFormat::Png, L"png", 240, 160, 96},
                          {PictureFormat::Jpeg, L"jpg", 320, 180, 96},
                          {PictureFormat::Gif, L"gif", wide ? 1200u : 300u, wide ? 300u : 200u, 96},
                          {PictureFormat::Bmp, L"bmp", 200, 200, 144},
                          {PictureFormat::Tiff, L"tif", 180, 120, 72}};
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        const Kind& k = kinds[i % 5];
        const std::wstring path = dir + L"\\picture" + std::to_wstring(i + 1) + L"." + k.ext;
        if (!WriteTestPicture(path, k.format, k.width, k.height, k.dpi))
            return {};
        files.push_back(path);
    }
    return files;
}

int Build(const std::wstring& output, const std::vector<std::wstring>& files, int perPage,
          bool square) {
    HRESULT hr = S_OK;
    ComPtr<IDispatch> word = CreateWord(&hr);
    if (!word) {
        fwprintf(stderr, L"Word.Application: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    struct QuitAtEnd {
        IDispatch* app;
        ~QuitAtEnd() { Call(app, L"Quit", DISPATCH_METHOD, {{L"SaveChanges", Var::I4(0).v}}); }
    } quit{word.Get()};

    ComPtr<IDispatch> doc = Object(Object(word.Get(), L"Documents").Get(), L"Add");
    ComPtr<IDispatch> active = Object(word.Get(), L"ActiveDocument");
    CallResult lines = Call(Object(active.Get(), L"PageSetup").Get(), L"LinesPage", kGet);
    if (FAILED(lines.hr) || V_VT(&lines.value.v) != VT_R4)
        return Fail(L"LinesPage", lines);
    const int linesPerPage = static_cast<int>(std::nearbyint(V_R4(&lines.value.v)));
    const int pageCount = static_cast<int>(std::ceil(double(files.size()) / perPage));
    const int lineStep = static_cast<int>(double(linesPerPage) / perPage);
    const int remainder = linesPerPage % perPage;

    ComPtr<IDispatch> selection = Object(word.Get(), L"Selection");
    for (int i = 0; i < pageCount * linesPerPage - 1; ++i) {
        CallResult r = Call(selection.Get(), L"TypeParagraph", DISPATCH_METHOD);
        if (FAILED(r.hr))
            return Fail(L"TypeParagraph", r);
    }
    Call(selection.Get(), L"GoTo", DISPATCH_METHOD,
         {{L"What", Var::I4(1).v}, {L"Which", Var::I4(2).v}, {L"Name", Var::Str(L"1").v}});
    auto nextLine = [&] {
        Call(selection.Get(), L"GoTo", DISPATCH_METHOD,
             {{L"What", Var::I4(3).v},
              {L"Which", Var::I4(2).v},
              {L"Count", Var::I4(1).v},
              {L"Name", Var::Str(L"").v}});
    };
    ComPtr<IDispatch> shapes = Object(active.Get(), L"Shapes");
    int slot = 1;
    for (const std::wstring& file : files) {
        ComPtr<IDispatch> anchor = Object(selection.Get(), L"Range");
        CallResult shape = Call(shapes.Get(), L"AddPicture", DISPATCH_METHOD,
                                {{L"Anchor", Var::Disp(anchor.Get()).v},
                                 {L"FileName", Var::Str(file).v},
                                 {L"LinkToFile", Var::Bool(false).v},
                                 {L"SaveWithDocument", Var::Bool(true).v}});
        if (FAILED(shape.hr))
            return Fail(L"AddPicture", shape);
        IDispatch* s = V_DISPATCH(&shape.value.v);
        Call(Object(s, L"WrapFormat").Get(), L"Type", DISPATCH_PROPERTYPUT, {{L"", Var::I4(3).v}});
        Call(s, L"ZOrder", DISPATCH_METHOD, {{L"", Var::I4(4).v}});
        for (int i = 0; i < lineStep; ++i)
            nextLine();
        if (slot >= perPage) {
            for (int i = 0; i < remainder; ++i)
                nextLine();
            slot = 0;
        }
        ++slot;
    }
    if (square) {
        CallResult count = Call(shapes.Get(), L"Count", kGet);
        for (LONG j = 1; j <= V_I4(&count.value.v); ++j) {
            ComPtr<IDispatch> range =
                Object(shapes.Get(), L"Range", DISPATCH_METHOD, {{L"", Var::I4(j).v}});
            Call(Object(range.Get(), L"WrapFormat").Get(), L"Type", DISPATCH_PROPERTYPUT,
                 {{L"", Var::I4(0).v}});
            Call(range.Get(), L"ZOrder", DISPATCH_METHOD, {{L"", Var::I4(4).v}});
        }
    }
    CallResult saved = SaveAs(doc.Get(), output);
    if (FAILED(saved.hr))
        return Fail(L"SaveAs", saved);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 6 || (argc - 1) % 5 != 0) {
        fwprintf(stderr, L"usage: stub_make_document OUTPUT PICTURE_FOLDER COUNT PER_PAGE "
                         L"front|square [...]\n");
        return 2;
    }
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    int result = 0;
    for (int i = 1; i < argc; i += 5) {
        CreateDirectoryW(argv[i + 1], nullptr);
        const bool square = std::wstring(argv[i + 4]) == L"square";
        const std::vector<std::wstring> files =
            MakePictures(argv[i + 1], _wtoi(argv[i + 2]), !square);
        if (files.empty()) {
            fwprintf(stderr, L"%ls: cannot write the pictures\n", argv[i]);
            result = 1;
        } else if (Build(argv[i], files, _wtoi(argv[i + 3]), square) != 0) {
            fwprintf(stderr, L"%ls: the build failed\n", argv[i]);
            result = 1;
        }
    }
    return result;
}
