// engine/ClipSelection.h: membership of the persistent selection in constant
// time, and the rule that says which clip the frame inspector shows.
#pragma once

// The persistent selection (gPersistantSelectionIndices, engine/Selection.h)
// keeps pick order in its vector; a bitmap beside it answers "is clip i
// selected" without a search. Change the selection through these functions;
// code that rewrites the vector directly (renumbering after a sort or a
// deletion) calls RebuildSelectionMembership afterwards. Main thread only.

// True when clip is in the persistent selection.
bool IsPersistantlySelected(int clip);
// Appends clip unless it is already selected or negative; true when added.
bool AddPersistantSelection(int clip);
// Removes clip, keeping the order of the others; true when it was selected.
bool RemovePersistantSelection(int clip);
// Empties the selection.
void ClearPersistantSelection();
// Recomputes the bitmap from the vector.
void RebuildSelectionMembership();

// The clip the inspector shows after a selection change: the temporary
// selection when set, else the only persistently selected clip, else -1.
int SelectionInspectorIndex();
