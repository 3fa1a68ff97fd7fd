#pragma once
// Picture files made at test time through the imaging component, so no binaries live in the tree.

#include "TempFolder.h"

#include <windows.h>

#include <string>
#include <vector>

enum class PictureFormat { Png, Jpeg, Gif, Bmp, Tiff };

// Writes a width x height picture with a colour gradient at the given resolution (dots per inch).
// Each variant puts the gradients in other colours, so that pictures of one size differ.
// Returns false when the system cannot encode that format.
bool WriteTestPicture(const std::wstring& path, PictureFormat format, UINT width, UINT height,
                      double dpi = 96.0, unsigned variant = 0);

// Writes arbitrary bytes (a file that is not a picture, or a damaged one).
bool WriteBytes(const std::wstring& path, const std::string& bytes);

// count pictures in dir, PNG, JPEG, GIF and BMP in turn, each of another size, named 写真001... so
// that a drop's sorting keeps them in order. Empty when one cannot be written.
std::vector<std::wstring> MakePictureSeries(const std::wstring& dir, int count);
