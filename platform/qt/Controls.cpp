// platform/qt/Controls.cpp: control lookup by dynamic properties and the handle.
#include "platform/qt/Controls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QWidget>

namespace {

// A radio group is a group box holding radio buttons: its value is the
// checked button counted from 1 in form order, 0 when none is checked.
QList<QRadioButton*> RadioButtons(QWidget* widget)
{
    auto* group = qobject_cast<QGroupBox*>(widget);
    return group ? group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly) : QList<QRadioButton*>();
}

} // namespace

int ControlHandle::Value() const
{
    if (auto* s = qobject_cast<QAbstractSlider*>(mWidget))
        return s->value();
    if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        return s->value();
    if (auto* p = qobject_cast<QProgressBar*>(mWidget))
        return p->value();
    if (auto* b = qobject_cast<QAbstractButton*>(mWidget))
        return b->isChecked() ? 1 : 0;
    if (auto* c = qobject_cast<QComboBox*>(mWidget))
        return c->currentIndex() + 1;
    const QList<QRadioButton*> radios = RadioButtons(mWidget);
    for (int i = 0; i < radios.size(); ++i)
        if (radios[i]->isChecked())
            return i + 1;
    return 0;
}

void ControlHandle::SetValue(int value)
{
    if (auto* s = qobject_cast<QAbstractSlider*>(mWidget))
        s->setValue(value);
    else if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        s->setValue(value);
    else if (auto* p = qobject_cast<QProgressBar*>(mWidget))
        p->setValue(value);
    else if (auto* b = qobject_cast<QAbstractButton*>(mWidget))
        b->setChecked(value != 0);
    else if (auto* c = qobject_cast<QComboBox*>(mWidget))
        c->setCurrentIndex(value - 1);
    else if (const QList<QRadioButton*> radios = RadioButtons(mWidget); value >= 1 && value <= radios.size())
        radios[value - 1]->setChecked(true);
}

int ControlHandle::Minimum() const
{
    if (auto* s = qobject_cast<QAbstractSlider*>(mWidget))
        return s->minimum();
    if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        return s->minimum();
    if (auto* p = qobject_cast<QProgressBar*>(mWidget))
        return p->minimum();
    if (qobject_cast<QComboBox*>(mWidget) || !RadioButtons(mWidget).isEmpty())
        return 1;
    return 0;
}

int ControlHandle::Maximum() const
{
    if (auto* s = qobject_cast<QAbstractSlider*>(mWidget))
        return s->maximum();
    if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        return s->maximum();
    if (auto* p = qobject_cast<QProgressBar*>(mWidget))
        return p->maximum();
    if (qobject_cast<QAbstractButton*>(mWidget))
        return 1;
    if (auto* c = qobject_cast<QComboBox*>(mWidget))
        return c->count();
    return static_cast<int>(RadioButtons(mWidget).size());
}

void ControlHandle::SetMinimum(int value)
{
    if (auto* s = qobject_cast<QAbstractSlider*>(mWidget))
        s->setMinimum(value);
    else if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        s->setMinimum(value);
    else if (auto* p = qobject_cast<QProgressBar*>(mWidget))
        p->setMinimum(value);
}

void ControlHandle::SetMaximum(int value)
{
    if (auto* s = qobject_cast<QAbstractSlider*>(mWidget))
        s->setMaximum(value);
    else if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        s->setMaximum(value);
    else if (auto* p = qobject_cast<QProgressBar*>(mWidget))
        p->setMaximum(value);
}

std::string ControlHandle::Text() const
{
    QString text;
    if (auto* l = qobject_cast<QLabel*>(mWidget))
        text = l->text();
    else if (auto* e = qobject_cast<QLineEdit*>(mWidget))
        text = e->text();
    else if (auto* e = qobject_cast<QPlainTextEdit*>(mWidget))
        text = e->toPlainText();
    else if (auto* b = qobject_cast<QAbstractButton*>(mWidget))
        text = b->text();
    else if (auto* g = qobject_cast<QGroupBox*>(mWidget))
        text = g->title();
    else if (auto* s = qobject_cast<QSpinBox*>(mWidget))
        text = s->text();
    return text.toStdString();
}

void ControlHandle::SetText(const std::string& text)
{
    const QString t = QString::fromStdString(text);
    if (auto* l = qobject_cast<QLabel*>(mWidget))
        l->setText(t);
    else if (auto* e = qobject_cast<QLineEdit*>(mWidget))
        e->setText(t);
    else if (auto* e = qobject_cast<QPlainTextEdit*>(mWidget))
        e->setPlainText(t);
    else if (auto* b = qobject_cast<QAbstractButton*>(mWidget))
        b->setText(t);
    else if (auto* g = qobject_cast<QGroupBox*>(mWidget))
        g->setTitle(t);
}

bool ControlHandle::IsEnabled() const
{
    return mWidget && mWidget->isEnabled();
}

void ControlHandle::SetEnabled(bool enabled)
{
    if (mWidget)
        mWidget->setEnabled(enabled);
}

bool ControlHandle::IsShown() const
{
    return mWidget && !mWidget->isHidden();
}

void ControlHandle::SetShown(bool shown)
{
    if (mWidget)
        mWidget->setVisible(shown);
}

ControlHandle GetControlByID(QWidget* window, const std::string& signature, int id)
{
    if (!window)
        return ControlHandle();
    const QString sig = QString::fromStdString(signature);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        const QVariant childId = child->property("controlID");
        if (childId.isValid() && childId.toInt() == id && child->property("signature").toString() == sig)
            return ControlHandle(child);
    }
    return ControlHandle();
}

int GetControlID(const QWidget* widget)
{
    if (!widget)
        return -1;
    const QVariant id = widget->property("controlID");
    bool ok = false;
    const int value = id.toInt(&ok);
    return id.isValid() && ok ? value : -1;
}

void ConnectControlHits(QWidget* window, std::function<void(int id)> onHit)
{
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const int id = GetControlID(button);
        if (id < 0)
            continue;
        QObject::connect(button, &QAbstractButton::clicked, window, [onHit, id] { onHit(id); });
    }
}
