// Portable platform: animated GIF files, frame by frame, through giflib.
//
// The first frame fixes the global colour table: its colours plus any given to
// reserve_colours beforehand (a canvas holds palette colours only, a few dozen at
// most). A later frame with colours outside that table gets a colour table of its
// own; beyond 256 colours in one frame the rest are mapped to the nearest colour
// in its table. Each frame after the first stores only the rectangle that changed
// and leaves the rest of the previous frame in place. The animation loops forever.
// The file is written whole or not at all (output_file.h): a failure leaves the
// target path as it was. Failures return false with a reason in error(); nothing
// is thrown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output_file.h"

struct GifFileType;

namespace portable {

class GifWriter {
public:
    // Not copyable: it owns its file (OutputFile).
    ~GifWriter();  // closes the file if still open

    // Creates `path` for a width x height animation (1 to 65535 pixels each way).
    bool open(const std::string& path, int width, int height);

    // An animation whose size its first frame fixes: names the file, checked at
    // once (false with a reason when it cannot be written), and created by the
    // first add_sized_frame. close() before any frame is then a failure.
    bool open_at_first_frame(const std::string& path);
    // Appends a frame of width x height pixels; after open_at_first_frame the
    // first one opens the file, and a later one of another size is skipped.
    bool add_sized_frame(const uint32_t* pixels, int width, int height, int delay);

    // Colours to put in the global table even if the first frame lacks them.
    // Only before the first frame; at most 256 colours are kept.
    void reserve_colours(const uint32_t* colours, int count);

    // Appends a frame of width x height COLORREF pixels (rows top to bottom) shown
    // for `delay` hundredths of a second.
    bool add_frame(const uint32_t* pixels, int delay);

    // Finishes the file. A file closed before any frame holds one black frame.
    bool close();

    bool is_open() const { return gif_ != nullptr; }
    int frame_count() const { return frames_; }
    const std::string& error() const { return error_; }

private:
    bool write_header();
    bool write_frame(const uint32_t* pixels, int delay);
    bool fail(const std::string& reason);

    OutputFile file_;
    std::string later_path_;  // open_at_first_frame's path until the first frame
    GifFileType* gif_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    std::vector<uint32_t> global_colours_;
    std::vector<uint32_t> previous_;  // what the viewer shows after the last frame
    std::string error_;
};

}  // namespace portable
