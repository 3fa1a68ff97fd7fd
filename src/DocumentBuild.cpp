// The document build: drives Word to place the listed pictures and save the document.
#include "DocumentBuild.h"

#include "automation/Automation.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <span>

using namespace automation;

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

void PageLayout::SetPageHeight(double pageHeight, double topMargin, double bottomMargin) {
    linePitch = 0;
    if (!HasPlaces())
        return;
    // Word keeps the grid's pitch in whole twentieths of a point, so the lines lie that far apart
    // and not a hair further: a place measured with the exact quotient would reach into the next.
    // The page's values are Singles; their noise must not cost a twentieth.
    const double twips =
        std::floor((pageHeight - topMargin - bottomMargin) * 20 / linesPerPage + 0.01);
    if (std::isfinite(twips) && twips >= 1)
        linePitch = twips / 20;
}

double PageLayout::SlotHeight(int32_t slotOnPage) const {
    if (!(linePitch > 0))
        return 0;
    int64_t lines = lineStep;
    if (slotOnPage >= imagesPerPage)
        lines += pageRemainder;
    return linePitch * static_cast<double>(lines);
}

bool PageLayout::Overflows(double pictureHeight, int32_t slotOnPage) const {
    const double slot = SlotHeight(slotOnPage);
    return slot > 0 && pictureHeight > slot + 0.01;
}

namespace {

// Word's enumeration values used by the build.
constexpr int32_t wdGoToPage = 1, wdGoToLine = 3, wdGoToNext = 2;
constexpr int32_t wdWrapSquare = 0, wdWrapFront = 3;
constexpr int32_t msoBringInFrontOfText = 4;
constexpr int32_t msoTrue = -1;
constexpr int32_t wdDoNotSaveChanges = 0;

using enum CallKind;

constexpr CallDesc kDocuments{L"Documents", PropertyGet};
constexpr CallDesc kAdd{L"Add", Method};
constexpr CallDesc kActiveDocument{L"ActiveDocument", PropertyGet};
constexpr CallDesc kPageSetup{L"PageSetup", PropertyGet};
constexpr CallDesc kLinesPage{L"LinesPage", PropertyGet};
constexpr CallDesc kPageHeight{L"PageHeight", PropertyGet};
constexpr CallDesc kTopMargin{L"TopMargin", PropertyGet};
constexpr CallDesc kBottomMargin{L"BottomMargin", PropertyGet};
constexpr CallDesc kSelection{L"Selection", PropertyGet};
constexpr CallDesc kTypeParagraph{L"TypeParagraph", Method};
constexpr CallDesc kGoToPage{L"GoTo", Method, {L"What", L"Which", L"Name"}};
constexpr CallDesc kGoToLine{L"GoTo", Method, {L"What", L"Which", L"Count", L"Name"}};
constexpr CallDesc kSelectionRange{L"Range", PropertyGet};
constexpr CallDesc kShapes{L"Shapes", PropertyGet};
constexpr CallDesc kAddPicture{
    L"AddPicture", Method, {L"Anchor", L"FileName", L"LinkToFile", L"SaveWithDocument"}};
constexpr CallDesc kHeight{L"Height", PropertyGet};
constexpr CallDesc kSetHeight{L"Height", PropertyPut};
constexpr CallDesc kSetLockAspectRatio{L"LockAspectRatio", PropertyPut};
constexpr CallDesc kWrapFormat{L"WrapFormat", PropertyGet};
constexpr CallDesc kWrapType{L"Type", PropertyPut};
constexpr CallDesc kZOrder{L"ZOrder", Method};
constexpr CallDesc kCount{L"Count", PropertyGet};
constexpr CallDesc kShapeRange{L"Range", Method};
constexpr CallDesc kSaveAs{L"SaveAs", Method, {L"Filename"}};
constexpr CallDesc kQuit{L"Quit", Method, {L"SaveChanges"}};

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
    const Arg nextLine[] = {wdGoToLine, wdGoToNext, 1, L""};
    for (int64_t i = 0; i < count; ++i)
        OnSelection(word, kGoToLine, nextLine);
}

// Wrap style and stacking order of a shape or shape range.
void SetWrap(const Variant& shape, int32_t wrapType) {
    {
        const Variant wrapFormat = Call(shape, kWrapFormat);
        const Arg type[] = {wrapType};
        CallVoid(wrapFormat, kWrapType, type);
    }
    const Arg order[] = {msoBringInFrontOfText};
    CallVoid(shape, kZOrder, order);
}

// A picture taller than its place is scaled down, proportions kept, to end where the next place
// begins. One that fits keeps the size Word gave it.
void FitIntoPlace(const Variant& shape, const PageLayout& layout, int32_t slotOnPage) {
    if (!layout.Overflows(ToDouble(Call(shape, kHeight)), slotOnPage))
        return;
    const Arg locked[] = {msoTrue};
    CallVoid(shape, kSetLockAspectRatio, locked);
    const Arg height[] = {layout.SlotHeight(slotOnPage)};
    CallVoid(shape, kSetHeight, height);
}

void PlacePicture(const Variant& word, const std::wstring& file, const PageLayout& layout,
                  int32_t slotOnPage) {
    Variant shape;
    {
        Variant anchor;
        {
            const Variant selection = Call(word, kSelection);
            anchor = Call(selection, kSelectionRange);
        }
        const Variant shapes = FromActiveDocument(word, kShapes);
        const Arg args[] = {&anchor, file, false, true};
        shape = Call(shapes, kAddPicture, args);
    }
    if (layout.linePitch > 0)
        FitIntoPlace(shape, layout, slotOnPage);
    SetWrap(shape, wdWrapFront);
}

void WrapAllSquare(const Variant& word) {
    const int32_t count = ToInt32(Call(FromActiveDocument(word, kShapes), kCount));
    for (int64_t j = 1; j <= count; ++j) {
        const Arg index[] = {static_cast<int32_t>(j)};
        const Variant range = Call(FromActiveDocument(word, kShapes), kShapeRange, index);
        SetWrap(range, wdWrapSquare);
    }
}

// From the new document to the saved file. The new document's reference is dropped on the way
// out, saved or not, before Word is told to quit.
void FillAndSave(const Variant& word, const BuildRequest& request) {
    Variant added;
    {
        const Variant documents = Call(word, kDocuments);
        added = Call(documents, kAdd);
    }
    PageLayout layout =
        PageLayout::ForFiles(static_cast<int32_t>(request.entries.size()), request.imagesPerPage);
    {
        const Variant pageSetup = FromActiveDocument(word, kPageSetup);
        layout.SetLinesPerPage(ToInt32(Call(pageSetup, kLinesPage)));
        if (layout.HasPlaces()) {
            const double pageHeight = ToDouble(Call(pageSetup, kPageHeight));
            const double topMargin = ToDouble(Call(pageSetup, kTopMargin));
            const double bottomMargin = ToDouble(Call(pageSetup, kBottomMargin));
            layout.SetPageHeight(pageHeight, topMargin, bottomMargin);
        }
    }
    for (int64_t i = 0; i < layout.paragraphs; ++i)
        OnSelection(word, kTypeParagraph);
    const Arg firstPage[] = {wdGoToPage, wdGoToNext, L"1"};
    OnSelection(word, kGoToPage, firstPage);

    int32_t slotOnPage = 1;
    for (const std::wstring& file : request.entries) {
        PlacePicture(word, file, layout, slotOnPage);
        MoveLinesDown(word, layout.lineStep);
        if (slotOnPage >= layout.imagesPerPage) {
            MoveLinesDown(word, layout.pageRemainder);
            slotOnPage = 0;
        }
        ++slotOnPage;
    }
    if (request.wrapChoice == 1)
        WrapAllSquare(word);

    std::wstring fileName = request.outputPath;
    const Arg saveArgs[] = {&fileName};
    const Variant document = Call(word, kActiveDocument);
    CallVoid(document, kSaveAs, saveArgs);
}

void QuitWord(const Variant& word) {
    const Arg args[] = {wdDoNotSaveChanges};
    CallVoid(word, kQuit, args);
}

// A path API's answer in a buffer grown to the length it asks for; empty when it fails.
template <class F> std::wstring Grown(F call) {
    std::wstring text(MAX_PATH, L'\0');
    DWORD n = call(text.data(), static_cast<DWORD>(text.size()));
    if (n >= text.size()) {
        text.resize(n);
        n = call(text.data(), n);
    }
    text.resize(n < text.size() ? n : 0);
    return text;
}

// A path as the file system resolves it: full, without "." and "..", and with long names for
// short (8.3) ones when the file exists. Unchanged when it cannot be resolved.
std::wstring ResolvedPath(const std::wstring& path) {
    const std::wstring full = Grown([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
    if (full.empty())
        return path;
    // Generated short names always hold a "~"; other paths are long already.
    if (full.find(L'~') == std::wstring::npos)
        return full;
    const std::wstring longer = Grown(
        [&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    return longer.empty() ? full : longer;
}

} // namespace

bool OutputIsListed(const BuildRequest& request) {
    const std::wstring output = ResolvedPath(request.outputPath);
    for (const std::wstring& file : request.entries) {
        // The file system ignores case the way an ordinal comparison does, whatever the locale.
        if (CompareStringOrdinal(output.c_str(), static_cast<int>(output.size()),
                                 ResolvedPath(file).c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

// One Word session, always ended by Quit without saving; a failing Quit is the error reported.
// Calls that a busy Word turns away, the clean-up's Quit among them, are tried again for a while.
void BuildDocument(const BuildRequest& request) {
    const BusyServerFilter busyWord;
    const Variant word = Create(L"Word.Application");
    try {
        FillAndSave(word, request);
    } catch (...) {
        QuitWord(word);
        throw;
    }
    QuitWord(word);
}
