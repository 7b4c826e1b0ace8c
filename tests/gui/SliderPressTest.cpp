// tests/gui/SliderPressTest.cpp: the sliders of every filter dialog driven by
// real Qt mouse events through the dialog's own event filter and drag loop,
// with the pointer elsewhere than the press, as when a press is handled
// after the mouse has moved on: the press's own position decides what it
// grabbed, the moves after it drag the thumb.
#include <functional>

#include <QCursor>
#include <QTest>
#include <QTimer>

#include "shell/DialogPointers.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/MouseTracking.h"
#include "tests/gui/StackToolFixture.h"
#include "tools/FTEditorInterface.h"
#include "tools/GaussianBlurInterface.h"
#include "tools/HistogramLevelsInterface.h"
#include "tools/LaplacianPyramidInterface.h"
#include "tools/StarBeautificationInterface.h"
#include "tools/UnsharpMaskInterface.h"
#include "tools/WaveletThresholdInterface.h"

namespace {

QPoint Centre(const Rect& r)
{
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

class SliderPressTest : public StackToolFixture {
protected:
    void SetUp() override
    {
        StackToolFixture::SetUp();
        InstallLaplacianPyramidDialog();
        InstallWaveletThresholdDialog();
        InstallHistogramLevelsDialog();
        SetPointerScriptForTesting(std::nullopt); // the real pointer
    }
    void TearDown() override
    {
        for (DialogInterface* d : {static_cast<DialogInterface*>(gFTEditorInterface),
                                   static_cast<DialogInterface*>(gStarBeautificationInterface),
                                   static_cast<DialogInterface*>(gLaplacianPyramidInterface),
                                   static_cast<DialogInterface*>(gWaveletThresholdInterface),
                                   static_cast<DialogInterface*>(gHistogramLevelsInterface)})
            if (d)
                d->End(true);
        StackToolFixture::TearDown();
    }

    // A press at press on the dialog's canvas while the pointer is at
    // pointer, then a move to `to`, the release there and the pointer's next
    // move on, all as mouse events that arrive while the press is handled.
    static void RealDrag(DialogInterface& dialog, QPoint press, QPoint pointer, QPoint to)
    {
        QWidget* canvas = dialog.canvas();
        ASSERT_NE(canvas, nullptr);
        QCursor::setPos(canvas->mapToGlobal(pointer));
        QApplication::processEvents();
        bool sent = false;
        auto moveAndRelease = [&] {
            if (sent)
                return;
            sent = true;
            QTest::mouseMove(canvas, to);
            QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
            const QPoint after = to + QPoint(30, 0);
            QMouseEvent hover(QEvent::MouseMove, after, canvas->mapToGlobal(after), Qt::NoButton, Qt::NoButton, {});
            QApplication::sendEvent(canvas, &hover);
        };
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, moveAndRelease);
        timer.start(0);
        QTest::mousePress(canvas, Qt::LeftButton, {}, press);
        moveAndRelease(); // a press that started no drag
    }

    // A quick drag from the thumb's centre 40 pixels right (the pointer 15
    // pixels on at the press) leaves the thumb at the release.
    static void ExpectQuickDragMoves(DialogInterface& dialog, const std::function<Rect()>& thumb,
                                     const std::function<double()>& value)
    {
        const double before = value();
        const QPoint press = Centre(thumb());
        RealDrag(dialog, press, press + QPoint(15, 0), press + QPoint(40, 0));
        EXPECT_NE(value(), before);
        EXPECT_NEAR(Centre(thumb()).x(), press.x() + 40, 3);
    }
};

TEST_F(SliderPressTest, GaussianBlurJudgesThePressWhereItHappened)
{
    Run("OpGB");
    GaussianBlurInterface& dialog = *gGaussianBlurInterface;
    const GaussianBlurSlider& slider = dialog.slider();
    // The pointer on the thumb, the press beside it: nothing moves.
    const double before = slider.GetValue();
    const QPoint thumb = Centre(slider.ThumbRect());
    RealDrag(dialog, thumb + QPoint(60, 0), thumb, thumb + QPoint(90, 0));
    EXPECT_EQ(slider.GetValue(), before);
    ExpectQuickDragMoves(dialog, [&] { return slider.ThumbRect(); }, [&] { return slider.GetValue(); });
    EXPECT_EQ(gLastGaussianBlurRadius, 0.1); // nothing kept before OK
}

TEST_F(SliderPressTest, UnsharpMaskBothSliders)
{
    Run("OpUM");
    UnsharpMaskInterface& dialog = *gUnsharpMaskInterface;
    ExpectQuickDragMoves(dialog, [&] { return dialog.radiusSlider().ThumbRect(); },
                         [&] { return dialog.radiusSlider().GetValue(); });
    ExpectQuickDragMoves(dialog, [&] { return dialog.intensitySlider().ThumbRect(); },
                         [&] { return dialog.intensitySlider().GetValue(); });
}

TEST_F(SliderPressTest, LaplacianPyramidWaveletsAndLevels)
{
    Run("OpLS");
    ASSERT_NE(gLaplacianPyramidInterface, nullptr);
    LaplacianPyramidInterface& pyramid = *gLaplacianPyramidInterface;
    ExpectQuickDragMoves(pyramid, [&] { return pyramid.slider(2).ThumbRect(); },
                         [&] { return pyramid.slider(2).GetValue(); });
    Hit(pyramid, kDialogCancel);
    Flush();

    Run("OpWS");
    ASSERT_NE(gWaveletThresholdInterface, nullptr);
    WaveletThresholdInterface& wavelets = *gWaveletThresholdInterface;
    ExpectQuickDragMoves(wavelets, [&] { return wavelets.slider(0).ThumbRect(); },
                         [&] { return wavelets.slider(0).GetValue(); });
    Hit(wavelets, kDialogCancel);
    Flush();

    Run("OpLv");
    ASSERT_NE(gHistogramLevelsInterface, nullptr);
    HistogramLevelsInterface& levels = *gHistogramLevelsInterface;
    ExpectQuickDragMoves(levels, [&] { return levels.slider(0).BlackThumb(); }, [&] { return levels.slider(0).Black(); });
}

TEST_F(SliderPressTest, FourierEditorAndStars)
{
    gFTEditorInterface = new FTEditorInterface();
    FTEditorInterface& editor = *gFTEditorInterface;
    ExpectQuickDragMoves(editor, [&] { return editor.brushSlider().ThumbRect(); },
                         [&] { return editor.brushSlider().GetValue(); });
    editor.End(true);
    Flush();

    gStarBeautificationInterface = new StarBeautificationInterface();
    StarBeautificationInterface& stars = *gStarBeautificationInterface;
    ExpectQuickDragMoves(stars, [&] { return stars.linearSlider(kStarTruncateRadiusSlider).ThumbRect(); },
                         [&] { return stars.linearSlider(kStarTruncateRadiusSlider).GetValue(); });
    ExpectQuickDragMoves(stars, [&] { return stars.blurSlider().ThumbRect(); },
                         [&] { return stars.blurSlider().GetValue(); });
}

} // namespace
