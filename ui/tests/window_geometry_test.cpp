// Centring arithmetic and the ready-event name of the window framework.
#include "ui/window_geometry.h"

#include <gtest/gtest.h>

namespace TVSP {
namespace {

struct CentreRow {
    ScreenRect work;
    int w, h;
    ScreenRect expected;
};

TEST(WindowGeometry, CentresWithIntegerDivision) {
    const CentreRow rows[] = {
        {{0, 0, 1920, 1040}, 600, 400, {660, 320, 1260, 720}},
        // Odd remainders round towards zero (one pixel nearer the top left).
        {{0, 0, 1921, 1041}, 600, 400, {660, 320, 1260, 720}},
        {{0, 0, 1919, 1039}, 600, 400, {659, 319, 1259, 719}},
        // A work area that does not start at the origin (task bar on the left or top).
        {{100, 40, 1380, 1024}, 800, 560, {340, 252, 1140, 812}},
        // Larger than the work area: negative offsets, still centred.
        {{0, 0, 800, 600}, 1000, 700, {-100, -50, 900, 650}},
        {{0, 0, 800, 600}, 801, 601, {0, 0, 801, 601}},
        // A secondary monitor left of the primary one.
        {{-1280, 0, 0, 1024}, 600, 400, {-940, 312, -340, 712}},
    };
    for (const auto& row : rows) {
        const ScreenRect r = CentreOnWorkArea(row.work, row.w, row.h);
        EXPECT_EQ(r.left, row.expected.left) << row.work.left << "," << row.work.right << " w=" << row.w;
        EXPECT_EQ(r.top, row.expected.top) << row.work.top << "," << row.work.bottom << " h=" << row.h;
        EXPECT_EQ(r.right, row.expected.right);
        EXPECT_EQ(r.bottom, row.expected.bottom);
    }
}

TEST(WindowGeometry, NoSizeMeansWidthOrHeightBelowOne) {
    EXPECT_TRUE(HasNoSize({0, 0, 0, 0}));
    EXPECT_TRUE(HasNoSize({10, 10, 10, 500}));   // width 0
    EXPECT_TRUE(HasNoSize({10, 10, 500, 10}));   // height 0
    EXPECT_TRUE(HasNoSize({10, 10, 9, 500}));    // negative width
    EXPECT_FALSE(HasNoSize({10, 10, 11, 11}));   // 1 x 1
    EXPECT_TRUE(HasNoSize({-2147483647 - 1, 0, 2147483647, 0}));
    EXPECT_FALSE(HasNoSize({-2147483647 - 1, 0, 2147483647, 1}));  // huge, no overflow
}

TEST(WindowGeometry, ReadyEventNameFollowsTheGuidFields) {
    const uint8_t d4[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(ReadyEventName(0x12345678u, 0x9ABC, 0xDEF0, d4), L"UI_FEATURE_123456789ABCDEF00123456789ABCDEF");
    const uint8_t zero[8] = {};
    // Leading zeros are kept, every field at its full width.
    EXPECT_EQ(ReadyEventName(0x1u, 0x2, 0x3, zero), L"UI_FEATURE_00000001000200030000000000000000");
    const uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(ReadyEventName(0xFFFFFFFFu, 0xFFFF, 0xFFFF, ff), L"UI_FEATURE_FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
}

}  // namespace
}  // namespace TVSP
