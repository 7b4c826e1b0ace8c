// shell/CommandOperations.cpp: the table of command operations.
#include "shell/CommandOperations.h"

CommandOperations& GetCommandOperations()
{
    static CommandOperations sOperations;
    return sOperations;
}
