// The document build: drives Word to place the listed pictures and save the document.
#include "DocumentBuild.h"

#include "Main.h"
#include "MessageDialog.h"
#include "automation/Automation.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

using automation::Arg;
using automation::ArgKind;
using automation::Call;
using automation::CallDesc;
using automation::CallKind;
using automation::CallVoid;
using automation::Variant;

PageLayout PageLayout::ForFiles(int32_t fileCount, int32_t imagesPerPage) {
    PageLayout layout;
    layout.imagesPerPage = std::clamp<int32_t>(imagesPerPage, 1, 10);
    layout.pageCount = static_cast<int32_t>(
        std::ceil(static_cast<double>(std::max<int32_t>(fileCount, 0)) / layout.imagesPerPage));
    return layout;
}

void PageLayout::SetLinesPerPage(int32_t lines) {
    linesPerPage = lines;
    // The quotient never exceeds |lines|, so it fits; the divisor is at least 1.
    lineStep = static_cast<int32_t>(std::trunc(static_cast<double>(lines) / imagesPerPage));
    pageRemainder = lines % imagesPerPage;
    paragraphs = std::max<int64_t>(static_cast<int64_t>(pageCount) * lines - 1, 0);
}

namespace {

// Word's enumeration values used by the build.
constexpr int32_t wdGoToPage = 1, wdGoToLine = 3, wdGoToNext = 2;
constexpr int32_t wdWrapSquare = 0, wdWrapFront = 3;
constexpr int32_t msoBringInFrontOfText = 4;
constexpr int32_t wdDoNotSaveChanges = 0;

constexpr CallKind kRead = CallKind::PropertyGet;

const CallDesc kDocuments{L"Documents", kRead, {}, {}};
const CallDesc kAdd{L"Add", CallKind::Method, {}, {}};
const CallDesc kActiveDocument{L"ActiveDocument", kRead, {}, {}};
const CallDesc kPageSetup{L"PageSetup", kRead, {}, {}};
const CallDesc kLinesPage{L"LinesPage", kRead, {}, {}};
const CallDesc kSelection{L"Selection", kRead, {}, {}};
const CallDesc kTypeParagraph{L"TypeParagraph", CallKind::Method, {}, {}};
const CallDesc kGoToPage{L"GoTo",
                         CallKind::Method,
                         {ArgKind::Integer, ArgKind::Integer, ArgKind::Text},
                         {L"What", L"Which", L"Name"}};
const CallDesc kGoToLine{L"GoTo",
                         CallKind::Method,
                         {ArgKind::Integer, ArgKind::Integer, ArgKind::Integer, ArgKind::Text},
                         {L"What", L"Which", L"Count", L"Name"}};
const CallDesc kSelectionRange{L"Range", kRead, {}, {}};
const CallDesc kShapes{L"Shapes", kRead, {}, {}};
const CallDesc kAddPicture{L"AddPicture",
                           CallKind::Method,
                           {ArgKind::Object, ArgKind::Text, ArgKind::Boolean, ArgKind::Boolean},
                           {L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"}};
const CallDesc kWrapFormat{L"WrapFormat", kRead, {}, {}};
const CallDesc kWrapType{L"Type", CallKind::PropertyPut, {ArgKind::Integer}, {}};
const CallDesc kZOrder{L"ZOrder", CallKind::Method, {ArgKind::Integer}, {}};
const CallDesc kCount{L"Count", kRead, {}, {}};
const CallDesc kShapeRange{L"Range", CallKind::Method, {ArgKind::Integer}, {}};
const CallDesc kSaveAs{L"SaveAs", CallKind::Method, {ArgKind::TextByRef}, {L"Filename"}};
const CallDesc kQuit{L"Quit", CallKind::Method, {ArgKind::Integer}, {L"SaveChanges"}};

// word.ActiveDocument.<member>; the document reference is dropped as soon as the member answered.
Variant FromActiveDocument(const Variant& word, const CallDesc& member) {
    const Variant document = Call(word, kActiveDocument);
    return Call(document, member);
}

// word.Selection.<member>(args), result not used.
void OnSelection(const Variant& word, const CallDesc& member, std::span<const Arg> args = {}) {
    const Variant selection = Call(word, kSelection);
    CallVoid(selection, member, args);
}

void MoveLinesDown(const Variant& word, int64_t count) {
    const Arg nextLine[] = {Arg::Int(wdGoToLine), Arg::Int(wdGoToNext), Arg::Int(1), Arg::Text({})};
    for (int64_t i = 0; i < count; ++i)
        OnSelection(word, kGoToLine, nextLine);
}

// Wrap style and stacking order of a shape or shape range.
void SetWrap(const Variant& shape, int32_t wrapType) {
    {
        const Variant wrapFormat = Call(shape, kWrapFormat);
        const Arg type[] = {Arg::Int(wrapType)};
        CallVoid(wrapFormat, kWrapType, type);
    }
    const Arg order[] = {Arg::Int(msoBringInFrontOfText)};
    CallVoid(shape, kZOrder, order);
}

void PlacePicture(const Variant& word, const std::wstring& file) {
    Variant shape;
    {
        Variant anchor;
        {
            const Variant selection = Call(word, kSelection);
            anchor = Call(selection, kSelectionRange);
        }
        const Variant shapes = FromActiveDocument(word, kShapes);
        const Arg args[] = {Arg::Object(anchor), Arg::Text(file), Arg::Bool(false),
                            Arg::Bool(true)};
        shape = Call(shapes, kAddPicture, args);
    }
    SetWrap(shape, wdWrapFront);
}

void WrapAllSquare(const Variant& word) {
    const int32_t count = automation::ToInt32(Call(FromActiveDocument(word, kShapes), kCount));
    for (int64_t j = 1; j <= count; ++j) {
        const Arg index[] = {Arg::Int(static_cast<int32_t>(j))};
        const Variant range = Call(FromActiveDocument(word, kShapes), kShapeRange, index);
        SetWrap(range, wdWrapSquare);
    }
}

// From the new document to the saved file. The new document's reference is dropped on the way
// out, saved or not, before Word is told to quit.
void FillAndSave(const Variant& word, const std::vector<std::wstring>& files, PageLayout layout,
                 int wrapChoice, const std::wstring& outputPath) {
    Variant added;
    {
        const Variant documents = Call(word, kDocuments);
        added = Call(documents, kAdd);
    }
    {
        const Variant pageSetup = FromActiveDocument(word, kPageSetup);
        layout.SetLinesPerPage(automation::ToInt32(Call(pageSetup, kLinesPage)));
    }
    for (int64_t i = 0; i < layout.paragraphs; ++i)
        OnSelection(word, kTypeParagraph);
    const Arg firstPage[] = {Arg::Int(wdGoToPage), Arg::Int(wdGoToNext), Arg::Text(L"1")};
    OnSelection(word, kGoToPage, firstPage);

    int32_t slotOnPage = 1;
    for (const std::wstring& file : files) {
        PlacePicture(word, file);
        MoveLinesDown(word, layout.lineStep);
        if (slotOnPage >= layout.imagesPerPage) {
            MoveLinesDown(word, layout.pageRemainder);
            slotOnPage = 0;
        }
        ++slotOnPage;
    }
    if (wrapChoice == 1)
        WrapAllSquare(word);

    std::wstring fileName = outputPath;
    const Arg saveArgs[] = {Arg::TextRef(fileName)};
    const Variant document = Call(word, kActiveDocument);
    CallVoid(document, kSaveAs, saveArgs);
}

void QuitWord(const Variant& word) {
    const Arg args[] = {Arg::Int(wdDoNotSaveChanges)};
    CallVoid(word, kQuit, args);
}

// One Word session, always ended by Quit without saving; a failing Quit is the error reported.
// Calls that a busy Word turns away, the clean-up's Quit among them, are tried again for a while.
void BuildDocument(const std::vector<std::wstring>& files, const PageLayout& layout, int wrapChoice,
                   const std::wstring& outputPath) {
    const automation::BusyServerFilter busyWord;
    const Variant word = automation::Create(L"Word.Application");
    try {
        FillAndSave(word, files, layout, wrapChoice, outputPath);
    } catch (...) {
        QuitWord(word);
        throw;
    }
    QuitWord(word);
}

// The hourglass for the whole window while Word works, and the cursor from before afterwards.
class BusyCursor {
public:
    explicit BusyCursor(TfrmMain& form) : form_(form), savedScreen_(form.ScreenCursor) {
        form_.Building = true;
        form_.ScreenCursor = LoadCursorW(nullptr, IDC_WAIT);
        SetCursor(form_.ScreenCursor);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    ~BusyCursor() {
        form_.ScreenCursor = savedScreen_;
        form_.Building = false;
        if (savedScreen_) {
            SetCursor(savedScreen_);
            return;
        }
        // Back to each window's own cursor: let the window under the pointer choose it now
        // rather than at the next mouse move.
        POINT point;
        HWND under = GetCursorPos(&point) ? WindowFromPoint(point) : nullptr;
        if (under && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId()) {
            const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
            SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                         MAKELPARAM(LOWORD(hit), WM_MOUSEMOVE));
        } else {
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        }
    }

private:
    TfrmMain& form_;
    HCURSOR savedScreen_;
};

// A path as the file system resolves it: full, without "." and "..", and with long names for
// short (8.3) ones when the file exists. Unchanged when it cannot be resolved.
std::wstring ResolvedPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    }
    if (n == 0 || n >= full.size())
        return path;
    full.resize(n);
    // Generated short names always hold a "~"; other paths are long already.
    if (full.find(L'~') == std::wstring::npos)
        return full;
    std::wstring longer(full.size() + MAX_PATH, L'\0');
    n = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    if (n >= longer.size()) {
        longer.resize(n);
        n = GetLongPathNameW(full.c_str(), longer.data(), n);
    }
    if (n == 0 || n >= longer.size())
        return full;
    longer.resize(n);
    return longer;
}

// Word would save the document over one of the pictures it has just embedded.
bool OutputIsListed(const std::wstring& outputPath, const std::vector<std::wstring>& files) {
    const std::wstring output = ResolvedPath(outputPath);
    for (const std::wstring& file : files) {
        // The file system ignores case the way an ordinal comparison does, whatever the locale.
        if (CompareStringOrdinal(output.c_str(), static_cast<int>(output.size()),
                                 ResolvedPath(file).c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

} // namespace

void TfrmMain::Button4Click() {
    // Word's calls let messages through; a click that arrives during a build is not a new build.
    if (Building)
        return;
    if (FileCount() == 0) {
        MessageDialog(L"一覧にファイルを追加して下さい。", TMsgDlgType::mtWarning,
                      TMsgDlgButtons::mbOK);
        SetFocus(ListBox);
        return;
    }
    if (!SaveDialog.Execute(Handle())) {
        SetFocus(ListBox);
        return;
    }
    const std::wstring outputPath = SaveDialog.FileName;
    std::vector<std::wstring> files;
    const int count = FileCount();
    files.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        files.push_back(FileAt(i));
    if (OutputIsListed(outputPath, files)) {
        MessageDialog(L"一覧にあるファイルには保存できません。別の名前を指定して下さい。",
                      TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        SetFocus(ListBox);
        return;
    }
    const PageLayout layout = PageLayout::ForFiles(count, SpinValue());
    const int wrapChoice = WrapChoice();
    {
        BusyCursor busy(*this);
        BuildDocument(files, layout, wrapChoice, outputPath);
    }
    MessageDialog(L"Ｗｏｒｄファイルを出力しました。", TMsgDlgType::mtInformation,
                  TMsgDlgButtons::mbOK);
}
