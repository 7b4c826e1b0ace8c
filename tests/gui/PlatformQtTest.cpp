// tests/gui/PlatformQtTest.cpp: the canvas, the mouse-drag loop, the busy pump,
// the shared menus in several menu bars and file dialogs (scripted and real).
#include "platform/qt/Canvas.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/core/GWorldWrapper.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/BusyScope.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/MouseTracking.h"
#include "platform/qt/QtUserInteraction.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

QRgb At(Canvas& c, int x, int y)
{
    return c.Image().pixel(x, y) & 0xFFFFFF;
}

void SetArgb(GWorldWrapper& image, int x, int y, uint8_t r, uint8_t g, uint8_t b)
{
    uint8_t* p = image.PixelRow(y) + 4 * x;
    p[0] = 0xFF;
    p[1] = r;
    p[2] = g;
    p[3] = b;
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(Canvas, CopiesImagesWithTheirColoursAndStretch)
{
    GuiTestApp();
    Canvas canvas;
    canvas.resize(8, 6);
    ASSERT_EQ(canvas.Image().size(), QSize(8, 6));
    GWorldWrapper image(32, MakeRect(0, 0, 2, 3), -1); // 3 x 2
    SetArgb(image, 0, 0, 255, 0, 0);
    SetArgb(image, 1, 0, 0, 255, 0);
    SetArgb(image, 2, 0, 0, 0, 255);
    SetArgb(image, 0, 1, 10, 20, 30);
    SetArgb(image, 1, 1, 40, 50, 60);
    SetArgb(image, 2, 1, 70, 80, 90);
    // Twice the size: every 2 x 2 block shows its source pixel.
    canvas.CopyBitsFrom(image, image.GetDim(), MakeRect(0, 0, 4, 6));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const uint8_t* p = image.PixelRow(y / 2) + 4 * (x / 2);
            EXPECT_EQ(At(canvas, x, y), qRgb(p[1], p[2], p[3]) & 0xFFFFFF) << x << "," << y;
        }
    // At its own size, anywhere on the canvas: pixel for pixel, opaque, and
    // nothing drawn around it.
    canvas.FillRect(MakeRect(0, 0, 6, 8), RGBColor{0, 0, 0});
    canvas.CopyBitsFrom(image, image.GetDim(), MakeRect(3, 4, 5, 7));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 4 && x < 7 && y >= 3 && y < 5;
            const uint8_t* p = inside ? image.PixelRow(y - 3) + 4 * (x - 4) : nullptr;
            EXPECT_EQ(canvas.Image().pixel(x, y), inside ? qRgb(p[1], p[2], p[3]) : qRgb(0, 0, 0)) << x << "," << y;
        }
    // A destination past the canvas is clipped, nothing breaks.
    canvas.CopyBitsFrom(image, image.GetDim(), MakeRect(4, 6, 40, 60));
    EXPECT_EQ(At(canvas, 7, 5), qRgb(255, 0, 0) & 0xFFFFFF);
    // An empty source rectangle draws nothing.
    canvas.FillRect(MakeRect(0, 0, 6, 8), RGBColor{0, 0, 0});
    canvas.CopyBitsFrom(image, MakeRect(0, 0, 0, 3), MakeRect(0, 0, 6, 8));
    EXPECT_EQ(At(canvas, 0, 0), 0u);
}

TEST(Canvas, FillFrameAndLine)
{
    GuiTestApp();
    Canvas canvas;
    canvas.resize(10, 10);
    canvas.FillRect(MakeRect(0, 0, 10, 10), RGBColor{0, 0, 0});
    canvas.FrameRect(MakeRect(2, 2, 6, 7), RGBColor{0xFFFF, 0, 0}); // 5 wide, 4 high
    const QRgb red = qRgb(255, 0, 0) & 0xFFFFFF;
    EXPECT_EQ(At(canvas, 2, 2), red);
    EXPECT_EQ(At(canvas, 6, 5), red); // inclusive outline inside the rect
    EXPECT_EQ(At(canvas, 7, 5), 0u);
    EXPECT_EQ(At(canvas, 4, 4), 0u); // not filled
    canvas.DrawLine(MakePoint(9, 0), MakePoint(9, 9), RGBColor{0, 0xFFFF, 0});
    EXPECT_EQ(At(canvas, 0, 9), qRgb(0, 255, 0) & 0xFFFFFF);
    EXPECT_EQ(At(canvas, 9, 9), qRgb(0, 255, 0) & 0xFFFFFF);
    EXPECT_EQ(canvas.PortBounds(), MakeRect(0, 0, 10, 10));
}

TEST(Canvas, MouseArrivesInCanvasCoordinates)
{
    GuiTestApp();
    Canvas canvas;
    canvas.resize(50, 40);
    QPoint pressed, released;
    Qt::KeyboardModifiers mods;
    canvas.SetPressHandler([&](QPoint p, Qt::KeyboardModifiers m) {
        pressed = p;
        mods = m;
    });
    canvas.SetReleaseHandler([&](QPoint p, Qt::KeyboardModifiers) { released = p; });
    SendMouse(&canvas, QEvent::MouseButtonPress, {12, 7}, Qt::LeftButton, Qt::MetaModifier);
    SendMouse(&canvas, QEvent::MouseButtonRelease, {30, 20}, Qt::NoButton);
    EXPECT_EQ(pressed, QPoint(12, 7));
    EXPECT_EQ(mods, Qt::MetaModifier);
    EXPECT_EQ(released, QPoint(30, 20));
}

TEST(TrackMouseUntilRelease, FollowsMovesOutsideTheWidgetAndConsumesTheRelease)
{
    GuiTestApp();
    QWidget window;
    window.resize(100, 100);
    window.show();
    std::vector<QPoint> seen;
    int releasesSeenByWidget = 0;
    struct ReleaseCounter : QObject {
        int& count;
        explicit ReleaseCounter(int& c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            count += e->type() == QEvent::MouseButtonRelease;
            return false;
        }
    } counter(releasesSeenByWidget);
    QTimer::singleShot(0, [&] {
        SendMouse(&window, QEvent::MouseMove, {10, 10}, Qt::LeftButton);
        SendMouse(&window, QEvent::MouseMove, {150, -20}, Qt::LeftButton); // outside
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
        QApplication::sendEvent(&window, &key); // dropped
        window.installEventFilter(&counter);
        SendMouse(&window, QEvent::MouseButtonRelease, {151, -21}, Qt::NoButton);
        window.removeEventFilter(&counter);
    });
    int ended = 0;
    bool trackingDuringMoves = false;
    SetMouseTrackingEndedCallback([&] { ++ended; });
    EXPECT_FALSE(IsTrackingMouse());
    const QPoint last = TrackMouseUntilRelease(&window, [&](QPoint p) {
        seen.push_back(p);
        trackingDuringMoves = IsTrackingMouse();
    });
    SetMouseTrackingEndedCallback(nullptr);
    EXPECT_TRUE(trackingDuringMoves);
    EXPECT_FALSE(IsTrackingMouse());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(seen, (std::vector<QPoint>{{10, 10}, {150, -20}}));
    EXPECT_EQ(last, QPoint(151, -21));
    EXPECT_EQ(releasesSeenByWidget, 0);

    // A move with no button down ends the drag too.
    seen.clear();
    QTimer::singleShot(0, [&] { SendMouse(&window, QEvent::MouseMove, {5, 6}, Qt::NoButton); });
    TrackMouseUntilRelease(&window, [&](QPoint p) { seen.push_back(p); });
    EXPECT_EQ(seen, std::vector<QPoint>{QPoint(5, 6)});
}

TEST(BusyScope, DropsInputExceptToAllowedWindowsAndPumpsOtherEvents)
{
    GuiTestApp();
    QLineEdit other, allowed;
    other.show();
    allowed.show();
    BusyScope::AllowInput(&allowed);
    bool posted = false;
    {
        BusyScope busy;
        QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(&other, &a);
        QKeyEvent b(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b");
        QApplication::sendEvent(&allowed, &b);
        QTimer::singleShot(0, [&] { posted = true; });
        BusyScope::Pump();
    }
    EXPECT_TRUE(posted);
    EXPECT_EQ(other.text(), "");
    EXPECT_EQ(allowed.text(), "b");
    BusyScope::DisallowInput(&allowed);
    // Without a scope, input flows again.
    QKeyEvent c(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c");
    QApplication::sendEvent(&other, &c);
    EXPECT_EQ(other.text(), "c");
}

TEST(MenuModel, OneSetOfMenusInEveryMenuBar)
{
    GuiTestApp();
    MenuModel model;
    model.AddMenu(1, "First", true);
    model.AddItem(1, "A", FourCC("aaaa"));
    model.AddSeparator(1);
    model.AddItem(1, "B", FourCC("bbbb"), {}, true);
    QMainWindow w1, w2;
    model.InstallMenuBar(&w1);
    model.InstallMenuBar(&w2);
    ASSERT_EQ(w1.menuBar()->actions().size(), 1);
    EXPECT_EQ(w1.menuBar()->actions()[0], w2.menuBar()->actions()[0]);
    model.SetMenuEnabled(1, false);
    EXPECT_FALSE(w2.menuBar()->actions()[0]->isEnabled());
    EXPECT_TRUE(model.IsItemEnabled(1, 1)); // the items keep their own flags
    EXPECT_EQ(model.ItemCount(1), 3);
    EXPECT_EQ(model.ItemCommand(1, 3), FourCC("bbbb"));
    EXPECT_EQ(FourCCText(FourCC("ViSr")), "ViSr");

    std::vector<std::tuple<uint32_t, int, int>> chosen;
    model.SetHandler([&](uint32_t c, int m, int i) { chosen.emplace_back(c, m, i); });
    model.Item(1, 3)->trigger(); // as a click: the command, not Qt, sets the mark
    EXPECT_FALSE(model.IsItemChecked(1, 3));
    model.Trigger(1, 1);
    EXPECT_FALSE(model.Trigger(1, 9));
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0], std::make_tuple(FourCC("bbbb"), 1, 3));
    EXPECT_EQ(chosen[1], std::make_tuple(FourCC("aaaa"), 1, 1));
}

TEST(FileDialogs, ScriptedAnswersAndRecordedRequests)
{
    ScriptedInteraction ui;
    ui.AnswerFileDialog({"/tmp/a.png", "/tmp/b.png"});
    ui.AnswerFileDialog({});
    ui.AnswerFileDialog({"/tmp/out.fits"});
    EXPECT_EQ(ChooseFilesToOpen("Open", {"Pictures (*.png)"}), (std::vector<std::string>{"/tmp/a.png", "/tmp/b.png"}));
    EXPECT_EQ(ChooseFileToOpen("Dark", {}), ""); // cancelled
    EXPECT_EQ(ChooseFileToSave("Save", "stack.fits"), "/tmp/out.fits");
    EXPECT_EQ(ChooseFolder("Folder"), ""); // script ran out: cancelled
    const std::vector<FileDialogRequest> asked = ui.FileDialogs();
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].mode, FileDialogRequest::Mode::kOpenFiles);
    EXPECT_EQ(asked[0].nameFilters, std::vector<std::string>{"Pictures (*.png)"});
    EXPECT_EQ(asked[2].mode, FileDialogRequest::Mode::kSaveFile);
    EXPECT_EQ(asked[2].defaultName, "stack.fits");
    EXPECT_EQ(asked[3].mode, FileDialogRequest::Mode::kChooseFolder);
}

TEST(FileDialogs, QtDialogReturnsTheChosenPathOrNothing)
{
    GuiTestApp();
    InstallQtUserInteraction();
    QTemporaryDir dir;
    const QString target = dir.filePath("stack.fits");
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(target);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(ChooseFileToSave("Save Stack", "stack.fits"), target.toStdString());
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->reject();
    });
    EXPECT_TRUE(ChooseFilesToOpen("Open", {"Pictures (*.png *.jpg)"}).empty());
    SetUserInteraction(nullptr);
}
