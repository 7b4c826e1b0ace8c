// shell/DialogInterface.cpp: building, routing and ending a dialog.
#include "shell/DialogInterface.h"

#include <algorithm>
#include <cstring>
#include <locale>
#include <new>
#include <sstream>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "shell/ShellHooks.h"
#include "platform/core/StandardAlerts.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/Modifiers.h"

namespace {

// Turns the window's Qt events into the dialog's events. Installed on the
// application, so that arrow keys reach the dialog before focus navigation
// takes them, whichever control has the focus.
class DialogEventFilter final : public QObject {
public:
    explicit DialogEventFilter(DialogInterface& dialog) : mDialog(dialog) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        QWidget* window = mDialog.window();
        auto* widget = qobject_cast<QWidget*>(object);
        if (!window || !widget || widget->window() != window)
            return false;
        switch (event->type()) {
        case QEvent::Close:
            if (widget != window)
                return false;
            event->ignore();
            Hit(kDialogCancel);
            return true;
        case QEvent::Show:
            if (widget == window)
                Send(DialogEvent{DialogEvent::drawContent});
            return false;
        case QEvent::WindowActivate:
            if (widget == window)
                Send(DialogEvent{DialogEvent::activated});
            return false;
        case QEvent::KeyPress:
            return Key(static_cast<QKeyEvent*>(event));
        case QEvent::MouseButtonPress: {
            // Qt offers an event to the application's filters by their place
            // in a list, and a filter installed and taken off while this one
            // handles the press (a drag's, a busy computation's) moves this
            // one a place on: the same press then comes by again, and would
            // start a second drag after its release. A press of the window
            // system (they all carry a time) is handled once. (A key the
            // dialog takes goes no further; one it leaves does nothing.)
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->timestamp() != 0 && event == mLastPress && mouse->timestamp() == mLastPressTime)
                return false;
            Press(widget, mouse);
            mLastPress = event;
            mLastPressTime = mouse->timestamp();
            return false;
        }
        default:
            return false;
        }
    }

private:
    int Send(const DialogEvent& event) { return mDialog.Dispatch(event); }
    // Presses on the background (the window or its drawing surface), not on
    // a control.
    void Press(QWidget* widget, const QMouseEvent* mouse)
    {
        QWidget* window = mDialog.window();
        if (widget != window && widget != mDialog.canvas())
            return;
        DialogEvent e{DialogEvent::mouseDown};
        e.where = widget->mapTo(window, mouse->position().toPoint());
        e.modifiers = ProgramModifiers(mouse->modifiers());
        Send(e);
    }
    void Hit(int id)
    {
        DialogEvent e{DialogEvent::controlHit};
        e.controlID = id;
        Send(e);
    }

    // A key the dialog does not take travels on to the parents of its
    // receiver and may come by again; handlers act only on keys they take.
    bool Key(QKeyEvent* key)
    {
        if (key->key() == Qt::Key_Escape) {
            Hit(kDialogCancel);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            auto* ok = qobject_cast<QPushButton*>(mDialog.control(kDialogOK).Widget());
            if (ok && ok->isDefault() && ok->isEnabled()) {
                Hit(kDialogOK);
                return true;
            }
        }
        DialogEvent e{DialogEvent::keyDown};
        e.key = key->key();
        e.modifiers = ProgramModifiers(key->modifiers());
        return Send(e) == kEventHandled;
    }

    DialogInterface& mDialog;
    const QEvent* mLastPress = nullptr;
    quint64 mLastPressTime = 0;
};

std::string FirstCharacters(const ControlHandle& control)
{
    auto* edit = qobject_cast<QLineEdit*>(control.Widget());
    const QString text = edit ? edit->text() : QString::fromStdString(control.Text());
    return text.left(255).toUtf8().toStdString();
}

} // namespace

int ParseLeadingInt(const std::string& text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    int value = 0;
    in >> value; // leaves 0 when no number begins the text; saturates on overflow
    return value;
}

double ParseLeadingFloat(const std::string& text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = 0.0;
    in >> value;
    return value;
}

void DialogInterface::WindowDeleter::operator()(QWidget* window) const
{
    // A top-level window: no Qt parent owns it; the dialog does.
    delete window;
}

DialogInterface::DialogInterface(const std::string& windowName) : DialogInterface(windowName, true)
{
}

DialogInterface::DialogInterface(const std::string& windowName, bool countsAsOpenDialog)
{
    mIgnoreEvents = true;
    QWidget* window = CreateWindowFromInterface(windowName);
    if (!window)
        throw std::bad_alloc();
    mWindow.reset(window);
    mFilter = std::make_unique<DialogEventFilter>(*this);
    ConnectControlHits(window, [this](int id) {
        DialogEvent e{DialogEvent::controlHit};
        e.controlID = id;
        Dispatch(e);
    });
    for (QComboBox* selector : window->findChildren<QComboBox*>()) {
        const int id = GetControlID(selector);
        if (id >= 0)
            QObject::connect(selector, &QComboBox::activated, window, [this, id] {
                DialogEvent e{DialogEvent::controlHit};
                e.controlID = id;
                Dispatch(e);
            });
    }
    qApp->installEventFilter(mFilter.get());
    if (countsAsOpenDialog) {
        NoteDialogOpened();
        mRegistered = true;
        UpdateMenuState();
    }
    window->show();
    mIgnoreEvents = false;
}

DialogInterface::~DialogInterface()
{
    mIgnoreEvents = true;
    mFilter.reset(); // stops the routing before the window goes
    Unregister();
}

void DialogInterface::Unregister()
{
    if (!mRegistered)
        return;
    mRegistered = false;
    NoteDialogClosed();
    UpdateMenuState();
}

int DialogInterface::Dispatch(const DialogEvent& event)
{
    if (mIgnoreEvents || mClosing)
        return kEventHandled;
    bool done = false;
    int result = kEventHandled;
    try {
        result = HandleEvent(event, done);
    } catch (const std::bad_alloc&) {
        // Nothing may cross the event loop: the dialog says so and ends as
        // Cancel, which puts back what it changed.
        DoNotEnougMemoryForOperationDialog();
        mCancelled = true;
        done = true;
    }
    if (done)
        Close();
    return result;
}

int DialogInterface::HandleEvent(const DialogEvent& event, bool& done)
{
    switch (event.kind) {
    case DialogEvent::drawContent:
    case DialogEvent::activated:
        RedrawDialog();
        return kEventHandled;
    case DialogEvent::controlHit:
        return HandleDialogItemHit(event.controlID, done) ? kEventHandled : kEventNotHandledErr;
    default:
        return kEventNotHandledErr;
    }
}

bool DialogInterface::HandleDialogItemHit(int id, bool& done)
{
    if (id == kDialogOK || id == kDialogCancel) {
        mCancelled = id == kDialogCancel;
        done = true;
        return true;
    }
    return false;
}

void DialogInterface::End(bool cancel)
{
    if (mClosing || mIgnoreEvents)
        return;
    mCancelled = cancel;
    Close();
}

void DialogInterface::Close()
{
    // From here every event is ignored, also those pumped while commit runs.
    mClosing = true;
    if (!mCancelled) {
        try {
            commit();
        } catch (const std::bad_alloc&) {
            DoNotEnougMemoryForOperationDialog();
            mCancelled = true;
        }
    }
    try {
        finish();
    } catch (const std::bad_alloc&) {
        DoNotEnougMemoryForOperationDialog();
    }
    ClearGlobalPointer();
    Unregister();
    if (mWindow)
        mWindow->hide();
    // Deleted from the event loop: the caller may be this object's own
    // handler, still on the stack.
    QTimer::singleShot(0, qApp, [this] { delete this; });
}

Canvas* DialogInterface::canvas() const
{
    return mWindow ? mWindow->findChild<Canvas*>() : nullptr;
}

QPoint DialogInterface::canvasPoint(QPoint windowPoint) const
{
    Canvas* surface = canvas();
    return surface ? surface->mapFrom(mWindow.get(), windowPoint) : windowPoint;
}

ControlHandle DialogInterface::control(int id) const
{
    return GetControlByID(mWindow.get(), kControlSignature, id);
}

void DialogInterface::getEditableTextCStr(const ControlHandle& control, char* buffer, int size) const
{
    if (!buffer || size <= 0)
        return;
    const std::string text = FirstCharacters(control);
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

int DialogInterface::getEditableTextInt(const ControlHandle& control) const
{
    return ParseLeadingInt(FirstCharacters(control));
}

double DialogInterface::getEditableTextFloat(const ControlHandle& control) const
{
    return ParseLeadingFloat(FirstCharacters(control));
}

void DialogInterface::getEditableTextCStr(const std::string& signature, int id, char* buffer, int size) const
{
    getEditableTextCStr(GetControlByID(mWindow.get(), signature, id), buffer, size);
}

int DialogInterface::getEditableTextInt(const std::string& signature, int id) const
{
    return getEditableTextInt(GetControlByID(mWindow.get(), signature, id));
}

double DialogInterface::getEditableTextFloat(const std::string& signature, int id) const
{
    return getEditableTextFloat(GetControlByID(mWindow.get(), signature, id));
}
