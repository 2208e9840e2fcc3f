// Portable entry point: parsing the platform's options (see options.h).
#include "options.h"

#include <cctype>
#include <vector>

#include "../presenters/headless/input_plan.h"

namespace portable {

namespace {

bool parse_client(const std::string& text, SIZE& size) {
    size_t x = text.find('x');
    int64_t w = 0, h = 0;
    if (x == std::string::npos || !parse_integer(text.substr(0, x), 1, max_client_side, w) ||
        !parse_integer(text.substr(x + 1), 1, max_client_side, h)) {
        return false;
    }
    size = {LONG(w), LONG(h)};
    return true;
}

// Quotes an argument that holds blanks, so the tail splits back into the same words.
std::string tail_word(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    std::string quoted = "\"";
    for (char c : word) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

bool apply_value(const std::string& name, const std::string& value, EntryOptions& o,
                 std::string& error) {
    int64_t number = 0;
    if (name == "--frames") {
        if (!parse_integer(value, 1, 1'000'000'000, number)) {
            error = "--frames needs a whole number of frames 1..1000000000, got \"" + value + "\"";
            return false;
        }
        o.frames = number;
    } else if (name == "--seed") {
        if (!parse_integer(value, 0, max_seed, number)) {
            error = "--seed needs a whole number 0.." + std::to_string(max_seed) +
                    " (seconds since 1970), got \"" + value + "\"";
            return false;
        }
        o.seed = number;
    } else if (name == "--client") {
        SIZE size;
        if (!parse_client(value, size)) {
            error = "--client needs WIDTHxHEIGHT, each 1.." + std::to_string(max_client_side) +
                    ", got \"" + value + "\"";
            return false;
        }
        o.client = size;
    } else {
        if (value.empty()) {
            error = name + " needs a file name";
            return false;
        }
        if (name == "--save")
            o.save_png = value;
        else if (name == "--gif")
            o.gif = value;
        else if (name == "--input")
            o.input_plan = value;
        else
            o.log = value;
    }
    return true;
}

const char* const value_options[] = {"--frames", "--save", "--gif",   "--seed",
                                     "--input",  "--log",  "--client"};

bool takes_value(const std::string& name) {
    for (const char* n : value_options) {
        if (name == n) return true;
    }
    return false;
}

std::string known_options() {
    std::string known = "--help, --headless";
    for (const char* n : value_options) known += std::string(", ") + n;
    return known;
}

// A page shows frames and keeps client sizes as a headless run does, so in the
// web build --frames and --client work without --headless too.
#ifdef TAVLO_HAVE_WEB
constexpr bool page_takes_frames_and_client = true;
#else
constexpr bool page_takes_frames_and_client = false;
#endif

bool check_headless_only(const EntryOptions& o, std::string& error) {
    if (o.headless) return true;
    const bool shown_anyway = page_takes_frames_and_client;
    const char* needs = o.frames != 0 && !shown_anyway ? "--frames"
                        : !o.save_png.empty()          ? "--save"
                        : !o.gif.empty()               ? "--gif"
                        : !o.input_plan.empty()        ? "--input"
                        : o.client && !shown_anyway    ? "--client"
                                                       : nullptr;
    if (needs == nullptr) return true;
    error = std::string(needs) + " works only with --headless";
    return false;
}

}  // namespace

bool parse_entry_options(int argc, char** argv, EntryOptions& o, std::string& error) {
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "--") {
            for (++i; i < argc; ++i) rest.push_back(argv[i] != nullptr ? argv[i] : "");
            break;
        }
        std::string name = arg.substr(0, arg.find('='));
        if (arg == "--help") {
            o.help = true;
        } else if (arg == "--headless") {
            o.headless = true;
        } else if (takes_value(name)) {
            std::string value;
            if (name.size() < arg.size()) {
                value = arg.substr(name.size() + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
            if (!apply_value(name, value, o, error)) return false;
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            error = "unknown option " + name + " (the platform's options are " + known_options() +
                    "; arguments for the application go after --)";
            return false;
        } else {
            rest.push_back(arg);
        }
    }
    for (const std::string& word : rest) {
        if (!o.tail.empty()) o.tail += ' ';
        o.tail += tail_word(word);
    }
    return o.help || check_headless_only(o, error);
}

std::string entry_usage(const std::string& program) {
    return "usage: " + program +
           " [platform options] [--] [application arguments]\n"
           R"(
Without options the program opens real windows; without a display it says so
and exits. Options of the platform (everything else goes to the application):

  --headless        run without windows: windows live in memory, the clock is
                    virtual (it jumps to the next timer or input, never sleeps),
                    so a run is fast and exactly repeatable. When the program has
                    nothing left to wait for (no timer, or no scripted input left
                    and no new frame for 10 s of virtual time; a script being
                    played back is input left), its first window is closed.
  --frames N        stop after N frames shown by the first (graphics) window, by
                    closing it as a user would; while animating that is one
                    frame per animation step. A replay this cuts short is said.
  --save FILE.png   at the end, write the graphics window's client area
  --gif FILE.gif    write every frame of the graphics window (5/100 s each)
  --seed N          fix the clock the program reads to N seconds since 1970, so
                    anything seeded from the time repeats; N is 0 to )" +
           std::to_string(max_seed) + R"(,
                    the latest time the system clock can hold
  --input FILE      play scripted input: one action per line, keyed by the tick
                    (50 ms of virtual time) at which it happens; `#` starts a
                    comment line:
                        TICK click X Y   left click at client coordinates
                        TICK key C       type character C (or a code: key 65)
                        TICK ctrl L      Ctrl+letter
                        TICK menu ID     choose the menu command ID
                        TICK close       close the graphics window
  --log FILE        append every debug-output text (each message-log line) to FILE
  --client WxH      give the graphics window this client size (headless), each
                    side 1 to )" +
           std::to_string(max_client_side) + R"( pixels
  --help            this text

--frames, --save, --gif, --input and --client need --headless. An unknown
option starting with -- (before a lone --), a bad value, an --input file that
cannot be read or a --save, --gif or --log file that cannot be written end the
program at start with exit code 2. A picture or log that fails to be written
during the run is said on standard error and gives exit code 1; a picture is
written whole or not at all, so a failed write leaves the file that was there.
Otherwise the exit code is the application's.

Example:
  )" + program +
           R"( --headless --frames 200 --seed 42 --input session.txt \
      --save last.png --gif run.gif --log run.log
where session.txt holds
  # scale up the cubes, pause, take one step, quit
  20 click 38 103
  40 ctrl H
  42 ctrl F
  60 ctrl Q
)";
}

}  // namespace portable
