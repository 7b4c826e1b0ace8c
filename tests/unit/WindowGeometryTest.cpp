// tests/unit/WindowGeometryTest.cpp: fitting image windows to the screen and
// the operation bounds rectangle's mappings, checked against hand computation.
#include "shell/WindowGeometry.h"

#include <gtest/gtest.h>

#include "shell/OperationBoundsRect.h"

namespace {

const Rect kArea = MakeRect(0, 0, 878, 1440); // 1440 x 878, so 856 high below the title bar

} // namespace

TEST(ScaleImageRectToArea, LargeImageShrinksToTheAreaKeepingItsAspect)
{
    // f = max(3000 / 1440, 2000 / 856) = 2000 / 856: 3000 / f = 1284, 2000 / f = 856.
    Rect r = MakeRect(0, 0, 2000, 3000);
    ASSERT_TRUE(ScaleImageRectToArea(r, kArea));
    EXPECT_EQ(r, MakeRect(22, 0, 22 + 856, 1284));
}

TEST(ScaleImageRectToArea, SmallImageGrows)
{
    // 320 x 240: f = 240 / 856; 320 * 856 / 240 = 1141.33 -> 1141.
    Rect r = MakeRect(0, 0, 240, 320);
    ASSERT_TRUE(ScaleImageRectToArea(r, kArea));
    EXPECT_EQ(r, MakeRect(22, 0, 22 + 856, 1141));
}

TEST(ScaleImageRectToArea, ExactFitKeepsItsSizeAndMovesBelowTheTitleBar)
{
    Rect r = MakeRect(5, 7, 5 + 856, 7 + 1440);
    ASSERT_TRUE(ScaleImageRectToArea(r, MakeRect(100, 200, 978, 1640)));
    EXPECT_EQ(r, MakeRect(122, 200, 122 + 856, 200 + 1440));
}

TEST(ScaleImageRectToArea, EmptyRectOrTinyAreaChangesNothing)
{
    Rect empty = MakeRect(0, 0, 0, 100);
    EXPECT_FALSE(ScaleImageRectToArea(empty, kArea));
    EXPECT_EQ(empty, MakeRect(0, 0, 0, 100));
    Rect r = MakeRect(0, 0, 10, 10);
    EXPECT_FALSE(ScaleImageRectToArea(r, MakeRect(0, 0, 22, 500))); // no height left below the title bar
    EXPECT_FALSE(ScaleImageRectToArea(r, MakeRect(0, 0, 10, 0)));
    EXPECT_EQ(r, MakeRect(0, 0, 10, 10));
}

TEST(FitImageRectToArea, FittingRectsStayOthersTakeTheMaxPath)
{
    Rect fits = MakeRect(0, 0, 855, 1439);
    ASSERT_TRUE(FitImageRectToArea(fits, kArea));
    EXPECT_EQ(fits, MakeRect(0, 0, 855, 1439));
    // 1440 wide is not less than the area's width: scaled (f = 1) and placed.
    Rect wide = MakeRect(0, 0, 500, 1440);
    ASSERT_TRUE(FitImageRectToArea(wide, kArea));
    EXPECT_EQ(wide, MakeRect(22, 0, 522, 1440));
    Rect tall = MakeRect(0, 0, 856, 100);
    ASSERT_TRUE(FitImageRectToArea(tall, kArea));
    EXPECT_EQ(tall, MakeRect(22, 0, 878, 100));
}

TEST(DragToImageRect, MapsWindowEdgesToImageEdges)
{
    // 640 x 480 image in a 320 x 240 window: every coordinate doubles.
    EXPECT_EQ(DragToImageRect({10, 20}, {60, 70}, 320, 240, 640, 480), MakeRect(40, 20, 140, 120));
    EXPECT_EQ(DragToImageRect({60, 70}, {10, 20}, 320, 240, 640, 480), MakeRect(40, 20, 140, 120));
    EXPECT_EQ(DragToImageRect({60, 20}, {10, 70}, 320, 240, 640, 480), MakeRect(40, 20, 140, 120));
    // Past the bottom-right: clipped to the window, which maps to one past the last pixel.
    EXPECT_EQ(DragToImageRect({300, 200}, {900, 900}, 320, 240, 640, 480), MakeRect(400, 600, 480, 640));
    EXPECT_EQ(DragToImageRect({-50, -50}, {1, 1}, 320, 240, 640, 480), MakeRect(0, 0, 2, 2));
}

TEST(DragToImageRect, LessThanOnePixelIsNone)
{
    const Rect none = kNoBoundsRect;
    EXPECT_EQ(DragToImageRect({10, 20}, {10, 70}, 320, 240, 640, 480), none); // purely vertical
    EXPECT_EQ(DragToImageRect({10, 20}, {60, 20}, 320, 240, 640, 480), none); // purely horizontal
    // A 100 x 100 image in a 400 x 400 window: 3 window pixels are 0.75 image pixels.
    EXPECT_EQ(DragToImageRect({0, 0}, {3, 3}, 400, 400, 100, 100), none);
    EXPECT_EQ(DragToImageRect({0, 0}, {4, 4}, 400, 400, 100, 100), MakeRect(0, 0, 1, 1));
    // No window or no image: nothing to divide by.
    EXPECT_EQ(DragToImageRect({0, 0}, {4, 4}, 0, 400, 100, 100), none);
    EXPECT_EQ(DragToImageRect({0, 0}, {4, 4}, 400, 400, 0, 0), none);
}

TEST(SquareAtWindowPoint, CentredSquareInclusiveEdges)
{
    // 64-pixel square at image point (100, 100), window = image size.
    EXPECT_EQ(SquareAtWindowPoint({100, 100}, 640, 480, 640, 480, 64), MakeRect(68, 68, 131, 131));
    // Window half the image: window (50, 50) is image (100, 100).
    EXPECT_EQ(SquareAtWindowPoint({50, 50}, 320, 240, 640, 480, 64), MakeRect(68, 68, 131, 131));
}

TEST(SquareAtWindowPoint, KeptOnlyWhollyInside)
{
    const int w = 640, h = 480;
    EXPECT_EQ(SquareAtWindowPoint({32, 32}, w, h, w, h, 64).left, 0);
    EXPECT_EQ(SquareAtWindowPoint({31, 100}, w, h, w, h, 64), kNoBoundsRect);
    EXPECT_EQ(SquareAtWindowPoint({100, 31}, w, h, w, h, 64), kNoBoundsRect);
    EXPECT_EQ(SquareAtWindowPoint({w - 32, 100}, w, h, w, h, 64).right, w - 1);
    EXPECT_EQ(SquareAtWindowPoint({w - 31, 100}, w, h, w, h, 64), kNoBoundsRect);
    EXPECT_EQ(SquareAtWindowPoint({100, h - 32}, w, h, w, h, 64).bottom, h - 1);
    EXPECT_EQ(SquareAtWindowPoint({100, h - 31}, w, h, w, h, 64), kNoBoundsRect);
    // A square larger than the image never fits.
    EXPECT_EQ(SquareAtWindowPoint({16, 16}, 32, 32, 32, 32, 64), kNoBoundsRect);
    EXPECT_EQ(SquareAtWindowPoint({16, 16}, 0, 32, 32, 32, 32), kNoBoundsRect);
}

TEST(OperationBoundsRect, StartsAsNoneAndDestroyResetsIt)
{
    EXPECT_FALSE(OperationBoundsRectExists());
    EXPECT_EQ(gPow2BoundsDim, 128);
    gOperationBoundsRect = MakeRect(1, 2, 3, 4);
    EXPECT_TRUE(OperationBoundsRectExists());
    DestroyOperationBoundsRect();
    EXPECT_FALSE(OperationBoundsRectExists());
    EXPECT_EQ(gOperationBoundsRect, kNoBoundsRect);
}
