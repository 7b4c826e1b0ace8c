// app/HeldKeys.cpp: the held-key tracker.
#include "app/HeldKeys.h"

#include <cstdint>
#include <map>

#include <QApplication>
#include <QWindow>

#include "app/KeyboardHandler.h"
#include "platform/qt/Modifiers.h"

namespace {

// A physical key: its scan code, or its Qt key where the platform gives no
// scan code (offscreen).
int64_t PhysicalKey(const QKeyEvent& event)
{
    if (event.nativeScanCode() != 0)
        return event.nativeScanCode();
    return (int64_t(1) << 32) | uint32_t(event.key());
}

class HeldKeyTracker final : public QObject {
public:
    int HeldCount() const { return static_cast<int>(mHeld.size()); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        const bool windowKey = (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
                               qobject_cast<QWindow*>(receiver);
        if (!windowKey) {
            mOfferedSince = true;
            if (event->type() == QEvent::ApplicationStateChange && receiver == qApp &&
                static_cast<QApplicationStateChangeEvent*>(event)->applicationState() != Qt::ApplicationActive)
                ReleaseAll();
            return false;
        }
        // A key event travels on from the window to the focus widget and its
        // parents; the window sees it first. Qt walks the application's
        // filters by index, newest first, so a filter installed while the
        // event is delivered (a dialog opened by a key installs one) shifts
        // this one down and Qt offers it the same event again at once, with
        // nothing in between. That second offer is not a second key: taken
        // as one, the key that opened the process's first dialog also
        // counted as a repeat, and beeped.
        if (event == mLastKeyEvent && !mOfferedSince)
            return false;
        Key(*static_cast<QKeyEvent*>(event));
        mLastKeyEvent = event;
        mOfferedSince = false;
        return false;
    }

private:
    void Key(const QKeyEvent& event)
    {
        const int64_t physical = PhysicalKey(event);
        const auto held = mHeld.find(physical);
        if (event.type() == QEvent::KeyRelease) {
            if (event.isAutoRepeat() || held == mHeld.end())
                return;
            const char key = held->second;
            mHeld.erase(held);
            KeyboardHandlerKeyUp(key);
            return;
        }
        char key = KeyCharacter(event);
        if (held != mHeld.end())
            key = held->second; // a repeat stands for the key as first pressed
        if (key == 0)
            return;
        const bool repeat = event.isAutoRepeat() || held != mHeld.end();
        mHeld[physical] = key;
        KeyboardHandlerKeyDown(key, repeat, ProgramModifiers(event.modifiers()));
    }

    void ReleaseAll()
    {
        std::map<int64_t, char> held;
        held.swap(mHeld);
        for (const auto& [physical, key] : held)
            KeyboardHandlerKeyUp(key);
    }

    std::map<int64_t, char> mHeld;
    // The last key event handled, and whether anything else reached the
    // filter after it.
    const QEvent* mLastKeyEvent = nullptr;
    bool mOfferedSince = true;
};

HeldKeyTracker* sTracker = nullptr;

} // namespace

char KeyCharacter(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Left:
        return kLeftArrowKey;
    case Qt::Key_Right:
        return kRightArrowKey;
    case Qt::Key_Up:
        return kUpArrowKey;
    case Qt::Key_Down:
        return kDownArrowKey;
    default:
        break;
    }
    const QString text = event.text();
    if (text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() < 0x7f)
        return static_cast<char>(text[0].unicode());
    // With Control held the text is a control character: name the key itself.
    const int k = event.key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return static_cast<char>((event.modifiers() & Qt::ShiftModifier ? 'A' : 'a') + (k - Qt::Key_A));
    if (k >= 0x20 && k < 0x7f)
        return static_cast<char>(k);
    return 0;
}

void InstallHeldKeyTracker()
{
    if (sTracker)
        return;
    sTracker = new HeldKeyTracker;
    sTracker->setParent(qApp);
    qApp->installEventFilter(sTracker);
}

int HeldKeyCountForTesting()
{
    return sTracker ? sTracker->HeldCount() : 0;
}
