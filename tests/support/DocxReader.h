#pragma once
// Reads a saved .docx in tests: the parts of the package, and where its floating pictures are.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

// The parts of a zip package, inflated. Empty when the file is not a readable package.
std::map<std::string, std::string> ReadPackage(const std::wstring& path);

struct DocxPicture {
    int paragraph = 0; // 0-based paragraph of the anchor
    int page = 0;      // 1-based, by the document's line grid
    int line = 0;      // 1-based line on that page
    std::string wrap;  // "wrapNone", "wrapSquare", "wrapTight", "wrapThrough", "wrapTopAndBottom"
    bool behindText = false;
    std::string id;     // the drawing's id
    std::string media;  // the package part holding the picture
    double widthPt = 0; // the drawing's extent
    double heightPt = 0;
    double frameWidthPt = 0; // the picture's own frame
    double frameHeightPt = 0;
    bool aspectLocked = false;
    long relativeHeight = 0; // stacking order: larger is nearer the viewer
};

struct DocxLayout {
    int paragraphs = 0;
    int linesPerPage = 0; // from the line grid and the page's text height
    double linePitchPt = 0;
    std::vector<DocxPicture> pictures; // in document order
    std::map<std::string, std::string> parts;
};

std::optional<DocxLayout> ReadDocxLayout(const std::wstring& path);
