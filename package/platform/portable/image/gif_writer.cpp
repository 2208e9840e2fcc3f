// Portable platform: animated GIF files through giflib's sequential writer.
// See gif_writer.h.
#include "gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <unordered_map>

namespace portable {

namespace {

struct Box {
    int left, top, right, bottom;  // [left, right) x [top, bottom)
    bool empty() const { return left >= right || top >= bottom; }
};

// The smallest box holding every pixel that differs between a and b.
Box changed_box(const uint32_t* a, const uint32_t* b, int width, int height) {
    Box box{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        const uint32_t* ra = a + int64_t(y) * width;
        const uint32_t* rb = b + int64_t(y) * width;
        int x = 0;
        while (x < width && ra[x] == rb[x]) ++x;
        if (x == width) continue;
        int last = width - 1;
        while (ra[last] == rb[last]) --last;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, last + 1), y + 1};
    }
    return box;
}

// Up to 256 colours with their indices.
class ColourTable {
public:
    explicit ColourTable(const std::vector<uint32_t>& colours = {}) {
        for (uint32_t c : colours) add(c);
    }
    // Adds `colour` unless present; false when the table is full without it.
    bool add(uint32_t colour) {
        if (index_.count(colour) != 0) return true;
        if (colours_.size() == 256) return false;
        index_.emplace(colour, int(colours_.size()));
        colours_.push_back(colour);
        return true;
    }
    // The index of `colour`, or -1.
    int find(uint32_t colour) const {
        auto found = index_.find(colour);
        return found == index_.end() ? -1 : found->second;
    }
    int nearest(uint32_t colour) const {
        int best = 0;
        int64_t best_distance = INT64_MAX;
        for (size_t i = 0; i < colours_.size(); ++i) {
            int64_t d = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                int64_t delta = int64_t((colour >> shift) & 0xFF) - ((colours_[i] >> shift) & 0xFF);
                d += delta * delta;
            }
            if (d < best_distance) best_distance = d, best = int(i);
        }
        return best;
    }
    const std::vector<uint32_t>& colours() const { return colours_; }
    // A giflib colour map, padded with black to a power of two of at least 2.
    ColorMapObject* make_map() const {
        int size = 2;
        while (size < int(colours_.size())) size *= 2;
        std::vector<GifColorType> entries(size, GifColorType{0, 0, 0});
        for (size_t i = 0; i < colours_.size(); ++i) {
            entries[i] = {GifByteType(colours_[i]), GifByteType(colours_[i] >> 8),
                          GifByteType(colours_[i] >> 16)};
        }
        return GifMakeMapObject(size, entries.data());
    }

private:
    std::vector<uint32_t> colours_;
    std::unordered_map<uint32_t, int> index_;
};

bool all_in(const ColourTable& table, const uint32_t* pixels, int width, const Box& box) {
    uint32_t last = 0;
    bool have_last = false;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            uint32_t c = pixels[int64_t(y) * width + x] & 0x00FFFFFF;
            if (have_last && c == last) continue;
            if (table.find(c) < 0) return false;
            last = c, have_last = true;
        }
    }
    return true;
}

// giflib's output goes to the OutputFile's stream; a short write is an error.
int write_bytes(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* stream = static_cast<std::FILE*>(gif->UserData);
    return int(std::fwrite(bytes, 1, size_t(count), stream));
}

}  // namespace

GifWriter::~GifWriter() {
    if (gif_ != nullptr) close();
}

bool GifWriter::fail(const std::string& reason) {
    error_ = reason;
    if (gif_ != nullptr) {
        int ignored = 0;
        EGifCloseFile(gif_, &ignored);
        gif_ = nullptr;
    }
    file_.discard();
    return false;
}

bool GifWriter::open(const std::string& path, int width, int height) {
    if (gif_ != nullptr) close();
    error_.clear();
    frames_ = 0;
    global_colours_.clear();
    previous_.clear();
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        return fail("GIF size out of range");
    }
    std::string reason;
    if (!file_.open(path, reason)) return fail(reason);
    int code = 0;
    gif_ = EGifOpen(file_.stream(), write_bytes, &code);
    if (gif_ == nullptr) return fail(path + ": " + GifErrorString(code));
    width_ = width;
    height_ = height;
    return true;
}

bool GifWriter::open_at_first_frame(const std::string& path) {
    if (gif_ != nullptr) close();
    error_.clear();
    frames_ = 0;
    later_path_.clear();
    std::string reason;
    if (!OutputFile::can_write(path, reason)) return fail(reason);
    later_path_ = path;
    return true;
}

bool GifWriter::add_sized_frame(const uint32_t* pixels, int width, int height, int delay) {
    if (!later_path_.empty()) {
        std::string path = later_path_;
        later_path_.clear();
        if (!open(path, width, height)) return false;
    } else if (gif_ != nullptr && (width != width_ || height != height_)) {
        return true;
    }
    return add_frame(pixels, delay);
}

void GifWriter::reserve_colours(const uint32_t* colours, int count) {
    if (frames_ > 0 || colours == nullptr) return;
    for (int i = 0; i < count && global_colours_.size() < 256; ++i) {
        uint32_t c = colours[i] & 0x00FFFFFF;
        if (std::find(global_colours_.begin(), global_colours_.end(), c) == global_colours_.end()) {
            global_colours_.push_back(c);
        }
    }
}

// The screen descriptor with the global colour table, and the endless-loop block.
bool GifWriter::write_header() {
    ColorMapObject* map = ColourTable(global_colours_).make_map();
    if (map == nullptr) return fail("out of memory");
    EGifSetGifVersion(gif_, true);
    int ok = EGifPutScreenDesc(gif_, width_, height_, 8, 0, map);
    GifFreeMapObject(map);
    static const GifByteType loop[3] = {1, 0, 0};  // repeat forever
    ok = ok == GIF_OK && EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_OK &&
         EGifPutExtensionBlock(gif_, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif_) == GIF_OK;
    if (!ok) return fail(std::string("GIF header: ") + GifErrorString(gif_->Error));
    return true;
}

bool GifWriter::add_frame(const uint32_t* pixels, int delay) {
    if (gif_ == nullptr) return fail("GIF file not open");
    if (pixels == nullptr) return fail("no frame");
    if (frames_ == 0) {
        ColourTable table(global_colours_);
        for (int64_t i = 0; i < int64_t(width_) * height_; ++i) {
            if (!table.add(pixels[i] & 0x00FFFFFF)) break;
        }
        global_colours_ = table.colours();
        if (!write_header()) return false;
        previous_.assign(size_t(width_) * height_, 0);
    }
    return write_frame(pixels, delay);
}

bool GifWriter::write_frame(const uint32_t* pixels, int delay) {
    Box box{0, 0, width_, height_};
    if (frames_ > 0) box = changed_box(previous_.data(), pixels, width_, height_);
    if (box.empty()) box = {0, 0, 1, 1};  // an unchanged frame still carries its delay
    // The global table if it has every colour; else a table of the frame's own.
    ColourTable global(global_colours_);
    const ColourTable* table = &global;
    ColourTable local;
    if (!all_in(global, pixels, width_, box)) {
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x)
                local.add(pixels[int64_t(y) * width_ + x] & 0x00FFFFFF);
        }
        table = &local;
    }
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = std::clamp(delay, 0, 65535);
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    ColorMapObject* map = table == &local ? local.make_map() : nullptr;
    // giflib keeps a copy of a frame's own colour map until the next frame with
    // one, but forgets it without freeing when a frame has none: free it here.
    if (map == nullptr && gif_->Image.ColorMap != nullptr) {
        GifFreeMapObject(gif_->Image.ColorMap);
        gif_->Image.ColorMap = nullptr;
    }
    int ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif_, box.left, box.top, box.right - box.left, box.bottom - box.top,
                              false, map) == GIF_OK;
    if (map != nullptr) GifFreeMapObject(map);
    std::vector<GifPixelType> line(size_t(box.right - box.left));
    for (int y = box.top; ok && y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            uint32_t c = pixels[int64_t(y) * width_ + x] & 0x00FFFFFF;
            int index = table->find(c);
            if (index < 0) index = table->nearest(c);
            line[x - box.left] = GifPixelType(index);
            previous_[size_t(y) * width_ + x] = table->colours()[index];
        }
        ok = EGifPutLine(gif_, line.data(), int(line.size())) == GIF_OK;
    }
    if (!ok) return fail(std::string("GIF frame: ") + GifErrorString(gif_->Error));
    ++frames_;
    return true;
}

bool GifWriter::close() {
    if (!later_path_.empty()) {
        std::string path = later_path_;
        later_path_.clear();
        return fail("no frame was presented, so " + path + " was not written");
    }
    if (gif_ == nullptr) return error_.empty();
    if (frames_ == 0) {
        std::vector<uint32_t> black(size_t(width_) * height_, 0);
        if (!add_frame(black.data(), 0)) return false;
    }
    int code = 0;
    int result = EGifCloseFile(gif_, &code);
    gif_ = nullptr;
    if (result != GIF_OK) return fail(std::string("GIF close: ") + GifErrorString(code));
    std::string reason;
    if (!file_.commit(reason)) return fail(reason);
    return true;
}

}  // namespace portable
