// Portable platform: parsing and scheduling the headless run's input plan
// (format in input_plan.h).
#include "input_plan.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "../../presenter_kit/code_page.h"
#include "../../presenter_kit/whole_number.h"

namespace portable {

namespace {

// Ticks beyond this (about 1.6 years of virtual time) are refused, so tick * 50
// never comes near overflow.
constexpr int64_t max_tick = 1'000'000'000;

// A character: one character as itself, or a decimal code of two or three digits.
// The character of `key`'s word: one byte (a code page 1252 character, as a plan
// in that code page writes it), one UTF-8 character, U+XXXX, or a code page 1252
// character code 1..255.
bool parse_typed(const std::string& word, HeadlessInput& input, std::string& why) {
    if (word.size() == 1) {
        input = HeadlessInput::typed(static_cast<unsigned char>(word[0]));
        return true;
    }
    int64_t code = 0;
    if (word.size() > 2 && word[0] == 'U' && word[1] == '+') {
        const std::string hex = word.substr(2);
        char* end = nullptr;
        unsigned long value = hex.size() <= 6 ? std::strtoul(hex.c_str(), &end, 16) : 0;
        if (end == nullptr || *end != '\0' || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            value < 0x20 || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) {
            why = "expected a character U+0020..U+10FFFF, got \"" + word + "\"";
            return false;
        }
        input = HeadlessInput::typed_code_point(char32_t(value));
        return true;
    }
    if (static_cast<unsigned char>(word[0]) >= 0x80) {
        const std::u32string decoded = decode_utf8(word);
        if (decoded.size() != 1 || decoded[0] == 0xFFFD) {
            why = "expected one character, got \"" + word + "\"";
            return false;
        }
        input = HeadlessInput::typed_code_point(decoded[0]);
        return true;
    }
    if (!parse_whole_number(word, 1, 255, code)) {
        why = "expected one character or a character code 1..255, got \"" + word + "\"";
        return false;
    }
    input = HeadlessInput::typed(static_cast<unsigned char>(code));
    return true;
}

struct PointerAction {
    const char* name;
    UINT message;  // 0: a right click (down and up)
};

constexpr PointerAction pointer_actions[] = {
    {"press", WM_LBUTTONDOWN},  {"release", WM_LBUTTONUP},  {"move", WM_MOUSEMOVE},
    {"rpress", WM_RBUTTONDOWN}, {"rrelease", WM_RBUTTONUP}, {"rclick", 0},
};

struct NamedKey {
    const char* name;
    UINT code;
};

constexpr NamedKey named_keys[] = {
    {"left", VK_LEFT},     {"right", VK_RIGHT},   {"up", VK_UP},      {"down", VK_DOWN},
    {"home", VK_HOME},     {"end", VK_END},       {"pgup", VK_PRIOR}, {"pgdn", VK_NEXT},
    {"insert", VK_INSERT}, {"delete", VK_DELETE},
};

// A key by name (left right up down home end pgup pgdn insert delete f1..f12) or
// by its virtual-key code 1..254.
bool parse_named_key(const std::string& word, UINT& code) {
    for (const NamedKey& key : named_keys) {
        if (word == key.name) {
            code = key.code;
            return true;
        }
    }
    int64_t number = 0;
    if (word.size() >= 2 && (word[0] == 'f' || word[0] == 'F') &&
        parse_whole_number(word.substr(1), 1, 12, number)) {
        code = UINT(VK_F1 + number - 1);
        return true;
    }
    if (!parse_whole_number(word, 1, 254, number)) return false;
    code = UINT(number);
    return true;
}

bool parse_vkey(std::istringstream& words, HeadlessInput& input, std::string& why) {
    std::string name, word;
    UINT code = 0;
    if (!(words >> name) || !parse_named_key(name, code)) {
        why =
            "vkey needs a key: left, right, up, down, home, end, pgup, pgdn, insert, delete, "
            "f1..f12 or a code 1..254: TICK vkey KEY [shift] [ctrl] [alt]";
        return false;
    }
    int modifiers = 0;
    while (words >> word) {
        if (word == "shift")
            modifiers |= 1;
        else if (word == "ctrl")
            modifiers |= 2;
        else if (word == "alt")
            modifiers |= 4;
        else {
            why = "unexpected \"" + word + "\" after the vkey action (expected shift, ctrl or alt)";
            return false;
        }
    }
    input = HeadlessInput::special(code, modifiers);
    return true;
}

// keydown KEY / keyup KEY: a key by name or code as vkey takes it, or a letter
// or digit (its virtual key, 'A'..'Z', '0'..'9').
bool parse_hold(std::istringstream& words, bool down, HeadlessInput& input, std::string& why) {
    std::string name;
    UINT code = 0;
    const bool named = (words >> name) &&
                       (parse_named_key(name, code) ||
                        (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))));
    if (!named) {
        why = std::string(down ? "keydown" : "keyup") +
              " needs a key: a letter or digit, left, right, up, down, home, end, pgup, pgdn, "
              "insert, delete, f1..f12 or a code 1..254";
        return false;
    }
    if (code == 0) code = UINT(std::toupper(static_cast<unsigned char>(name[0])));
    input = HeadlessInput::hold(code, down);
    return true;
}

bool parse_action(std::istringstream& words, const std::string& action, HeadlessInput& input,
                  std::string& why) {
    std::string a, b;
    int64_t x = 0, y = 0;
    const PointerAction* pointer = nullptr;
    for (const PointerAction& candidate : pointer_actions) {
        if (action == candidate.name) pointer = &candidate;
    }
    if (pointer != nullptr) {
        if (!(words >> a >> b) || !parse_whole_number(a, 0, 32767, x) ||
            !parse_whole_number(b, 0, 32767, y)) {
            why = action + " needs two client coordinates 0..32767: TICK " + action + " X Y";
            return false;
        }
        input = pointer->message == 0 ? HeadlessInput::right_click(int(x), int(y))
                                      : HeadlessInput::pointer(pointer->message, int(x), int(y));
    } else if (action == "vkey") {
        if (!parse_vkey(words, input, why)) return false;
    } else if (action == "click") {
        if (!(words >> a >> b) || !parse_whole_number(a, 0, 32767, x) ||
            !parse_whole_number(b, 0, 32767, y)) {
            why = "click needs two client coordinates 0..32767: TICK click X Y";
            return false;
        }
        input = HeadlessInput::click(int(x), int(y));
    } else if (action == "key") {
        if (!(words >> a)) {
            why = "key needs a character: TICK key C";
            return false;
        }
        if (!parse_typed(a, input, why)) return false;
    } else if (action == "ctrl") {
        if (!(words >> a) || a.size() != 1 || !std::isalpha(static_cast<unsigned char>(a[0]))) {
            why = "ctrl needs one letter: TICK ctrl L";
            return false;
        }
        input = HeadlessInput::ctrl_letter(a[0]);
    } else if (action == "menu") {
        if (!(words >> a) || !parse_whole_number(a, 0, 65535, x)) {
            why = "menu needs a command id 0..65535: TICK menu ID";
            return false;
        }
        input = HeadlessInput::menu(UINT(x));
    } else if (action == "close") {
        input = HeadlessInput::close();
    } else if (action == "keydown" || action == "keyup") {
        if (!parse_hold(words, action == "keydown", input, why)) return false;
    } else {
        why = "unknown action \"" + action +
              "\" (expected click, key, ctrl, menu, close, press, release, move, rclick, "
              "rpress, rrelease, vkey, keydown or keyup)";
        return false;
    }
    if (words >> a) {
        why = "unexpected \"" + a + "\" after the " + action + " action";
        return false;
    }
    return true;
}

bool parse_line(const std::string& line, PlannedInput& planned, std::string& why) {
    std::istringstream words(line);
    std::string tick, action;
    words >> tick >> action;
    if (!parse_whole_number(tick, 0, max_tick, planned.tick)) {
        why = "expected a tick 0.." + std::to_string(max_tick) + " first, got \"" + tick + "\"";
        return false;
    }
    if (action.empty()) {
        why = "missing action after the tick";
        return false;
    }
    return parse_action(words, action, planned.input, why);
}

bool ignorable(const std::string& line) {
    for (char c : line) {
        if (c == '#') return true;
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

bool parse_input_plan(const std::string& text, std::vector<PlannedInput>& inputs,
                      std::string& error) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (ignorable(line)) continue;
        PlannedInput planned;
        std::string why;
        if (!parse_line(line, planned, why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        inputs.push_back(planned);
    }
    return true;
}

bool load_input_plan(const std::string& path, std::vector<PlannedInput>& inputs,
                     std::string& error) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        error = "cannot read the input plan " + path + ": it is a folder";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the input plan " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = "cannot read the input plan " + path;
        return false;
    }
    if (!parse_input_plan(text.str(), inputs, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

void schedule_input_plan(HeadlessPresenter& presenter, const std::vector<PlannedInput>& inputs) {
    for (const PlannedInput& planned : inputs)
        presenter.schedule_at_tick(planned.tick, planned.input);
}

}  // namespace portable
