#pragma once
// The document Word would hold: empty paragraphs of one line each on a line grid, an insertion
// point, and floating pictures anchored to paragraphs.

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace wordstub {

// The page of a new Japanese A4 document, in twentieths of a point.
struct PageGeometry {
    static constexpr int kWidth = 11906;
    static constexpr int kHeight = 16838;
    static constexpr int kTop = 1985;
    static constexpr int kBottom = 1701;
    static constexpr int kLeft = 1701;
    static constexpr int kRight = 1701;
    static constexpr int kTextWidth = kWidth - kLeft - kRight;
    static constexpr int kTextHeight = kHeight - kTop - kBottom;
    // Word answers lengths in points.
    static constexpr float Points(int twips) { return static_cast<float>(twips) / 20.0f; }
};

struct Picture {
    std::wstring sourcePath;
    std::string bytes;       // as stored in the document
    std::string extension;   // of the part inside the package: "png", "jpeg", "gif"
    std::string contentType; // its media type
    UINT pixelWidth = 0;
    UINT pixelHeight = 0;
    double widthPt = 0; // Word's default size for the picture
    double heightPt = 0;
};

// Reads a picture file as Word would insert it; a MemberError when it cannot.
std::shared_ptr<const Picture> LoadPicture(const std::wstring& path);

// Wrap types and stacking commands, with Word's numbers.
enum WrapType {
    kWrapSquare = 0,
    kWrapTight = 1,
    kWrapThrough = 2,
    kWrapFront = 3,
    kWrapTopBottom = 4,
    kWrapBehind = 5
};

struct Shape {
    int paragraph = 0; // 0-based paragraph the shape is anchored to
    std::shared_ptr<const Picture> picture;
    int wrap = kWrapFront;
    int z = 0;          // larger is nearer the viewer
    double widthPt = 0; // the size it is drawn at: the picture's default until changed
    double heightPt = 0;
    bool lockAspectRatio = true; // as Word inserts a picture
};

class Document {
public:
    explicit Document(float linesPage) : linesPage_(linesPage) {}

    float LinesPage() const { return linesPage_; }
    // Lines on a page of the laid-out document (the grid of a real page has at least one).
    int LinesPerPage() const;
    int Paragraphs() const { return paragraphs_; }
    int Cursor() const { return cursor_; }
    int Pages() const { return (paragraphs_ + LinesPerPage() - 1) / LinesPerPage(); }

    void TypeParagraph();
    // Moves the insertion point the way Selection.GoTo does for pages (1) and lines (3).
    void GoTo(int what, int which, int count, const std::wstring& name);

    int AddPicture(int paragraph, const std::wstring& path);
    const std::vector<Shape>& Shapes() const { return shapes_; }
    void SetWrap(int shape, int type);
    void ZOrder(int shape, int command);
    // MsoTriState: msoTrue (-1) or msoCTrue (1) locks, msoFalse (0) unlocks, msoTriStateToggle
    // (-3) flips.
    void SetLockAspectRatio(int shape, int triState);
    // Points; the width follows in proportion while the aspect ratio is locked.
    void SetHeight(int shape, float heightPt);

    void SaveAs(const std::wstring& path) const;

private:
    float linesPage_;
    int paragraphs_ = 1;
    int cursor_ = 0;
    std::vector<Shape> shapes_;
    std::map<std::wstring, std::shared_ptr<const Picture>> pictures_; // one copy per file
};

} // namespace wordstub
