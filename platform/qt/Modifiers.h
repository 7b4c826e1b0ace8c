// platform/qt/Modifiers.h: the program's modifier keys on a PC keyboard. The
// program speaks of Command, Shift, Option and Control; this table is the one
// place that maps them to Qt's modifiers. Some desktops take Alt-click or
// Super-click for moving windows; change only this table if that bites.
#pragma once

#include <Qt>

inline constexpr Qt::KeyboardModifier kCommandKey = Qt::ControlModifier;
inline constexpr Qt::KeyboardModifier kShiftKey = Qt::ShiftModifier;
inline constexpr Qt::KeyboardModifier kOptionKey = Qt::AltModifier;
inline constexpr Qt::KeyboardModifier kControlKey = Qt::MetaModifier;

// The program's modifier word: Command 0x0100, Shift 0x0200, Option 0x0800,
// Control 0x1000.
inline constexpr int kCmdKeyBit = 0x0100;
inline constexpr int kShiftKeyBit = 0x0200;
inline constexpr int kOptionKeyBit = 0x0800;
inline constexpr int kControlKeyBit = 0x1000;

inline int ProgramModifiers(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & kCommandKey ? kCmdKeyBit : 0) | (modifiers & kShiftKey ? kShiftKeyBit : 0) |
           (modifiers & kOptionKey ? kOptionKeyBit : 0) | (modifiers & kControlKey ? kControlKeyBit : 0);
}
