// tests/unit/AlertsTest.cpp: the 4091-pixel width rule and its alerts.
#include "shell/Alerts.h"

#include <gtest/gtest.h>

#include "shell/ImageDim.h"
#include "tests/support/ScriptedInteraction.h"

TEST(VerifyImageWidth, EdgeAt4091PassesSilently)
{
    ScriptedInteraction ui;
    const Rect r = MakeRect(0, 0, 10, 4091);
    EXPECT_TRUE(VerifyImageWidth(&r, true));
    EXPECT_TRUE(VerifyImageWidth(&r, false));
    EXPECT_EQ(ui.AlertCount(), 0);
    EXPECT_EQ(ui.BeepCount(), 0);
}

TEST(VerifyImageWidth, WarningReturnsTheAnswer)
{
    ScriptedInteraction ui;
    const Rect r = MakeRect(0, 0, 10, 4092);
    ui.Answer(true);
    EXPECT_TRUE(VerifyImageWidth(&r, true));
    ui.Answer(false);
    EXPECT_FALSE(VerifyImageWidth(&r, true));
    ASSERT_EQ(ui.AlertCount(), 2);
    const AlertRequest a = ui.Alerts()[0].request;
    EXPECT_EQ(a.kind, 0);
    EXPECT_EQ(a.title, "Maximum Image Size Warning");
    EXPECT_EQ(a.defaultText, "Continue");
    EXPECT_EQ(a.cancelText, "Cancel");
    EXPECT_TRUE(a.hasCancel);
    EXPECT_EQ(a.message,
              "Apple's QuickDraw PixMap structure cannot accommodate images greater than 4091 pixels wide.  Most "
              "operations, including stacking, will not work without cropping or resampling the images to that "
              "width first.  Please see the README and documentation for more information.  Sorry.");
    EXPECT_EQ(ui.BeepCount(), 2);
}

TEST(VerifyImageWidth, ErrorIsOneButtonAndFalse)
{
    ScriptedInteraction ui;
    const Rect r = MakeRect(0, 0, 10, 5000);
    ui.Answer(true);
    EXPECT_FALSE(VerifyImageWidth(&r, false));
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].request.title, "Maximum Image Size Error");
    EXPECT_FALSE(ui.Alerts()[0].request.hasCancel);
    EXPECT_EQ(ui.BeepCount(), 1);
}

TEST(VerifyImageWidth, NullRectUsesDocumentSize)
{
    ScriptedInteraction ui;
    gImageDim = MakeRect(0, 0, 100, 4092);
    EXPECT_FALSE(VerifyImageWidth(nullptr, false));
    gImageDim = MakeRect(0, 0, 100, 4000);
    EXPECT_TRUE(VerifyImageWidth(nullptr, false));
    gImageDim = Rect{};
    EXPECT_EQ(ui.AlertCount(), 1);
}

TEST(PermitClipUpdates, TrueWithNoDialogOpen)
{
    EXPECT_TRUE(permitClipUpdates());
}
