// The version window's picture: decoding JPEG data from memory and stretching it into a bitmap.
#include "Error.h"
#include "JpegPicture.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

struct Rgb {
    int r, g, b;
};

Rgb PixelAt(const JpegImage& image, int x, int y) {
    const std::uint8_t* p = image.rgb.data() + (static_cast<size_t>(y) * image.width + x) * 3;
    return {p[0], p[1], p[2]};
}

::testing::AssertionResult Near(Rgb actual, Rgb expected, int tolerance) {
    if (std::abs(actual.r - expected.r) <= tolerance &&
        std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << actual.r << ", " << actual.g << ", " << actual.b << "), expected ("
           << expected.r << ", " << expected.g << ", " << expected.b << ")";
}

// Four flat quadrants: red, green / blue, white.
Rgb QuadrantColour(int x, int y, int width, int height) {
    const bool right = x >= width / 2, bottom = y >= height / 2;
    if (!bottom)
        return right ? Rgb{0, 200, 0} : Rgb{220, 0, 0};
    return right ? Rgb{255, 255, 255} : Rgb{0, 0, 220};
}

JpegImage QuadrantImage(int width, int height) {
    JpegImage image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = QuadrantColour(x, y, width, height);
            image.rgb.insert(image.rgb.end(),
                             {static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g),
                              static_cast<std::uint8_t>(c.b)});
        }
    return image;
}

// Encodes with libjpeg's compressor, so the decoder meets data it did not come from.
std::vector<std::uint8_t> Encode(const JpegImage& image, bool grey) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (grey)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row;
    while (cinfo.next_scanline < cinfo.image_height) {
        row.assign(image.rgb.begin() + cinfo.next_scanline * image.width * 3,
                   image.rgb.begin() + (cinfo.next_scanline + 1) * image.width * 3);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

std::span<const std::uint8_t> EmbeddedPicture() {
    return LoadResourceBytes(GetModuleHandleW(nullptr), IDR_ABOUTPICTURE);
}

// The decoder's error for the data, or an empty text when it decoded.
std::wstring DecodeError(std::span<const std::uint8_t> data) {
    try {
        DecodeJpeg(data);
    } catch (const Error& e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(JpegPicture, EmbeddedPictureDecodesWithItsDesign) {
    const auto bytes = EmbeddedPicture();
    EXPECT_GT(bytes.size(), 2000u);
    EXPECT_LT(bytes.size(), 4000u);
    const JpegImage image = DecodeJpeg(bytes);
    ASSERT_EQ(image.width, 132);
    ASSERT_EQ(image.height, 116);
    ASSERT_EQ(image.rgb.size(), 132u * 116u * 3u);
    // The page's three pictures, top to bottom: orange, green, pink; sky blue around the page.
    EXPECT_TRUE(Near(PixelAt(image, 84, 20), {0xf2, 0xa3, 0x3a}, 24));
    EXPECT_TRUE(Near(PixelAt(image, 66, 55), {0x5c, 0xb8, 0x5c}, 24));
    EXPECT_TRUE(Near(PixelAt(image, 66, 83), {0xe0, 0x5a, 0x7a}, 24));
    EXPECT_TRUE(Near(PixelAt(image, 4, 3), {0x7e, 0xc8, 0xf0}, 24));
}

TEST(JpegPicture, DecodesWhatTheEncoderWrote) {
    const JpegImage source = QuadrantImage(40, 24);
    const JpegImage colour = DecodeJpeg(Encode(source, false));
    ASSERT_EQ(colour.width, 40);
    ASSERT_EQ(colour.height, 24);
    for (POINT p : {POINT{5, 4}, POINT{34, 4}, POINT{5, 19}, POINT{34, 19}})
        EXPECT_TRUE(Near(PixelAt(colour, p.x, p.y), QuadrantColour(p.x, p.y, 40, 24), 30))
            << p.x << "," << p.y;

    // A greyscale picture comes out as RGB with equal channels.
    const JpegImage grey = DecodeJpeg(Encode(source, true));
    ASSERT_EQ(grey.rgb.size(), 40u * 24u * 3u);
    const Rgb white = PixelAt(grey, 34, 19), blue = PixelAt(grey, 5, 19);
    EXPECT_EQ(white.r, white.g);
    EXPECT_EQ(white.g, white.b);
    EXPECT_GT(white.r, 240);
    EXPECT_EQ(blue.r, blue.b);
    EXPECT_LT(blue.r, 60);
}

TEST(JpegPicture, DamagedDataGivesAnErrorNotACrash) {
    const auto good = EmbeddedPicture();
    const std::vector<std::uint8_t> bytes(good.begin(), good.end());
    const std::vector<std::uint8_t> empty;
    const std::vector<std::uint8_t> headerOnly(bytes.begin(), bytes.begin() + 20);
    const std::vector<std::uint8_t> halfScan(bytes.begin(), bytes.begin() + bytes.size() * 3 / 4);
    const std::vector<std::uint8_t> noEnd(bytes.begin(), bytes.end() - 2);
    std::vector<std::uint8_t> garbage(600);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    // The start marker followed by garbage where the segments should be.
    std::vector<std::uint8_t> badSegments = garbage;
    badSegments[0] = 0xFF;
    badSegments[1] = 0xD8;

    const std::pair<const char*, const std::vector<std::uint8_t>*> cases[] = {
        {"empty", &empty},
        {"header only", &headerOnly},
        {"truncated scan", &halfScan},
        {"no end marker", &noEnd},
        {"garbage", &garbage},
        {"gif header", &gif},
        {"bad segments", &badSegments},
    };
    for (const auto& [name, data] : cases) {
        const std::wstring message = DecodeError(*data);
        EXPECT_EQ(message.rfind(L"画像を読み込めません: ", 0), 0u) << name;
        EXPECT_GT(message.size(), std::wstring(L"画像を読み込めません: ").size()) << name;
    }
    // The decoder is left usable.
    EXPECT_EQ(DecodeJpeg(bytes).width, 132);
}

TEST(JpegPicture, HugeDimensionsAreRefusedBeforeAllocating) {
    const auto good = EmbeddedPicture();
    std::vector<std::uint8_t> bytes(good.begin(), good.end());
    // The frame header (SOF0): marker, length, precision, height, width.
    size_t sof = 0;
    for (size_t i = 2; i + 9 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    ASSERT_NE(sof, 0u);
    bytes[sof + 5] = bytes[sof + 7] = 0xFD; // 65000 × 65000
    bytes[sof + 6] = bytes[sof + 8] = 0xE8;
    EXPECT_EQ(DecodeError(bytes), L"画像を読み込めません: 画像が大きすぎます");
}

TEST(JpegPicture, StretchedBitmapKeepsOrientationAndSize) {
    const JpegImage source = QuadrantImage(20, 10);
    UniqueBitmap bitmap = MakeStretchedBitmap(source, 66, 58);
    ASSERT_TRUE(bitmap);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(bitmap.get(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 66);
    EXPECT_EQ(dib.dsBm.bmHeight, 58);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    ASSERT_NE(dib.dsBm.bmBits, nullptr);
    const bool bottomUp = dib.dsBmih.biHeight > 0;
    auto pixel = [&](int x, int y) {
        const int row = bottomUp ? 57 - y : y;
        const auto* p = static_cast<const std::uint8_t*>(dib.dsBm.bmBits) +
                        static_cast<size_t>(row) * dib.dsBm.bmWidthBytes + x * 3;
        return Rgb{p[2], p[1], p[0]};
    };
    for (POINT p :
         {POINT{3, 3}, POINT{62, 3}, POINT{3, 54}, POINT{62, 54}, POINT{20, 20}, POINT{45, 40}})
        EXPECT_TRUE(Near(pixel(p.x, p.y), QuadrantColour(p.x, p.y, 66, 58), 16))
            << p.x << "," << p.y;
}
