// tests/gui/InterfaceFileTest.cpp: every window of "main" opens by name, and
// the controls the program addresses are found by (signature, ID).
#include "platform/qt/InterfaceFile.h"

#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/ShellWindow.h"
#include "tests/gui/GuiTestApp.h"

namespace {

std::unique_ptr<QWidget> Open(const char* name)
{
    GuiTestApp();
    return std::unique_ptr<QWidget>(CreateWindowFromInterface(name));
}

} // namespace

TEST(InterfaceFile, EveryWindowOpensByName)
{
    GuiTestApp();
    const char* const names[] = {"ClipsWindow",
                                 "FrameInspector",
                                 "FrameStack",
                                 "DarkFrame",
                                 "FlatFrame",
                                 "Commands",
                                 "Hints",
                                 "AboutBox",
                                 "ImageDimError",
                                 "WorkingWithButton",
                                 "WorkingWithoutButton",
                                 "PixelValues"};
    for (const char* name : names) {
        std::unique_ptr<QWidget> window = Open(name);
        ASSERT_NE(window, nullptr) << name;
        EXPECT_EQ(window->objectName().toStdString(), name);
        EXPECT_FALSE(window->isVisible()) << name << " must start hidden";
    }
    EXPECT_EQ(Open("NoSuchWindow"), nullptr);
}

TEST(InterfaceFile, ImageWindowsHaveACanvasAsContent)
{
    for (const char* name : {"ClipsWindow", "FrameInspector", "FrameStack", "DarkFrame", "FlatFrame", "PixelValues"}) {
        std::unique_ptr<QWidget> window = Open(name);
        auto* shell = qobject_cast<ShellWindow*>(window.get());
        ASSERT_NE(shell, nullptr) << name;
        EXPECT_NE(qobject_cast<Canvas*>(shell->centralWidget()), nullptr) << name;
    }
    for (const char* name : {"Commands", "Hints"}) {
        std::unique_ptr<QWidget> window = Open(name);
        auto* shell = qobject_cast<ShellWindow*>(window.get());
        ASSERT_NE(shell, nullptr) << name;
        ASSERT_NE(shell->centralWidget(), nullptr);
        EXPECT_FALSE(shell->centralWidget()->findChildren<QLabel*>().isEmpty()) << name;
    }
}

TEST(InterfaceFile, ProgressWindowsCarryTheirControls)
{
    for (const char* name : {"WorkingWithButton", "WorkingWithoutButton"}) {
        std::unique_ptr<QWidget> window = Open(name);
        ControlHandle bar = GetControlByID(window.get(), kControlSignature, 2);
        ASSERT_TRUE(bar) << name;
        EXPECT_NE(qobject_cast<QProgressBar*>(bar.Widget()), nullptr);
        EXPECT_EQ(bar.Minimum(), 0);
        EXPECT_EQ(bar.Maximum(), 200);
        EXPECT_NE(qobject_cast<QLabel*>(GetControlByID(window.get(), kControlSignature, 3).Widget()), nullptr);
        EXPECT_NE(qobject_cast<QLabel*>(GetControlByID(window.get(), kControlSignature, 4).Widget()), nullptr);
    }
    std::unique_ptr<QWidget> with = Open("WorkingWithButton");
    EXPECT_NE(qobject_cast<QPushButton*>(GetControlByID(with.get(), kControlSignature, 1000).Widget()), nullptr);
    std::unique_ptr<QWidget> without = Open("WorkingWithoutButton");
    EXPECT_FALSE(GetControlByID(without.get(), kControlSignature, 1000));
}

TEST(InterfaceFile, ModalWindowsCarryOkAndCancel)
{
    std::unique_ptr<QWidget> about = Open("AboutBox");
    EXPECT_NE(qobject_cast<QPushButton*>(GetControlByID(about.get(), kControlSignature, 1000).Widget()), nullptr);
    std::unique_ptr<QWidget> dim = Open("ImageDimError");
    EXPECT_NE(qobject_cast<QPushButton*>(GetControlByID(dim.get(), kControlSignature, 1000).Widget()), nullptr);
    EXPECT_NE(qobject_cast<QPushButton*>(GetControlByID(dim.get(), kControlSignature, 2).Widget()), nullptr);
    // The signature is part of the address.
    EXPECT_FALSE(GetControlByID(dim.get(), "abcd", 1000));
}

TEST(ControlHandle, ReadsAndSetsEachKindOfControl)
{
    GuiTestApp();
    QWidget window;
    auto tag = [](QWidget* w, int id) {
        w->setProperty("signature", QString(kControlSignature));
        w->setProperty("controlID", id);
    };
    auto* slider = new QSlider(&window);
    tag(slider, 5);
    auto* box = new QCheckBox(&window);
    tag(box, 6);
    auto* popup = new QComboBox(&window);
    popup->addItems({"a", "b", "c"});
    tag(popup, 7);
    auto* label = new QLabel(&window);
    tag(label, 8);

    ControlHandle s = GetControlByID(&window, kControlSignature, 5);
    s.SetMinimum(-3);
    s.SetMaximum(40);
    s.SetValue(12);
    EXPECT_EQ(s.Minimum(), -3);
    EXPECT_EQ(s.Maximum(), 40);
    EXPECT_EQ(s.Value(), 12);
    s.SetValue(99); // clamped by the slider itself
    EXPECT_EQ(s.Value(), 40);

    ControlHandle b = GetControlByID(&window, kControlSignature, 6);
    b.SetValue(1);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(b.Value(), 1);

    ControlHandle p = GetControlByID(&window, kControlSignature, 7);
    EXPECT_EQ(p.Minimum(), 1);
    EXPECT_EQ(p.Maximum(), 3);
    p.SetValue(3); // pop-up items count from 1
    EXPECT_EQ(popup->currentText(), "c");

    ControlHandle l = GetControlByID(&window, kControlSignature, 8);
    l.SetText("8 threads");
    EXPECT_EQ(l.Text(), "8 threads");
    l.SetEnabled(false);
    l.SetShown(false);
    EXPECT_FALSE(l.IsEnabled());
    EXPECT_FALSE(l.IsShown());

    ControlHandle none = GetControlByID(&window, kControlSignature, 1234);
    EXPECT_FALSE(none);
    none.SetValue(3); // ignored, no crash
    EXPECT_EQ(none.Value(), 0);
    EXPECT_EQ(none.Text(), "");
    EXPECT_EQ(GetControlID(label), 8);
    EXPECT_EQ(GetControlID(&window), -1);
}
