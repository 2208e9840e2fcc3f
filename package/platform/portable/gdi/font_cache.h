// Portable GDI: the font cache behind HFONT.
//
// Turns a font request (face name, height, weight, italic, pitch) into a sized face:
// the face file is chosen through fontconfig, sized and rendered with FreeType,
// hinted and monochrome, and measured the way Windows measures TrueType fonts.
// A face name that is not installed falls back to a face with Arial's metrics
// (Liberation Sans); fixed-pitch requests fall back to a fixed-pitch face (DejaVu
// Sans Mono). Without fontconfig or any usable font file, a request gets a blank
// face with the metrics of a plausible fixed cell, which draws nothing.
//
// Everything is cached: fontconfig matches per request, sized faces per (file,
// size), and glyph bitmaps per (face, character) as horizontal runs. The caches are
// capped; when a cap is reached the cache is emptied and refilled on demand.
// Single-threaded, like the rest of the portable GDI.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "objects.h"

namespace portable {

// One horizontal run of "on" pixels of a glyph bitmap: columns [x0, x1) of row y,
// relative to the bitmap's top-left corner.
struct GlyphSpan {
    int32_t x0;
    int32_t x1;
    int32_t y;
};

// A rendered character: its bitmap's placement relative to the pen on the
// baseline, the hinted advance, and the bitmap as runs.
struct Glyph {
    bool ready = false;
    int advance = 0;  // pixels the pen moves right
    int left = 0;     // bitmap's left column relative to the pen
    int top = 0;      // bitmap's top row, in pixels above the baseline
    // One past the rightmost column of the "on" pixels, relative to the pen
    // (left + the largest span end); INT32_MIN for a glyph without any.
    int right = INT32_MIN;
    std::vector<GlyphSpan> spans;
};

struct FontFile;

// A face file at one pixel size, with its text metrics and the glyphs rendered so
// far: those of the first 256 code points in an array, any other in a map.
struct FontFace {
    FontFile* file = nullptr;  // nullptr for the blank face used when no font is usable
    int em = 0;                // pixels per em
    bool synthetic_bold = false;
    bool synthetic_italic = false;
    void* size = nullptr;  // the FreeType size object (FT_Size) of this em
    TEXTMETRICA metrics{};
    std::array<Glyph, 256> glyphs;
    std::unordered_map<char32_t, Glyph> more_glyphs;
};

// The sized face for `font`, resolved on first use and remembered in font->face.
// Never nullptr: a request no font can serve gets a blank face.
FontFace* resolve_font(HFONT__* font);

// The rendered glyph of the character `c` (a Unicode code point) in `face`,
// rendered on first use. A character the face has no glyph for gets the face's
// missing-glyph box, or an outlined box of our own where that is blank.
const Glyph& face_glyph(FontFace* face, char32_t c);

// Tests: behave as if no font file were installed (true), or normally (false).
// Empties the caches either way.
void set_font_files_hidden(bool hidden);

// What the caches hold now; tests use it to check the caps.
struct FontCacheStats {
    size_t matches = 0;      // memoised fontconfig matches
    size_t faces = 0;        // sized faces
    size_t glyph_bytes = 0;  // bytes held by rendered glyphs
};
FontCacheStats font_cache_stats();

}  // namespace portable
