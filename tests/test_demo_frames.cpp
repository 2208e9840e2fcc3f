// Whole frames of the cubes demo, driven through the real event loop on the
// headless presenter with a fixed seed, compared pixel for pixel with golden
// pictures (regenerate with TAVLO_UPDATE_GOLDEN=1 and look at them).
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "cubes.h"
#include "display_test_support.h"
#include "image_compare.h"
#include "package_test_support.h"
#include "portable/kernel/system.h"

using portable::HeadlessInput;
using test_support::DisplayTest;

class DemoFrames : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        portable::set_fixed_time(1);
        demo = std::make_unique<Demo>();
        demo_start(*demo, nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    }
    void TearDown() override {
        portable::clear_fixed_time();
        DisplayTest::TearDown();
    }

    // Runs loop turns until `count` periodic events have been handled.
    void run_periodic(int count) {
        while (count > 0) count -= turn() == EventKind::Periodic;
    }
    // Clicks at canvas point (x, y) and runs turns until the click has been handled.
    void press(int x, int y) {
        presenter().inject(HeadlessInput::click(package_state.center_x + x,
                                                package_state.center_y - y, graphics()));
        while (turn() != EventKind::Mouse) {
        }
    }
    int turn() {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        demo_turn(*demo, kind, x, y, key);
        return kind;
    }
    // What the window shows once the last turn's drawing has reached it.
    ::testing::AssertionResult shows(const char* golden) {
        PostMessageA(graphics(), WM_USER, 0, 0);
        pump_message();
        portable::HeadlessImage image = presenter().front_image(graphics());
        return tavlo_test::matches_golden(golden, image.width, image.height, image.pixels.data());
    }

    std::unique_ptr<Demo> demo;
};

TEST_F(DemoFrames, Start) {
    run_periodic(1);
    EXPECT_TRUE(shows("demo_start"));
}

TEST_F(DemoFrames, SpinningAboutXAndYFor30Frames) {
    press(260, 170);  // spin X
    press(260, 140);  // spin Y
    run_periodic(30);
    EXPECT_EQ(demo->scene.cube_angle_x, 30);
    EXPECT_EQ(demo->scene.cube_angle_y, 30);
    EXPECT_TRUE(shows("demo_spin_xy_30"));
}

TEST_F(DemoFrames, TenScaleUps) {
    run_periodic(1);
    for (int i = 0; i < 11; ++i) press(-262, 140);
    EXPECT_EQ(demo->control.scale_steps, 10);
    EXPECT_TRUE(shows("demo_scaled_up"));
}

TEST_F(DemoFrames, BlackCubes) {
    run_periodic(1);
    press(260, 230);  // change colour: 23 -> 0
    EXPECT_EQ(demo->scene.cube_color, 0);
    EXPECT_TRUE(shows("demo_black_cubes"));
}

TEST_F(DemoFrames, MovesAndRandomize) {
    run_periodic(1);
    for (int i = 0; i < 3; ++i) press(-240, 210);  // move right
    for (int i = 0; i < 2; ++i) press(-260, 230);  // move up
    press(0, 230);                                 // randomize
    run_periodic(1);
    EXPECT_TRUE(shows("demo_moved_randomized"));
}

// A session recorded with Ctrl+R and played back with Ctrl+P ends with the same
// picture as the live session. Both runs go through WinMain as the program does.
class DemoReplay : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        work = std::make_unique<test_support::ScopedWorkFolder>("tavlo-replay");
        portable::set_fixed_time(1);
    }
    void TearDown() override {
        portable::clear_fixed_time();
        DisplayTest::TearDown();
        work.reset();
    }
    // Runs the whole program with the given inputs and returns its last picture.
    portable::HeadlessImage run(const std::vector<std::pair<int, HeadlessInput>>& plan) {
        reset_everything();
        for (const auto& [tick, input] : plan) presenter().schedule_at_tick(tick, input);
        EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
        return presenter().front_image(presenter().first_window());
    }
    // A click at canvas point (x, y) of the 595 x 491 client area.
    static HeadlessInput at(int x, int y) { return HeadlessInput::click(297 + x, 245 - y); }

    std::unique_ptr<test_support::ScopedWorkFolder> work;
};

TEST_F(DemoReplay, PlayingBackARecordingEndsWithTheSamePicture) {
    portable::HeadlessImage live = run({
        {1, HeadlessInput::ctrl_letter('R')},
        {5, at(260, 170)},    // spin X
        {9, at(-262, 140)},   // scale up
        {14, at(-240, 210)},  // move right
        {20, at(260, 230)},   // change colour
        {26, at(0, 230)},     // randomize
        {31, at(-20, -50)},   // no button
        {33, HeadlessInput::typed('k')},
        {40, HeadlessInput::ctrl_letter('H')},
        {42, HeadlessInput::ctrl_letter('R')},
        {44, HeadlessInput::close()},
    });
    std::ifstream script("TAVLO.SCR");
    std::string first_line;
    std::getline(script, first_line);
    EXPECT_EQ(first_line.rfind("TAVLO_", 0), 0u);

    portable::HeadlessImage replayed = run({
        {1, HeadlessInput::ctrl_letter('P')},
        {200, HeadlessInput::close()},
    });
    ASSERT_EQ(live.width, replayed.width);
    EXPECT_TRUE(live.pixels == replayed.pixels);
    EXPECT_TRUE(tavlo_test::matches_golden("demo_replayed", replayed.width, replayed.height,
                                           replayed.pixels.data()));
    EXPECT_EQ(test_support::log_lines().back(), "EOF encountered in script file TAVLO.SCR\n");
}
