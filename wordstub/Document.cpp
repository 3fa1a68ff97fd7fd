#include "Document.h"

#include "Dispatch.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

namespace wordstub {

namespace {

constexpr int kGoToPage = 1;
constexpr int kGoToLine = 3;
constexpr int kGoToFirst = 1; // also "absolute"
constexpr int kGoToNext = 2;
constexpr int kGoToPrevious = 3;
constexpr int kGoToLast = -1;

[[noreturn]] void OutOfRange() {
    throw MemberError{WordError(4608), L"値が範囲外です。"};
}

std::wstring FoldCase(std::wstring s) {
    CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

} // namespace

int Document::LinesPerPage() const {
    const long n = std::lround(linesPage_);
    return n >= 1 && n <= 200 ? static_cast<int>(n) : 36;
}

void Document::TypeParagraph() {
    // The insertion point sits in an empty paragraph: the new mark splits it and the point moves
    // on.
    for (Shape& s : shapes_)
        if (s.paragraph >= cursor_)
            ++s.paragraph;
    ++paragraphs_;
    ++cursor_;
}

void Document::GoTo(int what, int which, int count, const std::wstring& name) {
    // The caller's count may be anything a 32-bit integer holds: sums are made in 64 bits.
    const long long perPage = LinesPerPage();
    const long long lastLine = paragraphs_ - 1;
    auto clampLine = [&](long long line) {
        return static_cast<int>(std::clamp<long long>(line, 0, lastLine));
    };
    if (what == kGoToPage) {
        const long long pages = Pages();
        const long long current = cursor_ / perPage + 1;
        long long page = 0;
        if (!name.empty()) {
            wchar_t* end = nullptr;
            page = std::wcstoll(name.c_str(), &end, 10);
            if (!end || *end != L'\0')
                throw MemberError{WordError(5101), L"指定されたページが見つかりません。"};
        } else if (which == kGoToFirst) {
            page = count;
        } else if (which == kGoToNext) {
            page = current + count;
        } else if (which == kGoToPrevious) {
            page = current - count;
        } else if (which == kGoToLast) {
            page = pages;
        } else {
            OutOfRange();
        }
        page = std::clamp<long long>(page, 1, pages);
        cursor_ = clampLine((page - 1) * perPage);
    } else if (what == kGoToLine) {
        // Lines are counted through the document; past the last line the point stays there.
        if (which == kGoToFirst)
            cursor_ = clampLine(static_cast<long long>(count) - 1);
        else if (which == kGoToNext)
            cursor_ = clampLine(static_cast<long long>(cursor_) + count);
        else if (which == kGoToPrevious)
            cursor_ = clampLine(static_cast<long long>(cursor_) - count);
        else if (which == kGoToLast)
            cursor_ = static_cast<int>(lastLine);
        else
            OutOfRange();
    } else {
        throw MemberError{WordError(4120), L"パラメータの値が正しくありません。"};
    }
}

int Document::AddPicture(int paragraph, const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    const std::wstring key = FoldCase(n > 0 && n < MAX_PATH * 4 ? std::wstring(full) : path);
    auto found = pictures_.find(key);
    std::shared_ptr<const Picture> picture =
        found != pictures_.end() ? found->second : LoadPicture(path);
    pictures_.emplace(key, picture);
    int top = 0;
    for (const Shape& s : shapes_)
        top = std::max(top, s.z);
    shapes_.push_back(Shape{std::clamp(paragraph, 0, paragraphs_ - 1), picture, kWrapFront, top + 1,
                            picture->widthPt, picture->heightPt, true});
    return static_cast<int>(shapes_.size()) - 1;
}

void Document::SetLockAspectRatio(int shape, int triState) {
    Shape& s = shapes_.at(shape);
    constexpr int msoTrue = -1, msoFalse = 0, msoCTrue = 1, msoTriStateToggle = -3;
    if (triState == msoTrue || triState == msoCTrue)
        s.lockAspectRatio = true;
    else if (triState == msoFalse)
        s.lockAspectRatio = false;
    else if (triState == msoTriStateToggle)
        s.lockAspectRatio = !s.lockAspectRatio;
    else
        OutOfRange(); // msoTriStateMixed is an answer, not a setting
}

void Document::SetHeight(int shape, float heightPt) {
    // Word's limit for a shape's side: 1584 points (22 inches).
    if (!(heightPt > 0 && heightPt <= 1584))
        OutOfRange();
    Shape& s = shapes_.at(shape);
    const double width = s.lockAspectRatio ? s.widthPt * heightPt / s.heightPt : s.widthPt;
    if (width > 1584)
        OutOfRange();
    s.widthPt = width;
    s.heightPt = heightPt;
}

void Document::SetWrap(int shape, int type) {
    if (type < kWrapSquare || type > kWrapBehind)
        OutOfRange();
    shapes_.at(shape).wrap = type;
}

void Document::ZOrder(int shape, int command) {
    Shape& s = shapes_.at(shape);
    std::vector<int> order;
    for (const Shape& other : shapes_)
        order.push_back(other.z);
    std::sort(order.begin(), order.end());
    const int top = order.back(), bottom = order.front();
    switch (command) {
    case 0: // to the front
        s.z = top + 1;
        break;
    case 1: // to the back
        s.z = bottom - 1;
        break;
    case 2:   // one step forward: past the next shape above
    case 3: { // one step backward
        const bool forward = command == 2;
        const int old = s.z;
        Shape* neighbour = nullptr;
        for (Shape& other : shapes_)
            if (&other != &s && (forward ? other.z > old : other.z < old) &&
                (!neighbour || (forward ? other.z < neighbour->z : other.z > neighbour->z)))
                neighbour = &other;
        if (neighbour)
            std::swap(s.z, neighbour->z);
        break;
    }
    case 4: // in front of the text
        if (s.wrap == kWrapBehind)
            s.wrap = kWrapFront;
        break;
    case 5: // behind the text
        s.wrap = kWrapBehind;
        break;
    default:
        OutOfRange();
    }
}

} // namespace wordstub
