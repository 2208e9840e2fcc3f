// Portable entry point: writing the headless run's pictures (--save, --gif).
//
// A thin layer over the image module (image/png_file.h, image/gif_writer.h). Each
// file is written whole or not at all: a failure leaves the path as it was.
#pragma once

#include <memory>
#include <string>

#include "../presenters/headless/headless_presenter.h"

namespace portable {

// Whether a picture can be written to `path` (checked at start, so a bad path is
// refused before the run); false with `error` set.
bool can_write_picture(const std::string& path, std::string& error);

// Writes the image as a PNG file; false with `error` set on failure.
bool save_png_file(const std::string& path, const HeadlessImage& image, std::string& error);

// An animated GIF written one frame at a time; the size is fixed by the first frame
// (later frames of another size are skipped).
class GifRecording {
public:
    GifRecording();
    ~GifRecording();
    bool start(const std::string& path, std::string& error);  // checks the path
    bool add_frame(const HeadlessImage& image, int delay_cs, std::string& error);
    bool finish(std::string& error);

private:
    struct Writer;
    std::unique_ptr<Writer> writer_;
    std::string path_;
    int width_ = 0;
    int height_ = 0;
    bool failed_ = false;
};

}  // namespace portable
