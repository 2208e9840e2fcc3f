// Typing: every character typed in the graphics window is added to a text shown
// on the canvas with print_text, with a count below it. Return starts a new line,
// Backspace takes the last character back, and Esc quits.
#include <cstring>

#include "tavlo.h"

namespace {

constexpr int max_length = 400;
constexpr char key_backspace = 8;
constexpr char key_return = 13;
constexpr char key_escape = 27;

struct Page {
    char text[max_length + 1] = {};
    int length = 0;
    int lines = 1;
};

void show(const Page& page) {
    clear_canvas();
    draw_text(Color::NavyBlue, -280, 220, 20, "Type something (Esc quits)");
    draw_line(Color::Gray50, -280, 210, 280, 210, 1);
    draw_text(Color::Black, -280, 180, 16, page.text);
    print_text(Color::Gray50, -280, -230, 14, "%d characters on %d line%s", page.length, page.lines,
               page.lines == 1 ? "" : "s");
}

// Applies one typed character; false when the page did not change.
bool type(Page& page, char key) {
    if (key == key_backspace) {
        if (page.length == 0) return false;
        if (page.text[--page.length] == '\n') --page.lines;
        page.text[page.length] = '\0';
        return true;
    }
    if (page.length == max_length) return false;
    if (key == key_return) {
        key = '\n';
        ++page.lines;
    } else if (static_cast<unsigned char>(key) < ' ') {
        return false;  // other control characters draw nothing
    }
    page.text[page.length++] = key;
    page.text[page.length] = '\0';
    return true;
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
    log_printf("typed %d characters\n", page.length);
    close_display();
    return 0;
}
