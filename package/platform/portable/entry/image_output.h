// Portable entry point: writing the headless run's picture (--save).
//
// A thin layer over the image module (image/png_file.h); --gif uses
// image/gif_writer.h directly. A file is written whole or not at all: a failure
// leaves the path as it was.
#pragma once

#include <string>

#include "../presenters/headless/headless_presenter.h"

namespace portable {

// Whether a picture can be written to `path` (checked at start, so a bad path is
// refused before the run); false with `error` set.
bool can_write_picture(const std::string& path, std::string& error);

// Writes the image as a PNG file; false with `error` set on failure.
bool save_png_file(const std::string& path, const HeadlessImage& image, std::string& error);

}  // namespace portable
