// platform/qt/Controls.h: controls found by (signature, ID) and a small handle
// to read and set them. A control is any widget that carries the dynamic
// properties "signature" (four characters) and "controlID" (an integer).
#pragma once

#include <functional>
#include <string>

class QWidget;

// The signature every control of the program's windows carries.
inline constexpr const char* kControlSignature = "????";

// A non-owning handle to one control. Main thread only. An empty handle (no
// such control) ignores every setter and reads 0 or "".
class ControlHandle {
public:
    ControlHandle() = default;
    explicit ControlHandle(QWidget* widget) : mWidget(widget) {}

    explicit operator bool() const { return mWidget != nullptr; }
    QWidget* Widget() const { return mWidget; }

    // Value: a slider's, spin box's or progress bar's value; a check box's or
    // radio button's state (0 or 1); a pop-up's chosen item counted from 1; a
    // radio group's (a group box of radio buttons) checked button counted from 1.
    int Value() const;
    void SetValue(int value);
    int Minimum() const;
    int Maximum() const;
    void SetMinimum(int value);
    void SetMaximum(int value);

    // Text of labels, edit fields, buttons and group boxes, as UTF-8.
    std::string Text() const;
    void SetText(const std::string& text);

    bool IsEnabled() const;
    void SetEnabled(bool enabled);
    // Visibility as set on the control itself, whether or not its window is shown.
    bool IsShown() const;
    void SetShown(bool shown);

private:
    QWidget* mWidget = nullptr;
};

// The control of window with that signature and ID (first in creation order),
// or an empty handle.
ControlHandle GetControlByID(QWidget* window, const std::string& signature, int id);

// The ID of a control, or -1 when the widget is not one.
int GetControlID(const QWidget* widget);

// Calls onHit(id) whenever a button-like control of window (push, tool, check
// and radio buttons) is clicked: the program's "control hit". The connection
// lives as long as the window.
void ConnectControlHits(QWidget* window, std::function<void(int id)> onHit);
