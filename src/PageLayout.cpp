#include "PageLayout.h"

#include <algorithm>
#include <cmath>

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
