// tests/gui/QtUserInteractionTest.cpp: alerts as message boxes under the
// offscreen platform, answered by clicking their buttons.
#include "platform/qt/QtUserInteraction.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/core/MainThread.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

namespace {

// Presses the button with the given text in the active message box once it is up.
void PressWhenShown(const QString& text, bool escape = false)
{
    QTimer::singleShot(0, [text, escape] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (escape) {
            box->reject();
            return;
        }
        for (QAbstractButton* b : box->buttons())
            if (b->text() == text) {
                b->click();
                return;
            }
        ADD_FAILURE() << "no button " << text.toStdString();
        box->reject();
    });
}

class QtUserInteractionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        sApp = new QApplication(argc, argv);
        InstallQtUserInteraction();
    }
    static QApplication* sApp;
};
QApplication* QtUserInteractionTest::sApp = nullptr;

}  // namespace

TEST_F(QtUserInteractionTest, DefaultButtonAcceptsCancelAndEscapeDecline)
{
    PressWhenShown("Continue");
    EXPECT_TRUE(DoStandardAlert(kAlertCaution, "T", "M", "Continue", "Stop"));
    PressWhenShown("Stop");
    EXPECT_FALSE(DoStandardAlert(kAlertCaution, "T", "M", "Continue", "Stop"));
    PressWhenShown("", true);
    EXPECT_FALSE(DoStandardAlert(kAlertCaution, "T", "M"));
    PressWhenShown("OK");
    EXPECT_TRUE(DoStandardAlert(kAlertStop, "T", "M"));
    PressWhenShown("Cancel");
    EXPECT_FALSE(DoStandardAlert(kAlertStop, "T", "M"));
}

TEST_F(QtUserInteractionTest, WorkerAlertArrivesThroughTheEventQueue)
{
    std::thread worker([] { DoNotEnougMemoryForOperationDialog(); });
    worker.join();
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->windowTitle() == "Out of Memory Error";
        box->accept();
    });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown);
}
