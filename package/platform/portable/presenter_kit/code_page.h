// Portable platform: the package's text bytes as Unicode.
//
// Every text the package hands to Win32 (drawn text, window titles, menu labels)
// is a string of Windows code page 1252 bytes, as the "A" functions take on a
// Western Windows. Whatever shows such a text (the glyph lookup of the
// rasterizer, a toolkit's title bar or menu, a page) turns the bytes into Unicode
// here, so a byte is the same character on the canvas and in a menu.
#pragma once

#include <string>
#include <string_view>

namespace portable {

// The Unicode code point of a code page 1252 byte: 0x80..0x9F are the euro sign,
// typographic quotes, dashes and the like (the five bytes 1252 leaves undefined
// keep their own value, as Windows' MultiByteToWideChar does); every other byte is
// the Latin-1 character of the same value.
char32_t unicode_of_cp1252(unsigned char byte);

// The text as UTF-8.
std::string utf8_of_cp1252(std::string_view text);

// The code page 1252 byte of a Unicode character, 0 when 1252 has none.
unsigned char cp1252_of_unicode(char32_t character);

// Appends the UTF-8 bytes of a code point (one above U+10FFFF, or a surrogate,
// as the replacement character U+FFFD).
void append_utf8(std::string& out, char32_t character);

// The code points of UTF-16 text: a pair of surrogates is one character, a lone
// surrogate the replacement character U+FFFD.
std::u32string decode_utf16(std::u16string_view text);

// The code points of UTF-8 text; a byte that does not begin a well-formed sequence
// is U+FFFD and decoding goes on with the next byte, so nothing after a broken
// sequence is lost.
std::u32string decode_utf8(std::string_view text);

}  // namespace portable
