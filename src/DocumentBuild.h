#pragma once
// Page layout of a document build: pages to prepare, lines between pictures, lines left at the
// foot of a page. Counts that Word reports are taken as they come, so everything is computed in a
// way that cannot overflow; negative counts mean "no move".

#include <cstdint>

struct PageLayout {
    int32_t imagesPerPage = 1;
    int32_t pageCount = 0;
    int32_t linesPerPage = 0;
    int32_t lineStep = 0;
    int32_t pageRemainder = 0;
    int64_t paragraphs = 0; // empty paragraphs to type: pageCount * linesPerPage - 1, at least 0

    // Before Word is asked anything: pictures per page (1..10) and the number of list entries.
    static PageLayout ForFiles(int32_t fileCount, int32_t imagesPerPage);
    // Once the new document's page grid is known.
    void SetLinesPerPage(int32_t lines);
};
