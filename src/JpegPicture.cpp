#include "JpegPicture.h"

#include "Error.h"

#include <csetjmp>
#include <cstdio>
#include <string>

// jpeglib.h expects size_t and FILE to be declared already.
#include <jpeglib.h>

namespace {

// Pictures beyond this many pixels are refused rather than risking a huge allocation.
constexpr std::size_t kMaxPixels = 16u * 1024u * 1024u;

// libjpeg reports errors by calling error_exit, which must not return. Ours jumps back to the
// frame that started the libjpeg call; those frames hold no objects with destructors.
struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer can be cast back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// Called for the first warning (corrupt data, premature end): keep its text instead of printing.
void OnWarning(j_common_ptr cinfo) {
    (*cinfo->err->format_message)(cinfo, reinterpret_cast<ErrorManager*>(cinfo->err)->message);
}

void OnError(j_common_ptr cinfo) {
    OnWarning(cinfo);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

bool StartDecompress(jpeg_decompress_struct* cinfo, ErrorManager* err, const unsigned char* data,
                     unsigned long size) {
    if (setjmp(err->jump))
        return false;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, size);
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

bool ReadRows(jpeg_decompress_struct* cinfo, ErrorManager* err, unsigned char* out,
              std::size_t stride) {
    if (setjmp(err->jump))
        return false;
    jpeg_start_decompress(cinfo);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out + cinfo->output_scanline * stride;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Owns libjpeg's decompression state for one picture.
class Decompressor {
public:
    Decompressor() {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = OnError;
        err.pub.output_message = OnWarning;
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }

    // libjpeg's own text for what went wrong.
    [[noreturn]] void Fail() const { Fail(FromUtf8(err.message)); }
    [[noreturn]] static void Fail(const std::wstring& reason) {
        throw Error(L"画像を読み込めません: " + reason);
    }

    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
};

} // namespace

JpegImage DecodeJpeg(std::span<const std::uint8_t> data) {
    Decompressor d;
    if (!StartDecompress(&d.cinfo, &d.err, data.data(), static_cast<unsigned long>(data.size())))
        d.Fail();
    const std::size_t width = d.cinfo.output_width;
    const std::size_t height = d.cinfo.output_height;
    if (width == 0 || height == 0 || height > kMaxPixels / width)
        d.Fail(L"画像が大きすぎます");

    JpegImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rgb.resize(width * height * 3);
    if (!ReadRows(&d.cinfo, &d.err, image.rgb.data(), width * 3))
        d.Fail();
    // A damaged picture only warns (libjpeg fills in grey); the program wants it whole.
    if (d.err.pub.num_warnings != 0)
        d.Fail();
    return image;
}

std::span<const std::uint8_t> LoadResourceBytes(HINSTANCE module, int id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        throw Error(L"リソースが見つかりません");
    return {static_cast<const std::uint8_t*>(bytes), SizeofResource(module, found)};
}

UniqueBitmap MakeStretchedBitmap(const JpegImage& image, int width, int height) {
    // The picture as a bottom-up 24-bit DIB: rows of blue, green, red, padded to 4 bytes.
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> dib(stride * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3;
        std::uint8_t* dst = dib.data() + static_cast<std::size_t>(image.height - 1 - y) * stride;
        for (int x = 0; x < image.width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    BITMAPINFO source{};
    source.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    source.bmiHeader.biWidth = image.width;
    source.bmiHeader.biHeight = image.height;
    source.bmiHeader.biPlanes = 1;
    source.bmiHeader.biBitCount = 24;
    source.bmiHeader.biCompression = BI_RGB;

    BITMAPINFO target = source;
    target.bmiHeader.biWidth = width;
    target.bmiHeader.biHeight = height;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemDc dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc)
        throw Error(L"画像を表示できません");
    {
        SelectObjectScope select(dc.get(), bitmap.get());
        SetStretchBltMode(dc.get(), HALFTONE);
        SetBrushOrgEx(dc.get(), 0, 0, nullptr);
        if (StretchDIBits(dc.get(), 0, 0, width, height, 0, 0, image.width, image.height,
                          dib.data(), &source, DIB_RGB_COLORS, SRCCOPY) == 0)
            throw Error(L"画像を表示できません");
    }
    GdiFlush();
    return bitmap;
}
