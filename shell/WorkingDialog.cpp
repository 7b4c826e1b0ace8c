// shell/WorkingDialog.cpp: the progress window and its run status.
#include "shell/WorkingDialog.h"

#include <algorithm>
#include <string>

#include <QKeyEvent>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>

#include "shell/ShellSettings.h"
#include "platform/qt/BusyScope.h"
#include "platform/qt/Controls.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/ModalLoop.h"

WorkingDialog* gWorkingDialog = nullptr;

namespace {

constexpr int kBarSteps = 200;
constexpr int kBarControl = 2, kThreadCountControl = 3, kLabelControl = 4;

std::atomic<int> sLastRunStatus{kWorkingFinished};

} // namespace

// Routes the window's input to the dialog: Cancel, arrow keys, close box.
class WorkingDialog::Impl final : public QObject {
public:
    Impl(WorkingDialog& owner, QWidget* window) : mWindow(window), mOwner(owner) {}
    QPointer<QWidget> mWindow; // owned; deleted later by the destructor

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            return mOwner.HandleArrowKey(key->key(), key->modifiers() & Qt::ShiftModifier);
        }
        if (event->type() == QEvent::Close) {
            // No close box: a window-manager close is Cancel where there is one.
            event->ignore();
            if (mOwner.mWithButton)
                mOwner.HandleDialogItemHit(kControlOK);
            return true;
        }
        return false;
    }

private:
    WorkingDialog& mOwner;
};

WorkingDialog::WorkingDialog(int total, bool withButton, bool arrowKeysEnd)
    : mTotal(std::max(1, total)), mWithButton(withButton), mArrowKeysEnd(arrowKeysEnd),
      mRunStatus(std::make_shared<WorkingRunStatus>(kWorkingRunning))
{
    mSavedModes = CurrentAlignmentModes();
    sLastRunStatus = kWorkingRunning;

    QWidget* window = CreateWindowFromInterface(withButton ? "WorkingWithButton" : "WorkingWithoutButton");
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    mImpl = std::make_unique<Impl>(*this, window);
    window->installEventFilter(mImpl.get());
    for (QWidget* child : window->findChildren<QWidget*>())
        child->installEventFilter(mImpl.get());
    ConnectControlHits(window, [this](int id) { HandleDialogItemHit(id); });

    GetControlByID(window, kControlSignature, kThreadCountControl).SetText(std::to_string(gNumThreads));
    GetControlByID(window, kControlSignature, kLabelControl).SetText(gNumThreads == 1 ? "thread..." : "threads...");
    DrawWorkingDialogProgressBar();
    BusyScope::AllowInput(window);
    window->show();
    window->raise();
    window->activateWindow();
}

WorkingDialog::~WorkingDialog()
{
    if (!mEnded) {
        *mRunStatus = kWorkingFinished;
        sLastRunStatus = kWorkingFinished;
    }
    if (QWidget* window = mImpl->mWindow) {
        BusyScope::DisallowInput(window);
        window->removeEventFilter(mImpl.get());
        window->hide();
        window->deleteLater(); // a click inside it may still be on the stack
    }
    RestoreModes();
    if (gWorkingDialog == this)
        gWorkingDialog = nullptr;
}

int WorkingDialog::GetLastDialogRunStatus()
{
    return sLastRunStatus;
}

void WorkingDialog::Reset()
{
    sLastRunStatus = kWorkingFinished;
}

int WorkingDialog::BarValue() const
{
    // Integer division as the bar always showed; callers may step past the total.
    return std::clamp(int(int64_t(mCurrent) * kBarSteps / mTotal), 0, kBarSteps);
}

void WorkingDialog::DrawWorkingDialogProgressBar()
{
    const int value = BarValue();
    if (value == mShownBar || !mImpl->mWindow)
        return;
    mShownBar = value;
    ControlHandle bar = GetControlByID(mImpl->mWindow, kControlSignature, kBarControl);
    bar.SetValue(value);
    if (bar.Widget() && bar.Widget()->isVisible())
        bar.Widget()->repaint();
}

void WorkingDialog::DrawWorkingDialogProgressBar(int value)
{
    mCurrent = value;
    DrawWorkingDialogProgressBar();
}

void WorkingDialog::IncrementValueAndDrawWorkingDialogProgressBar()
{
    ++mCurrent;
    DrawWorkingDialogProgressBar();
}

void WorkingDialog::NoteModeKeyReleased(char key)
{
    if (gWorkingDialog)
        ReleaseModeKey(gWorkingDialog->mSavedModes, key);
}

void WorkingDialog::RestoreModes()
{
    // Modes whose key went up while the window was there end now; keys still
    // held keep theirs.
    if (mModesRestored)
        return;
    mModesRestored = true;
    SetAlignmentModes(mSavedModes);
}

QWidget* WorkingDialog::Window() const
{
    return mImpl->mWindow;
}

void WorkingDialog::End(int status)
{
    mEnded = true;
    *mRunStatus = status;
    sLastRunStatus = status;
    if (gWorkingDialog == this)
        gWorkingDialog = nullptr;
    if (mImpl->mWindow)
        mImpl->mWindow->hide();
    RestoreModes();
    // The window's input is being handled inside it: delete once it returns.
    QMetaObject::invokeMethod(
        mImpl.get(), [this] { delete this; }, Qt::QueuedConnection);
}

bool WorkingDialog::HandleDialogItemHit(int id)
{
    if (id != kControlOK || !mWithButton || mEnded)
        return false;
    End(kWorkingCancelled);
    return true;
}

bool WorkingDialog::HandleArrowKey(int qtKey, bool shift)
{
    int offset;
    switch (qtKey) {
    case Qt::Key_Left:
        offset = 0;
        break;
    case Qt::Key_Right:
        offset = 1;
        break;
    case Qt::Key_Up:
        offset = 2;
        break;
    case Qt::Key_Down:
        offset = 3;
        break;
    default:
        return false;
    }
    if (!mArrowKeysEnd || mEnded)
        return true; // swallowed
    End(kWorkingArrowLeft + offset + (shift ? 4 : 0));
    return true;
}
