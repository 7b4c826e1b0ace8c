// platform/qt/ShellWindow.cpp: content geometry and window-level hooks.
#include "platform/qt/ShellWindow.h"

#include <algorithm>

#include <QResizeEvent>
#include <QShowEvent>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>

ShellWindow::ShellWindow(QWidget* parent) : QMainWindow(parent)
{
    mMoveTimer.setSingleShot(true);
    mMoveTimer.setInterval(kMoveSettleMs);
    connect(&mMoveTimer, &QTimer::timeout, this, [this] {
        if (mSettlingAfterShow) {
            mSettlingAfterShow = false;
            return;
        }
        if (onMoveSettled)
            onMoveSettled();
    });
    mResizeTimer.setSingleShot(true);
    mResizeTimer.setInterval(kResizeSettleMs);
    connect(&mResizeTimer, &QTimer::timeout, this, [this] {
        if (onResizeSettled)
            onResizeSettled();
    });
}

QSize ShellWindow::ContentSize() const
{
    if (mRequestedContent.isValid())
        return mRequestedContent;
    return centralWidget() ? centralWidget()->size() : size();
}

QPoint ShellWindow::ContentOffset() const
{
    // The menu bar sits above the content. Lay the window out first, so the
    // offset is the same before and after the window is first shown.
    if (!centralWidget())
        return QPoint();
    if (QLayout* l = layout())
        l->activate();
    return centralWidget()->pos();
}

void ShellWindow::SetContentSize(int width, int height)
{
    mRequestedContent = QSize(std::max(1, width), std::max(1, height));
    const QPoint offset = ContentOffset();
    if (centralWidget())
        centralWidget()->setMinimumSize(1, 1);
    resize(mRequestedContent.width(), mRequestedContent.height() + offset.y());
}

QPoint ShellWindow::ContentTopLeft() const
{
    return geometry().topLeft() + ContentOffset();
}

void ShellWindow::MoveContentTo(QPoint point)
{
    QRect g = geometry();
    g.moveTopLeft(point - ContentOffset());
    setGeometry(g);
}

void ShellWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    mSettlingAfterShow = true;
    mMoveTimer.start();
}

void ShellWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (onCloseRequest)
        onCloseRequest();
}

void ShellWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        mMoveTimer.start();
}

void ShellWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (centralWidget() && isVisible() && event->spontaneous()) {
        const QSize content(std::max(1, event->size().width()),
                            std::max(1, event->size().height() - ContentOffset().y()));
        // Our own SetContentSize coming back from the windowing system (it
        // applies geometry later) is no user resize: reported, it would look
        // like the user choosing the corrected size.
        if (content == mRequestedContent)
            return;
        // The user's size is now the content size the program works with.
        mRequestedContent = content;
        if (onResized)
            onResized();
        mResizeTimer.start();
    }
}

bool ShellWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && onActivated)
        onActivated();
    if (event->type() == QEvent::WindowStateChange && onZoomRequest && (windowState() & Qt::WindowMaximized)) {
        // No zoom box here: a maximize request is taken back and zooms instead.
        setWindowState(windowState() & ~Qt::WindowMaximized);
        if (!mZoomPending) { // the windowing system may report one request twice
            mZoomPending = true;
            QTimer::singleShot(0, this, [this] {
                mZoomPending = false;
                if (onZoomRequest)
                    onZoomRequest();
            });
        }
        return true;
    }
    return QMainWindow::event(event);
}
