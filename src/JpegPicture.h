#pragma once
// JPEG pictures decoded from memory with libjpeg, and bitmaps made from them.

#include "Handles.h"

#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

struct JpegImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // top-down rows of red, green, blue bytes, no padding
};

// Decodes a complete JPEG picture. Damaged, truncated or empty data throws Error.
JpegImage DecodeJpeg(std::span<const std::uint8_t> data);

// The bytes of an RCDATA resource of the module; they live as long as the module.
std::span<const std::uint8_t> LoadResourceBytes(HINSTANCE module, int id);

// A 24-bit bitmap of the picture stretched to the given size.
UniqueBitmap MakeStretchedBitmap(const JpegImage& image, int width, int height);
