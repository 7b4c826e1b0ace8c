// platform/qt/MouseTracking.cpp: the nested loop of a mouse drag.
#include "platform/qt/MouseTracking.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace {

class DragFilter final : public QObject {
public:
    DragFilter(QWidget* widget, const std::function<void(QPoint)>& onMove, QEventLoop& loop)
        : mWidget(widget), mOnMove(onMove), mLoop(loop)
    {
    }
    QPoint last;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(event);
            // The loop goes on delivering what is queued after it is told to
            // end: those moves are not the drag's.
            if (mEnded)
                return true;
            if (!mWidget) {
                End();
                return true;
            }
            last = mWidget->mapFromGlobal(m->globalPosition().toPoint());
            mOnMove(last);
            if (m->buttons() == Qt::NoButton)
                End();
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(event);
            if (mEnded)
                return true;
            if (mWidget)
                last = mWidget->mapFromGlobal(m->globalPosition().toPoint());
            End();
            return true;
        }
        case QEvent::ApplicationStateChange:
            if (QGuiApplication::applicationState() != Qt::ApplicationActive)
                End();
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ShortcutOverride:
            return true;
        default:
            return false;
        }
    }

private:
    void End()
    {
        mEnded = true;
        mLoop.quit();
    }

    bool mEnded = false;
    QPointer<QWidget> mWidget;
    const std::function<void(QPoint)>& mOnMove;
    QEventLoop& mLoop;
};

int sTrackingDepth = 0;
std::function<void()> sTrackingEnded;

} // namespace

bool IsTrackingMouse()
{
    return sTrackingDepth > 0;
}

void SetMouseTrackingEndedCallback(std::function<void()> callback)
{
    sTrackingEnded = std::move(callback);
}

QPoint TrackMouseUntilRelease(QWidget* widget, const std::function<void(QPoint position)>& onMove)
{
    QEventLoop loop;
    DragFilter filter(widget, onMove, loop);
    filter.last = widget->mapFromGlobal(QCursor::pos());
    qApp->installEventFilter(&filter);
    ++sTrackingDepth;
    loop.exec();
    --sTrackingDepth;
    qApp->removeEventFilter(&filter);
    if (sTrackingDepth == 0 && sTrackingEnded)
        sTrackingEnded();
    return filter.last;
}
