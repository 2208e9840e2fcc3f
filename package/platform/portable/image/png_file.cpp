// Portable platform: PNG files of pixel rectangles, through libpng's simplified
// interface (which reports errors in the image record instead of jumping). See
// png_file.h.
#include "png_file.h"

#include <png.h>

#include <unordered_map>

#include "../gdi/objects.h"
#include "output_file.h"

namespace portable {

namespace {

constexpr int64_t max_pixels = int64_t(1) << 28;  // the largest bitmap we create

bool fail(std::string* error, const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

// Builds a colour map and one index per pixel if the picture has at most 256
// colours; returns false (leaving the outputs unusable) otherwise.
bool map_colours(int width, int height, const uint32_t* pixels, int stride,
                 std::vector<png_byte>& colormap, std::vector<png_byte>& indices) {
    std::unordered_map<uint32_t, png_byte> index_of;
    indices.resize(size_t(width) * size_t(height));
    uint32_t last_colour = 0;
    int last_index = -1;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = pixels + int64_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            uint32_t colour = row[x] & 0x00FFFFFF;
            if (last_index < 0 || colour != last_colour) {
                auto found = index_of.find(colour);
                if (found == index_of.end()) {
                    if (index_of.size() == 256) return false;
                    found = index_of.emplace(colour, png_byte(index_of.size())).first;
                    colormap.insert(colormap.end(), {png_byte(colour), png_byte(colour >> 8),
                                                     png_byte(colour >> 16)});
                }
                last_colour = colour;
                last_index = found->second;
            }
            indices[size_t(y) * width + x] = png_byte(last_index);
        }
    }
    return true;
}

std::vector<png_byte> rgb_bytes(int width, int height, const uint32_t* pixels, int stride) {
    std::vector<png_byte> bytes(size_t(width) * size_t(height) * 3);
    png_byte* out = bytes.data();
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = pixels + int64_t(y) * stride;
        for (int x = 0; x < width; ++x) {
            *out++ = png_byte(row[x]);
            *out++ = png_byte(row[x] >> 8);
            *out++ = png_byte(row[x] >> 16);
        }
    }
    return bytes;
}

}  // namespace

bool write_png(const std::string& path, int width, int height, const uint32_t* pixels, int stride,
               std::string* error) {
    if (stride == 0) stride = width;
    if (width <= 0 || height <= 0 || pixels == nullptr || stride < width) {
        return fail(error, "no picture to write");
    }
    if (int64_t(width) * height > max_pixels) return fail(error, "picture too large");
    OutputFile file;
    std::string reason;
    if (!file.open(path, reason)) return fail(error, reason);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    std::vector<png_byte> colormap, data;
    int written;
    if (map_colours(width, height, pixels, stride, colormap, data)) {
        image.format = PNG_FORMAT_RGB_COLORMAP;
        image.colormap_entries = png_uint_32(colormap.size() / 3);
        written =
            png_image_write_to_stdio(&image, file.stream(), 0, data.data(), width, colormap.data());
    } else {
        image.format = PNG_FORMAT_RGB;
        data = rgb_bytes(width, height, pixels, stride);
        written =
            png_image_write_to_stdio(&image, file.stream(), 0, data.data(), width * 3, nullptr);
    }
    if (!written) return fail(error, path + ": " + image.message);
    if (!file.commit(reason)) return fail(error, reason);
    return true;
}

bool write_png(const std::string& path, const HBITMAP__& bitmap, std::string* error) {
    if (bitmap.pixels.size() < size_t(bitmap.width) * size_t(bitmap.height)) {
        return fail(error, "bitmap without pixels");
    }
    return write_png(path, bitmap.width, bitmap.height, bitmap.pixels.data(), 0, error);
}

bool read_png(const std::string& path, int* width, int* height, std::vector<uint32_t>& pixels,
              std::string* error) {
    *width = 0;
    *height = 0;
    pixels.clear();
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return fail(error, path + ": " + image.message);
    }
    if (image.width == 0 || image.height == 0 ||
        int64_t(image.width) * int64_t(image.height) > max_pixels) {
        png_image_free(&image);
        return fail(error, path + ": picture too large");
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image), 0);  // alpha composes onto black
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
        return fail(error, path + ": " + image.message);
    }
    pixels.resize(size_t(image.width) * image.height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const png_byte* p = &bytes[i * 3];
        pixels[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    *width = int(image.width);
    *height = int(image.height);
    return true;
}

}  // namespace portable
