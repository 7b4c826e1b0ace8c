// engine/ClipSelection.cpp: the persistent selection's membership bitmap.
#include "engine/ClipSelection.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/Selection.h"

namespace {

std::vector<bool> sMember;    // sMember[i]: clip i is selected
std::size_t sMemberCount = 0; // entries of the vector the bitmap was built from

// A vector rewritten behind our back (a different length) is noticed here;
// rewrites that keep the length must call RebuildSelectionMembership.
void CheckInStep()
{
    if (sMemberCount != gPersistantSelectionIndices.size())
        RebuildSelectionMembership();
}

} // namespace

void RebuildSelectionMembership()
{
    std::fill(sMember.begin(), sMember.end(), false);
    for (int clip : gPersistantSelectionIndices) {
        if (clip < 0)
            continue;
        if (static_cast<std::size_t>(clip) >= sMember.size())
            sMember.resize(static_cast<std::size_t>(clip) + 1, false);
        sMember[static_cast<std::size_t>(clip)] = true;
    }
    sMemberCount = gPersistantSelectionIndices.size();
}

bool IsPersistantlySelected(int clip)
{
    CheckInStep();
    return clip >= 0 && static_cast<std::size_t>(clip) < sMember.size() && sMember[static_cast<std::size_t>(clip)];
}

bool AddPersistantSelection(int clip)
{
    if (clip < 0 || IsPersistantlySelected(clip))
        return false;
    if (static_cast<std::size_t>(clip) >= sMember.size())
        sMember.resize(static_cast<std::size_t>(clip) + 1, false);
    gPersistantSelectionIndices.push_back(clip);
    sMember[static_cast<std::size_t>(clip)] = true;
    sMemberCount = gPersistantSelectionIndices.size();
    return true;
}

bool RemovePersistantSelection(int clip)
{
    if (!IsPersistantlySelected(clip))
        return false;
    auto& v = gPersistantSelectionIndices;
    v.erase(std::find(v.begin(), v.end(), clip));
    sMember[static_cast<std::size_t>(clip)] = false;
    sMemberCount = v.size();
    return true;
}

void ClearPersistantSelection()
{
    gPersistantSelectionIndices.clear();
    std::fill(sMember.begin(), sMember.end(), false);
    sMemberCount = 0;
}

int SelectionInspectorIndex()
{
    if (gTempSelectionIndex != -1)
        return gTempSelectionIndex;
    if (gPersistantSelectionIndices.size() == 1)
        return gPersistantSelectionIndices.front();
    return -1;
}
