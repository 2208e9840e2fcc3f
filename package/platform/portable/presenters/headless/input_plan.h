// Portable platform: the headless run's input plan.
//
// A plain-text file of user actions keyed by tick (one tick = 50 ms of the
// virtual clock), one action per line; blank lines and lines starting with `#`
// are ignored:
//   TICK click X Y   left click at client coordinates of the graphics window
//   TICK key C       a typed character C (one byte, or one UTF-8 character: é, π),
//                    `key U+03C0`, or `key 65` for a code page 1252 code (2-3 digits)
//   TICK ctrl L      Ctrl+letter (A..Z, either case)
//   TICK menu ID     a menu choice: WM_COMMAND with ID
//   TICK close       closing the graphics window
// and, for programs that switch on more input (enable_input), the mouse and keys
// one message at a time (a move between press and release is a drag):
//   TICK press X Y       left button down        TICK release X Y   left button up
//   TICK move X Y        the mouse moves there, with the buttons held
//   TICK rclick X Y      right click             TICK rpress / rrelease X Y
//   TICK vkey KEY [shift] [ctrl] [alt]   a key without a character pressed and
//                        released, the named modifiers held around it; KEY is
//                        left right up down home end pgup pgdn insert delete
//                        f1..f12, or a virtual-key code 1..254
// (every key action releases its key: `key C` also gives a key release), and a
// key held over ticks (key_held):
//   TICK keydown KEY / TICK keyup KEY   the key goes down / up alone; KEY as for
//                        vkey, or a letter or digit
// Example:
//   # start recording, click the scale-up button, type x, stop, quit
//   2 ctrl R
//   10 click 38 103
//   12 key x
//   20 menu 5
//   30 ctrl Q
#pragma once

#include <string>
#include <vector>

#include "headless_presenter.h"

namespace portable {

struct PlannedInput {
    int64_t tick = 0;
    HeadlessInput input;
};

// Parses a plan. On a bad line returns false and sets `error` to
// "line N: <what is wrong>"; `inputs` then holds the lines before it.
bool parse_input_plan(const std::string& text, std::vector<PlannedInput>& inputs,
                      std::string& error);

// Reads and parses a plan file; a file that cannot be read is an error too.
bool load_input_plan(const std::string& path, std::vector<PlannedInput>& inputs,
                     std::string& error);

// Schedules every planned input on the presenter at its tick.
void schedule_input_plan(HeadlessPresenter& presenter, const std::vector<PlannedInput>& inputs);

}  // namespace portable
