// Text probe: draws UTF-8 text with the package (draw_text) and the same
// characters with the window system's own wide-character call (TextOutW, the font
// the package uses) on the canvas, and compares the two pictures, cut to the
// pixels they colour. Equal pictures mean the package read the right characters.
// The same for a code page 1252 text. Prints one line per case; exit code 0 when
// every case drew something and matched, 1 otherwise. Built for Windows (run under
// Wine by the Windows tests) and natively.
#include <cstdio>
#include <string>
#include <vector>

#include "package_state.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    bool operator==(const Picture& o) const {
        return width == o.width && height == o.height && pixels == o.pixels;
    }
};

void whiten() {
    RECT all = {0, 0, canvas_width, canvas_height};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(package_state.canvas_dc, &all, white);
    DeleteObject(white);
}

// The canvas cut to the box of its non-white pixels.
Picture coloured_part() {
    HDC dc = package_state.canvas_dc;
    int left = canvas_width, top = canvas_height, right = -1, bottom = -1;
    for (int y = 0; y < canvas_height; ++y) {
        for (int x = 0; x < canvas_width; ++x) {
            if (GetPixel(dc, x, y) == RGB(255, 255, 255)) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > bottom) bottom = y;
        }
    }
    Picture picture;
    if (right < 0) return picture;
    picture.width = right - left + 1;
    picture.height = bottom - top + 1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) picture.pixels.push_back(GetPixel(dc, x, y));
    }
    return picture;
}

Picture drawn_by_package(const char* text) {
    whiten();
    draw_text(Color::Black, -280, 0, 20, text);
    return coloured_part();
}

Picture drawn_wide(const char32_t* text) {
    std::basic_string<WCHAR> wide;
    for (; *text != 0; ++text) {
        char32_t c = *text;
        if (c >= 0x10000) {
            wide += WCHAR(0xD800 + ((c - 0x10000) >> 10));
            wide += WCHAR(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += WCHAR(c);
        }
    }
    whiten();
    HDC dc = package_state.canvas_dc;
    HFONT font =
        CreateFontA(-20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "TAVLO-font");
    HGDIOBJ old_font = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, 20, 100, wide.data(), int(wide.size()));
    SelectObject(dc, old_font);
    DeleteObject(font);
    return coloured_part();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    struct Case {
        const char* name;
        const char* bytes;
        const char32_t* characters;
    };
    const Case cases[] = {
        {"UTF-8",
         "Gr\xC3\xBC\xC3\x9F"
         "e aus dem Caf\xC3\xA9 \xE2\x80\x94 2\xCF\x80 \xE2\x82\xAC",
         U"Gr\u00FC\u00DFe aus dem Caf\u00E9 \u2014 2\u03C0 \u20AC"},
        {"UTF-8 Greek and Cyrillic", "\xCE\x91\xCE\xB2\xCE\xB3 \xD0\x96\xD0\xB8",
         U"\u0391\u03B2\u03B3 \u0416\u0438"},
        {"code page 1252",
         "Gr\xFC\xDF"
         "e aus dem Caf\xE9 \x97 \x80",
         U"Gr\u00FC\u00DFe aus dem Caf\u00E9 \u2014 \u20AC"},
    };
    int failed = 0;
    for (const Case& c : cases) {
        const Picture ours = drawn_by_package(c.bytes);
        const Picture theirs = drawn_wide(c.characters);
        const bool ok = !ours.pixels.empty() && ours == theirs;
        std::printf("%s: %s (%dx%d drawn, %dx%d by TextOutW)\n", c.name, ok ? "same" : "DIFFERENT",
                    ours.width, ours.height, theirs.width, theirs.height);
        if (!ok) ++failed;
    }
    std::fflush(stdout);
    close_display();
    return failed == 0 ? 0 : 1;
}
