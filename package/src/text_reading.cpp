// How the package reads a program's text: UTF-8 where the text holds UTF-8
// characters, code page 1252 (the "A" calls' reading on a Western Windows) where
// it does not. Text that is ASCII, or whose bytes above 0x7F are code page 1252
// characters, goes to the "A" calls exactly as always.
#include <climits>
#include <cstring>
#include <string>

#include "package_state.h"

namespace {

PackageState& S = package_state;

using WideText = std::basic_string<WCHAR>;

// The length of the well-formed UTF-8 multi-byte sequence that starts at text[i],
// 0 when none does (ASCII, a stray byte, an overlong form, a surrogate, a code
// point past U+10FFFF, or a sequence cut short).
size_t sequence_length(const unsigned char* text, size_t i, size_t length) {
    unsigned char lead = text[i];
    size_t more = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (length - i <= more) return 0;
    if (text[i + 1] < low || text[i + 1] > high) return 0;
    for (size_t k = 2; k <= more; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) return 0;
    }
    return more + 1;
}

bool holds_utf8(const char* text, size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] >= 0x80 && sequence_length(bytes, i, length) > 0) return true;
    }
    return false;
}

void append_utf16(WideText& out, char32_t c) {
    if (c < 0x10000) {
        out += WCHAR(c);
    } else {
        c -= 0x10000;
        out += WCHAR(0xD800 + (c >> 10));
        out += WCHAR(0xDC00 + (c & 0x3FF));
    }
}

// The text as UTF-16: its UTF-8 sequences as their characters, every other byte as
// its code page 1252 character, so a byte that breaks a sequence costs only
// itself and nothing after it is lost.
WideText wide_text(const char* text, size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    WideText out;
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        size_t n = bytes[i] >= 0x80 ? sequence_length(bytes, i, length) : 0;
        if (n == 0) {
            append_utf16(out, character_of_cp1252(bytes[i]));
            ++i;
            continue;
        }
        char32_t c = bytes[i] & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k) c = (c << 6) | (bytes[i + k] & 0x3F);
        append_utf16(out, c);
        i += n;
    }
    return out;
}

int saturated(size_t n) {
    return n > size_t(INT_MAX) ? INT_MAX : int(n);
}

void queue_utf8(char32_t c) {
    unsigned char bytes[4];
    int n = 0;
    if (c < 0x800) {
        bytes[n++] = static_cast<unsigned char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        bytes[n++] = static_cast<unsigned char>(0xE0 | (c >> 12));
        bytes[n++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        bytes[n++] = static_cast<unsigned char>(0xF0 | (c >> 18));
        bytes[n++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        bytes[n++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    }
    bytes[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    S.pending_kind = EventKind::Key;
    S.pending_key = static_cast<signed char>(bytes[0]);
    S.typed_count = n - 1;
    S.typed_next = 0;
    for (int k = 1; k < n; ++k) S.typed[k - 1] = bytes[k];
}

}  // namespace

char32_t character_of_cp1252(unsigned char byte) {
    if (byte < 0x80) return byte;
    WCHAR wide = 0;
    const char narrow = static_cast<char>(byte);
    if (MultiByteToWideChar(1252, 0, &narrow, 1, &wide, 1) != 1) return 0xFFFD;
    return char32_t(wide);
}

bool reads_as_utf8(const char* text, size_t length) {
    if (S.text_encoding == TextEncoding::CodePage1252 || !holds_utf8(text, length)) return false;
    S.utf8_seen = true;
    return true;
}

BOOL text_out(HDC dc, int x, int y, const char* text, int length) {
    if (length <= 0 || !reads_as_utf8(text, size_t(length)))
        return TextOutA(dc, x, y, text, length);
    WideText wide = wide_text(text, size_t(length));
    return TextOutW(dc, x, y, wide.data(), saturated(wide.size()));
}

BOOL text_extent(HDC dc, const char* text, int length, SIZE* extent) {
    if (length <= 0 || !reads_as_utf8(text, size_t(length)))
        return GetTextExtentPointA(dc, text, length, extent);
    WideText wide = wide_text(text, size_t(length));
    return GetTextExtentPoint32W(dc, wide.data(), saturated(wide.size()), extent);
}

size_t without_cut_character(const char* text, size_t length, const char* format) {
    if (S.text_encoding == TextEncoding::CodePage1252) return length;
    const bool utf8 = reads_as_utf8(text, length) ||
                      (format != nullptr && reads_as_utf8(format, std::strlen(format))) ||
                      S.utf8_seen;
    if (!utf8) return length;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    // A cut sequence is a lead byte among the last three followed only by
    // continuation bytes, fewer than it needs.
    for (size_t back = 1; back <= 3 && back <= length; ++back) {
        unsigned char b = bytes[length - back];
        if ((b & 0xC0) == 0x80) continue;
        size_t needs = b >= 0xC2 && b <= 0xDF   ? 2
                       : b >= 0xE0 && b <= 0xEF ? 3
                       : b >= 0xF0 && b <= 0xF4 ? 4
                                                : 0;
        return needs > back ? length - back : length;
    }
    return length;
}

bool type_character(char32_t character) {
    if (character == 0 || character > 0x10FFFF || (character >= 0xD800 && character < 0xE000))
        return false;
    unsigned char byte = 0;
    if (character < 0x100 &&
        character_of_cp1252(static_cast<unsigned char>(character)) == character)
        byte = static_cast<unsigned char>(character);
    for (int b = 0x80; byte == 0 && b < 0xA0; ++b) {
        if (character_of_cp1252(static_cast<unsigned char>(b)) == character)
            byte = static_cast<unsigned char>(b);
    }
    bool utf8 = S.text_encoding == TextEncoding::Utf8 ||
                (S.text_encoding == TextEncoding::Automatic && S.utf8_seen);
    if (character < 0x80 || (byte != 0 && !utf8)) {
        S.pending_kind = EventKind::Key;
        S.pending_key = static_cast<signed char>(character < 0x80 ? character : byte);
        return true;
    }
    // Beyond code page 1252 the program can only hold the character as UTF-8.
    if (S.text_encoding == TextEncoding::CodePage1252) return false;
    if (S.text_encoding == TextEncoding::Automatic) S.utf8_seen = true;
    queue_utf8(character);
    return true;
}

bool take_typed_byte() {
    if (S.typed_next >= S.typed_count) return false;
    S.pending_kind = EventKind::Key;
    S.pending_key = static_cast<signed char>(S.typed[S.typed_next++]);
    if (S.typed_next >= S.typed_count) S.typed_count = S.typed_next = 0;
    return true;
}

int set_text_encoding(int encoding) {
    if (encoding != TextEncoding::Automatic && encoding != TextEncoding::Utf8 &&
        encoding != TextEncoding::CodePage1252) {
        log_repair("set_text_encoding: unknown encoding %d; nothing changed\n", encoding);
        return S.text_encoding;
    }
    S.text_encoding = encoding;
    return encoding;
}
