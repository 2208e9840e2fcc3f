// Portable GDI: the clipped pixel core behind the drawing entry points.
//
// Every primitive here takes 64-bit coordinates, clips them against the surface
// before any loop runs and then writes only pixels inside it, so the cost of a call
// is bounded by the pixels it can touch, whatever the coordinates or pen width.
// Products that can exceed 64 bits are formed in 128-bit arithmetic during setup;
// the inner loops are plain pointer walks and vector stores over row spans.
//
// Shapes follow the classic aliased GDI rules: half-open boxes, one-pixel
// Bresenham lines with the direction bias and the end point left out, polygons
// sampled at integer points with a top-left rule, round discs built from the
// integer midpoint ellipse. Discs and ellipses whose diameter exceeds
// exact_ellipse_limit are computed row by row from the ellipse equation instead of
// walking the outline; below it they are pixel exact.
#pragma once

#include <cstdint>

struct HBITMAP__;

namespace portable {

// Diameters (in pixels) up to which discs and ellipses are traced exactly with the
// integer midpoint ellipse; larger ones use a per-row formula.
constexpr int64_t exact_ellipse_limit = 256;
// Wide ellipse outlines are swept exactly (disc per outline pixel) up to this pen width.
constexpr int64_t exact_sweep_pen_limit = 64;

// A drawing target: width * height COLORREF pixels, row-major.
struct Surface {
    uint32_t* pixels = nullptr;
    int64_t width = 0;
    int64_t height = 0;
    uint32_t* row(int64_t y) const { return pixels + y * width; }
};

struct Point64 {
    int64_t x;
    int64_t y;
};

// Sets n pixels from p on (one row span; no clipping).
void fill_pixels(uint32_t* p, int64_t n, uint32_t color);

// The surface of a bitmap, or an empty one (width 0) when the bitmap is missing
// or inconsistent.
Surface surface_of(HBITMAP__* bitmap);

// Fills [left,right) x [top,bottom), clipped. Empty when right <= left or bottom <= top.
void fill_box(const Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom,
              uint32_t color);

// One-pixel line: the start pixel is drawn, the end pixel is not. Nothing for a
// zero-length line.
void draw_thin_line(const Surface& s, Point64 from, Point64 to, uint32_t color);

// Fills a polygon (closed implicitly) with the even-odd rule: pixel (x,y) is in
// when the integer point (x,y) lies inside, left and top edges included.
void fill_polygon(const Surface& s, const Point64* points, int count, uint32_t color);

// A round cap or join of a pen `width` wide centred on (x,y): the ellipse region
// of the box [x - width/2, x - width/2 + width) on both axes.
void fill_disc(const Surface& s, Point64 centre, int64_t width, uint32_t color);

// The body of a wide pen segment (no caps): a band `width` wide along from..to.
void fill_wide_body(const Surface& s, Point64 from, Point64 to, int64_t width, uint32_t color);

// A wide pen line: the body and a round cap at both ends (one disc when from == to).
void draw_wide_line(const Surface& s, Point64 from, Point64 to, int64_t width, uint32_t color);

// Fills the region of the ellipse inscribed in the box [left,right) x [top,bottom):
// each row between the outermost pixels of its outline.
void fill_ellipse(const Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom,
                  uint32_t color);

// Strokes the outline of the ellipse inscribed in the box with a pen `width`
// wide (0 or 1: the one-pixel outline itself).
void draw_ellipse_outline(const Surface& s, int64_t left, int64_t top, int64_t right,
                          int64_t bottom, int64_t width, uint32_t color);

// Copies a w x h block from src (sx,sy) to dst (dx,dy). Pixels whose source or
// destination lies outside its surface are skipped; a copy within one surface
// behaves as if it went through a temporary buffer.
void copy_block(const Surface& dst, int64_t dx, int64_t dy, const Surface& src, int64_t sx,
                int64_t sy, int64_t w, int64_t h);

}  // namespace portable
