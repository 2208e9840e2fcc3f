// Typing: every character typed in the graphics window is added to a text shown
// on the canvas with print_text, with a count below it. Return starts a new line,
// Backspace takes the last character back, and Esc quits. The text is UTF-8 (the
// prompt holds UTF-8 characters, so typed characters beyond ASCII come as their
// UTF-8 bytes: é, ß, π, € all show as typed).
#include <cstring>

#include "tavlo.h"

namespace {

constexpr int max_length = 400;
constexpr char key_backspace = 8;
constexpr char key_return = 13;
constexpr char key_escape = 27;

struct Page {
    char text[max_length + 1] = {};
    int length = 0;      // bytes
    int characters = 0;  // UTF-8 characters
    int lines = 1;
    int to_come = 0;  // continuation bytes the last character still has to bring
};

bool is_continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The bytes of the UTF-8 character that `lead` begins.
int sequence_length(char lead) {
    auto byte = static_cast<unsigned char>(lead);
    return byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
}

void show(const Page& page) {
    clear_canvas();
    draw_text(
        Color::NavyBlue, -280, 220, 20,
        "Type something: \xC3\xA9, \xC3\x9F, \xCF\x80, \xE2\x82\xAC \xE2\x80\xA6 (Esc quits)");
    draw_line(Color::Gray50, -280, 210, 280, 210, 1);
    draw_text(Color::Black, -280, 180, 16, page.text);
    print_text(Color::Gray50, -280, -230, 14, "%d characters on %d line%s", page.characters,
               page.lines, page.lines == 1 ? "" : "s");
}

// Applies one typed character; false when the page did not change.
bool type(Page& page, char key) {
    if (is_continuation(key)) {  // the rest of a character beyond ASCII
        if (page.to_come == 0) return false;
        page.text[page.length++] = key;
        page.text[page.length] = '\0';
        return --page.to_come == 0;
    }
    page.to_come = 0;
    if (key == key_backspace) {
        if (page.length == 0) return false;
        while (page.length > 0 && is_continuation(page.text[page.length - 1])) --page.length;
        if (page.length > 0 && page.text[--page.length] == '\n') --page.lines;
        page.text[page.length] = '\0';
        --page.characters;
        return true;
    }
    if (page.length + sequence_length(key) > max_length) return false;
    if (key == key_return) {
        key = '\n';
        ++page.lines;
    } else if (static_cast<unsigned char>(key) < ' ') {
        return false;  // other control characters draw nothing
    }
    page.text[page.length++] = key;
    page.text[page.length] = '\0';
    ++page.characters;
    page.to_come = sequence_length(key) - 1;
    return page.to_come == 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
    open_display(instance, previous, command_line, show_command);
    set_logging(0);
    Page page;
    show(page);

    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind != EventKind::Key) continue;
        if (key == key_escape) break;
        if (type(page, key)) show(page);
    }
    log_printf("typed %d characters\n", page.characters);
    close_display();
    return 0;
}
