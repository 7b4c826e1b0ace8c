// platform/qt/ShellWindow.h: a main window of the program: a menu bar over
// one content widget, whose size and screen position are what the program
// works with. Close requests, moves and activation go to the owner's hooks.
#pragma once

#include <functional>

#include <QMainWindow>
#include <QSize>
#include <QTimer>

class ShellWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ShellWindow(QWidget* parent = nullptr);

    // The content's size as last requested (it reads back exactly even while
    // the window is hidden); the content's actual size before any request.
    QSize ContentSize() const;
    // Sizes the window so that its content is width x height (at least 1 x 1).
    void SetContentSize(int width, int height);

    // The content's top-left corner in global screen coordinates, and moving
    // the window so that it lies at point. Best effort where the windowing
    // system places windows itself.
    QPoint ContentTopLeft() const;
    void MoveContentTo(QPoint point);

    // A close request (close box, window manager): the event is always
    // refused here; the hook decides what happens.
    std::function<void()> onCloseRequest;
    // Called once a move has rested for kMoveSettleMs without a further move.
    // The moves of the first kMoveSettleMs after a show are the windowing
    // system placing the window, not the user: they are not reported.
    std::function<void()> onMoveSettled;
    // Called when the window becomes the active window.
    std::function<void()> onActivated;
    // Called after each user resize of the window (ContentSize then reads the
    // new size); an interactive drag sends many. SetContentSize is not a user
    // resize and is not reported, neither when it is made nor when the
    // windowing system reports it back.
    std::function<void()> onResized;
    // Called once user resizes have rested for kResizeSettleMs without a
    // further one. Corrections that resize the window belong here: during a
    // drag the window manager owns the size and would undo them (or fight
    // them, size against size, until the drag ends).
    std::function<void()> onResizeSettled;
    // Called instead of maximizing when the window is asked to maximize.
    std::function<void()> onZoomRequest;

    static constexpr int kMoveSettleMs = 500;
    static constexpr int kResizeSettleMs = 150;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    QPoint ContentOffset() const;

    QSize mRequestedContent;
    QTimer mMoveTimer;
    QTimer mResizeTimer;
    bool mSettlingAfterShow = false;
    bool mZoomPending = false;
};
