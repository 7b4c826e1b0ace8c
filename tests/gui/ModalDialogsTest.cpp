// tests/gui/ModalDialogsTest.cpp: the about box and the wrong-size question as
// app-modal windows: OK, Cancel, Esc, the close box and quit.
#include "shell/ModalDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/qt/Controls.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/ScriptedInteraction.h"

namespace {

// Once the modal window is up, runs action on it (and records what it saw).
struct ModalProbe {
    bool sawWindow = false;
    bool cancelShown = false;
    bool cancelEnabled = false;
};

void WhenShown(ModalProbe& probe, std::function<void(QWidget*)> action)
{
    QTimer::singleShot(0, [&probe, action] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_NE(window, nullptr);
        probe.sawWindow = true;
        ControlHandle cancel = GetControlByID(window, kControlSignature, 2);
        probe.cancelShown = cancel.IsShown();
        probe.cancelEnabled = cancel.IsEnabled();
        action(window);
    });
}

void Click(QWidget* window, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(GetControlByID(window, kControlSignature, id).Widget());
    ASSERT_NE(button, nullptr);
    button->click();
}

} // namespace

TEST(DoModalDialog, OkIsTrueCancelIsFalse)
{
    GuiTestApp();
    ModalProbe probe;
    WhenShown(probe, [](QWidget* w) { Click(w, 1000); });
    EXPECT_TRUE(DoModalDialog("ImageDimError", false, true));
    EXPECT_TRUE(probe.sawWindow);
    EXPECT_TRUE(probe.cancelShown);
    EXPECT_TRUE(probe.cancelEnabled);

    WhenShown(probe, [](QWidget* w) { Click(w, 2); });
    EXPECT_FALSE(DoModalDialog("ImageDimError", false, true));
}

TEST(DoModalDialog, CloseBoxAndEscapeAreCancel)
{
    GuiTestApp();
    ModalProbe probe;
    WhenShown(probe, [](QWidget* w) { w->close(); });
    EXPECT_FALSE(DoModalDialog("ImageDimError", false, true));

    WhenShown(probe, [](QWidget* w) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(w->focusWidget() ? w->focusWidget() : w, &press);
    });
    EXPECT_FALSE(DoModalDialog("ImageDimError", false, true));
}

TEST(DoModalDialog, WithoutCancelControl2IsHiddenAndDisabled)
{
    GuiTestApp();
    ModalProbe probe;
    WhenShown(probe, [](QWidget* w) { Click(w, 1000); });
    EXPECT_TRUE(DoModalDialog("ImageDimError", false, false));
    EXPECT_FALSE(probe.cancelShown);
    EXPECT_FALSE(probe.cancelEnabled);
}

TEST(DoModalDialog, UnknownWindowIsFalse)
{
    GuiTestApp();
    EXPECT_FALSE(DoModalDialog("NoSuchWindow", true, true));
}

TEST(DoModalDialog, QuitEndsItWithoutCommitting)
{
    GuiTestApp();
    ModalProbe probe;
    WhenShown(probe, [](QWidget*) { QCoreApplication::exit(0); });
    EXPECT_FALSE(DoModalDialog("ImageDimError", false, true));
    EXPECT_TRUE(probe.sawWindow);
    // Let the next loops run again: the application's own loop clears the exit.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST(DoAboutBox, NoBeepAndOnlyOk)
{
    GuiTestApp();
    ScriptedInteraction ui;
    ModalProbe probe;
    WhenShown(probe, [](QWidget* w) { Click(w, 1000); });
    DoAboutBox();
    EXPECT_TRUE(probe.sawWindow);
    EXPECT_EQ(ui.BeepCount(), 0);
}

TEST(DoWrongImageDimDialog, BeepsOnceAndAnswersAcceptOrReject)
{
    GuiTestApp();
    ScriptedInteraction ui;
    ModalProbe probe;
    WhenShown(probe, [](QWidget* w) { Click(w, 1000); });
    EXPECT_TRUE(DoWrongImageDimDialog());
    EXPECT_EQ(ui.BeepCount(), 1);
    EXPECT_TRUE(probe.cancelShown);

    // The window manager's close answers "reject", so a waiting import goes on.
    WhenShown(probe, [](QWidget* w) { w->close(); });
    EXPECT_FALSE(DoWrongImageDimDialog());
    EXPECT_EQ(ui.BeepCount(), 2);
}
