// Portable GDI: face files built into the program (the web build).
//
// The build embeds the faces a desktop's fontconfig picks for what the package
// and its stock fonts ask for, under /fonts: Liberation Sans (the package's own
// face name falls back to it, and the system font is its bold) and DejaVu Sans
// Mono (fixed pitch), each regular and bold. A request is answered the way
// fontconfig answers it among those files: the family by name (case ignored),
// then the weight nearest on fontconfig's weight scale; the generic names
// stand for the face of their kind. Italic requests get the upright face, which
// the font cache slants.
#ifdef TAVLO_BUILTIN_FONTS

#include <strings.h>

#include <cstdlib>
#include <iterator>

#include "font_files.h"

namespace portable {

namespace {

struct BuiltinFace {
    const char* family;
    int weight;  // OpenType
    const char* path;
};

constexpr BuiltinFace builtin_faces[] = {
    {"Liberation Sans", 400, "/fonts/LiberationSans-Regular.ttf"},
    {"Liberation Sans", 700, "/fonts/LiberationSans-Bold.ttf"},
    {"DejaVu Sans Mono", 400, "/fonts/DejaVuSansMono.ttf"},
    {"DejaVu Sans Mono", 700, "/fonts/DejaVuSansMono-Bold.ttf"},
};

// fontconfig's weight scale for an OpenType weight (FcWeightFromOpenType):
// piecewise linear between the named weights.
int fontconfig_weight(int weight) {
    static const int points[][2] = {{0, 0},     {100, 0},   {200, 40},  {300, 50},  {350, 55},
                                    {380, 75},  {400, 80},  {500, 100}, {600, 180}, {700, 200},
                                    {800, 205}, {900, 210}, {1000, 215}};
    if (weight <= 0) return 0;
    for (size_t i = 1; i < std::size(points); ++i) {
        if (weight <= points[i][0]) {
            const int* a = points[i - 1];
            const int* b = points[i];
            return a[1] + (weight - a[0]) * (b[1] - a[1]) / (b[0] - a[0]);
        }
    }
    return 215;
}

const char* builtin_family(const char* family) {
    if (strcasecmp(family, "sans-serif") == 0 || strcasecmp(family, "sans") == 0)
        return "Liberation Sans";
    if (strcasecmp(family, "monospace") == 0) return "DejaVu Sans Mono";
    return family;
}

class BuiltinFinder : public FontFileFinder {
public:
    bool find(const FontFileRequest& request, FontFileLocation& found) override {
        const char* family = builtin_family(request.family);
        bool known = false;
        for (const BuiltinFace& face : builtin_faces) known |= strcasecmp(face.family, family) == 0;
        if (!known) {
            if (request.exact) return false;
            family = request.fixed ? "DejaVu Sans Mono" : "Liberation Sans";
        }
        const BuiltinFace* best = nullptr;
        const int wanted = fontconfig_weight(request.weight);
        for (const BuiltinFace& face : builtin_faces) {
            if (strcasecmp(face.family, family) != 0) continue;
            const int distance = std::abs(fontconfig_weight(face.weight) - wanted);
            if (best == nullptr || distance < std::abs(fontconfig_weight(best->weight) - wanted))
                best = &face;
        }
        if (best == nullptr) return false;
        found.path = best->path;
        found.index = 0;
        return true;
    }
};

}  // namespace

std::unique_ptr<FontFileFinder> make_font_file_finder() {
    return std::make_unique<BuiltinFinder>();
}

}  // namespace portable

#endif  // TAVLO_BUILTIN_FONTS
