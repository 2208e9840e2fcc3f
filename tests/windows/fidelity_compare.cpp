// Compares two canvas pictures written by fidelity_draw, pixel for pixel.
//
//   fidelity_compare OURS.ppm THEIRS.ppm [CASES]
//
// Prints "pixels compared N, differing M" and, for every test cell with
// differences, the case's name (from the CASES list that fidelity_draw wrote), the
// number of differing pixels and the first few of them with both colours.
// The picture holds 540-row canvases one below the other; pixels are given as
// canvas number and canvas pixel: column x, row y, top-left (0,0).
// Cases whose name starts with "info: " are reported but do not count towards the
// exit status: 0 when the pictures are equal elsewhere, 1 when they differ, 2 on
// bad input.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int cell_size = 60;
constexpr int canvas_height = 540;  // the picture holds canvases one below the other
constexpr int listed_per_cell = 8;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

bool read_ppm(const char* name, Picture& picture) {
    std::ifstream in(name, std::ios::binary);
    std::string magic;
    int max_value = 0;
    if (!(in >> magic >> picture.width >> picture.height >> max_value)) return false;
    if (magic != "P6" || max_value != 255 || picture.width <= 0 || picture.height <= 0 ||
        picture.width > 10000 || picture.height > 10000) {
        return false;
    }
    in.get();  // the one whitespace byte before the pixels
    picture.rgb.resize(size_t(picture.width) * size_t(picture.height) * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()), std::streamsize(picture.rgb.size()));
    return bool(in);
}

// "column row name" lines -> name by (column, row).
std::map<std::pair<int, int>, std::string> read_cases(const char* name) {
    std::map<std::pair<int, int>, std::string> cases;
    if (name == nullptr) return cases;
    std::ifstream in(name);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int column = 0, row = 0;
        std::string rest;
        if (fields >> column >> row && std::getline(fields >> std::ws, rest)) {
            cases[{column, row}] = rest;
        }
    }
    return cases;
}

std::string hex_color(const unsigned char* p) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", p[0], p[1], p[2]);
    return text;
}

struct CellReport {
    int count = 0;
    std::string listing;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fidelity_compare OURS.ppm THEIRS.ppm [CASES]\n");
        return 2;
    }
    Picture ours, theirs;
    if (!read_ppm(argv[1], ours) || !read_ppm(argv[2], theirs)) {
        std::fprintf(stderr, "fidelity_compare: cannot read %s or %s as a binary PPM\n", argv[1],
                     argv[2]);
        return 2;
    }
    if (ours.width != theirs.width || ours.height != theirs.height) {
        std::fprintf(stderr, "fidelity_compare: sizes differ: %dx%d and %dx%d\n", ours.width,
                     ours.height, theirs.width, theirs.height);
        return 2;
    }
    auto cases = read_cases(argc > 3 ? argv[3] : nullptr);

    long compared = 0, differing = 0;
    // By (column, row) of the cell in the whole picture; (-1, canvas) is a canvas's frame.
    std::map<std::pair<int, int>, CellReport> cells;
    for (int y = 0; y < ours.height; ++y) {
        for (int x = 0; x < ours.width; ++x, ++compared) {
            size_t at = (size_t(y) * size_t(ours.width) + size_t(x)) * 3;
            const unsigned char* a = &ours.rgb[at];
            const unsigned char* b = &theirs.rgb[at];
            if (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) continue;
            ++differing;
            int canvas_row = y % canvas_height;
            bool frame =
                x == 0 || canvas_row == 0 || x == ours.width - 1 || canvas_row == canvas_height - 1;
            std::pair<int, int> key = frame ? std::make_pair(-1, y / canvas_height)
                                            : std::make_pair(x / cell_size, y / cell_size);
            CellReport& report = cells[key];
            if (report.count++ < listed_per_cell) {
                report.listing += " (" + std::to_string(x) + "," + std::to_string(canvas_row) +
                                  ") ours " + hex_color(a) + " other " + hex_color(b) + ";";
            }
        }
    }
    std::printf("pixels compared %ld, differing %ld\n", compared, differing);
    long counted = 0;
    for (const auto& [key, report] : cells) {
        bool frame = key.first < 0;
        int page = frame ? key.second : key.second * cell_size / canvas_height;
        std::string name = frame ? "canvas frame and edge pixels" : "(no case)";
        if (auto found = cases.find(key); found != cases.end()) name = found->second;
        if (name.rfind("info: ", 0) != 0) counted += report.count;
        std::printf("  canvas %d cell %d,%d  %s: %d differ:%s%s\n", page + 1,
                    frame ? -1 : key.first, frame ? -1 : key.second % (canvas_height / cell_size),
                    name.c_str(), report.count, report.listing.c_str(),
                    report.count > listed_per_cell ? " ..." : "");
    }
    std::printf("differing outside informational cases %ld\n", counted);
    return counted == 0 ? 0 : 1;
}
