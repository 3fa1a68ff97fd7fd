#include "DocxReader.h"

#include "Win32Util.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

uint32_t U16(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t U32(const std::string& b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

std::string ReadAll(const std::wstring& path) {
    const UniqueKernelHandle file =
        wordstub::OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

std::optional<std::string> Inflate(const std::string& packed, size_t size) {
    std::string out(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.total_out != size)
        return std::nullopt;
    return out;
}

// The value of attribute `name` in the tag that starts at `tag`.
std::string Attribute(const std::string& xml, size_t tag, const std::string& name) {
    const size_t end = xml.find('>', tag);
    const std::string key = " " + name + "=\"";
    const size_t at = xml.find(key, tag);
    if (at == std::string::npos || at > end)
        return {};
    const size_t start = at + key.size();
    return xml.substr(start, xml.find('"', start) - start);
}

// The first element named `tag` between from and to, as the position of its '<'.
size_t Find(const std::string& xml, const std::string& tag, size_t from, size_t to) {
    for (size_t at = xml.find("<" + tag, from); at != std::string::npos && at < to;
         at = xml.find("<" + tag, at + 1)) {
        const char next = xml[at + 1 + tag.size()];
        if (next == ' ' || next == '>' || next == '/')
            return at;
    }
    return std::string::npos;
}

long Number(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

} // namespace

std::map<std::string, std::string> ReadPackage(const std::wstring& path) {
    std::map<std::string, std::string> parts;
    const std::string zip = ReadAll(path);
    if (zip.size() < 22)
        return parts;
    size_t end = zip.size() - 22;
    while (end > 0 && U32(zip, end) != 0x06054b50)
        --end;
    if (U32(zip, end) != 0x06054b50)
        return parts;
    const uint32_t entries = U16(zip, end + 10);
    size_t at = U32(zip, end + 16);
    for (uint32_t i = 0; i < entries && at + 46 <= zip.size(); ++i) {
        if (U32(zip, at) != 0x02014b50)
            return {};
        const uint32_t method = U16(zip, at + 10), packed = U32(zip, at + 20),
                       size = U32(zip, at + 24), nameLength = U16(zip, at + 28),
                       extra = U16(zip, at + 30), comment = U16(zip, at + 32),
                       local = U32(zip, at + 42);
        const std::string name = zip.substr(at + 46, nameLength);
        at += 46 + nameLength + extra + comment;
        if (local + 30 > zip.size() || U32(zip, local) != 0x04034b50)
            return {};
        const size_t data = local + 30 + U16(zip, local + 26) + U16(zip, local + 28);
        const std::string raw = zip.substr(data, packed);
        if (method == 0) {
            parts[name] = raw;
        } else if (method == 8) {
            auto inflated = Inflate(raw, size);
            if (!inflated)
                return {};
            parts[name] = *inflated;
        } else {
            return {};
        }
    }
    return parts;
}

std::optional<DocxLayout> ReadDocxLayout(const std::wstring& path) {
    DocxLayout layout;
    layout.parts = ReadPackage(path);
    const auto doc = layout.parts.find("word/document.xml");
    const auto rels = layout.parts.find("word/_rels/document.xml.rels");
    if (doc == layout.parts.end() || rels == layout.parts.end())
        return std::nullopt;
    const std::string& xml = doc->second;

    const size_t sect = Find(xml, "w:sectPr", 0, xml.size());
    const size_t grid = Find(xml, "w:docGrid", sect, xml.size());
    const size_t margins = Find(xml, "w:pgMar", sect, xml.size());
    const size_t size = Find(xml, "w:pgSz", sect, xml.size());
    if (sect == std::string::npos || grid == std::string::npos || margins == std::string::npos ||
        size == std::string::npos)
        return std::nullopt;
    const long pitch = Number(Attribute(xml, grid, "w:linePitch"));
    const long text = Number(Attribute(xml, size, "w:h")) -
                      Number(Attribute(xml, margins, "w:top")) -
                      Number(Attribute(xml, margins, "w:bottom"));
    if (pitch <= 0)
        return std::nullopt;
    layout.linePitchPt = pitch / 20.0;
    layout.linesPerPage = static_cast<int>(text / pitch);

    const std::string& relXml = rels->second;
    auto target = [&](const std::string& id) {
        for (size_t at = Find(relXml, "Relationship", 0, relXml.size()); at != std::string::npos;
             at = Find(relXml, "Relationship", at + 1, relXml.size()))
            if (Attribute(relXml, at, "Id") == id)
                return "word/" + Attribute(relXml, at, "Target");
        return std::string();
    };

    for (size_t p = Find(xml, "w:p", 0, xml.size()); p != std::string::npos;
         p = Find(xml, "w:p", p + 1, xml.size())) {
        const size_t close = xml.find('>', p);
        const size_t end = xml[close - 1] == '/' ? close : xml.find("</w:p>", p);
        for (size_t a = Find(xml, "wp:anchor", p, end); a != std::string::npos;
             a = Find(xml, "wp:anchor", a + 1, end)) {
            const size_t stop = xml.find("</wp:anchor>", a);
            DocxPicture picture;
            picture.paragraph = layout.paragraphs;
            picture.page = layout.paragraphs / std::max(layout.linesPerPage, 1) + 1;
            picture.line = layout.paragraphs % std::max(layout.linesPerPage, 1) + 1;
            picture.behindText = Attribute(xml, a, "behindDoc") == "1";
            picture.relativeHeight = Number(Attribute(xml, a, "relativeHeight"));
            picture.id = Attribute(xml, Find(xml, "wp:docPr", a, stop), "id");
            const size_t extent = Find(xml, "wp:extent", a, stop);
            picture.widthPt = Number(Attribute(xml, extent, "cx")) / 12700.0;
            picture.heightPt = Number(Attribute(xml, extent, "cy")) / 12700.0;
            const size_t frame = Find(xml, "a:ext", Find(xml, "a:xfrm", a, stop), stop);
            picture.frameWidthPt = Number(Attribute(xml, frame, "cx")) / 12700.0;
            picture.frameHeightPt = Number(Attribute(xml, frame, "cy")) / 12700.0;
            picture.aspectLocked =
                Attribute(xml, Find(xml, "a:graphicFrameLocks", a, stop), "noChangeAspect") == "1";
            for (const char* kind :
                 {"wrapNone", "wrapSquare", "wrapTight", "wrapThrough", "wrapTopAndBottom"})
                if (Find(xml, std::string("wp:") + kind, a, stop) != std::string::npos)
                    picture.wrap = kind;
            picture.media = target(Attribute(xml, Find(xml, "a:blip", a, stop), "r:embed"));
            layout.pictures.push_back(picture);
        }
        ++layout.paragraphs;
    }
    return layout;
}
