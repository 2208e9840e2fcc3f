// How the package reads text: UTF-8 where a text holds UTF-8 characters, code
// page 1252 otherwise; broken and cut sequences, missing glyphs, the message
// log's line limit, and typed characters beyond ASCII live and replayed.
#include <memory>
#include <string>
#include <vector>

#include "display_test_support.h"
#include "package_test_support.h"

using test_support::CanvasTest;
using test_support::HeadlessInput;
using test_support::log_lines;

namespace {

class TextReading : public CanvasTest {
protected:
    // The canvas after drawing `text` alone on white.
    std::vector<uint32_t> drawn(const char* text, int point_size = 20) {
        fill(0xFFFFFF);
        draw_text(Color::Black, -290, 0, point_size, text);
        return pixels();
    }
    static std::pair<int, int> size_of(const char* text) {
        int w = 0, h = 0;
        text_size(20, text, &w, &h);
        return {w, h};
    }
};

}  // namespace

// A UTF-8 text and its code page 1252 twin draw and measure alike; the edge
// case of 1252 text that is well-formed UTF-8 reads as UTF-8 unless fixed.
TEST_F(TextReading, Utf8AndItsCodePage1252TwinDrawTheSamePixels) {
    package_state.logging_enabled = false;
    const char* utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e aus dem Caf\xC3\xA9 \xE2\x80\x94 \xE2\x82\xAC 5";
    const char* cp1252 =
        "Gr\xFC\xDF"
        "e aus dem Caf\xE9 \x97 \x80 5";
    const auto twin = drawn(cp1252);
    EXPECT_EQ(drawn(utf8), twin);
    EXPECT_EQ(size_of(utf8), size_of(cp1252));
    EXPECT_LT(count(0xFFFFFF), canvas_width * canvas_height);  // something was drawn

    // "\xC3\xA9" is both "é" in UTF-8 and "Ã©" in code page 1252.
    const auto as_utf8 = drawn("\xC3\xA9");
    EXPECT_EQ(as_utf8, drawn("\xE9"));
    const auto two_characters = drawn("\xC3\x83\xC2\xA9");  // "Ã©" in UTF-8
    EXPECT_EQ(set_text_encoding(TextEncoding::CodePage1252), TextEncoding::CodePage1252);
    EXPECT_EQ(drawn("\xC3\xA9"), two_characters);
    EXPECT_NE(drawn("\xC3\xA9"), as_utf8);
    EXPECT_EQ(set_text_encoding(7), TextEncoding::CodePage1252);
    EXPECT_EQ(log_lines().back(), "set_text_encoding: unknown encoding 7; nothing changed\n");
    EXPECT_EQ(set_text_encoding(TextEncoding::Automatic), TextEncoding::Automatic);
    EXPECT_EQ(drawn("\xC3\xA9"), as_utf8);
}

// A broken sequence costs only its own bytes (each its 1252 character), and a
// character no face has is a box that takes room and shows pixels.
TEST_F(TextReading, BrokenSequencesAndMissingGlyphsLoseNothingAround) {
    package_state.logging_enabled = false;
    // "é" cut to its first byte, then "!": the 1252 reading of both bytes.
    EXPECT_EQ(drawn("\xCF\x80 \xC3!"), drawn("\xCF\x80 \xC3\x83!"));
    EXPECT_EQ(drawn("\xCF\x80 \xE2\x82"), drawn("\xCF\x80 \xC3\xA2\xE2\x80\x9A"));
    const auto box = size_of("\xE6\xBC\xA2");  // 漢: in none of the faces
    EXPECT_GT(box.first, 2);
    EXPECT_EQ(size_of("x\xE6\xBC\xA2y").first, size_of("xy").first + box.first);
    fill(0xFFFFFF);
    draw_text(Color::Black, 0, 0, 20, "\xE6\xBC\xA2");
    const int box_pixels = canvas_width * canvas_height - count(0xFFFFFF);
    EXPECT_GT(box_pixels, 8);
    fill(0xFFFFFF);
    draw_text(Color::Black, 0, 0, 20, "\xF0\x9F\x98\x80");  // an emoji: one box too
    EXPECT_EQ(canvas_width * canvas_height - count(0xFFFFFF), box_pixels);
}

// The 1023-character cut of a line never leaves half a UTF-8 character; in a
// program whose text is code page 1252 a line keeps its 1023 bytes.
TEST_F(TextReading, LinesCutTo1023CharactersEndWithAWholeCharacter) {
    const std::string a(1022, 'a');
    EXPECT_EQ(log_printf("%s\xE9x", a.c_str()), 1023);
    EXPECT_EQ(log_lines().back(), a + "\xE9");
    EXPECT_EQ(log_printf("%s\xC3\xA9", a.c_str()), 1022);
    EXPECT_EQ(log_lines().back(), a);
    package_state.logging_enabled = false;
    EXPECT_EQ(print_text(Color::Black, 0, 0, 10, "%s\xE2\x82\xAC", std::string(1021, 'b').c_str()),
              1021);
}

namespace {

class TypedText : public test_support::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        work = std::make_unique<test_support::ScopedWorkFolder>("tavlo-typed-text");
        open();
    }
    void TearDown() override {
        DisplayTest::TearDown();
        work.reset();
    }
    static void type_point(char32_t c) {
        presenter().inject(HeadlessInput::typed_code_point(c, graphics()));
    }
    // The keys of the Key events until '!'.
    static std::string keys_until_bang() {
        std::string keys;
        for (int i = 0; i < 50; ++i) {
            Event e = next_event();
            if (e.kind != EventKind::Key) continue;
            if (e.key == '!') break;
            keys += e.key;
        }
        return keys;
    }
    std::unique_ptr<test_support::ScopedWorkFolder> work;
};

}  // namespace

// A program whose text is not UTF-8 gets é as its 1252 byte, as always; once its
// text holds UTF-8 (or it asks for UTF-8), é comes as its UTF-8 bytes. π has no
// 1252 byte: it comes as UTF-8, and under a fixed 1252 reading not at all.
TEST_F(TypedText, CharactersBeyondAsciiComeAsTheProgramReadsText) {
    type_point(0xE9);
    type_point(0x3C0);
    type('!');
    EXPECT_EQ(keys_until_bang(), "\xE9\xCF\x80");
    type_point(0xE9);  // π made the program's text UTF-8
    type('!');
    EXPECT_EQ(keys_until_bang(), "\xC3\xA9");

    reset_everything();
    open();
    set_text_encoding(TextEncoding::Utf8);
    type_point(0x20AC);
    type_point(0x1F600);
    type('!');
    EXPECT_EQ(keys_until_bang(), "\xE2\x82\xAC\xF0\x9F\x98\x80");
    set_text_encoding(TextEncoding::CodePage1252);
    type_point(0x20AC);
    type_point(0x3C0);
    type('!');
    EXPECT_EQ(keys_until_bang(), "\x80");
}

// A recording of such typing holds one key line per byte, in the form today's
// reader reads, and replays the same bytes.
TEST_F(TypedText, TypingBeyondAsciiRecordsAndReplaysByteForByte) {
    run_command(CMD_RECORD);
    type_point(0xDF);   // ß: one 1252 byte
    type_point(0x3C0);  // π: two UTF-8 bytes
    type('!');
    const std::string live = keys_until_bang();
    run_command(CMD_RECORD);
    EXPECT_EQ(live, "\xDF\xCF\x80");
    EXPECT_EQ(test_support::file_text("TAVLO.SCR"),
              "TAVLO_KBD(-33);\nTAVLO_KBD(-49);\nTAVLO_KBD(-128);\nTAVLO_KBD(33);\n");
    run_command(CMD_PLAYBACK);
    EXPECT_EQ(keys_until_bang(), live);
}
