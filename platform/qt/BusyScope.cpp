// platform/qt/BusyScope.cpp: the input filter of main-thread work and its pump.
#include "platform/qt/BusyScope.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace {

std::vector<QPointer<QWidget>>& AllowedWindows()
{
    static std::vector<QPointer<QWidget>> sAllowed;
    return sAllowed;
}

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

class InputFilter final : public QObject {
protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (!IsUserInput(event->type()))
            return false;
        auto* widget = qobject_cast<QWidget*>(target);
        if (!widget)
            return event->type() != QEvent::Close; // e.g. shortcuts on actions
        QWidget* window = widget->window();
        for (const QPointer<QWidget>& allowed : AllowedWindows())
            if (allowed && allowed == window)
                return false;
        if (event->type() == QEvent::Close)
            event->ignore();
        return true;
    }
};

int sDepth = 0;
InputFilter* sFilter = nullptr;

} // namespace

BusyScope::BusyScope()
{
    if (sDepth++ == 0) {
        sFilter = new InputFilter;
        qApp->installEventFilter(sFilter);
    }
}

BusyScope::~BusyScope()
{
    if (--sDepth == 0) {
        qApp->removeEventFilter(sFilter);
        delete sFilter;
        sFilter = nullptr;
    }
}

void BusyScope::Pump(bool excludeUserInput)
{
    QCoreApplication::processEvents(excludeUserInput ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
}

void BusyScope::AllowInput(QWidget* window)
{
    AllowedWindows().push_back(window);
}

void BusyScope::DisallowInput(QWidget* window)
{
    auto& allowed = AllowedWindows();
    allowed.erase(std::remove_if(allowed.begin(), allowed.end(),
                                 [window](const QPointer<QWidget>& w) { return !w || w == window; }),
                  allowed.end());
}
