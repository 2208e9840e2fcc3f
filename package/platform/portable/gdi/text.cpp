// Portable GDI: text output and measurement (CreateFontA, TextOutA,
// GetTextExtentPointA, GetTextExtentPoint32A, GetTextMetricsA). See text.h.
#include "text.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "observer.h"
#include "raster.h"

namespace portable {

namespace {

constexpr size_t face_name_max = 31;  // LF_FACESIZE - 1

bool has_pixels(const HBITMAP__* bitmap) {
    return bitmap != nullptr && bitmap->width > 0 && bitmap->height > 0 &&
           bitmap->pixels.size() >= size_t(bitmap->width) * size_t(bitmap->height);
}

// Draws one glyph whose bitmap's top-left corner is at (x, y).
void draw_glyph(HBITMAP__* target, const Glyph& glyph, int64_t x, int64_t y, COLORREF color) {
    for (const GlyphSpan& span : glyph.spans) {
        int64_t row = y + span.y;
        if (row < 0 || row >= target->height) continue;
        int64_t left = std::max<int64_t>(x + span.x0, 0);
        int64_t right = std::min<int64_t>(x + span.x1, target->width);
        if (left >= right) continue;
        TAVLO_OBSERVE(Surface surface{target->pixels.data(), target->width, target->height};
                      draw_observer->span(surface, row, left, right, color));
        uint32_t* line = target->pixels.data() + row * target->width;
        std::fill(line + left, line + right, color);
    }
}

// The glyph of byte c, looked up in place when it is rendered already: text
// measurement and the skipping of glyphs left of the bitmap visit every byte.
inline const Glyph& glyph_of(FontFace* face, unsigned char c) {
    const Glyph& glyph = face->glyphs[c];
    return glyph.ready ? glyph : face_glyph(face, c);
}

FontFace* dc_face(HDC dc) {
    auto* font = static_cast<HFONT__*>(GetStockObject(SYSTEM_FONT));
    if (dc->font != nullptr) font = dc->font;
    return resolve_font(font);
}

}  // namespace

int64_t text_width(FontFace* face, const char* text, int64_t count) {
    int64_t width = 0;
    for (int64_t i = 0; i < count; ++i) {
        width += glyph_of(face, static_cast<unsigned char>(text[i])).advance;
    }
    return width;
}

void draw_text_run(HBITMAP__* target, FontFace* face, int64_t x, int64_t y, const char* text,
                   int64_t count, COLORREF color) {
    if (!has_pixels(target) || count <= 0) return;
    int64_t baseline = y + face->metrics.tmAscent;
    // Glyphs reach at most a few em beyond their cell; a run wholly above or below
    // the bitmap draws nothing.
    int64_t reach = int64_t(face->em) * 4 + 16;
    if (baseline + reach < 0 || baseline - reach >= target->height) return;
    int64_t pen = x;
    int64_t i = 0;
    // Glyphs wholly left of the bitmap only move the pen.
    for (; i < count; ++i) {
        const Glyph& glyph = glyph_of(face, static_cast<unsigned char>(text[i]));
        if (pen + glyph.right > 0) break;
        pen += glyph.advance;
    }
    for (; i < count && pen <= target->width + reach; ++i) {
        const Glyph& glyph = glyph_of(face, static_cast<unsigned char>(text[i]));
        draw_glyph(target, glyph, pen + glyph.left, baseline - glyph.top, color);
        pen += glyph.advance;
    }
}

}  // namespace portable

using namespace portable;

HFONT WINAPI CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD,
                         DWORD, DWORD, DWORD, DWORD pitch_and_family, LPCSTR face_name) {
    // Only records the request: matching and sizing happen on first use.
    HFONT__* font = make_font();
    font->height = height;
    font->weight = weight;
    font->italic = italic != 0;
    font->pitch_and_family = pitch_and_family;
    if (face_name != nullptr) font->face_name.assign(face_name, strnlen(face_name, face_name_max));
    return font;
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
    if (!valid_dc(dc) || count < 0 || (count > 0 && text == nullptr)) return FALSE;
    if (count == 0) return TRUE;
    FontFace* face = dc_face(dc);
    HBITMAP__* target = dc->bitmap;
    if (has_pixels(target)) {
        int64_t left = int64_t(x) + dc->viewport_origin.x, top = int64_t(y) + dc->viewport_origin.y;
        TAVLO_OBSERVE(DrawCall call; call.kind = DrawCall::Text; Point64 corner{left, top};
                      call.points = &corner; call.count = count; call.text = text;
                      call.font_height = dc->font != nullptr ? dc->font->height : 0;
                      call.text_color = dc->text_color; draw_observer->call(call));
        if (dc->bk_mode == OPAQUE) {
            int64_t width = text_width(face, text, count);
            fill_box(surface_of(target), left, top, left + width, top + face->metrics.tmHeight,
                     dc->bk_color);
        }
        draw_text_run(target, face, left, top, text, count, dc->text_color);
    }
    mark_drawn(dc);
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size) {
    if (!valid_dc(dc) || size == nullptr || count < 0 || (count > 0 && text == nullptr)) {
        return FALSE;
    }
    FontFace* face = dc_face(dc);
    size->cx = LONG(std::min<int64_t>(text_width(face, text, count), INT32_MAX));
    size->cy = face->metrics.tmHeight;
    return TRUE;
}

BOOL WINAPI GetTextExtentPointA(HDC dc, LPCSTR text, int count, LPSIZE size) {
    return GetTextExtentPoint32A(dc, text, count, size);
}

BOOL WINAPI GetTextMetricsA(HDC dc, LPTEXTMETRICA metrics) {
    if (!valid_dc(dc) || metrics == nullptr) return FALSE;
    *metrics = dc_face(dc)->metrics;
    return TRUE;
}
