// Portable entry point: writing the headless run's pictures (--save, --gif).
//
// A thin layer over the image module (image/png.h, image/gif_writer.h). When that
// module is not part of the build, every call fails with "PNG/GIF output not
// built yet" so the rest of the entry point still works.
#pragma once

#include <memory>
#include <string>

#include "../presenters/headless/headless_presenter.h"

namespace portable {

// Whether the image module is part of this build.
bool image_output_built();

// Writes the image as a PNG file; false with `error` set on failure.
bool save_png_file(const std::string& path, const HeadlessImage& image, std::string& error);

// An animated GIF written one frame at a time; the size is fixed by the first frame
// (later frames of another size are skipped).
class GifRecording {
public:
    GifRecording();
    ~GifRecording();
    bool start(const std::string& path, std::string& error);
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
