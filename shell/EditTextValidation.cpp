// shell/EditTextValidation.cpp: range checks of dialog number fields as the user types.
#include "shell/EditTextValidation.h"

#include <algorithm>
#include <string>

#include <QLineEdit>

#include "shell/DialogInterface.h"
#include "platform/qt/Controls.h"

int ClampEditTextInteger(DialogInterface& dialog, int id, int lo, int hi)
{
    const ControlHandle field = dialog.control(id);
    const int value = std::clamp(dialog.getEditableTextInt(field), lo, hi);
    const std::string text = std::to_string(value);
    // Rewriting text that already reads right would only move the cursor.
    if (field.Text() != text)
        ControlHandle(field).SetText(text);
    return value;
}

void ClampEditTextIntegerWhileTyping(DialogInterface& dialog, int id, int lo, int hi)
{
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(id).Widget());
    if (!edit)
        return;
    QObject::connect(edit, &QLineEdit::textEdited, edit, [&dialog, id, lo, hi](const QString& text) {
        if (dialog.runningCtorDtor() || dialog.closing())
            return;
        const QString typed = text.trimmed();
        if (typed.isEmpty() || typed == QLatin1String("-") || typed == QLatin1String("+"))
            return;
        ClampEditTextInteger(dialog, id, lo, hi);
    });
}
