// Portable platform: code page 1252 to Unicode and back.
#include "code_page.h"

#include <cstdint>

namespace portable {
namespace {

// Code page 1252's characters 0x80..0x9F; the other bytes are Latin-1.
constexpr uint16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void append_utf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::u32string decode_utf16(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            out += char32_t(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            out += (unit >= 0xD800 && unit < 0xE000) ? char32_t(0xFFFD) : unit;
        }
    }
    return out;
}

std::u32string decode_utf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        unsigned char lead = byte(i);
        int more = lead < 0x80                   ? 0
                   : lead >= 0xC2 && lead < 0xE0 ? 1
                   : lead >= 0xE0 && lead < 0xF0 ? 2
                   : lead >= 0xF0 && lead < 0xF5 ? 3
                                                 : -1;
        char32_t c = more == 0   ? lead
                     : more == 1 ? lead & 0x1F
                     : more == 2 ? lead & 0x0F
                                 : lead & 0x07;
        bool whole = more >= 0 && i + size_t(more) < text.size();
        for (int k = 1; whole && k <= more; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) whole = false;
            c = (c << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not characters.
        if (whole && ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
                      (c >= 0xD800 && c < 0xE000)))
            whole = false;
        if (whole) {
            out += c;
            i += size_t(more) + 1;
        } else {
            out += char32_t(0xFFFD);
            ++i;
        }
    }
    return out;
}

char32_t unicode_of_cp1252(unsigned char byte) {
    return (byte >= 0x80 && byte < 0xA0) ? char32_t(cp1252_high[byte - 0x80]) : char32_t(byte);
}

std::string utf8_of_cp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) append_utf8(out, unicode_of_cp1252(static_cast<unsigned char>(c)));
    return out;
}

unsigned char cp1252_of_unicode(char32_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<unsigned char>(character);
    }
    for (int i = 0; i < 32; ++i) {
        if (cp1252_high[i] == character) return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

}  // namespace portable
