#include <gtest/gtest.h>

#include "app/settings/WindowPlacement.h"

namespace lumatrace {
namespace {

TEST(ParamFilePlacement, DefaultWindowIsCentredInTheWorkArea) {
    struct Case {
        const char* label;
        int frameWidth, frameHeight;
        WorkArea area;
        DerivedWindowSizes expected;
    };
    const Case cases[] = {
        {"full HD", 16, 39, {0, 0, 1920, 1040}, {886, 560, 517, 240}},
        {"offset work area", 16, 39, {100, 50, 1920, 1040}, {886, 560, 617, 290}},
        {"no frame", 0, 0, {0, 0, 870, 521}, {870, 521, 0, 0}},
        // Halves are truncated toward zero, also when the window is larger
        // than the area: (801 - 886) / 2 is -42, not -43.
        {"larger than the area", 16, 39, {0, 0, 801, 500}, {886, 560, -42, -30}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeDerivedWindowSizes(c.frameWidth, c.frameHeight, c.area), c.expected)
            << c.label;
    }
}

TEST(ParamFilePlacement, WorkAreaSizeWrapsLikeTheStoredInteger) {
    EXPECT_EQ(WorkAreaSize({0, 0, 1920, 1040}), 1996800);
    EXPECT_EQ(WorkAreaSize({0, 0, 65536, 65537}), 65536);  // 2^32 + 2^16 wraps to 2^16
    EXPECT_EQ(WorkAreaSize({0, 0, 50000, 50000}), static_cast<std::int32_t>(2500000000u));
}

TEST(ParamFilePlacement, StoredPlacementIsUsedOnlyOnTheSameScreen) {
    const WorkArea screen{0, 0, 1920, 1040};
    const DerivedWindowSizes sizes = ComputeDerivedWindowSizes(16, 39, screen);
    const WindowRect def = sizes.DefaultRect();
    const std::int32_t same = WorkAreaSize(screen);
    using S = ParamWindowState;
    struct Case {
        const char* label;
        std::int32_t storedArea;
        S state;
        WindowRect stored;
        WindowPlacementDecision expected;
    };
    const Case cases[] = {
        {"maximised on the same screen",
         same,
         S::Maximised,
         {5, 5, 1000, 700},
         {def, S::Maximised}},
        {"minimised on the same screen",
         same,
         S::Minimised,
         {5, 5, 1000, 700},
         {def, S::Minimised}},
        {"normal, large enough",
         same,
         S::Normal,
         {5, 6, 1000, 700},
         {{5, 6, 1000, 700}, S::Normal}},
        {"normal, exactly the default size",
         same,
         S::Normal,
         {5, 6, 886, 560},
         {{5, 6, 886, 560}, S::Normal}},
        {"normal, narrower", same, S::Normal, {5, 6, 885, 900}, {{5, 6, 886, 560}, S::Normal}},
        {"normal, lower", same, S::Normal, {5, 6, 1200, 559}, {{5, 6, 886, 560}, S::Normal}},
        {"screen resolution changed",
         same + 1,
         S::Maximised,
         {5, 6, 1000, 700},
         {def, std::nullopt}},
        {"other screen, normal", 1280 * 800, S::Normal, {5, 6, 1000, 700}, {def, std::nullopt}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideWindowPlacement(c.storedArea, c.state, c.stored, screen, sizes), c.expected)
            << c.label;
    }
}

}  // namespace
}  // namespace lumatrace
