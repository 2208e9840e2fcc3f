// Scene geometry: model tables, trigonometric tables, scaling, rotation with its
// truncations, random placement and projection; and the demo's random generator.
#include <gtest/gtest.h>

#include <cstring>

#include "portable/kernel/system.h"
#include "random.h"
#include "scene.h"

namespace {

// A scene with its tables filled and its arrays freshly built.
struct BuiltScene : ::testing::Test {
    Scene scene;
    void SetUp() override {
        fill_trig_tables(scene.sin_table, scene.cos_table);
        build_model(scene.cube_points, scene.cube_model, scene.letter_points, scene.letter_model);
    }
    // Point p of slot s of a cube array.
    static const int* vertex(const int* points, int slot, int v) {
        return points + 120 * slot + 3 * v;
    }
};

void expect_point(const int* point, int x, int y, int z) {
    EXPECT_EQ(point[0], x);
    EXPECT_EQ(point[1], y);
    EXPECT_EQ(point[2], z);
}

}  // namespace

TEST(RandomGenerator, KnownSequenceFromSeedOne) {
    RandomGenerator random{1};
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478};
    for (int value : expected) EXPECT_EQ(random_value(random), value);
}

TEST(RandomGenerator, SeedIsTheCalendarTimeInSeconds) {
    portable::set_fixed_time(1700000000);
    RandomGenerator random;
    seed_random(random);
    portable::clear_fixed_time();
    EXPECT_EQ(random.state, 1700000000u);
    // Values always stay within 15 bits, whatever the state.
    RandomGenerator high{0xFFFFFFFFu};
    for (int i = 0; i < 1000; ++i) {
        int value = random_value(high);
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}

TEST(TrigTables, UseTheDecimalPiSoRightAnglesAreNotExact) {
    double sin_table[360], cos_table[360];
    fill_trig_tables(sin_table, cos_table);
    EXPECT_EQ(sin_table[0], 0.0);
    EXPECT_EQ(cos_table[0], 1.0);
    EXPECT_NE(cos_table[90], 0.0);
    EXPECT_NEAR(cos_table[90], -1.036e-13, 0.001e-13);
    EXPECT_NEAR(sin_table[180], -2.07e-13, 0.01e-13);
    EXPECT_NEAR(sin_table[30], 0.5, 1e-12);
    EXPECT_NEAR(cos_table[359], 0.99985, 1e-5);
}

TEST_F(BuiltScene, BuildModelFillsEverySlotWithTheFrameAndResetsChanges) {
    for (int slot = 1; slot < 4; ++slot) {
        EXPECT_EQ(
            0, std::memcmp(vertex(scene.cube_model, slot, 0), scene.cube_model, 120 * sizeof(int)));
    }
    move_points(scene.cube_points, 5, 5);
    scene.letter_points[0] = 99;
    build_model(scene.cube_points, scene.cube_model, scene.letter_points, scene.letter_model);
    EXPECT_EQ(0, std::memcmp(scene.cube_points, scene.cube_model, sizeof scene.cube_points));
    EXPECT_EQ(scene.letter_points[0], -4);
}

TEST_F(BuiltScene, RotationByZeroAnglesCopiesTheSource) {
    int destination[480];
    rotate_points(scene.sin_table, scene.cos_table, 0, 0, 0, destination, scene.cube_model,
                  CubeMode);
    EXPECT_EQ(0, std::memcmp(destination, scene.cube_model, sizeof destination));
}

TEST_F(BuiltScene, RotationTruncatesAfterEachAxis) {
    // cos 90 is slightly negative, so z1 = T(49.99999999999...) = 49.
    rotate_points(scene.sin_table, scene.cos_table, 90, 0, 0, scene.cube_points, scene.cube_model,
                  CubeMode);
    expect_point(vertex(scene.cube_points, 0, 0), -50, -50, 49);
    expect_point(vertex(scene.cube_points, 3, 0), -50, -50, 49);
    // Letter point 0: x1 = T(-3.245...) = -3, toward zero.
    rotate_points(scene.sin_table, scene.cos_table, 10, 10, 0, scene.letter_points,
                  scene.letter_model, LetterMode);
    expect_point(scene.letter_points, -3, 9, 4);
    // Only the mode's points are written.
    int letter_out[96 + 3] = {};
    letter_out[96] = 12345;
    rotate_points(scene.sin_table, scene.cos_table, 10, 10, 0, letter_out, scene.letter_model,
                  LetterMode);
    EXPECT_EQ(letter_out[96], 12345);
}

TEST_F(BuiltScene, ScalingTruncatesTowardZero) {
    const double up = 1.0 + 0.1, down = 1.0 - 0.1;
    scale_points(scene.cube_points, scene.cube_model, up, up, up);
    expect_point(vertex(scene.cube_points, 1, 0), -55, 55, 55);
    expect_point(vertex(scene.cube_model, 1, 12), -33, 33, 33);
    build_model(scene.cube_points, scene.cube_model, scene.letter_points, scene.letter_model);
    scale_points(scene.cube_points, scene.cube_model, down, down, down);
    expect_point(vertex(scene.cube_points, 2, 2), 45, 45, 45);
    expect_point(vertex(scene.cube_model, 2, 14), 27, 27, 27);
}

TEST_F(BuiltScene, TenScaleDownsLeaveATinyFactorAndEveryPointAtZero) {
    double factor = 1.0;
    for (int i = 0; i < 10; ++i) factor -= 0.1;
    EXPECT_GT(factor, 0.0);
    EXPECT_LT(factor, 1e-15);
    scale_points(scene.cube_points, scene.cube_model, factor, factor, factor);
    for (int i = 0; i < 480; ++i) {
        ASSERT_EQ(scene.cube_points[i], 0) << i;
        ASSERT_EQ(scene.cube_model[i], 0) << i;
    }
}

TEST_F(BuiltScene, PlacementWithKeptSignsOffsetsSlotsByOverlappingEntryPairs) {
    int offsets[8] = {100, 50, 20, 10, 7, 1, 2, 3};
    RandomGenerator random{1};
    place_cubes(scene.cube_points, scene.cube_model, offsets, 1, random);
    EXPECT_EQ(random.state, 1u);  // no draws with the flag 1
    expect_point(vertex(scene.cube_points, 0, 0), -50, 50, 50);
    expect_point(vertex(scene.cube_points, 1, 0), 50, 100, 50);
    expect_point(vertex(scene.cube_points, 2, 0), 0, 70, 50);
    expect_point(vertex(scene.cube_model, 3, 0), -30, 60, 50);
    // Two calls without a rebuild add twice.
    place_cubes(scene.cube_points, scene.cube_model, offsets, 1, random);
    expect_point(vertex(scene.cube_points, 1, 0), 150, 150, 50);
}

TEST_F(BuiltScene, PlacementWithNewSignsDrawsSixValuesAndNegatesByParity) {
    // Seed 1 draws 41, 18467 | 6334, 26500 | 19169, 15724: only 6334 (even)
    // negates anything, entry 2, before slot 2 uses it.
    int offsets[8] = {100, 50, 20, 10, 7, 1, 2, 3};
    RandomGenerator random{1};
    place_cubes(scene.cube_points, scene.cube_model, offsets, 0, random);
    const int expected[8] = {100, 50, -20, 10, 7, 1, 2, 3};
    EXPECT_EQ(0, std::memcmp(offsets, expected, sizeof offsets));
    EXPECT_EQ(random_value(random), 11478);  // the seventh value: six were taken
    expect_point(vertex(scene.cube_points, 1, 0), 50, 100, 50);
    expect_point(vertex(scene.cube_points, 2, 0), 0, 30, 50);
    expect_point(vertex(scene.cube_model, 3, 0), -70, 60, 50);

    // Seed 12 draws 77, 5628 | 6232, 29052 | 1558, 26150: entry 2 is negated by
    // slot 1 (5628 % 3 == 0) and back by slot 2 (6232 even); entry 3 likewise by
    // slots 2 and 3. The final entries equal the start, yet slot 1 never saw -20.
    build_model(scene.cube_points, scene.cube_model, scene.letter_points, scene.letter_model);
    int cancelling[8] = {100, 50, 20, 10, 7, 1, 2, 3};
    random.state = 12;
    place_cubes(scene.cube_points, scene.cube_model, cancelling, 0, random);
    EXPECT_EQ(cancelling[2], 20);
    EXPECT_EQ(cancelling[3], 10);
    expect_point(vertex(scene.cube_points, 2, 0), 0, 70, 50);
    // A later call with the flag 1 reproduces the same placement.
    int placed[480];
    std::memcpy(placed, scene.cube_points, sizeof placed);
    build_model(scene.cube_points, scene.cube_model, scene.letter_points, scene.letter_model);
    place_cubes(scene.cube_points, scene.cube_model, offsets, 0, random);  // other signs
    build_model(scene.cube_points, scene.cube_model, scene.letter_points, scene.letter_model);
    place_cubes(scene.cube_points, scene.cube_model, cancelling, 1, random);
    EXPECT_EQ(0, std::memcmp(placed, scene.cube_points, sizeof placed));
}

TEST_F(BuiltScene, ProjectionAddsOffsetsToEveryIntAndMovesTheLetterOrigin) {
    int offsets[480] = {};
    move_points(offsets, 10, -20);
    EXPECT_EQ(offsets[2], 0);  // moves leave z alone
    offsets[2] = 7;            // but the cube projection adds z offsets too
    project_points(scene.cube_screen, scene.cube_points, offsets, CubeMode);
    expect_point(scene.cube_screen, -40, 30, 57);
    expect_point(vertex(scene.cube_screen, 3, 39), 60, -50, -30);

    int letter_screen[96];
    for (int& v : letter_screen) v = 555;
    project_points(letter_screen, scene.letter_points, nullptr, LetterMode);
    expect_point(letter_screen, -241, -210, 555);
    expect_point(letter_screen + 3 * 31, -237, -213, 555);
}
