// resources/MainInterfaceFile.cpp: factories of the windows of "main".
#include "resources/MainInterfaceFile.h"

#include <cstring>

#include <QDialog>
#include <QWidget>

#include "platform/qt/InterfaceFile.h"
#include "platform/qt/ShellWindow.h"
#include "ui_AboutBox.h"
#include "ui_ClipsWindow.h"
#include "ui_Commands.h"
#include "ui_CreateHotPixelMask.h"
#include "ui_DebayerClips.h"
#include "ui_DarkFrame.h"
#include "ui_FlatFrame.h"
#include "ui_ClipView.h"
#include "ui_FrameStack.h"
#include "ui_GaussianBlur.h"
#include "ui_Hints.h"
#include "ui_ImageDimError.h"
#include "ui_MedianFilterClips.h"
#include "ui_NormalizeClips.h"
#include "ui_OpenFITS.h"
#include "ui_OpenMovie.h"
#include "ui_OpenRAW.h"
#include "ui_PixelValues.h"
#include "ui_SaveFITS.h"
#include "ui_SaveRAW.h"
#include "ui_UnsharpMask.h"
#include "ui_WaveletThreshold.h"
#include "ui_HistogramLevels.h"
#include "ui_LaplacianPyramid.h"
#include "ui_SaveWorkspace.h"
#include "ui_DumpWorkspace.h"
#include "ui_WorkingWithButton.h"
#include "ui_WorkingWithoutButton.h"
#include "ui_StarBeautification.h"
#include "ui_FTEditor.h"
#include "ui_SetAlignmentBrightnessThreshold.h"
#include "ui_FrequencyBandSort.h"

namespace {

// Builds window type W and lays it out from form F. Controls are found later
// by their properties, so the form object itself is not kept.
template <class F, class W> QWidget* Build()
{
    auto* window = new W;
    F form;
    form.setupUi(window);
    return window;
}

const char* const kMainWindowNames[] = {"ClipsWindow", "FrameInspector", "FrameStack", "DarkFrame",
                                        "FlatFrame",   "Commands",       "Hints",      "PixelValues"};

} // namespace

bool IsMainWindowName(const char* name)
{
    for (const char* n : kMainWindowNames)
        if (std::strcmp(n, name) == 0)
            return true;
    return false;
}

void RegisterMainInterfaceFile()
{
    RegisterInterfaceWindow("ClipsWindow", &Build<Ui::ClipsWindow, ShellWindow>);
    RegisterInterfaceWindow("FrameInspector", &Build<Ui::FrameInspector, ShellWindow>);
    RegisterInterfaceWindow("FrameStack", &Build<Ui::FrameStack, ShellWindow>);
    RegisterInterfaceWindow("DarkFrame", &Build<Ui::DarkFrame, ShellWindow>);
    RegisterInterfaceWindow("FlatFrame", &Build<Ui::FlatFrame, ShellWindow>);
    RegisterInterfaceWindow("Commands", &Build<Ui::Commands, ShellWindow>);
    RegisterInterfaceWindow("Hints", &Build<Ui::Hints, ShellWindow>);
    RegisterInterfaceWindow("PixelValues", &Build<Ui::PixelValues, ShellWindow>);
    RegisterInterfaceWindow("AboutBox", &Build<Ui::AboutBox, QDialog>);
    RegisterInterfaceWindow("ImageDimError", &Build<Ui::ImageDimError, QDialog>);
    RegisterInterfaceWindow("OpenMovie", &Build<Ui::OpenMovie, QWidget>);
    RegisterInterfaceWindow("OpenFITS", &Build<Ui::OpenFITS, QWidget>);
    RegisterInterfaceWindow("SaveFITS", &Build<Ui::SaveFITS, QWidget>);
    RegisterInterfaceWindow("OpenRAW", &Build<Ui::OpenRAW, QWidget>);
    RegisterInterfaceWindow("SaveRAW", &Build<Ui::SaveRAW, QWidget>);
    RegisterInterfaceWindow("GaussianBlur", &Build<Ui::GaussianBlur, QWidget>);
    RegisterInterfaceWindow("UnsharpMask", &Build<Ui::UnsharpMask, QWidget>);
    RegisterInterfaceWindow("WaveletThreshold", &Build<Ui::WaveletThreshold, QWidget>);
    RegisterInterfaceWindow("HistogramLevels", &Build<Ui::HistogramLevels, QWidget>);
    RegisterInterfaceWindow("LaplacianPyramid", &Build<Ui::LaplacianPyramid, QWidget>);
    RegisterInterfaceWindow("CreateHotPixelMask", &Build<Ui::CreateHotPixelMask, QWidget>);
    RegisterInterfaceWindow("NormalizeClips", &Build<Ui::NormalizeClips, QWidget>);
    RegisterInterfaceWindow("MedianFilterClips", &Build<Ui::MedianFilterClips, QWidget>);
    RegisterInterfaceWindow("DebayerClips", &Build<Ui::DebayerClips, QWidget>);
    RegisterInterfaceWindow("SaveWorkspace", &Build<Ui::SaveWorkspace, QWidget>);
    RegisterInterfaceWindow("DumpWorkspace", &Build<Ui::DumpWorkspace, QWidget>);
    RegisterInterfaceWindow("WorkingWithButton", &Build<Ui::WorkingWithButton, QWidget>);
    RegisterInterfaceWindow("WorkingWithoutButton", &Build<Ui::WorkingWithoutButton, QWidget>);
    RegisterInterfaceWindow("StarBeautification", &Build<Ui::StarBeautification, QWidget>);
    RegisterInterfaceWindow("FTEditor", &Build<Ui::FTEditor, QWidget>);
    RegisterInterfaceWindow("SetAlignmentBrightnessThreshold", &Build<Ui::SetAlignmentBrightnessThreshold, QWidget>);
    RegisterInterfaceWindow("SortBySpectrum", &Build<Ui::SortBySpectrum, QWidget>);
}
