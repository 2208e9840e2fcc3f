// Portable entry point: --save and --gif through the image module.
#include "image_output.h"

#include "../image/gif_writer.h"
#include "../image/output_file.h"
#include "../image/png_file.h"

namespace portable {

struct GifRecording::Writer {
    GifWriter gif;
};

bool save_png_file(const std::string& path, const HeadlessImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "the window has no pixels to save";
        return false;
    }
    return write_png(path, image.width, image.height, image.pixels.data(), 0, &error);
}

bool GifRecording::add_frame(const HeadlessImage& image, int delay_cs, std::string& error) {
    if (failed_ || image.width <= 0 || image.height <= 0) return !failed_;
    if (!writer_) {
        writer_ = std::make_unique<Writer>();
        width_ = image.width;
        height_ = image.height;
        if (!writer_->gif.open(path_, width_, height_)) {
            failed_ = true;
            error = writer_->gif.error();
            return false;
        }
    }
    if (image.width != width_ || image.height != height_) return true;
    if (!writer_->gif.add_frame(image.pixels.data(), delay_cs)) {
        failed_ = true;
        error = writer_->gif.error();
        return false;
    }
    return true;
}

bool GifRecording::finish(std::string& error) {
    if (failed_) return false;
    if (!writer_) {
        error = "no frame was presented, so " + path_ + " was not written";
        return false;
    }
    if (!writer_->gif.close()) {
        error = writer_->gif.error();
        return false;
    }
    return true;
}

GifRecording::GifRecording() = default;
GifRecording::~GifRecording() = default;

bool GifRecording::start(const std::string& path, std::string& error) {
    path_ = path;
    error.clear();
    return OutputFile::can_write(path, error);
}

bool can_write_picture(const std::string& path, std::string& error) {
    return OutputFile::can_write(path, error);
}

}  // namespace portable
