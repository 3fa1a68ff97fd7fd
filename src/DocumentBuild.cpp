#include "DocumentBuild.h"

#include "Handles.h"
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

// A call that Word's Invoke turned away may have acted already. It is made again only when a
// second time lands where the first did: every get and put, and the methods marked so. Adding a
// paragraph, picture or document, or moving down a line, is not made again.
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
constexpr CallDesc kGoToPage{L"GoTo", Method, {L"What", L"Which", L"Name"}, Repeatable::Yes};
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
constexpr CallDesc kZOrder{L"ZOrder", Method, {}, Repeatable::Yes};
constexpr CallDesc kCount{L"Count", PropertyGet};
constexpr CallDesc kShapeRange{L"Range", Method, {}, Repeatable::Yes};
constexpr CallDesc kSaveAs{L"SaveAs", Method, {L"Filename"}, Repeatable::Yes};
constexpr CallDesc kQuit{L"Quit", Method, {L"SaveChanges"}, Repeatable::Yes};

// object.<first>.<member>; the reference in between is dropped as soon as the member answered.
Variant Through(const Variant& object, const CallDesc& first, const CallDesc& member) {
    const Variant between = Call(object, first);
    return Call(between, member);
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
        const Variant anchor = Through(word, kSelection, kSelectionRange);
        const Variant shapes = Through(word, kActiveDocument, kShapes);
        const Arg args[] = {&anchor, file, false, true};
        shape = Call(shapes, kAddPicture, args);
    }
    if (layout.linePitch > 0)
        FitIntoPlace(shape, layout, slotOnPage);
    SetWrap(shape, wdWrapFront);
}

void WrapAllSquare(const Variant& word) {
    const int32_t count = ToInt32(Call(Through(word, kActiveDocument, kShapes), kCount));
    for (int64_t j = 1; j <= count; ++j) {
        const Arg index[] = {static_cast<int32_t>(j)};
        const Variant range = Call(Through(word, kActiveDocument, kShapes), kShapeRange, index);
        SetWrap(range, wdWrapSquare);
    }
}

// From the new document to the saved file. The new document's reference is dropped on the way
// out, saved or not, before Word is told to quit.
void FillAndSave(const Variant& word, const BuildRequest& request) {
    const Variant added = Through(word, kDocuments, kAdd);
    PageLayout layout =
        PageLayout::ForFiles(static_cast<int32_t>(request.entries.size()), request.imagesPerPage);
    {
        const Variant pageSetup = Through(word, kActiveDocument, kPageSetup);
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

// Word was told to quit, but the wait for its answer was given up: it may still be running.
constexpr wchar_t kWordLeftRunning[] = L"Ｗｏｒｄが応答しないため、終了を確認できませんでした。"
                                       L"Ｗｏｒｄは起動したままになっています。";

void QuitWord(const Variant& word) {
    const Arg args[] = {wdDoNotSaveChanges};
    try {
        CallVoid(word, kQuit, args);
    } catch (const CallGivenUp&) {
        throw Error(kWordLeftRunning);
    }
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

bool SamePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring first = ResolvedPath(a), second = ResolvedPath(b);
    // The file system ignores case the way an ordinal comparison does, whatever the locale.
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

// Which file a path names, whatever way it takes there (another drive letter for the same folder,
// a share, a link, a "\\?\" form): its volume and its index on that volume.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

enum class Lookup { Found, Missing, Unknown };

// Opened with no access at all and sharing everything, so that neither a file in use nor one
// without read permission is in the way; backup semantics open folders too.
Lookup IdentityOf(const std::wstring& path, FileIdentity& identity) {
    const UniqueFile file(CreateFileW(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Lookup::Missing
                                                                              : Lookup::Unknown;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info))
        return Lookup::Unknown;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return Lookup::Found;
}

} // namespace

bool OutputIsListed(const BuildRequest& request) {
    FileIdentity output;
    const Lookup found = IdentityOf(request.outputPath, output);
    // Saving under a name that names no file yet cannot replace one.
    if (found == Lookup::Missing)
        return false;
    for (const std::wstring& file : request.entries) {
        FileIdentity entry;
        if (found == Lookup::Found && IdentityOf(file, entry) == Lookup::Found) {
            if (entry == output)
                return true;
        } else if (SamePath(request.outputPath, file)) {
            return true;
        }
    }
    return false;
}

// One Word session, always ended by Quit without saving; a failing Quit is the error reported.
// Calls are given up when the user no longer wants to wait for Word, the clean-up's Quit too.
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
