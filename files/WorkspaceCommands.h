// files/WorkspaceCommands.h: the commands that open and save workspaces and
// export clips as pictures.
#pragma once

// Fills the command operations of Open Workspace ("FiOW"), Save Workspace
// ("FiSW") and Export Clips ("FiDW"). The two dialogs are refused with a beep
// when the document has no clips. Main thread only.
void InstallWorkspaceCommands();
