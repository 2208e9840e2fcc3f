// Portable GDI: the objects behind the handles.
//
// Every GDI handle (HPEN, HBRUSH, HFONT, HBITMAP) points at one of these records,
// each starting with a GdiObject header that says what it is, so SelectObject and
// DeleteObject can tell them apart from an untyped HGDIOBJ. Stock objects are
// flagged and never freed. A device context (HDC) draws into one bitmap: a memory
// DC into the bitmap selected into it, a window DC into that window's front image,
// which drawing marks changed (mark_drawn).
//
// Pixels are COLORREF values (0x00BBGGRR), one uint32_t per pixel, rows top to
// bottom, no padding. Presenters convert when they show them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../win32_portable.h"

namespace portable {

enum class ObjectKind : uint32_t {
    Pen = 0x4e455031,     // "1PEN"
    Brush = 0x55524231,   // "1BRU"
    Font = 0x4e4f4631,    // "1FON"
    Bitmap = 0x50414d31,  // "1MAP"
    DC = 0x43443031,      // "1DC0"
    Dead = 0xdeaddead,    // written into a header when the object is freed
};

struct GdiObject {
    ObjectKind kind;
    bool stock = false;
    int select_count = 0;  // how many DCs have it selected (a selected object is not freed)
    explicit GdiObject(ObjectKind k) : kind(k) {}
};

// Returns the object's header if h is a live GDI object of ours, else nullptr.
GdiObject* gdi_object(HGDIOBJ h);

}  // namespace portable

struct HPEN__ : portable::GdiObject {
    int style = PS_SOLID;
    int width = 1;  // 0 and 1 both mean a 1-pixel cosmetic pen
    COLORREF color = 0;
    HPEN__() : GdiObject(portable::ObjectKind::Pen) {}
};

struct HBRUSH__ : portable::GdiObject {
    bool hollow = false;  // NULL_BRUSH: fills nothing
    COLORREF color = 0;
    HBRUSH__() : GdiObject(portable::ObjectKind::Brush) {}
};

namespace portable {
struct FontFace;  // a matched, sized FreeType face with its glyph cache (gdi/font_cache.h)
}

struct HFONT__ : portable::GdiObject {
    int height = 0;  // CreateFontA's cHeight: <0 character (em) height, >0 cell height, 0 default
    int weight = FW_NORMAL;
    bool italic = false;
    DWORD pitch_and_family = 0;
    std::string face_name;
    portable::FontFace* face = nullptr;  // resolved lazily, owned by the font cache
    HFONT__() : GdiObject(portable::ObjectKind::Font) {}
};

namespace portable {
// A new live font record, for CreateFontA; DeleteObject gives it back.
HFONT__* make_font();
}  // namespace portable

struct HBITMAP__ : portable::GdiObject {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height COLORREFs, row-major, top row first
    // A window's front image: drawn into since USER last had it shown.
    bool changed = false;
    HBITMAP__() : GdiObject(portable::ObjectKind::Bitmap) {}
};

struct HDC__ {
    portable::ObjectKind kind = portable::ObjectKind::DC;
    HBITMAP__* bitmap = nullptr;          // the drawing target (memory DC: selected bitmap)
    HBITMAP__* default_bitmap = nullptr;  // memory DC's own 1x1 bitmap, selected at creation
    HWND window = nullptr;                // set for a window DC: drawing goes to its front image
    HPEN__* pen = nullptr;
    HBRUSH__* brush = nullptr;
    HFONT__* font = nullptr;
    COLORREF text_color = 0x000000;
    COLORREF bk_color = 0xFFFFFF;
    int bk_mode = OPAQUE;
    POINT position = {0, 0};  // the current position, in logical coordinates
    // SetViewportOrgEx: the device point of logical (0, 0). Every drawing call maps
    // its logical coordinates to device pixels as logical + origin, in 64 bits.
    POINT viewport_origin = {0, 0};
};

namespace portable {

// Whether `dc` is a device context of ours (memory or window DC).
inline bool valid_dc(HDC dc) {
    return dc != nullptr && dc->kind == ObjectKind::DC;
}

// Creates a DC drawing into `target`, owned by `window` (a window DC) or by nobody.
// Used by USER's GetDC/BeginPaint; ReleaseDC/EndPaint free it with destroy_dc.
HDC create_target_dc(HBITMAP__* target, HWND window);
void destroy_dc(HDC dc);

// After any drawing through `dc`: a window DC's target, the window's front image,
// is marked changed. GDI only marks it; USER has the presenter show marked front
// images before the program next waits (user/paint.cpp), so drawing never calls
// up into USER or the presenter.
inline void mark_drawn(HDC dc) {
    if (dc->window != nullptr && dc->bitmap != nullptr) dc->bitmap->changed = true;
}

}  // namespace portable
