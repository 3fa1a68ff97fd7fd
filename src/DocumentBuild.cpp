#include "DocumentBuild.h"

#include "Error.h"
#include "PageLayout.h"
#include "automation/Automation.h"

#include <span>

using namespace automation;

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
constexpr CallDesc kQuit{L"Quit", Method, {L"SaveChanges"}, Repeatable::Yes, Closing::Yes};

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
    if (request.wrap == Wrap::Square)
        WrapAllSquare(word);

    std::wstring fileName = request.outputPath;
    const Arg saveArgs[] = {&fileName};
    const Variant document = Call(word, kActiveDocument);
    CallVoid(document, kSaveAs, saveArgs);
}

// Given up on while it starts, Word gives no object to tell to quit, and it may still be starting.
Variant StartWord() {
    try {
        return Create(L"Word.Application");
    } catch (const CallGivenUp& e) {
        throw Error(FollowedBy(e.message(), kWordMayStillBeStarting));
    }
}

// Word was told to quit, but the wait for its answer was given up.
constexpr wchar_t kQuitUnanswered[] = L"Ｗｏｒｄが応答しないため、終了を確認できませんでした。";

// The clean-up's Quit. When it fails Word may still be running, and the error says so. Once the
// user has given up on Word, Quit is tried without a question, and the error the build failed with
// (`earlier`) is the one told.
void QuitWord(const Variant& word, const BusyServerFilter& busyWord, const Error* earlier) {
    const bool givenUp = busyWord.GivenUp();
    const Arg args[] = {wdDoNotSaveChanges};
    std::wstring failure;
    try {
        CallVoid(word, kQuit, args);
        return;
    } catch (const CallGivenUp&) {
        failure = kQuitUnanswered;
    } catch (const Error& e) {
        failure = e.message();
    }
    if (givenUp && earlier)
        failure = earlier->message();
    throw Error(FollowedBy(failure, kWordStillRunning));
}

} // namespace

// One Word session, always ended by Quit without saving; a failing Quit is the error reported.
// Calls are given up when the user no longer wants to wait for Word; after that nothing waits for
// it again, and the user is asked once.
void BuildDocument(const BuildRequest& request) {
    const BusyServerFilter busyWord;
    const Variant word = StartWord();
    try {
        FillAndSave(word, request);
    } catch (const Error& e) {
        QuitWord(word, busyWord, &e);
        throw;
    } catch (...) {
        QuitWord(word, busyWord, nullptr);
        throw;
    }
    QuitWord(word, busyWord, nullptr);
}
