// tests/gui/WorkingDialogTest.cpp: the progress window's bar, labels, keys,
// run statuses, ownership and the alignment modes it restores.
#include "shell/WorkingDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QWindow>

#include <gtest/gtest.h>

#include "shell/ShellSettings.h"
#include "platform/qt/Controls.h"
#include "tests/gui/GuiTestApp.h"

namespace {

class WorkingDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        gNumThreads = 4;
        SetAlignmentModes(AlignmentModes{});
        WorkingDialog::Reset();
    }
    void TearDown() override
    {
        delete gWorkingDialog;
        gWorkingDialog = nullptr;
        QCoreApplication::processEvents(); // deferred deletions
    }

    static WorkingDialog* Open(int total, bool withButton = true, bool arrowKeysEnd = false)
    {
        gWorkingDialog = new WorkingDialog(total, withButton, arrowKeysEnd);
        return gWorkingDialog;
    }
    static int Bar(WorkingDialog* d) { return GetControlByID(d->Window(), kControlSignature, 2).Value(); }
    static bool Key(WorkingDialog* d, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(d->Window(), &press);
        return press.isAccepted();
    }
};

} // namespace

TEST_F(WorkingDialogTest, BarIsStepsTimes200OverTotalClamped)
{
    // Hand values: current * 200 / total in integer division, 0..200.
    const struct {
        int total, steps, bar;
    } cases[] = {{0, 1, 200}, {-3, 1, 200}, {10, 5, 100}, {3, 1, 66}, {3, 3, 200}, {3, 5, 200}, {7, 0, 0}};
    for (const auto& c : cases) {
        WorkingDialog* d = Open(c.total);
        for (int i = 0; i < c.steps; ++i)
            d->IncrementValueAndDrawWorkingDialogProgressBar();
        EXPECT_EQ(Bar(d), c.bar) << c.total << " " << c.steps;
        EXPECT_EQ(d->BarValue(), c.bar);
        delete d;
    }
    WorkingDialog* d = Open(10);
    d->DrawWorkingDialogProgressBar(-4);
    EXPECT_EQ(Bar(d), 0);
    d->DrawWorkingDialogProgressBar(7);
    EXPECT_EQ(Bar(d), 140);
}

TEST_F(WorkingDialogTest, RepaintsOnlyWhenTheBarChanges)
{
    WorkingDialog* d = Open(100000);
    QWidget* bar = GetControlByID(d->Window(), kControlSignature, 2).Widget();
    for (int i = 0; i < 10 && !d->Window()->windowHandle()->isExposed(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(d->Window()->windowHandle()->isExposed());
    int changes = 0;
    QObject::connect(qobject_cast<QProgressBar*>(bar), &QProgressBar::valueChanged, [&] { ++changes; });
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    bar->installEventFilter(&counter);
    for (int i = 0; i < 100000; ++i)
        d->IncrementValueAndDrawWorkingDialogProgressBar();
    bar->removeEventFilter(&counter);
    EXPECT_GT(counter.paints, 0);
    EXPECT_LE(counter.paints, 201);
    EXPECT_EQ(changes, 200); // one per distinct bar value after 0
    EXPECT_EQ(Bar(d), 200);
}

TEST_F(WorkingDialogTest, ThreadCountAndLabel)
{
    gNumThreads = 1;
    WorkingDialog* d = Open(5);
    EXPECT_EQ(GetControlByID(d->Window(), kControlSignature, 3).Text(), "1");
    EXPECT_EQ(GetControlByID(d->Window(), kControlSignature, 4).Text(), "thread...");
    delete d;
    gNumThreads = 8;
    d = Open(5, false);
    EXPECT_EQ(GetControlByID(d->Window(), kControlSignature, 3).Text(), "8");
    EXPECT_EQ(GetControlByID(d->Window(), kControlSignature, 4).Text(), "threads...");
    EXPECT_FALSE(GetControlByID(d->Window(), kControlSignature, 1000));
}

TEST_F(WorkingDialogTest, StatusLifetime)
{
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingFinished);
    WorkingDialog* d = Open(3);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingRunning);
    delete d;
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingFinished);

    d = Open(3);
    QWidget* window = d->Window();
    qobject_cast<QAbstractButton*>(GetControlByID(window, kControlSignature, 1000).Widget())->click();
    // Cancel hides the window and clears the pointer at once; deletion follows.
    EXPECT_EQ(gWorkingDialog, nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingCancelled);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingCancelled);
    Open(3);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingRunning);
    delete gWorkingDialog;
    WorkingDialog::Reset();
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingFinished);
}

TEST_F(WorkingDialogTest, ArrowKeysAreSwallowedUnlessTheyEndTheWindow)
{
    WorkingDialog* d = Open(3, true, false);
    for (int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
        EXPECT_TRUE(Key(d, key));
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingRunning);
    EXPECT_EQ(gWorkingDialog, d);
    EXPECT_FALSE(d->HandleArrowKey(Qt::Key_A, false)); // letters pass on
    delete d;
    gWorkingDialog = nullptr;

    const struct {
        int key;
        bool shift;
        int status;
    } endings[] = {{Qt::Key_Left, false, 3}, {Qt::Key_Right, false, 4}, {Qt::Key_Up, false, 5},
                   {Qt::Key_Down, false, 6}, {Qt::Key_Left, true, 7},   {Qt::Key_Right, true, 8},
                   {Qt::Key_Up, true, 9},    {Qt::Key_Down, true, 10}};
    for (const auto& e : endings) {
        WorkingDialog* w = Open(3, false, true);
        std::shared_ptr<const WorkingRunStatus> own = w->SharedRunStatus();
        EXPECT_TRUE(Key(w, e.key, e.shift ? Qt::ShiftModifier : Qt::NoModifier));
        EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), e.status);
        EXPECT_EQ(own->load(), e.status);
        EXPECT_EQ(gWorkingDialog, nullptr);
        QCoreApplication::sendPostedEvents();
    }
}

TEST_F(WorkingDialogTest, WindowManagerCloseIsCancelOnlyWithAButton)
{
    WorkingDialog* d = Open(3, false);
    QCloseEvent close;
    QApplication::sendEvent(d->Window(), &close);
    EXPECT_EQ(gWorkingDialog, d);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingRunning);
    delete d;

    d = Open(3, true);
    QCloseEvent close2;
    QApplication::sendEvent(d->Window(), &close2);
    EXPECT_EQ(gWorkingDialog, nullptr);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingCancelled);
}

TEST_F(WorkingDialogTest, ModeKeysReleasedDuringTheWindowEndTheirModeWhenItGoes)
{
    // "2" held before the job and released while the window is up.
    gAutoAlignmentSearchSize = 1;
    gAlignByCrossCorrelation = false;
    WorkingDialog* d = Open(3);
    gAutoAlignmentSearchSize = -1; // the key tracker's live release
    WorkingDialog::NoteModeKeyReleased('2');
    delete d;
    EXPECT_EQ(gAutoAlignmentSearchSize, -1);

    // Held throughout: the mode stays.
    gAutoRotationalAlignmentSearchSize = 2;
    d = Open(3);
    delete d;
    EXPECT_EQ(gAutoRotationalAlignmentSearchSize, 2);

    // Released while another window was in front or after deactivation: the
    // tracker reports every release, so the result is the same.
    gAlignByCentroid = true;
    d = Open(3, true);
    WorkingDialog::NoteModeKeyReleased('4');
    qobject_cast<QAbstractButton*>(GetControlByID(d->Window(), kControlSignature, 1000).Widget())->click();
    EXPECT_FALSE(gAlignByCentroid);
    EXPECT_EQ(gAutoRotationalAlignmentSearchSize, 2);
}

TEST_F(WorkingDialogTest, NonOwnerUsesTheWindowButCancelStopsTheOwnersWork)
{
    // The owner (a job) makes the window and keeps its own status.
    WorkingDialog* owner = Open(10);
    std::shared_ptr<const WorkingRunStatus> jobStatus = owner->SharedRunStatus();
    // A second operation finds the window open and steps it, without owning it.
    for (int i = 0; i < 3; ++i)
        if (gWorkingDialog)
            gWorkingDialog->IncrementValueAndDrawWorkingDialogProgressBar();
    EXPECT_EQ(jobStatus->load(), kWorkingRunning);
    EXPECT_EQ(gWorkingDialog, owner);
    // Cancel in the shared window stops both: the job's status and the last status.
    qobject_cast<QAbstractButton*>(GetControlByID(owner->Window(), kControlSignature, 1000).Widget())->click();
    EXPECT_EQ(jobStatus->load(), kWorkingCancelled);
    EXPECT_EQ(WorkingDialog::GetLastDialogRunStatus(), kWorkingCancelled);
    EXPECT_EQ(gWorkingDialog, nullptr); // the non-owner's next check finds none
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(jobStatus->load(), kWorkingCancelled); // the status outlives the window
}
