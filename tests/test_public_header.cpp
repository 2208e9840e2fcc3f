// The application interface's named values: each palette constant selects the
// entry whose name the call log writes, and the version macros agree.
#include <gtest/gtest.h>

#include <string>

#include "package_state.h"

TEST(PublicHeader, ColorConstantsNameTheirPaletteEntries) {
    const std::pair<int, const char*> named[] = {
        {Color::Black, "black"},
        {Color::White, "white"},
        {Color::Red, "red"},
        {Color::Green, "green"},
        {Color::Blue, "blue"},
        {Color::Yellow, "yellow"},
        {Color::Magenta, "magenta"},
        {Color::Cyan, "cyan"},
        {Color::Purple, "purple"},
        {Color::NavyBlue, "navy blue"},
        {Color::DustyPlum, "dusty plum"},
        {Color::IceBlue, "ice blue"},
        {Color::Turquoise, "turquoise"},
        {Color::Orange, "orange"},
        {Color::Brown, "brown"},
        {Color::Pink, "pink"},
        {Color::Chalk, "chalk"},
        {Color::Gold, "gold"},
        {Color::Peach, "peach"},
        {Color::ForestGreen, "forest green"},
        {Color::SeaGreen, "sea green"},
        {Color::Olive, "olive"},
        {Color::Gray50, "50% gray"},
        {Color::Gray20, "20% gray"},
    };
    ASSERT_EQ(std::size(named), size_t(Color::Count));
    EXPECT_EQ(Color::Count, palette_size);
    for (const auto& [color, name] : named) {
        ASSERT_GE(color, 0);
        ASSERT_LT(color, palette_size);
        EXPECT_STREQ(color_name[color], name) << "Color constant " << color;
    }
}

TEST(PublicHeader, VersionMacrosAgree) {
    std::string parts = std::to_string(TAVLO_VERSION_MAJOR) + "." +
                        std::to_string(TAVLO_VERSION_MINOR) + "." +
                        std::to_string(TAVLO_VERSION_PATCH);
    EXPECT_EQ(parts, TAVLO_VERSION_STRING);
    EXPECT_EQ(TAVLO_VERSION,
              TAVLO_VERSION_MAJOR * 10000 + TAVLO_VERSION_MINOR * 100 + TAVLO_VERSION_PATCH);
}
