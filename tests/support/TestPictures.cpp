#include "TestPictures.h"

#include "Win32Util.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cwchar>
#include <filesystem>
#include <vector>

using Microsoft::WRL::ComPtr;

bool WriteTestPicture(const std::wstring& path, PictureFormat format, UINT width, UINT height,
                      double dpi, unsigned variant) {
    // In the order of PictureFormat.
    static const GUID* const kContainers[] = {&GUID_ContainerFormatPng, &GUID_ContainerFormatJpeg,
                                              &GUID_ContainerFormatGif, &GUID_ContainerFormatBmp,
                                              &GUID_ContainerFormatTiff};
    const GUID* container = kContainers[static_cast<size_t>(format)];
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(*container, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &options)) ||
        FAILED(frame->Initialize(options.Get())) || FAILED(frame->SetSize(width, height)) ||
        FAILED(frame->SetResolution(dpi, dpi)))
        return false;
    // Palette formats (GIF) get a bitmap converted by the encoder from 24-bit colour.
    // Which of blue, green and red carry the horizontal gradient, the vertical one and a constant.
    static const int kChannels[6][3] = {{0, 1, 2}, {2, 0, 1}, {1, 2, 0},
                                        {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
    const int* channel = kChannels[variant % 6];
    const BYTE constant = static_cast<BYTE>(0x80 - 0x30 * (variant / 6 % 3));
    std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 3);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            BYTE* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            p[channel[0]] = static_cast<BYTE>(x * 255 / (width > 1 ? width - 1 : 1));
            p[channel[1]] = static_cast<BYTE>(y * 255 / (height > 1 ? height - 1 : 1));
            p[channel[2]] = constant;
        }
    ComPtr<IWICBitmap> bitmap;
    if (FAILED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat24bppBGR,
                                               width * 3, static_cast<UINT>(pixels.size()),
                                               pixels.data(), &bitmap)))
        return false;
    WICPixelFormatGUID wanted = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&wanted)))
        return false;
    ComPtr<IWICBitmapSource> source = bitmap;
    if (!IsEqualGUID(wanted, GUID_WICPixelFormat24bppBGR)) {
        ComPtr<IWICFormatConverter> converter;
        ComPtr<IWICPalette> palette;
        const bool indexed = IsEqualGUID(wanted, GUID_WICPixelFormat8bppIndexed);
        if (indexed &&
            (FAILED(factory->CreatePalette(&palette)) ||
             FAILED(palette->InitializePredefined(WICBitmapPaletteTypeFixedHalftone256, FALSE)) ||
             FAILED(frame->SetPalette(palette.Get()))))
            return false;
        if (FAILED(factory->CreateFormatConverter(&converter)) ||
            FAILED(converter->Initialize(
                bitmap.Get(), wanted, WICBitmapDitherTypeNone, palette.Get(), 0,
                indexed ? WICBitmapPaletteTypeFixedHalftone256 : WICBitmapPaletteTypeCustom)))
            return false;
        source = converter;
    }
    return SUCCEEDED(frame->WriteSource(source.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
           SUCCEEDED(encoder->Commit());
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    const UniqueKernelHandle file = wordstub::OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::vector<std::wstring> MakePictureSeries(const std::wstring& dir, int count) {
    const struct {
        PictureFormat format;
        const wchar_t* ext;
        UINT width, height;
    } kinds[] = {{PictureFormat::Png, L"png", 240, 160},
                 {PictureFormat::Jpeg, L"jpg", 320, 180},
                 {PictureFormat::Gif, L"gif", 300, 200},
                 {PictureFormat::Bmp, L"bmp", 200, 200}};
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        const auto& k = kinds[i % 4];
        wchar_t name[32];
        swprintf(name, 32, L"\\写真%03d.%ls", i + 1, k.ext);
        if (!WriteTestPicture(dir + name, k.format, k.width + 8 * static_cast<UINT>(i), k.height))
            return {};
        files.push_back(dir + name);
    }
    return files;
}
