// Portable GDI: an optional watcher of what drawing does, for instruments only.
//
// A tool that measures or records drawing (a benchmark replaying one frame's calls
// elsewhere, or its pixel writes as plain fills; a test counting what a call
// drew) installs a DrawObserver. The hooks exist only in a build of the platform
// that defines TAVLO_DRAW_OBSERVER: the instrumented copy package/CMakeLists.txt
// makes for bench_peers and tests/instrumented/. Everywhere else, in what
// applications link, TAVLO_OBSERVE compiles to nothing and observer.cpp is not
// built. With the hooks, each costs one test of a pointer per call or per span
// while no observer is installed. The observer is told:
//   - call(): each drawing call with its shape in device pixels and the pen, brush
//     or font it draws with, before the call draws;
//   - span(): each run of pixels a fill, line, glyph or SetPixel writes, already
//     clipped to its surface (x0 < x1, row y inside). Adjacent single pixels of a
//     line come one at a time. Block copies (BitBlt, ScrollDC) are not spans.
#pragma once

#include <cstdint>

#include "raster.h"

namespace portable {

struct DrawCall {
    enum Kind { Polygon, Line, Rectangle, Ellipse, Text } kind = Polygon;
    const Point64* points = nullptr;  // Polygon: its corners; Line: from, to;
    int count = 0;                    // Rectangle, Ellipse: left-top, right-bottom
    bool pen = false;                 // an outline is drawn
    int64_t pen_width = 1;            // 1 for the one-pixel pen
    uint32_t pen_color = 0;
    bool brush = false;  // the shape is filled
    uint32_t brush_color = 0;
    const char* text = nullptr;  // Text: `count` bytes of UTF-8 at points[0], the cell's top-left
    int font_height = 0;         // CreateFontA's height of the selected font
    uint32_t text_color = 0;
};

class DrawObserver {
public:
    virtual ~DrawObserver() = default;
    virtual void call(const DrawCall&) {}
    virtual void span(const Surface&, int64_t y, int64_t x0, int64_t x1, uint32_t color) {}
};

// The installed observer, or nullptr (the default).
extern DrawObserver* draw_observer;

// Installs `observer` (nullptr removes it); returns the one it replaces.
DrawObserver* set_draw_observer(DrawObserver* observer);

// A hook: TAVLO_OBSERVE(statements) runs the statements when an observer is
// installed, and TAVLO_OBSERVING says whether one is; without the hooks they are
// nothing and false.
#ifdef TAVLO_DRAW_OBSERVER
#define TAVLO_OBSERVING (::portable::draw_observer != nullptr)
#define TAVLO_OBSERVE(...)     \
    do {                       \
        if (TAVLO_OBSERVING) { \
            __VA_ARGS__;       \
        }                      \
    } while (0)
#else
#define TAVLO_OBSERVING false
#define TAVLO_OBSERVE(...) \
    do {                   \
    } while (0)
#endif

}  // namespace portable
