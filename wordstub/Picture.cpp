// Pictures are read through the system's imaging component, as Word reads them.
#include "Dispatch.h"
#include "Document.h"
#include "Win32Util.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace wordstub {

namespace {

constexpr UINT kMaxPixels = 120u * 1000u * 1000u;

[[noreturn]] void NotFound(const std::wstring& path) {
    throw MemberError{WordError(5152), L"ファイルが見つかりません。(" + path + L")"};
}

[[noreturn]] void NotAPicture(const std::wstring& path) {
    throw MemberError{WordError(5152), L"このファイルは画像として読み込めません。形式が対応して"
                                       L"いないか、ファイルが壊れています。(" +
                                           path + L")"};
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        NotFound(path);
    std::string bytes;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 512ll * 1024 * 1024;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
              got == bytes.size());
    }
    CloseHandle(file);
    if (!ok)
        NotAPicture(path);
    return bytes;
}

// Word keeps BMP and TIFF pictures as PNG inside the document.
std::string EncodePng(IWICImagingFactory* factory, IWICBitmapSource* source, UINT width,
                      UINT height, double dpiX, double dpiY, const std::vector<BYTE>& pixels) {
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &options)) ||
        FAILED(frame->Initialize(options.Get())) || FAILED(frame->SetSize(width, height)) ||
        FAILED(frame->SetPixelFormat(&format)))
        return {};
    frame->SetResolution(dpiX, dpiY);
    HRESULT hr;
    if (IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA))
        hr = frame->WritePixels(height, width * 4, static_cast<UINT>(pixels.size()),
                                const_cast<BYTE*>(pixels.data()));
    else
        hr = frame->WriteSource(source, nullptr);
    if (FAILED(hr) || FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return {};
    HGLOBAL global = nullptr;
    STATSTG stat{};
    if (FAILED(GetHGlobalFromStream(stream.Get(), &global)) ||
        FAILED(stream->Stat(&stat, STATFLAG_NONAME)))
        return {};
    const void* data = GlobalLock(global);
    std::string bytes(static_cast<const char*>(data), static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(global);
    return bytes;
}

} // namespace

std::shared_ptr<const Picture> LoadPicture(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        NotFound(path);

    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory))))
        throw MemberError{WordError(5152), L"画像を読み込む機能を起動できません。"};
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder)))
        NotAPicture(path);
    GUID container{};
    decoder->GetContainerFormat(&container);
    auto picture = std::make_shared<Picture>();
    bool keepAsPng = false;
    if (IsEqualGUID(container, GUID_ContainerFormatJpeg)) {
        picture->extension = "jpeg";
        picture->contentType = "image/jpeg";
    } else if (IsEqualGUID(container, GUID_ContainerFormatPng)) {
        picture->extension = "png";
        picture->contentType = "image/png";
    } else if (IsEqualGUID(container, GUID_ContainerFormatGif)) {
        picture->extension = "gif";
        picture->contentType = "image/gif";
    } else if (IsEqualGUID(container, GUID_ContainerFormatBmp) ||
               IsEqualGUID(container, GUID_ContainerFormatTiff)) {
        picture->extension = "png";
        picture->contentType = "image/png";
        keepAsPng = true;
    } else {
        NotAPicture(path);
    }

    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    double dpiX = 0, dpiY = 0;
    if (FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) ||
        width == 0 || height == 0 || static_cast<unsigned long long>(width) * height > kMaxPixels)
        NotAPicture(path);
    if (FAILED(frame->GetResolution(&dpiX, &dpiY)) || !(dpiX >= 1 && dpiX <= 10000) ||
        !(dpiY >= 1 && dpiY <= 10000))
        dpiX = dpiY = 96;

    // Decoding every pixel is what tells a damaged file from a sound one.
    ComPtr<IWICFormatConverter> converter;
    std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()),
                                     pixels.data())))
        NotAPicture(path);

    picture->sourcePath = path;
    picture->pixelWidth = width;
    picture->pixelHeight = height;
    picture->bytes =
        keepAsPng ? EncodePng(factory.Get(), converter.Get(), width, height, dpiX, dpiY, pixels)
                  : ReadWholeFile(path);
    if (picture->bytes.empty())
        NotAPicture(path);

    // Word's default size: the picture's own size at its resolution, no wider than the text.
    picture->widthPt = width * 72.0 / dpiX;
    picture->heightPt = height * 72.0 / dpiY;
    const double textWidthPt = PageGeometry::kTextWidth / 20.0;
    if (picture->widthPt > textWidthPt) {
        picture->heightPt *= textWidthPt / picture->widthPt;
        picture->widthPt = textWidthPt;
    }
    return picture;
}

} // namespace wordstub
