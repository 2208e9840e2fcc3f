// Portable platform: PNG files of pixel rectangles.
//
// Writes and reads COLORREF pixels (0x00BBGGRR, rows top to bottom) as 8-bit RGB
// PNG files through libpng. A picture of at most 256 colours (every canvas: it
// holds palette colours only) is written with a colour map, which keeps golden
// pictures small; reading gives back exactly the colours written. Failures return
// false with a reason in `error`; nothing is thrown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HBITMAP__;

namespace portable {

// Writes width x height pixels to `path`. `stride` is the distance between rows in
// pixels (0: width), so a rectangle of a larger image can be written in place.
bool write_png(const std::string& path, int width, int height, const uint32_t* pixels,
               int stride = 0, std::string* error = nullptr);

// Writes a whole bitmap.
bool write_png(const std::string& path, const HBITMAP__& bitmap, std::string* error = nullptr);

// Reads a PNG file (any colour type; alpha is composed onto black) into COLORREF
// pixels. On failure width and height are 0 and pixels is empty.
bool read_png(const std::string& path, int* width, int* height, std::vector<uint32_t>& pixels,
              std::string* error = nullptr);

}  // namespace portable
