#pragma once
// The document build: one Word session that places the listed pictures and saves the document.
// It knows no window; the caller gathers the request and shows the outcome.

#include <string>
#include <vector>

// How the text wraps around the pictures.
enum class Wrap {
    InFront, // "前面": the picture in front of the text
    Square,  // "四角": the text around the picture's box
};

struct BuildRequest {
    std::vector<std::wstring> entries; // picture files, in list order
    int imagesPerPage = 1;             // 1..10
    Wrap wrap = Wrap::InFront;
    std::wstring outputPath;
};

// Starts Word, fills and saves the document, and always tells Word to quit without saving. Throws
// the error to show (the failing Quit's when the clean-up fails as well).
void BuildDocument(const BuildRequest& request);
