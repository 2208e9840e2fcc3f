// Portable GDI: text output and measurement.
//
// Implements CreateFontA, TextOutA, TextOutW, GetTextExtentPointA,
// GetTextExtentPoint32A, GetTextExtentPoint32W and GetTextMetricsA with the default
// alignment (TA_TOP | TA_LEFT, no current-position update): (x, y) is the top-left
// corner of the first character cell and the baseline lies tmAscent below it. The
// "A" calls read bytes as Windows code page 1252 characters, the "W" calls UTF-16.
// Glyphs are monochrome, so text only ever writes the exact text colour; OPAQUE
// mode first fills the text's cell with the background colour. Faces and glyphs
// come from the font cache (font_cache.h).
//
// Not supported (the package never asks): CreateFontA's width, escapement,
// orientation, underline and strike-out; text alignment; character extra spacing.
#pragma once

#include <cstdint>

#include "font_cache.h"
#include "objects.h"

namespace portable {

// The characters of a text: code page 1252 bytes (the "A" calls) or code points.
struct TextRun {
    const char* bytes = nullptr;
    const char32_t* points = nullptr;
    int64_t count = 0;
    char32_t at(int64_t i) const;
};

// Width in pixels of the run in `face`: the sum of the advances.
int64_t text_width(FontFace* face, const TextRun& text);

// Draws the glyphs of the run into `target` in `color`, the top-left corner of the
// first cell at (x, y). Every pixel is clipped to the bitmap; glyphs wholly left of
// it only move the pen, and drawing stops once the pen has passed its right edge,
// so the cost is a few steps per character plus the pixels drawn.
void draw_text_run(HBITMAP__* target, FontFace* face, int64_t x, int64_t y, const TextRun& text,
                   COLORREF color);

}  // namespace portable
