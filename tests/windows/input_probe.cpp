// Input probe: switches every opt-in input kind on and writes each event it gets
// (all but the periodic ones) to events.txt in the current folder, one line
// each: "kind x y key", key as an unsigned byte. The Wine test drives it with
// real X input and replays its recording natively, comparing the two lists.
#include <cstdio>

#include "tavlo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    enable_input(InputKind::All);
    std::FILE* out = std::fopen("events.txt", "w");
    if (out == nullptr) {
        std::perror("input_probe: events.txt");
        return 1;
    }
    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        const int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit) break;
        if (kind == EventKind::Periodic) continue;
        std::fprintf(out, "%d %d %d %d\n", kind, x, y, int(static_cast<unsigned char>(key)));
        std::fflush(out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
