// Portable entry point: --save through the image module.
#include "image_output.h"

#include "../image/output_file.h"
#include "../image/png_file.h"

namespace portable {

bool save_png_file(const std::string& path, const HeadlessImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "the window has no pixels to save";
        return false;
    }
    return write_png(path, image.width, image.height, image.pixels.data(), 0, &error);
}

bool can_write_picture(const std::string& path, std::string& error) {
    return OutputFile::can_write(path, error);
}

}  // namespace portable
