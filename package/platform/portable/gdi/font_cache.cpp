// Portable GDI: the font cache behind HFONT (face files from font_files.h, FreeType faces,
// Windows-style metrics, monochrome glyph runs). See font_cache.h.
//
// Sizes: a negative request height is the em size in pixels; a positive one is the
// cell height (ascent + descent), met by the largest em whose cell does not exceed
// it; 0 picks a default. Ascent and descent are the OS/2 Windows ascent and descent
// scaled to the em and rounded (hhea when there is no OS/2 table), as Windows does
// for TrueType faces.
#include "font_cache.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>

#include "../presenter_kit/code_page.h"
#include "font_files.h"

namespace portable {

// Design metrics of one face file, in font units.
struct FontFile {
    FT_Face face = nullptr;
    int units_per_em = 2048;
    int win_ascent = 0;
    int win_descent = 0;
    int line_ascent = 0;   // hhea ascender
    int line_descent = 0;  // hhea descender (negative below the baseline)
    int line_gap = 0;
    int average_width = 0;
    int max_advance = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool fixed = false;
    BYTE family = FF_DONTCARE;
};

namespace {

constexpr int max_em = 2048;                         // larger requests are drawn at this size
constexpr int default_em = 12;                       // height 0, variable pitch
constexpr int default_fixed_cell = 13;               // height 0, fixed pitch
constexpr size_t max_faces = 64;                     // sized faces kept at once
constexpr size_t max_matches = 256;                  // memoised face-file matches
constexpr size_t max_requests = 1024;                // memoised request -> face entries
constexpr size_t max_glyph_bytes = size_t(8) << 20;  // rendered glyph runs
constexpr BYTE ff_roman = 0x10;
constexpr BYTE ff_swiss = 0x20;
constexpr BYTE tmpf_fixed_pitch = 0x01;  // set means VARIABLE pitch, as on Windows
constexpr BYTE tmpf_vector = 0x02;
constexpr BYTE tmpf_truetype = 0x04;

std::string lower_case(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return result;
}

// Design units scaled to `em` pixels, rounded half up (v >= 0).
int scaled(int64_t value, int em, int units_per_em) {
    return int((value * em * 2 + units_per_em) / (int64_t(units_per_em) * 2));
}

// Fixed pitch asked for outright, or the modern family without a pitch.
bool wants_fixed_pitch(const HFONT__& font) {
    DWORD pitch = font.pitch_and_family & 3;
    return pitch == FIXED_PITCH ||
           (pitch != VARIABLE_PITCH && (font.pitch_and_family & 0xF0) == FF_MODERN);
}

int request_weight(int weight) {
    if (weight <= 0) return FW_NORMAL;  // FW_DONTCARE
    return std::min(weight, 1000);
}

// What the face-file finder is asked for; memoised per distinct request.
struct MatchKey {
    std::string name;  // lower case
    int weight;
    bool italic;
    bool fixed;
    bool operator==(const MatchKey&) const = default;
};

// A whole font request, memoised to its sized face.
struct RequestKey {
    MatchKey match;
    int height;
    bool operator==(const RequestKey&) const = default;
};

struct KeyHash {
    size_t operator()(const MatchKey& k) const {
        return std::hash<std::string>()(k.name) ^ (size_t(k.weight) << 2) ^ (k.italic ? 1 : 0) ^
               (k.fixed ? 2 : 0);
    }
    size_t operator()(const RequestKey& k) const {
        return (*this)(k.match) * 31 + std::hash<int>()(k.height);
    }
};

using FaceKey = std::tuple<FontFile*, int, bool, bool>;  // file, em, synthetic bold, italic

class FontCache {
public:
    FontCache() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        finder_ = make_font_file_finder();
    }
    // At exit the fonts may be gone already, so they are not touched.
    ~FontCache() {
        resolved_fonts_.clear();
        forget_files();
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }

    FontFace* resolve(HFONT__* font);
    const Glyph& glyph(FontFace* face, char32_t c);
    void set_hidden(bool hidden) {
        forget_files();
        hidden_ = hidden;
    }
    FontCacheStats stats() const { return {matches_.size(), faces_.size(), glyph_bytes_}; }

private:
    FontFile* match_file(const MatchKey& key);
    FontFile* find_file(const char* family, const MatchKey& key, bool exact);
    FontFile* open_file(const char* path, int index);
    FontFace* sized_face(FontFile* file, int em, bool bold, bool italic);
    void measure(FontFace& face);
    void render(FontFace& face, char32_t c, Glyph& glyph);
    void remember_font(HFONT__* font);
    void forget_faces();
    void forget_glyphs();
    void forget_files();

    FT_Library library_ = nullptr;
    std::unique_ptr<FontFileFinder> finder_;
    bool hidden_ = false;
    std::map<std::pair<std::string, int>, std::unique_ptr<FontFile>> files_;
    std::unordered_map<MatchKey, FontFile*, KeyHash> matches_;
    std::map<FaceKey, std::unique_ptr<FontFace>> faces_;
    std::unordered_map<RequestKey, FontFace*, KeyHash> requests_;
    // Fonts whose `face` points into faces_, so that emptying faces_ can clear them.
    std::vector<HFONT__*> resolved_fonts_;
    size_t prune_at_ = 4096;  // pruned when it grows to this size (see remember_font)
    size_t glyph_bytes_ = 0;
};

// ------------------------------------------------------------------ matching

// One face file for `family`. With `exact`, only a face of that very family is
// accepted (else the finder answers every name with its default face).
FontFile* FontCache::find_file(const char* family, const MatchKey& key, bool exact) {
    FontFileRequest request;
    request.family = family;
    request.weight = key.weight;
    request.italic = key.italic;
    request.fixed = key.fixed;
    request.exact = exact;
    FontFileLocation found;
    if (!finder_->find(request, found)) return nullptr;
    return open_file(found.path.c_str(), found.index);
}

// The face file for a request: the named face if it is installed, else the first
// installed face of the fallback list (Arial's metrics for variable pitch, a
// fixed-pitch face for fixed pitch), else whatever the finder offers.
FontFile* FontCache::match_file(const MatchKey& key) {
    auto found = matches_.find(key);
    if (found != matches_.end()) return found->second;
    FontFile* file = nullptr;
    if (library_ != nullptr && finder_ != nullptr && !hidden_) {
        static const char* const variable[] = {"Liberation Sans", "Arial", "sans-serif"};
        static const char* const fixed[] = {"DejaVu Sans Mono", "Liberation Mono", "monospace"};
        if (!key.name.empty()) file = find_file(key.name.c_str(), key, true);
        const char* const* list = key.fixed ? fixed : variable;
        for (int i = 0; i < 3 && file == nullptr; ++i) file = find_file(list[i], key, i < 2);
    }
    if (matches_.size() >= max_matches) matches_.clear();
    matches_.emplace(key, file);
    return file;
}

// The average character width the old way: lower-case letters and the space,
// weighted by their frequency in English text (per mille). Recent fonts store the
// average over all glyphs instead, which is much wider than what Windows shows for
// the faces they stand in for. Falls back to the stored value when a letter is
// missing.
int weighted_average_width(FT_Face face, int stored) {
    static const int weights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                    56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
    int64_t total = 0;
    for (int i = 0; i < 27; ++i) {
        FT_ULong c = i < 26 ? FT_ULong('a' + i) : FT_ULong(' ');
        FT_UInt index = FT_Get_Char_Index(face, c);
        FT_Fixed advance = 0;
        if (index == 0 || FT_Get_Advance(face, index, FT_LOAD_NO_SCALE, &advance) != 0)
            return stored;
        total += int64_t(advance) * weights[i];
    }
    return int(total / 1000);
}

BYTE family_of(const TT_OS2* os2, bool fixed) {
    if (fixed) return FF_MODERN;
    if (os2 == nullptr || os2->panose[0] != 2) return FF_DONTCARE;  // not Latin text
    if (os2->panose[1] >= 11 && os2->panose[1] <= 13) return ff_swiss;
    if (os2->panose[1] >= 2 && os2->panose[1] <= 10) return ff_roman;
    return FF_DONTCARE;
}

FontFile* FontCache::open_file(const char* path, int index) {
    auto key = std::make_pair(std::string(path), index);
    auto found = files_.find(key);
    if (found != files_.end()) return found->second.get();
    FT_Face face = nullptr;
    if (FT_New_Face(library_, path, index, &face) != 0) face = nullptr;
    if (face != nullptr && (!FT_IS_SCALABLE(face) || face->units_per_EM == 0)) {
        FT_Done_Face(face);
        face = nullptr;
    }
    std::unique_ptr<FontFile> file;
    if (face != nullptr) {
        file = std::make_unique<FontFile>();
        file->face = face;
        file->units_per_em = face->units_per_EM;
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
        if (os2 != nullptr && os2->version == 0xFFFF) os2 = nullptr;
        file->line_ascent = hhea ? hhea->Ascender : face->ascender;
        file->line_descent = hhea ? hhea->Descender : face->descender;
        file->line_gap = hhea ? hhea->Line_Gap
                              : std::max(0, face->height - file->line_ascent + file->line_descent);
        bool has_win = os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0;
        file->win_ascent = has_win ? os2->usWinAscent : std::max<int>(0, file->line_ascent);
        file->win_descent = has_win ? os2->usWinDescent : std::max<int>(0, -file->line_descent);
        if (file->win_ascent + file->win_descent == 0) file->win_ascent = file->units_per_em;
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        int stored = (os2 && os2->xAvgCharWidth > 0) ? os2->xAvgCharWidth : file->units_per_em / 2;
        file->average_width = weighted_average_width(face, stored);
        file->max_advance = face->max_advance_width;
        bool bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
        file->weight =
            (os2 && os2->usWeightClass > 0) ? os2->usWeightClass : (bold ? FW_BOLD : FW_NORMAL);
        file->italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        file->fixed =
            FT_IS_FIXED_WIDTH(face) || (os2 && os2->panose[0] == 2 && os2->panose[3] == 9);
        file->family = family_of(os2, file->fixed);
    }
    FontFile* result = file.get();
    files_.emplace(std::move(key), std::move(file));
    return result;
}

// ------------------------------------------------------------------ sizes

int cell_height(const FontFile& file, int em) {
    return scaled(file.win_ascent, em, file.units_per_em) +
           scaled(file.win_descent, em, file.units_per_em);
}

// The em size in pixels for a request height (see the file comment).
int em_for(const FontFile* file, int64_t height, bool fixed) {
    if (height == 0 && !fixed) return default_em;
    if (height == 0) height = default_fixed_cell;
    if (height < 0) return int(std::min<int64_t>(-height, max_em));
    if (file == nullptr) return int(std::clamp<int64_t>(height * 5 / 6, 1, max_em));
    int64_t cell = std::min<int64_t>(height, int64_t(max_em) * 8);
    int64_t design = std::max(1, file->win_ascent + file->win_descent);
    int em = int(std::clamp<int64_t>(cell * file->units_per_em / design, 1, max_em));
    while (em < max_em && cell_height(*file, em + 1) <= cell) ++em;
    while (em > 1 && cell_height(*file, em) > cell) --em;
    return em;
}

// Metrics of the blank face: a plausible fixed cell about 1.2 em high.
void measure_blank(FontFace& face) {
    TEXTMETRICA& tm = face.metrics;
    tm.tmHeight = face.em + (face.em + 4) / 5;
    tm.tmAscent = tm.tmHeight * 4 / 5;
    tm.tmDescent = tm.tmHeight - tm.tmAscent;
    tm.tmInternalLeading = tm.tmHeight - face.em;
    tm.tmAveCharWidth = std::max(1, (face.em + 1) / 2);
    tm.tmMaxCharWidth = tm.tmAveCharWidth;
    tm.tmWeight = FW_NORMAL;
    tm.tmPitchAndFamily = FF_MODERN;
}

void FontCache::measure(FontFace& face) {
    TEXTMETRICA& tm = face.metrics;
    tm = TEXTMETRICA{};
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmCharSet = ANSI_CHARSET;
    if (face.file == nullptr) return measure_blank(face);
    const FontFile& file = *face.file;
    int em = face.em, upem = file.units_per_em;
    tm.tmAscent = scaled(file.win_ascent, em, upem);
    tm.tmDescent = scaled(file.win_descent, em, upem);
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max(0, int(tm.tmHeight) - em);
    int64_t gap = int64_t(file.line_ascent) - file.line_descent + file.line_gap -
                  (int64_t(file.win_ascent) + file.win_descent);
    tm.tmExternalLeading = gap > 0 ? scaled(gap, em, upem) : 0;
    if (file.fixed) {
        tm.tmAveCharWidth = std::max(1, glyph(&face, '0').advance);
        tm.tmMaxCharWidth = tm.tmAveCharWidth;
    } else {
        tm.tmAveCharWidth = std::max(1, scaled(file.average_width, em, upem));
        tm.tmMaxCharWidth = std::max<LONG>(tm.tmAveCharWidth, scaled(file.max_advance, em, upem));
    }
    tm.tmWeight = face.synthetic_bold ? FW_BOLD : file.weight;
    tm.tmItalic = (file.italic || face.synthetic_italic) ? 1 : 0;
    tm.tmPitchAndFamily =
        BYTE((file.fixed ? 0 : tmpf_fixed_pitch) | tmpf_vector | tmpf_truetype | file.family);
}

FontFace* FontCache::sized_face(FontFile* file, int em, bool bold, bool italic) {
    FaceKey key{file, em, bold, italic};
    auto found = faces_.find(key);
    if (found != faces_.end()) return found->second.get();
    if (faces_.size() >= max_faces) forget_faces();
    auto face = std::make_unique<FontFace>();
    face->file = file;
    face->em = em;
    face->synthetic_bold = bold;
    face->synthetic_italic = italic;
    if (file != nullptr) {
        FT_Size size = nullptr;
        if (FT_New_Size(file->face, &size) == 0) {
            FT_Activate_Size(size);
            if (FT_Set_Pixel_Sizes(file->face, 0, FT_UInt(em)) == 0) {
                face->size = size;
            } else {
                FT_Done_Size(size);
            }
        }
        // A size FreeType refuses leaves a face that measures but draws nothing.
    }
    FontFace* result = face.get();
    faces_.emplace(key, std::move(face));
    measure(*result);
    return result;
}

// ------------------------------------------------------------------ resolving

FontFace* FontCache::resolve(HFONT__* font) {
    if (font->face != nullptr) return font->face;
    RequestKey key{{lower_case(font->face_name), request_weight(font->weight), font->italic,
                    wants_fixed_pitch(*font)},
                   font->height};
    FontFace* face = nullptr;
    auto found = requests_.find(key);
    if (found != requests_.end()) {
        face = found->second;
    } else {
        FontFile* file = match_file(key.match);
        int em = em_for(file, font->height, key.match.fixed);
        bool bold = file != nullptr && key.match.weight >= 600 && file->weight < 600;
        bool italic = file != nullptr && key.match.italic && !file->italic;
        face = sized_face(file, em, bold, italic);
        if (requests_.size() >= max_requests) requests_.clear();
        requests_.emplace(key, face);
    }
    font->face = face;
    remember_font(font);
    return face;
}

// Fonts are created and deleted all the time; the list is pruned of fonts that
// are gone (or no longer point at a face) whenever it grows large.
void FontCache::remember_font(HFONT__* font) {
    if (resolved_fonts_.size() >= prune_at_) {
        std::vector<HFONT__*> kept;
        for (HFONT__* f : resolved_fonts_) {
            GdiObject* object = gdi_object(static_cast<GdiObject*>(f));
            if (object != nullptr && object->kind == ObjectKind::Font && f->face != nullptr)
                kept.push_back(f);
        }
        std::sort(kept.begin(), kept.end());
        kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
        resolved_fonts_ = std::move(kept);
        prune_at_ = std::max<size_t>(4096, resolved_fonts_.size() * 2);
    }
    resolved_fonts_.push_back(font);
}

// Empties the sized faces. Live fonts that point at them are reset so that they
// resolve again; handles of deleted fonts are recognised and skipped.
void FontCache::forget_faces() {
    for (HFONT__* f : resolved_fonts_) {
        GdiObject* object = gdi_object(static_cast<GdiObject*>(f));
        if (object != nullptr && object->kind == ObjectKind::Font) f->face = nullptr;
    }
    resolved_fonts_.clear();
    requests_.clear();
    for (auto& entry : faces_) {
        if (entry.second->size != nullptr) FT_Done_Size(static_cast<FT_Size>(entry.second->size));
    }
    faces_.clear();
    glyph_bytes_ = 0;
}

void FontCache::forget_glyphs() {
    for (auto& entry : faces_) {
        for (Glyph& g : entry.second->glyphs) g = Glyph{};
        entry.second->more_glyphs.clear();
    }
    glyph_bytes_ = 0;
}

void FontCache::forget_files() {
    forget_faces();
    matches_.clear();
    for (auto& entry : files_) {
        if (entry.second != nullptr) FT_Done_Face(entry.second->face);
    }
    files_.clear();
}

// ------------------------------------------------------------------ glyphs

// Appends the "on" runs of a rendered bitmap (1 bit per pixel, or 8-bit coverage
// thresholded at one half for the rare embedded grey bitmap).
void bitmap_spans(const FT_Bitmap& bitmap, std::vector<GlyphSpan>& spans) {
    if (bitmap.buffer == nullptr) return;
    bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    if (!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    const unsigned char* top = bitmap.buffer;
    if (bitmap.pitch < 0) top -= ptrdiff_t(bitmap.pitch) * (ptrdiff_t(bitmap.rows) - 1);
    for (int y = 0; y < int(bitmap.rows); ++y) {
        const unsigned char* row = top + ptrdiff_t(y) * bitmap.pitch;
        int start = -1;
        for (int x = 0; x <= int(bitmap.width); ++x) {
            bool on = x < int(bitmap.width) &&
                      (mono ? (row[x >> 3] & (0x80 >> (x & 7))) != 0 : row[x] >= 128);
            if (on && start < 0) start = x;
            if (!on && start >= 0) {
                spans.push_back({start, x, y});
                start = -1;
            }
        }
    }
}

// A box for a character the face has no glyph for and whose own missing-glyph
// glyph is blank: an outline as wide as the face's average character and as high
// as its capitals, one pixel thick (two from a 32-pixel em on).
void box_glyph(const FontFace& face, Glyph& glyph) {
    int width = std::max(3, int(face.metrics.tmAveCharWidth));
    int height = std::max(3, int(face.metrics.tmAscent) * 3 / 4);
    int thick = face.em >= 32 ? 2 : 1;
    int left = std::max(1, width / 8);
    glyph.advance = width + 2 * left;
    glyph.left = left;
    glyph.top = height;
    glyph.spans.clear();
    for (int y = 0; y < height; ++y) {
        if (y < thick || y >= height - thick) {
            glyph.spans.push_back({0, width, y});
        } else {
            glyph.spans.push_back({0, thick, y});
            glyph.spans.push_back({width - thick, width, y});
        }
    }
    glyph.right = left + width;
}

void FontCache::render(FontFace& face, char32_t c, Glyph& glyph) {
    glyph.advance = face.metrics.tmAveCharWidth;
    if (face.file == nullptr || face.size == nullptr) return;
    FT_Face ft = face.file->face;
    FT_Activate_Size(static_cast<FT_Size>(face.size));
    // Characters without a glyph get the face's .notdef glyph (index 0), as the
    // code page 1252 bytes always have; beyond them a blank one becomes a box.
    FT_UInt index = FT_Get_Char_Index(ft, c);
    if (FT_Load_Glyph(ft, index, FT_LOAD_TARGET_MONO) != 0) return;
    FT_GlyphSlot slot = ft->glyph;
    if (face.synthetic_bold) FT_GlyphSlot_Embolden(slot);
    if (face.synthetic_italic) FT_GlyphSlot_Oblique(slot);
    glyph.advance = int(std::clamp<FT_Pos>((slot->advance.x + 32) >> 6, 0, 4 * max_em));
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0)
        return;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    bitmap_spans(slot->bitmap, glyph.spans);
    if (index == 0 && c > 0xFF && glyph.spans.empty()) box_glyph(face, glyph);
    glyph.spans.shrink_to_fit();
    for (const GlyphSpan& span : glyph.spans)
        glyph.right = std::max(glyph.right, glyph.left + span.x1);
}

const Glyph& FontCache::glyph(FontFace* face, char32_t c) {
    if (c < 256 && face->glyphs[c].ready) return face->glyphs[c];
    if (c >= 256) {
        auto found = face->more_glyphs.find(c);
        if (found != face->more_glyphs.end()) return found->second;
    }
    // Emptying the glyphs happens only here, before rendering, so no caller holds a
    // reference to a glyph across it.
    if (glyph_bytes_ > max_glyph_bytes) forget_glyphs();
    Glyph& glyph = c < 256 ? face->glyphs[c] : face->more_glyphs[c];
    render(*face, c, glyph);
    glyph.ready = true;
    glyph_bytes_ += sizeof(Glyph) + glyph.spans.capacity() * sizeof(GlyphSpan);
    return glyph;
}

FontCache& cache() {
    static FontCache instance;
    return instance;
}

}  // namespace

FontFace* resolve_font(HFONT__* font) {
    return cache().resolve(font);
}

const Glyph& face_glyph(FontFace* face, char32_t c) {
    return cache().glyph(face, c);
}

void set_font_files_hidden(bool hidden) {
    cache().set_hidden(hidden);
}

FontCacheStats font_cache_stats() {
    return cache().stats();
}

}  // namespace portable
