// Portable entry point: parsing the platform's options (see options.h).
//
// One table holds every option: its name, its value, whether it needs --headless,
// its help text and what it sets. The parser, the list of known options in an
// error, the --headless check and the usage text are all made from it.
#include "options.h"

#include <algorithm>
#include <vector>

#include "../image/output_file.h"
#include "../presenter_kit/whole_number.h"
#include "watchdog.h"

namespace portable {

namespace {

// A page shows frames and keeps client sizes as a headless run does, so in the
// web build --frames and --client work without --headless too.
#ifdef TAVLO_HAVE_WEB
constexpr bool shown_without_headless = true;
#else
constexpr bool shown_without_headless = false;
#endif

bool parse_client(const std::string& text, SIZE& size) {
    size_t x = text.find('x');
    int64_t w = 0, h = 0;
    if (x == std::string::npos ||
        !parse_whole_number(std::string_view(text).substr(0, x), 1, max_client_side, w) ||
        !parse_whole_number(std::string_view(text).substr(x + 1), 1, max_client_side, h)) {
        return false;
    }
    size = {LONG(w), LONG(h)};
    return true;
}

bool set_frames(const std::string& value, EntryOptions& o, std::string& error) {
    if (parse_whole_number(value, 1, 1'000'000'000, o.frames)) return true;
    error = "--frames needs a whole number of frames 1..1000000000, got \"" + value + "\"";
    return false;
}

bool set_timeout(const std::string& value, EntryOptions& o, std::string& error) {
    if (parse_whole_number(value, 1, max_timeout, o.timeout)) return true;
    error = "--timeout needs a whole number of seconds 1.." + std::to_string(max_timeout) +
            ", got \"" + value + "\"";
    return false;
}

bool set_seed(const std::string& value, EntryOptions& o, std::string& error) {
    int64_t seed = 0;
    if (parse_whole_number(value, 0, max_seed, seed)) {
        o.seed = seed;
        return true;
    }
    error = "--seed needs a whole number 0.." + std::to_string(max_seed) +
            " (seconds since 1970), got \"" + value + "\"";
    return false;
}

bool set_client(const std::string& value, EntryOptions& o, std::string& error) {
    SIZE size;
    if (parse_client(value, size)) {
        o.client = size;
        return true;
    }
    error = "--client needs WIDTHxHEIGHT, each 1.." + std::to_string(max_client_side) + ", got \"" +
            value + "\"";
    return false;
}

// The latest tick --save-at takes: a week of virtual time.
constexpr int64_t max_picture_tick = 7 * 24 * 3600 * 20;

bool add_picture_at(const std::string& value, EntryOptions& o, std::string& error) {
    size_t colon = value.find(':');
    int64_t tick = 0;
    if (colon == std::string::npos || colon + 1 == value.size() ||
        !parse_whole_number(std::string_view(value).substr(0, colon), 1, max_picture_tick, tick)) {
        error = "--save-at needs TICK:FILE.png with TICK 1.." + std::to_string(max_picture_tick) +
                ", got \"" + value + "\"";
        return false;
    }
    o.save_at.push_back({tick, value.substr(colon + 1)});
    return true;
}

bool pictures_at_given(const EntryOptions& o) {
    return !o.save_at.empty();
}

template <std::string EntryOptions::*field>
bool set_file(const std::string& value, EntryOptions& o, std::string&) {
    o.*field = value;
    return true;
}

// Whether the option was given (for the --headless check).
bool frames_given(const EntryOptions& o) {
    return o.frames != 0;
}
template <std::string EntryOptions::*field>
bool file_given(const EntryOptions& o) {
    return !(o.*field).empty();
}
bool client_given(const EntryOptions& o) {
    return o.client.has_value();
}

struct OptionSpec {
    const char* name;
    const char* value;  // what the usage calls its value; nullptr: a flag
    bool headless_only;
    bool file;  // the value is a file name, which must not be empty
    bool (*apply)(const std::string& value, EntryOptions& o, std::string& error);
    bool (*given)(const EntryOptions& o);
    std::string help;  // the usage text, without the option's own column
};

std::vector<OptionSpec> make_option_table() {
    std::vector<OptionSpec> table = {
        {"--headless", nullptr, false, false, nullptr, nullptr,
         "run without windows: windows live in memory, the clock is\n"
         "virtual (it jumps to the next timer or input, never sleeps),\n"
         "so a run is fast and exactly repeatable. When the program has\n"
         "nothing left to wait for (no timer, or no scripted input left\n"
         "and no new frame for 10 s of virtual time; a script being\n"
         "played back is input left), its first window is closed."},
        {"--frames", "N", !shown_without_headless, false, set_frames, frames_given,
         "stop after N frames shown by the first (graphics) window, by\n"
         "closing it as a user would; while animating that is one\n"
         "frame per animation step. A replay this cuts short is said."},
        {"--save", "FILE.png", true, true, set_file<&EntryOptions::save_png>,
         file_given<&EntryOptions::save_png>,
         "at the end, write the graphics window's client area"},
        {"--save-at", "TICK:FILE.png", true, true, add_picture_at, pictures_at_given,
         "write the graphics window's client area as it is when the\n"
         "virtual clock reaches TICK (50 ms each, as in --input), before\n"
         "that tick's input; may be given again for more ticks. A run\n"
         "that ends before TICK writes its last picture there"},
        {"--summary", "FILE", true, true, set_file<&EntryOptions::summary>,
         file_given<&EntryOptions::summary>,
         "at the end, write how the run ended, one word and number a\n"
         "line: \"ended program\" (WinMain returned by itself, also\n"
         "after a planned close), \"ended idle\" (its window was closed\n"
         "because it had nothing left to wait for), \"ended frames\"\n"
         "(--frames closed it); \"tick N\" (the virtual clock at the end,\n"
         "in ticks) and \"frames N\" (frames the graphics window showed)"},
        {"--gif", "FILE.gif", true, true, set_file<&EntryOptions::gif>,
         file_given<&EntryOptions::gif>, "write every frame of the graphics window (5/100 s each)"},
        {"--seed", "N", false, false, set_seed, nullptr,
         "fix the clock the program reads to N seconds since 1970, so\n"
         "anything seeded from the time repeats; N is 0 to " +
             std::to_string(max_seed) +
             ",\n"
             "the latest time the system clock can hold"},
        {"--input", "FILE", true, true, set_file<&EntryOptions::input_plan>,
         file_given<&EntryOptions::input_plan>,
         "play scripted input: one action per line, keyed by the tick\n"
         "(50 ms of virtual time) at which it happens; `#` starts a\n"
         "comment line:\n"
         "    TICK click X Y   left click at client coordinates\n"
         "    TICK key C       type character C (UTF-8 too, or U+03C0, or a code: key 65)\n"
         "    TICK ctrl L      Ctrl+letter\n"
         "    TICK menu ID     choose the menu command ID\n"
         "    TICK close       close the graphics window\n"
         "and, for a program that switched their kinds on (enable_input):\n"
         "    TICK press X Y   left button down alone (release X Y: up)\n"
         "    TICK move X Y    the mouse moves there, buttons held: a drag\n"
         "    TICK rclick X Y  right click (rpress, rrelease X Y: alone)\n"
         "    TICK vkey KEY [shift] [ctrl] [alt]\n"
         "                     a key without a character: left right up\n"
         "                     down home end pgup pgdn insert delete\n"
         "                     f1..f12, or a virtual-key code 1..254\n"
         "    TICK keydown KEY a key goes down alone (keyup KEY: up), for key_held;\n"
         "                     KEY as for vkey, or a letter or digit"},
        {"--log", "FILE", false, true, set_file<&EntryOptions::log>, nullptr,
         "append every debug-output text (each message-log line) to FILE;\n"
         "--log - writes them to standard output"},
        {"--client", "WxH", !shown_without_headless, false, set_client, client_given,
         std::string(shown_without_headless ? "give the graphics window this client size, each\n"
                                            : "give the graphics window this client size "
                                              "(headless), each\n") +
             "side 1 to " + std::to_string(max_client_side) + " pixels"},
        {"--help", nullptr, false, false, nullptr, nullptr, "this text"},
    };
    // A thread watches the clock (entry/watchdog.h); builds without threads lack it.
    if (watchdog_available) {
        table.insert(table.end() - 1,
                     {"--timeout", "SECONDS", false, false, set_timeout, nullptr,
                      "end a run still going after SECONDS of real time (an endless\n"
                      "loop, too), with a message and exit code " +
                          std::to_string(timeout_exit_code) +
                          "; a run that ends\n"
                          "in time is unaffected"});
    }
    return table;
}

const std::vector<OptionSpec>& option_table() {
    static const std::vector<OptionSpec> table = make_option_table();
    return table;
}

const OptionSpec* find_option(const std::string& name) {
    for (const OptionSpec& option : option_table()) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

std::string known_options() {
    std::string known;
    for (const OptionSpec& option : option_table()) {
        if (!known.empty()) known += ", ";
        known += option.name;
    }
    return known;
}

// "a, b and c"
std::string spoken_list(const std::vector<std::string>& words) {
    std::string list;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) list += i + 1 == words.size() ? " and " : ", ";
        list += words[i];
    }
    return list;
}

bool check_headless_only(const EntryOptions& o, std::string& error) {
    if (o.headless) return true;
    for (const OptionSpec& option : option_table()) {
        if (option.headless_only && option.given(o)) {
            error = std::string(option.name) + " works only with --headless";
            return false;
        }
    }
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
        const OptionSpec* option = find_option(name);
        if (option != nullptr && option->value == nullptr && name == arg) {
            if (name == "--help") o.help = true;
            if (name == "--headless") o.headless = true;
        } else if (option != nullptr && option->value != nullptr) {
            std::string value;
            if (name.size() < arg.size()) {
                value = arg.substr(name.size() + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
            if (option->file && value.empty()) {
                error = name + " needs a file name";
                return false;
            }
            if (!option->apply(value, o, error)) return false;
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

bool check_separate_files(const EntryOptions& o, std::string& error) {
    struct Named {
        const char* option;
        std::string path;
    };
    std::vector<Named> files = {{"--input", o.input_plan},
                                {"--log", o.log},
                                {"--save", o.save_png},
                                {"--gif", o.gif},
                                {"--summary", o.summary}};
    for (const EntryOptions::PictureAt& picture : o.save_at)
        files.push_back({"--save-at", picture.path});
    auto is_file = [](const Named& named) {
        return !named.path.empty() && !(named.path == "-" && named.option == std::string("--log"));
    };
    for (size_t i = 0; i < files.size(); ++i) {
        for (size_t j = i + 1; j < files.size(); ++j) {
            if (!is_file(files[i]) || !is_file(files[j])) continue;
            if (!same_file(files[i].path, files[j].path)) continue;
            error = std::string(files[i].option) + " " + files[i].path + " and " + files[j].option +
                    " " + files[j].path + " are the same file; each needs a file of its own";
            return false;
        }
    }
    return true;
}

std::string entry_usage(const std::string& program) {
    std::string usage = "usage: " + program +
                        " [platform options] [--] [application arguments]\n\n"
                        "Without options the program opens real windows; without a display it "
                        "says so\nand exits. Options of the platform (everything else goes to "
                        "the application):\n\n";
    constexpr size_t help_column = 20;
    std::vector<std::string> headless_only;
    for (const OptionSpec& option : option_table()) {
        std::string head = std::string("  ") + option.name;
        if (option.value != nullptr) head += std::string(" ") + option.value;
        head.resize(std::max(head.size() + 2, help_column), ' ');
        std::string indent(help_column, ' ');
        size_t start = 0;
        for (bool first = true; start <= option.help.size(); first = false) {
            size_t end = option.help.find('\n', start);
            if (end == std::string::npos) end = option.help.size();
            usage += (first ? head : indent) + option.help.substr(start, end - start) + "\n";
            start = end + 1;
        }
        if (option.headless_only) headless_only.push_back(option.name);
    }
    usage += "\n" + spoken_list(headless_only) +
             " need --headless. An unknown\n"
             "option starting with -- (before a lone --), a bad value, an --input file that\n"
             "cannot be read, a --save, --save-at, --gif, --summary or --log file that cannot\n"
             "be written, or two of --input, --log, --save, --save-at, --gif and --summary\n"
             "naming one file end the program at start with exit code 2. A picture or log\n"
             "that fails to be written during the run is said on standard error and gives\n"
             "exit code 1; a picture is written whole or not at all, so a failed write\n"
             "leaves the file that was there.\n" +
             std::string(watchdog_available ? "A run that --timeout ends gives exit code " +
                                                  std::to_string(timeout_exit_code) + ".\n"
                                            : "") +
             "Otherwise the exit code is the application's.\n"
             "\n"
             "Example:\n  " +
             program +
             " --headless --frames 200 --seed 42 --input session.txt \\\n"
             "      --save last.png --gif run.gif --log run.log\n"
             "where session.txt holds\n"
             "  # a click, then Ctrl+H (halt), Ctrl+F (one frame) and Ctrl+Q (quit)\n"
             "  20 click 38 103\n"
             "  40 ctrl H\n"
             "  42 ctrl F\n"
             "  60 ctrl Q\n";
    return usage;
}

}  // namespace portable
