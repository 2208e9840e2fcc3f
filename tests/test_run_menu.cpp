// The Run menu and its shortcuts, and recording and playing back scripts through
// the event loop, end to end on the headless presenter.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "display_test_support.h"
#include "image_compare.h"
#include "package_test_support.h"
#include "portable/user/menu.h"

using portable::HeadlessInput;
using test_support::DisplayTest;
using test_support::log_lines;
namespace fs = std::filesystem;

class RunMenu : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        work = std::make_unique<test_support::ScopedWorkFolder>("tavlo-menu");
        open();
        set_logging(0);
    }
    void TearDown() override {
        DisplayTest::TearDown();
        work.reset();
    }
    static std::string script_text() { return test_support::file_text("TAVLO.SCR"); }
    // A click at canvas coordinates (x, y).
    static HeadlessInput click_at(int x, int y) {
        return HeadlessInput::click(package_state.center_x + x, package_state.center_y - y,
                                    graphics());
    }
    // Ends a wait that nothing else would end, with a click far in the future.
    Event finish_wait_with_click() {
        later(10000, click_at(0, 0));
        return next_event();
    }
    std::optional<bool> checked(UINT id) { return presenter().menu_checked(graphics(), id); }

    std::unique_ptr<test_support::ScopedWorkFolder> work;
};

// The Run menu as the presenter shows it: a golden text of its items' flags, ids
// and texts (tests/golden/run_menu.txt; TAVLO_UPDATE_GOLDEN=1 rewrites it), then
// the grayed information lines, whose texts carry the version.
TEST_F(RunMenu, ItemsFlagsAndTextsInOrder) {
    const auto& bar = presenter().menu_bar(graphics());
    ASSERT_EQ(bar.size(), 1u);
    ASSERT_TRUE(bar[0].popup());
    const auto& items = portable::menu_items(bar[0].submenu);
    ASSERT_EQ(items.size(), 15u);
    std::string transcript = bar[0].text + "\n";
    for (size_t i = 0; i < 12; ++i) {
        const UINT flags = items[i].flags;
        transcript += std::string(flags & MF_SEPARATOR ? "separator" : "item") +
                      (flags & MF_CHECKED ? " checked" : "") +
                      (flags & MF_GRAYED ? " grayed" : "") + " " + std::to_string(items[i].id) +
                      (items[i].text.empty() ? "" : " " + items[i].text) + "\n";
    }
    EXPECT_TRUE(tavlo_test::matches_golden_text("run_menu", transcript));
    const char* labels[] = {"MAC: ", "WINDOWS: ", "UPDATES: "};
    for (size_t i = 12; i < 15; ++i) {
        EXPECT_TRUE(items[i].grayed());
        EXPECT_EQ(items[i].id, 9u);
        EXPECT_EQ(items[i].text.rfind(labels[i - 12], 0), 0u) << items[i].text;
    }
}

TEST_F(RunMenu, ShortcutsAndMenuChoicesGiveTheSameState) {
    auto state = [] { return std::make_tuple(package_state.animate, package_state.single_frame); };
    menu(CMD_ANIMATE);
    pump_message();
    auto by_menu = state();
    reset_everything();
    open();
    ctrl('A');
    for (int i = 0; i < 4; ++i) pump_message();
    EXPECT_EQ(state(), by_menu);
    reset_everything();
    open();
    PostMessageA(graphics(), WM_KEYDOWN, VK_CONTROL, 0);
    PostMessageA(graphics(), WM_KEYDOWN, 'a', 0);  // the small letter's code
    PostMessageA(graphics(), WM_KEYUP, VK_CONTROL, 0);
    for (int i = 0; i < 3; ++i) pump_message();
    EXPECT_EQ(state(), by_menu);
    EXPECT_EQ(package_state.ctrl_held, 0);

    type('A');  // without Ctrl: a key event and nothing else
    package_state.animate = false;
    EXPECT_EQ(next_event().key, 'A');
    EXPECT_FALSE(package_state.animate);
}

TEST_F(RunMenu, AdvanceOneFrameWhileAnimating) {
    set_animation(AnimationMode::Animate);
    next_event();                                            // t = 50
    later(70, HeadlessInput::ctrl_letter('F', graphics()));  // after this call's arming
    EXPECT_EQ(next_event().kind, EventKind::Periodic);       // the armed one
    EXPECT_EQ(next_event().kind, EventKind::Periodic);       // the frame request
    EXPECT_EQ(finish_wait_with_click().kind, EventKind::Mouse);

    // As the first message of a call, before any arming: only one.
    set_animation(AnimationMode::Animate);
    next_event();
    menu(CMD_ADVANCE_FRAME);
    EXPECT_EQ(next_event().kind, EventKind::Periodic);
    EXPECT_EQ(finish_wait_with_click().kind, EventKind::Mouse);
}

TEST_F(RunMenu, RecordingWritesCountedLines) {
    menu(CMD_RECORD);
    presenter().inject(click_at(10, -20));
    Event e = next_event();
    ASSERT_EQ(e.kind, EventKind::Mouse);
    EXPECT_EQ(e.x, 10);
    EXPECT_EQ(e.y, -20);
    EXPECT_EQ(checked(CMD_RECORD), true);
    set_animation(AnimationMode::Animate);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(next_event().kind, EventKind::Periodic);
    set_animation(AnimationMode::Halt);
    type('a');
    EXPECT_EQ(next_event().kind, EventKind::Key);
    menu(CMD_RECORD);
    finish_wait_with_click();
    EXPECT_EQ(checked(CMD_RECORD), false);
    EXPECT_EQ(script_text(), "TAVLO_MOUSE(10, -20);\nTAVLO_PERIODIC(3);\nTAVLO_KBD(97);\n");
    EXPECT_EQ(package_state.periodic_count, 0);
}

TEST_F(RunMenu, PeriodicOnlyAndQuitOnlyRecordings) {
    menu(CMD_RECORD);
    set_animation(AnimationMode::Animate);
    for (int i = 0; i < 5; ++i) next_event();
    set_animation(AnimationMode::Halt);
    ctrl('R');
    finish_wait_with_click();
    EXPECT_EQ(script_text(), "TAVLO_PERIODIC(5);\n");

    menu(CMD_RECORD);
    menu(CMD_QUIT);
    EXPECT_EQ(next_event().kind, EventKind::Quit);
    close_display();
    EXPECT_EQ(script_text(), "");
}

TEST_F(RunMenu, PlayOneStepsOneEventPerCommand) {
    std::ofstream("TAVLO.SCR") << "TAVLO_PERIODIC(2);\nTAVLO_KBD(66);\n";
    set_animation(AnimationMode::Animate);
    menu(CMD_PLAY_ONE);
    EXPECT_EQ(next_event().kind, EventKind::Periodic);
    EXPECT_FALSE(package_state.animate);  // it halts animation
    EXPECT_EQ(checked(CMD_PLAYBACK), false);
    later(500, HeadlessInput::menu(CMD_PLAY_ONE, graphics()));
    EXPECT_EQ(next_event().kind, EventKind::Periodic);
    EXPECT_EQ(now(), 500);  // it waited for the command
    ctrl('O');
    Event e = next_event();
    EXPECT_EQ(e.kind, EventKind::Key);
    EXPECT_EQ(e.key, 'B');
    EXPECT_EQ(finish_wait_with_click().kind, EventKind::Mouse);  // live again
}

TEST_F(RunMenu, PlaybackReplacesLiveInputUntilTheEnd) {
    std::ofstream("TAVLO.SCR") << "TAVLO_MOUSE(-7, 8);\nTAVLO_PERIODIC(2);\n";
    menu(CMD_PLAYBACK);
    presenter().inject(click_at(100, 100));  // replaced by the script's events
    Event e = next_event();
    EXPECT_EQ(e.kind, EventKind::Mouse);
    EXPECT_EQ(e.x, -7);
    EXPECT_EQ(checked(CMD_PLAYBACK), true);
    EXPECT_EQ(next_event().kind, EventKind::Periodic);
    EXPECT_EQ(next_event().kind, EventKind::Periodic);
    e = finish_wait_with_click();
    EXPECT_EQ(e.kind, EventKind::Mouse);
    EXPECT_EQ(e.x, 0);
    EXPECT_EQ(log_lines().back(), "EOF encountered in script file TAVLO.SCR\n");
    EXPECT_EQ(checked(CMD_PLAYBACK), false);
    EXPECT_FALSE(package_state.playback);
}

TEST_F(RunMenu, PlaybackWithoutAFileReportsOnceAndGoesOnLive) {
    menu(CMD_PLAYBACK);
    EXPECT_EQ(finish_wait_with_click().kind, EventKind::Mouse);
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{"Cannot open script file TAVLO.SCR for reading\n"}));
    EXPECT_EQ(checked(CMD_PLAYBACK), false);
}

TEST_F(RunMenu, StoppingAndRestartingPlaybackStartsAtTheTop) {
    std::ofstream("TAVLO.SCR") << "TAVLO_KBD(49);\nTAVLO_PERIODIC(5);\n";
    menu(CMD_PLAYBACK);
    EXPECT_EQ(next_event().key, '1');
    EXPECT_EQ(next_event().kind, EventKind::Periodic);  // four more are counted
    menu(CMD_PLAYBACK);  // stop: the pass of the command reads nothing more
    EXPECT_EQ(finish_wait_with_click().kind, EventKind::Mouse);
    EXPECT_EQ(package_state.periodic_count, 0);
    EXPECT_EQ(checked(CMD_PLAYBACK), false);
    menu(CMD_PLAYBACK);  // start again: from the first line
    EXPECT_EQ(next_event().key, '1');
}

TEST_F(RunMenu, RecordingAndPlaybackNeverRunTogether) {
    std::ofstream("TAVLO.SCR") << "TAVLO_KBD(49);\nTAVLO_KBD(50);\n";
    menu(CMD_PLAYBACK);
    EXPECT_EQ(next_event().key, '1');
    menu(CMD_RECORD);  // refused: it would truncate the file being played
    EXPECT_EQ(next_event().key, '2');
    EXPECT_FALSE(package_state.recording);
    EXPECT_EQ(checked(CMD_RECORD), false);
    EXPECT_EQ(log_lines().front(), "Cannot record script file TAVLO.SCR during playback\n");
    finish_wait_with_click();

    menu(CMD_RECORD);
    menu(CMD_PLAYBACK);  // refused while recording
    menu(CMD_PLAY_ONE);  // likewise
    EXPECT_EQ(finish_wait_with_click().kind, EventKind::Mouse);
    EXPECT_TRUE(package_state.recording);
    EXPECT_FALSE(package_state.playback);
    EXPECT_EQ(checked(CMD_PLAYBACK), false);
    EXPECT_EQ(log_lines().back(), "Cannot play script file TAVLO.SCR while recording\n");
}

// While recording or playback is on, or the script is open (Play One), the
// graphics window's property FileInUse names the script file, so a page that
// offers to replace the file can refuse; it goes when they end.
TEST_F(RunMenu, TheGraphicsWindowSaysWhileTheScriptFileIsInUse) {
    const auto in_use = [] {
        auto* name = static_cast<const char*>(GetPropA(graphics(), "FileInUse"));
        return std::string(name != nullptr ? name : "");
    };
    EXPECT_EQ(in_use(), "");
    menu(CMD_RECORD);  // on, before any line is written
    finish_wait_with_click();
    EXPECT_EQ(in_use(), "TAVLO.SCR");
    menu(CMD_RECORD);
    finish_wait_with_click();
    EXPECT_EQ(in_use(), "");
    menu(CMD_PLAY_ONE);  // the file stays open after the one event
    next_event();
    finish_wait_with_click();
    EXPECT_EQ(in_use(), "TAVLO.SCR");
}

TEST_F(RunMenu, AQuitIsNeverLostToTheScript) {
    std::ofstream("TAVLO.SCR") << "TAVLO_PERIODIC(1000);\n";
    menu(CMD_PLAYBACK);
    EXPECT_EQ(next_event().kind, EventKind::Periodic);
    menu(CMD_QUIT);
    EXPECT_EQ(next_event().kind, EventKind::Periodic);  // the command's own pass
    EXPECT_EQ(next_event().kind, EventKind::Quit);      // the pass that pumps the quit
}

// Whatever the user does, playing back a recording hands the application the same
// events again.
TEST_F(RunMenu, PlaybackReproducesAnyRecording) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 20; ++round) {
        reset_everything();
        open();
        set_logging(0);
        std::vector<Event> recorded;
        menu(CMD_RECORD);
        int steps = 1 + int(random() % 30);
        for (int i = 0; i < steps; ++i) {
            switch (random() % 3) {
                case 0: {
                    int cx = package_state.center_x, cy = package_state.center_y;
                    presenter().inject(
                        HeadlessInput::click(int(random() % 595), int(random() % 491), graphics()));
                    (void)cx, (void)cy;
                    break;
                }
                case 1: {
                    unsigned char c = static_cast<unsigned char>(1 + random() % 255);
                    presenter().inject(HeadlessInput::key('K', c, graphics()));
                    break;
                }
                default: set_animation(AnimationMode::AdvanceFrame); break;
            }
            recorded.push_back(next_event());
        }
        menu(CMD_RECORD);
        finish_wait_with_click();

        menu(CMD_PLAYBACK);
        for (size_t i = 0; i < recorded.size(); ++i) {
            Event e = next_event();
            ASSERT_EQ(e.kind, recorded[i].kind) << "round " << round << " event " << i;
            if (e.kind == EventKind::Mouse) {
                EXPECT_EQ(e.x, recorded[i].x);
                EXPECT_EQ(e.y, recorded[i].y);
            } else if (e.kind == EventKind::Key) {
                EXPECT_EQ(e.key, recorded[i].key);
            }
        }
        EXPECT_EQ(finish_wait_with_click().x, 0);  // the end of the script: live again
        EXPECT_FALSE(package_state.playback);
    }
}
