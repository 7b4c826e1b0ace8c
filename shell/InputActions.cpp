// shell/InputActions.cpp: the table of commands reached from keys and clicks.
#include "shell/InputActions.h"

InputActions& GetInputActions()
{
    static InputActions sActions;
    return sActions;
}
