// platform/qt/ModalLoop.cpp: the modal loop that ends on OK, Cancel, Esc or close.
#include "platform/qt/ModalLoop.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include "platform/qt/Controls.h"

namespace {

// Ends the loop as Cancel on a close request or Esc anywhere in the window.
class CancelFilter final : public QObject {
public:
    CancelFilter(QEventLoop& loop, int& result) : mLoop(loop), mResult(result) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const bool escape =
            event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        if (event->type() == QEvent::Close || escape) {
            event->ignore();
            mResult = kControlCancel;
            mLoop.quit();
            return true;
        }
        return false;
    }

private:
    QEventLoop& mLoop;
    int& mResult;
};

} // namespace

int RunAppModalWindow(QWidget* window)
{
    QPointer<QWidget> guard(window);
    QEventLoop loop;
    int result = kControlCancel;
    QObject context; // owns the connections made for this run only
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const int id = GetControlID(button);
        if (id != kControlOK && id != kControlCancel)
            continue;
        QObject::connect(button, &QAbstractButton::clicked, &context, [&loop, &result, id] {
            result = id;
            loop.quit();
        });
    }
    CancelFilter filter(loop, result);
    window->installEventFilter(&filter);
    // Esc in a dialog rejects it before any filter of ours sees the key.
    if (auto* dialog = qobject_cast<QDialog*>(window))
        QObject::connect(dialog, &QDialog::rejected, &context, [&loop, &result] {
            result = kControlCancel;
            loop.quit();
        });

    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    // A quit of the program (QCoreApplication::exit) ends every nested loop;
    // the window then ends as Cancel and nothing is committed.
    loop.exec(QEventLoop::DialogExec);
    if (guard) {
        guard->removeEventFilter(&filter);
        guard->hide();
    }
    return result;
}
