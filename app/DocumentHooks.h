// app/DocumentHooks.h: the shell's view of the open document, answered by the
// engine: whether clips, a stack and calibration frames exist, and how
// closing the document releases them; the stack commands' operations.
#pragma once

// Installs the document queries and actions into the shell hooks and the
// stack operations into the command table. Main thread, at start-up.
void InstallDocumentHooks();
