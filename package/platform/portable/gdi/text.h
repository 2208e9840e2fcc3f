// Portable GDI: text output and measurement.
//
// Implements CreateFontA, TextOutA, GetTextExtentPointA, GetTextExtentPoint32A and
// GetTextMetricsA with the default alignment (TA_TOP | TA_LEFT, no current-position
// update): (x, y) is the top-left corner of the first character cell and the
// baseline lies tmAscent below it. Bytes are Windows code page 1252 characters.
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

// Width in pixels of `count` bytes of `text` in `face`: the sum of the advances.
int64_t text_width(FontFace* face, const char* text, int64_t count);

// Draws the glyphs of `count` bytes of `text` into `target` in `color`, the top-left
// corner of the first cell at (x, y). Every pixel is clipped to the bitmap; glyphs
// wholly left of it only move the pen, and drawing stops once the pen has passed
// its right edge, so the cost is a few steps per character plus the pixels drawn.
void draw_text_run(HBITMAP__* target, FontFace* face, int64_t x, int64_t y, const char* text,
                   int64_t count, COLORREF color);

}  // namespace portable
