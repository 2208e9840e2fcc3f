// Input for games and drawing programs: the kinds enable_input switches on, as
// they arrive from the headless presenter, as they are recorded and played back,
// and what a program that switched nothing on still sees.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "display_test_support.h"
#include "package_test_support.h"

using portable::HeadlessInput;
using test_support::DisplayTest;

namespace {

struct Seen {
    int kind, x, y, key;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& e) {
    return out << "{" << e.kind << ", " << e.x << ", " << e.y << ", " << e.key << "}";
}

class Input : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        work = std::make_unique<test_support::ScopedWorkFolder>("tavlo-input");
        open();
    }
    void TearDown() override {
        DisplayTest::TearDown();
        work.reset();
    }

    static void post(const HeadlessInput& input) { presenter().inject(input); }
    static void pointer(UINT message, int x, int y) {
        post(HeadlessInput::pointer(message, x, y, graphics()));
    }
    static int cx(int client_x) { return client_x - package_state.center_x; }
    static int cy(int client_y) { return package_state.center_y - client_y; }

    // A drag from (100, 100) to (110, 90), a move without buttons, a right click,
    // Shift+Ctrl+Left, and the character 'a'; then the character '!' that ends
    // what `events_until_bang` collects.
    static void act() {
        pointer(WM_LBUTTONDOWN, 100, 100);
        pointer(WM_MOUSEMOVE, 110, 90);
        pointer(WM_LBUTTONUP, 110, 90);
        pointer(WM_MOUSEMOVE, 120, 80);
        post(HeadlessInput::right_click(50, 60, graphics()));
        post(HeadlessInput::special(VK_LEFT, 3, graphics()));
        type('a');
        type('!');
    }
    static std::vector<Seen> events_until_bang() {
        std::vector<Seen> seen;
        for (int i = 0; i < 100; ++i) {
            Event e = next_event();
            seen.push_back({e.kind, e.x, e.y, e.key});
            if (e.kind == EventKind::Key && e.key == '!') break;
        }
        return seen;
    }
    static std::vector<Seen> all_kinds_of_act() {
        return {
            {EventKind::Mouse, cx(100), cy(100), 0},
            {EventKind::MouseMove, cx(110), cy(90), MouseButton::Left},  // a drag
            {EventKind::MouseUp, cx(110), cy(90), MouseButton::Left},
            {EventKind::MouseMove, cx(120), cy(80), 0},
            {EventKind::RightMouse, cx(50), cy(60), 0},
            {EventKind::MouseUp, cx(50), cy(60), MouseButton::Right},
            {EventKind::SpecialKey, KeyModifier::Shift | KeyModifier::Ctrl, VirtualKey::Left,
             VirtualKey::Left},
            {EventKind::KeyUp, KeyModifier::Shift | KeyModifier::Ctrl, VirtualKey::Left,
             VirtualKey::Left},
            {EventKind::KeyUp, KeyModifier::Shift, VK_CONTROL, VK_CONTROL},
            {EventKind::KeyUp, 0, VK_SHIFT, VK_SHIFT},
            {EventKind::Key, 0, 0, 'a'},
            {EventKind::KeyUp, 0, 'A', 'A'},
            {EventKind::Key, 0, 0, '!'},
        };
    }

    std::unique_ptr<test_support::ScopedWorkFolder> work;
};

}  // namespace

// Switched off (as every program is until it asks), the same input gives only
// today's events, and a recording holds only today's lines.
TEST_F(Input, AProgramThatAsksForNothingSeesNothingNew) {
    run_command(CMD_RECORD);
    act();
    EXPECT_EQ(events_until_bang(), (std::vector<Seen>{{EventKind::Mouse, cx(100), cy(100), 0},
                                                      {EventKind::Key, 0, 0, 'a'},
                                                      {EventKind::Key, 0, 0, '!'}}));
    run_command(CMD_RECORD);
    EXPECT_EQ(test_support::file_text("TAVLO.SCR"), "TAVLO_MOUSE(" + std::to_string(cx(100)) +
                                                        ", " + std::to_string(cy(100)) +
                                                        ");\nTAVLO_KBD(97);\nTAVLO_KBD(33);\n");
    EXPECT_TRUE(test_support::log_lines().empty());
}

// Every kind arrives through the presenter, is recorded as its own line, and
// replays to the same events.
TEST_F(Input, EveryKindArrivesAndRoundTripsThroughTheScript) {
    EXPECT_EQ(enable_input(InputKind::All), InputKind::All);
    run_command(CMD_RECORD);
    act();
    const std::vector<Seen> live = events_until_bang();
    EXPECT_EQ(live, all_kinds_of_act());
    run_command(CMD_RECORD);

    const std::string script = test_support::file_text("TAVLO.SCR");
    std::ostringstream expected;
    expected << "TAVLO_MOUSE(" << cx(100) << ", " << cy(100) << ");\n"
             << "TAVLO_DRAG(" << cx(110) << ", " << cy(90) << ", 1);\n"
             << "TAVLO_UP(" << cx(110) << ", " << cy(90) << ", 1);\n"
             << "TAVLO_DRAG(" << cx(120) << ", " << cy(80) << ", 0);\n"
             << "TAVLO_RIGHT(" << cx(50) << ", " << cy(60) << ");\n"
             << "TAVLO_UP(" << cx(50) << ", " << cy(60) << ", 2);\n"
             << "TAVLO_VKEY(37, 3);\nTAVLO_LIFT(37, 3);\nTAVLO_LIFT(17, 1);\n"
             << "TAVLO_LIFT(16, 0);\nTAVLO_KBD(97);\nTAVLO_LIFT(65, 0);\nTAVLO_KBD(33);\n";
    EXPECT_EQ(script, expected.str());

    run_command(CMD_PLAYBACK);
    std::vector<Seen> replayed;
    for (size_t i = 0; i < live.size(); ++i) {
        Event e = next_event();
        replayed.push_back({e.kind, e.x, e.y, e.key});
    }
    EXPECT_EQ(replayed, live);
    EXPECT_TRUE(test_support::log_lines().empty());
}

// Each kind is switched on alone: the others stay as they were before.
TEST_F(Input, EachKindIsSwitchedOnAlone) {
    enable_input(InputKind::RightButton | InputKind::SpecialKeys);
    act();
    EXPECT_EQ(events_until_bang(),
              (std::vector<Seen>{{EventKind::Mouse, cx(100), cy(100), 0},
                                 {EventKind::RightMouse, cx(50), cy(60), 0},
                                 {EventKind::SpecialKey, 3, VirtualKey::Left, VirtualKey::Left},
                                 {EventKind::Key, 0, 0, 'a'},
                                 {EventKind::Key, 0, 0, '!'}}));
    // Unknown bits are dropped with a message; 0 switches everything off again.
    EXPECT_EQ(enable_input(InputKind::MouseRelease | 64), InputKind::MouseRelease);
    EXPECT_EQ(test_support::log_lines(),
              (std::vector<std::string>{"enable_input: unknown kinds 64 dropped\n"}));
    EXPECT_EQ(enable_input(0), 0);
}

// Moves coalesce in the queue, a move that changes nothing is no event, and a
// move replaces an armed periodic event as a click does.
TEST_F(Input, MovesCoalesceAndReplaceAnArmedPeriodicEvent) {
    enable_input(InputKind::MouseMovement);
    pointer(WM_MOUSEMOVE, 10, 10);
    pointer(WM_MOUSEMOVE, 20, 20);
    pointer(WM_MOUSEMOVE, 30, 30);
    pointer(WM_MOUSEMOVE, 30, 30);
    type('!');
    EXPECT_EQ(events_until_bang(), (std::vector<Seen>{{EventKind::MouseMove, cx(30), cy(30), 0},
                                                      {EventKind::Key, 0, 0, '!'}}));
    pointer(WM_MOUSEMOVE, 30, 30);  // where the last one was: nothing
    pointer(WM_LBUTTONDOWN, 30, 30);
    pointer(WM_MOUSEMOVE, 30, 30);  // the same place with a button held: a drag
    type('!');
    EXPECT_EQ(events_until_bang(),
              (std::vector<Seen>{{EventKind::Mouse, cx(30), cy(30), 0},
                                 {EventKind::MouseMove, cx(30), cy(30), MouseButton::Left},
                                 {EventKind::Key, 0, 0, '!'}}));

    set_animation(AnimationMode::Animate);
    next_event();                                                         // t = 50
    later(70, HeadlessInput::pointer(WM_MOUSEMOVE, 40, 40, graphics()));  // after the arming
    const int64_t start = now();
    Event e = next_event();
    EXPECT_EQ(e.kind, EventKind::MouseMove);
    EXPECT_EQ(now() - start, 70);
}

// A drag that leaves the window: the mouse stays the window's until the release
// (Windows' capture), so the move and the release come at client points outside
// it, left and above as negative coordinates, and arrive as they are.
TEST_F(Input, ADragThatLeavesTheWindowKeepsItsPointsOutside) {
    enable_input(InputKind::MouseMovement | InputKind::MouseRelease);
    pointer(WM_LBUTTONDOWN, 100, 100);
    pointer(WM_MOUSEMOVE, -20, -5);
    pointer(WM_LBUTTONUP, 9000, -32768);
    type('!');
    EXPECT_EQ(events_until_bang(),
              (std::vector<Seen>{{EventKind::Mouse, cx(100), cy(100), 0},
                                 {EventKind::MouseMove, cx(-20), cy(-5), MouseButton::Left},
                                 {EventKind::MouseUp, cx(9000), cy(-32768), MouseButton::Left},
                                 {EventKind::Key, 0, 0, '!'}}));
}

// key_held follows the keys going down and up (repeats and stray key-ups change
// nothing); a program that asked gets TAVLO_HOLD lines in its recording, and
// playback sets the keys from them, whatever the live keyboard does meanwhile.
TEST_F(Input, HeldKeysFollowTheKeyboardAndReplayFromTheScript) {
    EXPECT_EQ(key_held(VirtualKey::Left), 0);
    set_animation(AnimationMode::Animate);
    run_command(CMD_RECORD);
    std::vector<int> live;
    const auto frames = [&](int count, std::vector<int>& seen) {
        for (int i = 0; i < count; ++i) {
            while (next_event().kind != EventKind::Periodic) {
            }
            seen.push_back(key_held(VirtualKey::Left) * 2 + key_held('A'));
        }
    };
    frames(2, live);
    post(HeadlessInput::hold(VK_LEFT, true, graphics()));
    post(HeadlessInput::hold(VK_LEFT, true, graphics()));  // a repeat
    frames(2, live);
    post(HeadlessInput::hold('A', true, graphics()));
    post(HeadlessInput::hold(VK_LEFT, false, graphics()));
    frames(2, live);
    post(HeadlessInput::hold('A', false, graphics()));
    post(HeadlessInput::hold(VK_RIGHT, false, graphics()));  // never down
    frames(2, live);
    run_command(CMD_RECORD);
    EXPECT_EQ(live, (std::vector<int>{0, 0, 2, 2, 1, 1, 0, 0}));
    const std::string script = test_support::file_text("TAVLO.SCR");
    EXPECT_NE(script.find("TAVLO_HOLD(37, 1);\n"), std::string::npos) << script;
    EXPECT_NE(script.find("TAVLO_HOLD(65, 1);\nTAVLO_HOLD(37, 0);\n"), std::string::npos) << script;
    EXPECT_EQ(script.find("TAVLO_HOLD(39"), std::string::npos) << script;

    run_command(CMD_PLAYBACK);
    post(HeadlessInput::hold(VK_RIGHT, true, graphics()));  // live keys do not count now
    std::vector<int> replayed;
    frames(8, replayed);
    EXPECT_EQ(replayed, live);
    EXPECT_EQ(key_held(VK_RIGHT), 0);
    EXPECT_EQ(key_held(0), 0);
    EXPECT_EQ(key_held(300), 0);
}

// A program that never asks sees no new script lines, and a TAVLO_HOLD line is an
// unrecognised line for it, as before key_held existed.
TEST_F(Input, HeldKeyLinesOnlyForAProgramThatAsks) {
    run_command(CMD_RECORD);
    post(HeadlessInput::hold(VK_LEFT, true, graphics()));
    post(HeadlessInput::hold(VK_LEFT, false, graphics()));
    type('!');
    events_until_bang();
    run_command(CMD_RECORD);
    EXPECT_EQ(test_support::file_text("TAVLO.SCR"), "TAVLO_KBD(33);\n");
    test_support::write_file("TAVLO.SCR", "TAVLO_HOLD(37, 1);\nTAVLO_KBD(33);\n");
    run_command(CMD_PLAYBACK);
    type('!');
    EXPECT_EQ(next_event().key, '!');
    EXPECT_EQ(test_support::log_lines().back(), "Unrecognised line in script file TAVLO.SCR\n");
}
