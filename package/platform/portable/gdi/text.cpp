// Portable GDI: text output and measurement (CreateFontA, TextOutA, TextOutW,
// GetTextExtentPointA, GetTextExtentPoint32A, GetTextExtentPoint32W,
// GetTextMetricsA). See text.h.
#include "text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "../presenter_kit/code_page.h"
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

// The glyph of character c, looked up in place when it is rendered already: text
// measurement and the skipping of glyphs left of the bitmap visit every character.
inline const Glyph& glyph_of(FontFace* face, char32_t c) {
    if (c < 256 && face->glyphs[c].ready) return face->glyphs[c];
    return face_glyph(face, c);
}

FontFace* dc_face(HDC dc) {
    auto* font = static_cast<HFONT__*>(GetStockObject(SYSTEM_FONT));
    if (dc->font != nullptr) font = dc->font;
    return resolve_font(font);
}

}  // namespace

char32_t TextRun::at(int64_t i) const {
    return bytes != nullptr ? unicode_of_cp1252(static_cast<unsigned char>(bytes[i])) : points[i];
}

int64_t text_width(FontFace* face, const TextRun& text) {
    int64_t width = 0;
    for (int64_t i = 0; i < text.count; ++i) width += glyph_of(face, text.at(i)).advance;
    return width;
}

void draw_text_run(HBITMAP__* target, FontFace* face, int64_t x, int64_t y, const TextRun& text,
                   COLORREF color) {
    int64_t count = text.count;
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
        const Glyph& glyph = glyph_of(face, text.at(i));
        if (pen + glyph.right > 0) break;
        pen += glyph.advance;
    }
    for (; i < count && pen <= target->width + reach; ++i) {
        const Glyph& glyph = glyph_of(face, text.at(i));
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

namespace {

// Draws a run for TextOutA and TextOutW.
void text_out(HDC dc, int x, int y, const TextRun& text) {
    FontFace* face = dc_face(dc);
    HBITMAP__* target = dc->bitmap;
    if (has_pixels(target)) {
        int64_t left = int64_t(x) + dc->viewport_origin.x, top = int64_t(y) + dc->viewport_origin.y;
        TAVLO_OBSERVE(std::string utf8;
                      for (int64_t i = 0; i < text.count; ++i) append_utf8(utf8, text.at(i));
                      DrawCall call; call.kind = DrawCall::Text; Point64 corner{left, top};
                      call.points = &corner; call.count = int(utf8.size()); call.text = utf8.data();
                      call.font_height = dc->font != nullptr ? dc->font->height : 0;
                      call.text_color = dc->text_color; draw_observer->call(call));
        if (dc->bk_mode == OPAQUE) {
            int64_t width = text_width(face, text);
            fill_box(surface_of(target), left, top, left + width, top + face->metrics.tmHeight,
                     dc->bk_color);
        }
        draw_text_run(target, face, left, top, text, dc->text_color);
    }
    mark_drawn(dc);
}

// The code points of UTF-16 text.
std::u32string code_points(LPCWSTR text, int count) {
    return decode_utf16(std::u16string_view(text, size_t(count)));
}

}  // namespace

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
    if (!valid_dc(dc) || count < 0 || (count > 0 && text == nullptr)) return FALSE;
    if (count == 0) return TRUE;
    TextRun run;
    run.bytes = text;
    run.count = count;
    text_out(dc, x, y, run);
    return TRUE;
}

BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
    if (!valid_dc(dc) || count < 0 || (count > 0 && text == nullptr)) return FALSE;
    if (count == 0) return TRUE;
    std::u32string points = code_points(text, count);
    TextRun run;
    run.points = points.data();
    run.count = int64_t(points.size());
    text_out(dc, x, y, run);
    return TRUE;
}

namespace {

BOOL text_extent(HDC dc, const TextRun& text, LPSIZE size) {
    FontFace* face = dc_face(dc);
    size->cx = LONG(std::min<int64_t>(text_width(face, text), INT32_MAX));
    size->cy = face->metrics.tmHeight;
    return TRUE;
}

}  // namespace

BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size) {
    if (!valid_dc(dc) || size == nullptr || count < 0 || (count > 0 && text == nullptr)) {
        return FALSE;
    }
    TextRun run;
    run.bytes = text;
    run.count = count;
    return text_extent(dc, run, size);
}

BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size) {
    if (!valid_dc(dc) || size == nullptr || count < 0 || (count > 0 && text == nullptr)) {
        return FALSE;
    }
    std::u32string points = code_points(text, count);
    TextRun run;
    run.points = points.data();
    run.count = int64_t(points.size());
    return text_extent(dc, run, size);
}

BOOL WINAPI GetTextExtentPointA(HDC dc, LPCSTR text, int count, LPSIZE size) {
    return GetTextExtentPoint32A(dc, text, count, size);
}

BOOL WINAPI GetTextMetricsA(HDC dc, LPTEXTMETRICA metrics) {
    if (!valid_dc(dc) || metrics == nullptr) return FALSE;
    *metrics = dc_face(dc)->metrics;
    return TRUE;
}
