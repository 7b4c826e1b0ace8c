// files/FITSStack.cpp: FITS files of the summed stack.
#include "files/FITSStack.h"

#include <cstdint>

#include "files/FITSFile.h"
#include "files/StackDocument.h"
#include "files/StackPlanes.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"

const char* const kFITSOpenErrorTitle = "Unknown Error";
const char* const kFITSOpenErrorMessage = "Make sure the file is located in the same directory as Velmora and that "
                                          "you have entered the correct name (including extension).";
const char* const kFITSNameErrorTitle = "File Name Error";
const char* const kFITSNameErrorMessage = "You specified a blank filename.";
const char* const kSaveErrorTitle = "Unknown Error";
const char* const kSaveErrorMessage = "An unknown error occurred while attempting to save the file.  Sorry.";

namespace {

constexpr const char* kChannelLetters[3] = {"R", "G", "B"};
constexpr const char* kChannelNames[3] = {"red", "green", "blue"};

std::size_t StackPixels(const StackDocument& doc)
{
    return static_cast<std::size_t>(doc.StackWidth()) * static_cast<std::size_t>(doc.StackHeight());
}

// Makes sure a stack exists, building one the way the sum command does. A
// clip-less document takes the file's size first. False, with the document's
// size as it was, when no stack could be made.
bool EnsureStack(StackDocument& doc, int width, int height)
{
    if (doc.HasStack())
        return true;
    const Rect previous = doc.ImageDim();
    const bool clipless = doc.ClipCount() == 0;
    if (clipless)
        doc.SetImageDim(MakeRect(0, 0, height, width));
    if (!doc.CreateInitialStack() || !doc.HasStack()) {
        doc.SetImageDim(previous);
        return false;
    }
    if (clipless)
        doc.FollowNewImageDim();
    return true;
}

} // namespace

void OpenFITSToStackError(int code)
{
    (void)code; // every failure of the open has the one message
    DoStandardAlertNoCancel(kAlertStop, kFITSOpenErrorTitle, kFITSOpenErrorMessage);
}

void OpenFITSFile(StackDocument& doc, const std::string& name, int channel)
{
    if (channel < kRedChannel || channel > kBlueChannel)
        return;
    FITSImage image;
    switch (ReadFITSImage(name, image)) {
    case FITSReadResult::ok:
        break;
    case FITSReadResult::outOfMemory:
        DoNotEnougMemoryForOperationDialog();
        return;
    case FITSReadResult::failed:
        OpenFITSToStackError(2);
        return;
    }

    if (!EnsureStack(doc, image.width, image.height))
        return;
    const int width = doc.StackWidth();
    const int height = doc.StackHeight();
    if ((image.width != width || image.height != height) && !doc.AskWrongImageDim())
        return;
    int32_t* plane = doc.Plane(channel);
    if (!plane)
        return;
    // Equal sizes copy exactly; another size is stretched onto the stack's
    // size, the rule every image copy of the program follows.
    StretchPlane(image.pixels.data(), image.width, image.height, plane, width, height);
    ShiftPlaneMinimumToZero(plane, StackPixels(doc));
    doc.ProjectStack();
}

void SaveFITSToStackError(int code)
{
    if (code == 0)
        DoStandardAlertNoCancel(kAlertStop, kFITSNameErrorTitle, kFITSNameErrorMessage);
    else
        DoStandardAlertNoCancel(kAlertStop, kSaveErrorTitle, kSaveErrorMessage);
}

bool SaveOneFITSfile(StackDocument& doc, int channel, const std::string& base, int bits)
{
    const int32_t* plane = doc.HasStack() ? doc.Plane(channel) : nullptr;
    // Names relative to the current folder, as the user typed the base.
    const std::string path = base + "-" + kChannelLetters[channel] + ".fit";
    if (!plane || !WriteFITSPlane(path, plane, doc.StackWidth(), doc.StackHeight(), bits, kChannelNames[channel])) {
        SaveFITSToStackError(1);
        return false;
    }
    return true;
}

void SaveFITSFiles(StackDocument& doc, const std::string& base)
{
    if (!doc.HasStack())
        return;
    const int32_t largest =
        LargestPlaneValue(doc.Plane(kRedChannel), doc.Plane(kGreenChannel), doc.Plane(kBlueChannel), StackPixels(doc));
    // One width for all three files, so they open alike elsewhere.
    const int bits = largest > kFITSMax16BitValue ? kFITSBits32 : kFITSBits16;
    for (int channel = kRedChannel; channel <= kBlueChannel; ++channel)
        (void)SaveOneFITSfile(doc, channel, base, bits); // each file is tried; failures were shown
}

void OpenFITSToStack(StackDocument& doc, const OpenFITSParams& params)
{
    OpenFITSFile(doc, params.name, params.channel);
}

void SaveFITSStack(StackDocument& doc, const SaveFITSParams& params)
{
    if (params.base.empty()) {
        SaveFITSToStackError(0);
        return;
    }
    if (!doc.HasStack()) {
        SysBeep();
        return;
    }
    SaveFITSFiles(doc, params.base);
}

void OpenFITSToStack(const OpenFITSParams& params)
{
    OpenFITSToStack(TheStackDocument(), params);
}

void SaveFITSStack(const SaveFITSParams& params)
{
    SaveFITSStack(TheStackDocument(), params);
}
