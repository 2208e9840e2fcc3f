// The demo's controls and loop turns, driven without WinMain: hit test, colour
// cycle, scale limits, moves, spin toggles, randomize, and the drawing calls each
// kind of turn makes, read back from the call log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cubes.h"
#include "fresh_state.h"
#include "image_compare.h"
#include "package_state.h"
#include "panel.h"
#include "portable/kernel/system.h"
#include "portable/presenters/headless/headless_presenter.h"
#include "portable/user/window.h"
#include "scene_draw.h"

#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/lsan_interface.h>
#define TAVLO_HAVE_LSAN 1
#else
#define TAVLO_HAVE_LSAN 0
#endif

namespace {

constexpr int cube_calls = 504;
constexpr int letter_calls = 48;
constexpr int panel_calls = 104;
constexpr const char* clearing = "Clearing the graphics window\n";

// Catches every call-log line (logging on) and resets the package around each test.
struct CallLog : ::testing::Test {
    std::vector<std::string> lines;
    void SetUp() override {
        reset_package_state();
        package_state.logging_enabled = true;
        portable::set_debug_output_sink([this](const char* text) { lines.push_back(text); });
    }
    void TearDown() override {
        portable::set_debug_output_sink(nullptr);
        reset_package_state();
    }
    int count_of(const std::string& line) const {
        int n = 0;
        for (const std::string& l : lines) n += l == line;
        return n;
    }
};

// A demo after start-up with a known seed, and the log emptied.
struct DemoTurns : CallLog {
    Demo demo;
    void SetUp() override {
        CallLog::SetUp();
        demo.random.state = 12345;
        demo_prepare(demo);
        lines.clear();
    }
    void click(int x, int y) { demo_turn(demo, EventKind::Mouse, x, y, 0); }
    void periodic() { demo_turn(demo, EventKind::Periodic, 0, 0, 0); }
};

// Centre points of the buttons, in PanelButton order from 1.
struct Spot {
    int x, y;
};
constexpr Spot button_centres[] = {{-280, 210}, {-260, 230}, {-240, 210}, {-260, 190},
                                   {-262, 140}, {-262, 107}, {260, 230},  {260, 170},
                                   {260, 140},  {260, 110},  {0, 230}};
constexpr Spot scale_up = button_centres[4];
constexpr Spot scale_down = button_centres[5];

// Stops and restarts the leak checker's recording, when there is one.
void leak_check_pause(bool pause) {
#if TAVLO_HAVE_LSAN
    if (pause) {
        __lsan_disable();
    } else {
        __lsan_enable();
    }
#else
    (void)pause;
#endif
}

// Advances a copy of a generator n draws.
uint32_t state_after(uint32_t state, int draws) {
    RandomGenerator random{state};
    for (int i = 0; i < draws; ++i) random_value(random);
    return random.state;
}

}  // namespace

// A click lands on a button where the button is drawn: walking out from each
// button's centre, its hit area ends on the outline the golden start picture
// shows. The triangles' hit areas are boxes around them, so only
// their bases are probed that way; their tips and sides are probed below.
TEST(HitTest, ButtonsAreHitWhereTheyAreDrawn) {
    int width = 0, height = 0;
    std::vector<uint32_t> picture;
    std::string error;
    ASSERT_TRUE(
        portable::read_png(tavlo_test::golden_path("demo_start"), &width, &height, picture, &error))
        << error;
    const int cx = width / 2, cy = height / 2;  // the canvas centre, as the package puts it
    auto black_at = [&](int x, int y) {         // at canvas point (x, y)
        const int col = cx + x, row = cy - y;
        return col >= 0 && row >= 0 && col < width && row < height &&
               (picture[size_t(row) * width + col] & 0xFFFFFF) == 0;
    };
    struct Direction {
        int dx, dy;
        const char* name;
    };
    const Direction directions[] = {
        {-1, 0, "left"}, {1, 0, "right"}, {0, 1, "up"}, {0, -1, "down"}};
    for (int button = 1; button <= 11; ++button) {
        const Spot centre = button_centres[button - 1];
        ASSERT_EQ(hit_button(centre.x, centre.y), button);
        for (const Direction& d : directions) {
            if (button == PanelButton::ScaleUp && d.dy != -1) continue;
            if (button == PanelButton::ScaleDown && d.dy != 1) continue;
            SCOPED_TRACE(testing::Message() << "button " << button << ", " << d.name);
            int x = centre.x, y = centre.y, steps = 0;
            while (hit_button(x, y) == button && steps < 100) {
                x += d.dx;
                y += d.dy;
                ++steps;
            }
            ASSERT_LT(steps, 100);
            // (x, y) is the first point off the button: on its drawn outline.
            EXPECT_TRUE(black_at(x, y))
                << "the hit area ends at (" << x << ", " << y << "), off the drawn outline";
        }
    }
    EXPECT_EQ(hit_button(-270, 210), PanelButton::None);      // shared edge of two move boxes
    EXPECT_EQ(hit_button(-260, 210), PanelButton::None);      // the hole in the cross
    EXPECT_EQ(hit_button(-263, 152), PanelButton::None);      // scale-up triangle's tip
    EXPECT_EQ(hit_button(-274, 96), PanelButton::ScaleDown);  // beside the slanted side
    EXPECT_EQ(hit_button(0, 0), PanelButton::None);
    EXPECT_EQ(hit_button(-2147483647 - 1, 2147483647), PanelButton::None);
}

TEST(NextColor, RunsThroughAllTwentyFourColours) {
    ColorIndex color = 23;
    next_color(color);
    EXPECT_EQ(color, 0);
    for (int i = 1; i < 24; ++i) next_color(color);
    EXPECT_EQ(color, 23);
    ColorIndex wild = -7;
    next_color(wild);
    EXPECT_GE(wild, 0);
    EXPECT_LT(wild, 24);
}

TEST_F(CallLog, StartUpDrawsOnlyThePanelAndTakesTwentyTwoDraws) {
    Demo demo;
    demo.random.state = 12345;
    demo_prepare(demo);
    EXPECT_EQ(demo.random.state, state_after(12345, 22));
    ASSERT_EQ(lines.size(), 1u + panel_calls);
    EXPECT_EQ(lines[0], clearing);
    EXPECT_EQ(lines[1], "white rectangle with bounding box (-290,220) to (-270,200), filled\n");
    // Entries: sums of two draws modulo 100; only entries 1..4 may change sign.
    for (int k = 0; k < 8; ++k) {
        const int entry = demo.scene.random_offsets[k];
        EXPECT_LE(entry < 0 ? -entry : entry, 198) << k;
        if (k == 0 || k > 4) {
            EXPECT_GE(entry, 0) << k;
        }
    }
    EXPECT_EQ(demo.scene.cos_table[0], 1.0);
    for (int v : demo.scene.cube_screen) ASSERT_EQ(v, 0);
    EXPECT_FALSE(demo.control.quit_seen);
}

// A periodic turn clears, then draws the recomputed cubes, the turned letter and
// the panel, in that order.
TEST_F(DemoTurns, PeriodicClearsRecomputesAndDrawsCubesLetterPanel) {
    periodic();
    ASSERT_EQ(lines.size(), 1u + cube_calls + letter_calls + panel_calls);
    EXPECT_EQ(lines[0], clearing);
    EXPECT_EQ(lines[1].rfind("20% gray triangle at", 0), 0u);  // the cubes' colour
    EXPECT_EQ(lines[1 + cube_calls].rfind("red line from (-240,-211)", 0), 0u);  // the letter
    EXPECT_EQ(lines[1 + cube_calls + letter_calls],
              "white rectangle with bounding box (-290,220) to (-270,200), filled\n");
    EXPECT_EQ(demo.scene.letter_angle_x, 10);
    EXPECT_EQ(demo.scene.letter_angle_y, 10);
    // Cubes do not spin until a toggle is pressed; slot 1 sits at its offsets.
    const int* slot1 = demo.scene.cube_screen + 120;
    EXPECT_EQ(demo.scene.cube_angle_x, 0);
    EXPECT_EQ(slot1[0], -50 + demo.scene.random_offsets[0]);
    EXPECT_EQ(slot1[1], 50 + demo.scene.random_offsets[1]);
}

TEST_F(DemoTurns, LetterMakesAFullTurnEveryThirtySixPeriodicEvents) {
    for (int i = 0; i < 35; ++i) periodic();
    EXPECT_EQ(demo.scene.letter_angle_x, 350);
    periodic();
    EXPECT_EQ(demo.scene.letter_angle_x, 0);
    EXPECT_EQ(demo.scene.letter_angle_y, 0);
    EXPECT_EQ(demo.scene.letter_angle_z, 0);
}

TEST_F(DemoTurns, SpinTogglesActOnOddCountsAndWrapAt360) {
    click(260, 170);  // spin X
    EXPECT_EQ(demo.control.spin_count_x, 1);
    EXPECT_EQ(demo.scene.cube_angle_x, 0);  // starts with the next periodic event
    periodic();
    periodic();
    EXPECT_EQ(demo.scene.cube_angle_x, 2);
    click(260, 170);
    periodic();
    EXPECT_EQ(demo.scene.cube_angle_x, 2);  // stopped where it was
    click(260, 110);                        // spin Z
    demo.scene.cube_angle_z = 359;
    periodic();
    EXPECT_EQ(demo.scene.cube_angle_z, 0);
    EXPECT_EQ(demo.scene.cube_angle_y, 0);
}

TEST_F(DemoTurns, ClickOnNoButtonRedrawsSceneAndPanelWithoutClearing) {
    click(-260, 210);
    ASSERT_EQ(lines.size(), size_t(cube_calls + letter_calls + panel_calls));
    EXPECT_EQ(count_of(clearing), 0);
    // Before any recomputation the screen arrays are zero: every call at (0,0).
    EXPECT_EQ(lines[0], "20% gray triangle at (0,0), (0,0), (0,0)\n");
}

TEST_F(DemoTurns, ColourButtonRepaintsInTheNextColourWithoutClearing) {
    click(260, 230);
    EXPECT_EQ(demo.scene.cube_color, 0);
    EXPECT_EQ(count_of(clearing), 0);
    EXPECT_EQ(lines[0].rfind("black triangle", 0), 0u);
    for (int i = 0; i < 23; ++i) click(260, 230);
    EXPECT_EQ(demo.scene.cube_color, 23);
}

TEST_F(DemoTurns, MovePressShiftsOffsetsByTenAndShowsAtTheNextFrame) {
    Demo still = demo;                             // the same scene without moves
    for (int i = 0; i < 5; ++i) click(-240, 210);  // move right
    EXPECT_EQ(demo.control.move_dx, 0);            // reset at every turn's end
    for (int p = 0; p < 160; ++p) {
        ASSERT_EQ(demo.scene.move_offsets[3 * p], 50);
        ASSERT_EQ(demo.scene.move_offsets[3 * p + 1], 0);
        ASSERT_EQ(demo.scene.move_offsets[3 * p + 2], 0);
    }
    EXPECT_EQ(count_of(clearing), 5);
    EXPECT_EQ(lines[0], clearing);
    EXPECT_EQ(lines.size(), 5u * (1 + cube_calls + letter_calls + panel_calls));
    // The picture has not moved yet; the next frame moves it by 50.
    for (int v : demo.scene.cube_screen) ASSERT_EQ(v, 0);
    periodic();
    demo_turn(still, EventKind::Periodic, 0, 0, 0);
    for (int p = 0; p < 160; ++p) {
        ASSERT_EQ(demo.scene.cube_screen[3 * p], still.scene.cube_screen[3 * p] + 50);
        ASSERT_EQ(demo.scene.cube_screen[3 * p + 1], still.scene.cube_screen[3 * p + 1]);
    }
    click(-260, 190);  // move down
    click(-260, 230);  // move up
    click(-280, 210);  // move left
    EXPECT_EQ(demo.scene.move_offsets[0], 40);
    EXPECT_EQ(demo.scene.move_offsets[1], 0);
}

TEST_F(DemoTurns, ScaleUpStopsAfterTenSteps) {
    click(scale_up.x, scale_up.y);
    // Clear, its own draw, the common draw, the panel.
    ASSERT_EQ(lines.size(), 1u + 2 * (cube_calls + letter_calls) + panel_calls);
    EXPECT_EQ(lines[0], clearing);
    EXPECT_EQ(demo.scene.scale_x, 1.0 + 0.1);
    // Vertex 0 of slot 1 scaled by 1.1: (-55, 55) plus its offsets.
    EXPECT_EQ(demo.scene.cube_screen[120], -55 + demo.scene.random_offsets[0]);
    EXPECT_EQ(demo.scene.cube_screen[121], 55 + demo.scene.random_offsets[1]);
    for (int i = 1; i < 10; ++i) click(scale_up.x, scale_up.y);
    EXPECT_EQ(demo.control.scale_steps, 10);
    EXPECT_GT(demo.scene.scale_y, 2.0);
    EXPECT_LT(demo.scene.scale_y, 2.0 + 1e-12);
    const double at_limit = demo.scene.scale_z;
    lines.clear();
    click(scale_up.x, scale_up.y);
    EXPECT_EQ(demo.control.scale_steps, 10);
    EXPECT_EQ(demo.scene.scale_z, at_limit);
    EXPECT_EQ(count_of(clearing), 0);
    EXPECT_EQ(lines.size(), size_t(cube_calls + letter_calls + panel_calls));
}

TEST_F(DemoTurns, TwentyScaleDownsFromTheTopShrinkCubesToPoints) {
    for (int i = 0; i < 10; ++i) click(scale_up.x, scale_up.y);
    for (int i = 0; i < 20; ++i) click(scale_down.x, scale_down.y);
    EXPECT_EQ(demo.control.scale_steps, -10);
    EXPECT_GT(demo.scene.scale_x, 0.0);
    EXPECT_LT(demo.scene.scale_x, 1e-12);
    // Each visible cube is one point: its random offsets.
    for (int slot = 1; slot < 4; ++slot) {
        const int* points = demo.scene.cube_screen + 120 * slot;
        for (int v = 0; v < 40; ++v) {
            ASSERT_EQ(points[3 * v], demo.scene.random_offsets[slot - 1]);
            ASSERT_EQ(points[3 * v + 1], demo.scene.random_offsets[slot]);
            ASSERT_EQ(points[3 * v + 2], 0);
        }
    }
    click(scale_down.x, scale_down.y);
    EXPECT_EQ(demo.control.scale_steps, -10);
}

TEST_F(DemoTurns, RandomizeIsServedAtTheTailAndShowsAtTheNextFrame) {
    periodic();
    int before[480];
    std::copy(demo.scene.cube_screen, demo.scene.cube_screen + 480, before);
    const uint32_t state = demo.random.state;
    lines.clear();
    click(0, 230);
    EXPECT_FALSE(demo.control.randomize_pending);
    EXPECT_EQ(demo.random.state, state_after(state, 22));
    EXPECT_EQ(count_of(clearing), 0);
    EXPECT_EQ(lines.size(), size_t(cube_calls + letter_calls + panel_calls));
    EXPECT_TRUE(std::equal(before, before + 480, demo.scene.cube_screen));
    periodic();
    EXPECT_EQ(demo.scene.cube_screen[120], -50 + demo.scene.random_offsets[0]);
    EXPECT_EQ(demo.scene.cube_screen[121], 50 + demo.scene.random_offsets[1]);
}

TEST_F(DemoTurns, KeyTurnOnlyRedrawsThePanel) {
    Demo before = demo;
    demo_turn(demo, EventKind::Key, 0, 0, 'a');
    ASSERT_EQ(lines.size(), size_t(panel_calls));
    EXPECT_EQ(lines[0], "white rectangle with bounding box (-290,220) to (-270,200), filled\n");
    EXPECT_EQ(demo.random.state, before.random.state);
    EXPECT_FALSE(demo.control.quit_seen);
    demo_turn(demo, 99, 0, 0, 0);  // an unknown kind does the same
    EXPECT_EQ(lines.size(), 2u * panel_calls);
}

TEST_F(DemoTurns, QuitTurnStillDrawsThePanel) {
    click(260, 170);
    lines.clear();
    demo_turn(demo, EventKind::Quit, 0, 0, 0);
    EXPECT_TRUE(demo.control.quit_seen);
    ASSERT_EQ(lines.size(), size_t(panel_calls + 16));  // the X toggle is on
    EXPECT_EQ(lines.back(), "50% gray text at (-292,-243), \"github.com/tavlo-project/tavlo\"\n");
}

TEST_F(CallLog, DrawCubesAndLetterMakeTheirCallCounts) {
    int screen[480] = {};
    int letter[96] = {};
    draw_cubes(screen, 5);
    EXPECT_EQ(lines.size(), size_t(cube_calls));
    EXPECT_EQ(count_of("yellow triangle at (0,0), (0,0), (0,0)\n"), 3 * 96);
    EXPECT_EQ(count_of("black line from (0,0) to (0,0), width 1\n"), 3 * 72);
    lines.clear();
    draw_letter(letter);
    EXPECT_EQ(lines.size(), size_t(letter_calls));
    EXPECT_EQ(count_of("red line from (0,0) to (0,0), width 1\n"), letter_calls);
}

// The panel's drawing calls, in order, as the call log writes them: with the
// spin toggles off, and with X and Z on (tests/golden/panel_calls_*.txt;
// TAVLO_UPDATE_GOLDEN=1 rewrites them). A toggle is on while its count is odd.
TEST_F(CallLog, PanelCallsInTheirOrderAndTogglesOnByParity) {
    auto transcript = [this](int x, int y, int z) {
        lines.clear();
        draw_panel(x, y, z);
        std::string text;
        for (const std::string& line : lines) text += line;
        return text;
    };
    const std::string off = transcript(0, 2, 4);
    EXPECT_EQ(lines.size(), size_t(panel_calls));
    EXPECT_TRUE(tavlo_test::matches_golden_text("panel_calls_off", off));
    const std::string x_and_z = transcript(1, 0, 1);
    EXPECT_EQ(lines.size(), size_t(panel_calls + 16 + 16));  // each toggle on: 16 calls more
    EXPECT_TRUE(tavlo_test::matches_golden_text("panel_calls_x_z_on", x_and_z));
    EXPECT_EQ(transcript(2, 4, 6), off);
    EXPECT_EQ(transcript(3, 8, 5), x_and_z);
    transcript(1, 3, 5);
    EXPECT_EQ(lines.size(), size_t(panel_calls + 3 * 16));
}

TEST_F(CallLog, ToggleWithAnUnknownAxisDrawsNothing) {
    draw_spin_toggle(3, ToggleOn);
    draw_spin_toggle(-1, ToggleOff);
    EXPECT_TRUE(lines.empty());
}

// The whole program under the headless presenter: start-up, a few animation
// ticks, a click on no button, then the window closed.
TEST(DemoRun, WinMainRunsUntilTheWindowClosesAndReturnsZero) {
    portable::HeadlessPresenter headless;
    fresh_state::reset_platform(&headless);
    portable::set_fixed_time(1700000000);
    headless.schedule_at_tick(3, portable::HeadlessInput::click(300, 300));
    headless.schedule_at_tick(6, portable::HeadlessInput::close());
    static char command_line[] = "";
    // The package keeps its canvas and window classes for the life of the process,
    // so what it allocates in this run is not a leak of the run.
    leak_check_pause(true);
    const int result = WinMain(nullptr, nullptr, command_line, SW_SHOWDEFAULT);
    leak_check_pause(false);
    portable::clear_fixed_time();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(package_state.logging_enabled);  // start-up switched the call log off
    // The last picture: the panel's black cross of move boxes, and the red letter
    // that only periodic turns draw.
    const portable::HeadlessImage image = headless.front_image(headless.first_window());
    const int cx = package_state.center_x, cy = package_state.center_y;
    ASSERT_GT(image.width, cx);
    ASSERT_GT(image.height, cy + 240);
    auto count = [&](COLORREF color, int left, int top, int right, int bottom) {
        int n = 0;
        for (int y = cy - top; y < cy - bottom; ++y) {
            for (int x = cx + left; x < cx + right; ++x) {
                n += image.pixels[size_t(y) * image.width + x] == color;
            }
        }
        return n;
    };
    EXPECT_GT(count(Palette[0], -292, 242, -228, 178), 150);
    EXPECT_GT(count(Palette[2], -260, -200, -210, -240), 20);
    portable::set_presenter(nullptr);
    portable::reset_user_state();
    reset_package_state();
}
