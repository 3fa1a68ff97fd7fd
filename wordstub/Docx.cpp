// SaveAs: the document as an Office Open XML package, whatever the file's extension (as a recent
// Word writes by default), zipped with zlib.
#include "Dispatch.h"
#include "Document.h"
#include "Win32Util.h"
#include "Zip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wordstub {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

constexpr char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

std::string ContentTypes(const std::vector<std::string>& extensions) {
    std::string xml = kXmlHead;
    xml += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>";
    for (const std::string& ext : extensions)
        xml += "<Default Extension=\"" + ext + "\" ContentType=\"image/" + ext + "\"/>";
    xml += "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
           "<Override PartName=\"/word/styles.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
           "</Types>";
    return xml;
}

std::string PackageRels() {
    return std::string(kXmlHead) +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
           "</Relationships>";
}

// Every empty paragraph is exactly one grid line high, so the pages hold the lines Word shows.
std::string Styles(int pitch) {
    const std::string line = std::to_string(pitch);
    return std::string(kXmlHead) +
           "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
           "<w:docDefaults><w:rPrDefault><w:rPr>"
           "<w:rFonts w:ascii=\"Century\" w:eastAsia=\"ＭＳ 明朝\" w:hAnsi=\"Century\"/>"
           "<w:kern w:val=\"2\"/><w:sz w:val=\"21\"/><w:szCs w:val=\"22\"/>"
           "<w:lang w:val=\"en-US\" w:eastAsia=\"ja-JP\"/></w:rPr></w:rPrDefault>"
           "<w:pPrDefault><w:pPr><w:widowControl w:val=\"0\"/><w:jc w:val=\"both\"/>"
           "<w:spacing w:before=\"0\" w:after=\"0\" w:line=\"" +
           line +
           "\" w:lineRule=\"exact\"/></w:pPr></w:pPrDefault></w:docDefaults>"
           "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"a\">"
           "<w:name w:val=\"Normal\"/><w:qFormat/></w:style>"
           "</w:styles>";
}

std::string WrapElement(int wrap) {
    const char* polygon = "<wp:wrapPolygon edited=\"0\"><wp:start x=\"0\" y=\"0\"/>"
                          "<wp:lineTo x=\"0\" y=\"21600\"/><wp:lineTo x=\"21600\" y=\"21600\"/>"
                          "<wp:lineTo x=\"21600\" y=\"0\"/><wp:lineTo x=\"0\" y=\"0\"/>"
                          "</wp:wrapPolygon>";
    switch (wrap) {
    case kWrapSquare:
        return "<wp:wrapSquare wrapText=\"bothSides\"/>";
    case kWrapTight:
        return std::string("<wp:wrapTight wrapText=\"bothSides\">") + polygon + "</wp:wrapTight>";
    case kWrapThrough:
        return std::string("<wp:wrapThrough wrapText=\"bothSides\">") + polygon +
               "</wp:wrapThrough>";
    case kWrapTopBottom:
        return "<wp:wrapTopAndBottom/>";
    default: // in front of or behind the text
        return "<wp:wrapNone/>";
    }
}

std::string Drawing(const Shape& shape, int id, const std::string& relId, int zBase) {
    // The drawing's extent and the picture's own frame both carry the size it is drawn at.
    const auto cx = std::llround(shape.widthPt * 12700);
    const auto cy = std::llround(shape.heightPt * 12700);
    const std::string extent =
        "cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) + "\"";
    const std::string number = std::to_string(id);
    std::wstring file = shape.picture->sourcePath;
    file = file.substr(
        file.find_last_of(L"\\/") == std::wstring::npos ? 0 : file.find_last_of(L"\\/") + 1);
    return "<w:r><w:drawing><wp:anchor distT=\"0\" distB=\"0\" distL=\"114300\" distR=\"114300\" "
           "simplePos=\"0\" relativeHeight=\"" +
           std::to_string(zBase + shape.z) + "\" behindDoc=\"" +
           (shape.wrap == kWrapBehind ? "1" : "0") +
           "\" locked=\"0\" layoutInCell=\"1\" allowOverlap=\"1\">"
           "<wp:simplePos x=\"0\" y=\"0\"/>"
           "<wp:positionH relativeFrom=\"column\"><wp:posOffset>0</wp:posOffset></wp:positionH>"
           "<wp:positionV relativeFrom=\"paragraph\"><wp:posOffset>0</wp:posOffset></wp:positionV>"
           "<wp:extent " +
           extent + "/><wp:effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/>" +
           WrapElement(shape.wrap) + "<wp:docPr id=\"" + number + "\" name=\"" +
           Escape(ToUtf8(L"図 ")) + number +
           "\"/><wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect=\"" +
           (shape.lockAspectRatio ? "1" : "0") +
           "\"/></wp:cNvGraphicFramePr><a:graphic><a:graphicData "
           "uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic>"
           "<pic:nvPicPr><pic:cNvPr id=\"" +
           number + "\" name=\"" + Escape(ToUtf8(file)) +
           "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" + relId +
           "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm>"
           "<a:off x=\"0\" y=\"0\"/><a:ext " +
           extent +
           "/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic>"
           "</a:graphicData></a:graphic></wp:anchor></w:drawing></w:r>";
}

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// Writes a file beside the target and puts it in the target's place only once it is complete: a
// save that fails leaves the file that was there before as it was.
void WriteFileOrFail(const std::wstring& path, const std::string& bytes) {
    auto fail = [&](DWORD error) {
        wchar_t text[512] = {};
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text, 512, nullptr);
        std::wstring reason = text;
        while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r'))
            reason.pop_back();
        throw MemberError{WordError(5356), L"文書を保存できません。(" + path + L") " + reason};
    };
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
    wchar_t temp[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), L"~WR", 0, temp) == 0)
        fail(GetLastError());
    DWORD error = ERROR_SUCCESS;
    {
        const UniqueKernelHandle file = OpenFile(temp, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
        DWORD written = 0;
        if (!file ||
            !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written != bytes.size() || !FlushFileBuffers(file.get()))
            error = LastErrorOr(ERROR_WRITE_FAULT);
    }
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = LastErrorOr(ERROR_ACCESS_DENIED);
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temp);
        fail(error);
    }
}

} // namespace

void Document::SaveAs(const std::wstring& path) const {
    if (path.empty())
        throw MemberError{WordError(5152), L"ファイル名が正しくありません。"};
    const int lines = LinesPerPage();
    const int pitch = PageGeometry::kTextHeight / lines;

    // Each picture file goes into the package once, however often it was placed.
    std::map<const Picture*, std::string> relOf;
    std::string rels = std::string(kXmlHead) +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                       "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas."
                       "openxmlformats.org/officeDocument/2006/relationships/styles\" "
                       "Target=\"styles.xml\"/>";
    ZipWriter zip;
    std::vector<std::pair<std::string, const Picture*>> media;
    std::vector<std::string> extensions;
    for (const Shape& s : shapes_) {
        const Picture* p = s.picture.get();
        if (relOf.count(p))
            continue;
        const std::string number = std::to_string(media.size() + 1);
        const std::string rel = "rId" + std::to_string(media.size() + 100);
        relOf[p] = rel;
        const std::string name = "media/image" + number + "." + p->extension;
        media.emplace_back("word/" + name, p);
        rels += "<Relationship Id=\"" + rel +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "image\" Target=\"" +
                name + "\"/>";
        if (std::find(extensions.begin(), extensions.end(), p->extension) == extensions.end())
            extensions.push_back(p->extension);
    }
    rels += "</Relationships>";

    int zBase = 251658240; // where Word numbers its floating shapes from
    for (const Shape& s : shapes_)
        zBase = std::max(zBase, 1 - s.z + 251658240);
    std::vector<std::string> runs(paragraphs_);
    for (size_t i = 0; i < shapes_.size(); ++i) {
        const Shape& s = shapes_[i];
        runs[s.paragraph] += Drawing(s, static_cast<int>(i) + 1, relOf[s.picture.get()], zBase);
    }
    std::string body = std::string(kXmlHead) +
                       "<w:document "
                       "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                       "relationships\" "
                       "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/"
                       "wordprocessingDrawing\" "
                       "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                       "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
                       "<w:body>";
    for (const std::string& r : runs)
        body += r.empty() ? "<w:p/>" : "<w:p>" + r + "</w:p>";
    body += "<w:sectPr><w:pgSz w:w=\"" + std::to_string(PageGeometry::kWidth) + "\" w:h=\"" +
            std::to_string(PageGeometry::kHeight) + "\"/><w:pgMar w:top=\"" +
            std::to_string(PageGeometry::kTop) + "\" w:right=\"" +
            std::to_string(PageGeometry::kRight) + "\" w:bottom=\"" +
            std::to_string(PageGeometry::kBottom) + "\" w:left=\"" +
            std::to_string(PageGeometry::kLeft) +
            "\" w:header=\"851\" w:footer=\"992\" w:gutter=\"0\"/><w:cols w:space=\"425\"/>"
            "<w:docGrid w:type=\"lines\" w:linePitch=\"" +
            std::to_string(pitch) + "\"/></w:sectPr></w:body></w:document>";

    zip.Add("[Content_Types].xml", ContentTypes(extensions));
    zip.Add("_rels/.rels", PackageRels());
    zip.Add("word/document.xml", body);
    zip.Add("word/styles.xml", Styles(pitch));
    zip.Add("word/_rels/document.xml.rels", rels);
    for (const auto& [name, picture] : media)
        zip.Add(name, picture->bytes);
    WriteFileOrFail(path, zip.Finish());
}

} // namespace wordstub
