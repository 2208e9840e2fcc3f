// The Run menu and its Ctrl shortcuts. Commands only change the package's flags
// and the menu's check marks; the event loop and the script act on the flags.
#include "package_state.h"

namespace {

PackageState& S = package_state;

struct MenuItem {
    UINT flags;
    UINT_PTR id;
    const char* text;
};

const MenuItem run_menu_items[] = {
    {MF_STRING, CMD_ANIMATE, "&Animate\tCtrl+A"},
    {MF_STRING, CMD_HALT, "&Halt animation\tCtrl+H"},
    {MF_STRING, CMD_ADVANCE_FRAME, "Advance one &frame\tCtrl+F"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_CHECKED, CMD_LOGGING, "&Logging\tCtrl+L"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_STRING, CMD_RECORD, "&Record Script\tCtrl+R"},
    {MF_STRING, CMD_PLAYBACK, "&Playback Script\tCtrl+P"},
    {MF_STRING, CMD_PLAY_ONE, "Play &One Script\tCtrl+O"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_STRING, CMD_QUIT, "&Quit\tCtrl+Q"},
    {MF_SEPARATOR, 0, nullptr},
    {MF_GRAYED, CMD_INFO, "MAC: mac@tavlo.example.org"},
    {MF_GRAYED, CMD_INFO, "WINDOWS: windows@tavlo.example.org"},
    {MF_GRAYED, CMD_INFO, "UPDATES: updates@tavlo.example.org"},
};

void toggle_logging() {
    S.logging_enabled = !S.logging_enabled;
    set_check(CMD_LOGGING, S.logging_enabled);
}

// Recording and playback share the one script file, so neither starts while the
// other runs: recording would truncate the file being played.
void toggle_recording() {
    if (S.recording) {
        S.recording = false;
        set_check(CMD_RECORD, false);
        if (S.periodic_count > 0) record_event(EventKind::Periodic, 0, 0, 0);
        S.periodic_count = 0;
        close_script();
        return;
    }
    if (S.playback || S.play_one) {
        log_printf("Cannot record script file %s during playback\n", script_file_name);
        return;
    }
    close_script();  // a stream left over from stepping with Play One
    S.periodic_count = 0;
    S.recording = true;
    set_check(CMD_RECORD, true);
}

void toggle_playback() {
    if (S.playback) {
        S.playback = false;
        S.periodic_count = 0;  // a half-played counted line never leaks into a recording
        set_check(CMD_PLAYBACK, false);
        close_script();
        return;
    }
    if (S.recording) {
        log_printf("Cannot play script file %s while recording\n", script_file_name);
        return;
    }
    S.animate = false;
    S.single_frame = false;
    S.playback = true;
    set_check(CMD_PLAYBACK, true);
}

void play_one() {
    if (S.recording) {
        log_printf("Cannot play script file %s while recording\n", script_file_name);
        return;
    }
    S.play_one = true;
    S.animate = false;
    S.single_frame = false;
}

// The command that a Ctrl+letter key-down performs, by virtual-key code: the
// capital letter's code and the small letter's.
int shortcut_command(WPARAM virtual_key) {
    switch (virtual_key) {
        case 'A':
        case 'a': return CMD_ANIMATE;
        case 'F':
        case 'f': return CMD_ADVANCE_FRAME;
        case 'H':
        case 'h': return CMD_HALT;
        case 'L':
        case 'l': return CMD_LOGGING;
        case 'O':
        case 'o': return CMD_PLAY_ONE;
        case 'P':
        case 'p': return CMD_PLAYBACK;
        case 'Q':
        case 'q': return CMD_QUIT;
        case 'R':
        case 'r': return CMD_RECORD;
        default: return 0;
    }
}

}  // namespace

void set_check(int command, bool checked) {
    CheckMenuItem(S.run_menu, UINT(command), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void build_run_menu(HWND window) {
    HMENU menu_bar = CreateMenu();
    S.run_menu = CreatePopupMenu();
    for (const MenuItem& item : run_menu_items)
        AppendMenuA(S.run_menu, item.flags, item.id, item.text);
    AppendMenuA(menu_bar, MF_POPUP, reinterpret_cast<UINT_PTR>(S.run_menu), "&Run");
    SetMenu(window, menu_bar);
    DrawMenuBar(window);
}

void run_command(int command) {
    switch (command) {
        case CMD_ANIMATE: S.animate = true; break;
        case CMD_HALT: S.animate = false; break;
        case CMD_ADVANCE_FRAME:
            S.animate = false;
            S.single_frame = true;
            break;
        case CMD_LOGGING: toggle_logging(); break;
        case CMD_RECORD: toggle_recording(); break;
        case CMD_PLAYBACK: toggle_playback(); break;
        case CMD_PLAY_ONE: play_one(); break;
        case CMD_QUIT: PostQuitMessage(0); break;
        default: break;
    }
}

void on_key_down(WPARAM virtual_key) {
    if (virtual_key == VK_CONTROL) {
        S.ctrl_held = 1;
        return;
    }
    if (!S.ctrl_held) return;
    if (int command = shortcut_command(virtual_key)) run_command(command);
}

void on_key_up(WPARAM virtual_key) {
    if (virtual_key == VK_CONTROL) S.ctrl_held = 0;
}
