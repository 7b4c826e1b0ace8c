// engine/Selection.cpp: the selection globals.
#include "engine/Selection.h"

std::vector<int> gPersistantSelectionIndices;
int gTempSelectionIndex = -1;
