#pragma once
// Page layout of a build: pages to prepare, lines between pictures, lines left at the foot of a
// page, and each picture's place. Plain arithmetic on what the request and Word tell.

#include <cstdint>

// Counts that Word reports are taken as they come, so everything is computed in a way that cannot
// overflow; negative counts mean "no move".
struct PageLayout {
    int32_t imagesPerPage = 1;
    int32_t pageCount = 0;
    int32_t linesPerPage = 0;
    int32_t lineStep = 0;
    int32_t pageRemainder = 0;
    int64_t paragraphs = 0; // empty paragraphs to type: pageCount * linesPerPage - 1, at least 0

    double linePitch = 0; // points; 0 while the pictures have no place to fit into

    // From the request alone: pictures per page (1..10) and the number of entries.
    static PageLayout ForFiles(int32_t fileCount, int32_t imagesPerPage);
    // Once the new document's page grid is known.
    void SetLinesPerPage(int32_t lines);

    // Each picture has a place of its own, from its anchor line down to the next one: at least
    // one line per page and one line between two pictures.
    bool HasPlaces() const { return linesPerPage >= 1 && lineStep >= 1; }
    // The page's height and margins (points) give the grid's line pitch. A page whose margins
    // leave no room for its lines has no places.
    void SetPageHeight(double pageHeight, double topMargin, double bottomMargin);
    // The height (points) of the place of the picture at slotOnPage (1-based): lineStep lines,
    // and the lines left at the foot for the last place of a page. 0 without places.
    double SlotHeight(int32_t slotOnPage) const;
    // A picture taller than its place by more than a rounding error is to get the place's height.
    bool Overflows(double pictureHeight, int32_t slotOnPage) const;
};
