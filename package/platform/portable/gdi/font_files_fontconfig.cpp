// Portable GDI: face files through fontconfig (every build but the web's).
#ifndef TAVLO_BUILTIN_FONTS

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include "font_files.h"

namespace portable {

namespace {

bool family_is(FcPattern* match, const char* family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (strcasecmp(reinterpret_cast<const char*>(name), family) == 0) return true;
    }
    return false;
}

class FontconfigFinder : public FontFileFinder {
public:
    // A configuration of our own, so that releasing it at exit cannot pull the
    // default one from under another user of fontconfig in the process.
    explicit FontconfigFinder(FcConfig* config) : config_(config) {}
    ~FontconfigFinder() override { FcConfigDestroy(config_); }

    // With `exact`, only a face of that very family is accepted (fontconfig
    // otherwise answers every name with its default face).
    bool find(const FontFileRequest& request, FontFileLocation& found) override {
        FcPattern* pattern = FcPatternCreate();
        if (pattern == nullptr) return false;
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.family));
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(request.weight));
        FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        if (request.fixed && !request.exact) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
        FcConfigSubstitute(config_, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config_, pattern, &result);
        FcPatternDestroy(pattern);
        if (match == nullptr) return false;
        bool ok = false;
        FcChar8* path = nullptr;
        int index = 0;
        if ((!request.exact || family_is(match, request.family)) &&
            FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            found.path = reinterpret_cast<const char*>(path);
            found.index = index;
            ok = true;
        }
        FcPatternDestroy(match);
        return ok;
    }

private:
    FcConfig* config_;
};

}  // namespace

std::unique_ptr<FontFileFinder> make_font_file_finder() {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) return nullptr;
    return std::make_unique<FontconfigFinder>(config);
}

}  // namespace portable

#endif  // TAVLO_BUILTIN_FONTS
