// files/OpenImagesAndMovies.cpp: from chosen or handed files to the picture
// import job and the movie frame dialogs.
#include "files/OpenImagesAndMovies.h"

#include <chrono>
#include <fstream>
#include <new>
#include <utility>

#include <QCoreApplication>
#include <QEventLoop>

#include "shell/Alerts.h"
#include "shell/CommandOperations.h"
#include "shell/DialogPointers.h"
#include "engine/ClipViewWindow.h"
#include "shell/Jobs.h"
#include "shell/MainWindowSet.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "shell/WorkingDialog.h"
#include "engine/ClipsWindow.h"
#include "files/FileChoosers.h"
#include "files/OpenFITSToStackInterface.h"
#include "files/OpenMovieInterface.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/Controls.h"
#include "platform/qt/MovieSource.h"
#include "platform/qt/PictureOrMovie.h"
#include "platform/qt/ShellWindow.h"

MediaStatus OpenImageOrMovieFile(const std::filesystem::path& file, std::vector<ProbedPicture>& pictures,
                                 MovieList& movies)
{
    OpenedMedia media;
    // A movie's frames are held to the width rule of the pictures, with its
    // warning, from the size its stream declares: one turned down costs no
    // decoding.
    const MediaStatus status = OpenPictureOrMovie(file, &media, VerifyFrameWidth);
    if (status != MediaStatus::ok)
        return status;
    if (media.kind == MediaKind::movie)
        movies.push_back(std::move(media.movie));
    else
        pictures.push_back(ProbedPicture{file, media.frame});
    return MediaStatus::ok;
}

bool OpenFileList(const std::vector<std::filesystem::path>& files, std::vector<ProbedPicture>& pictures,
                  MovieList& movies)
{
    if (files.empty())
        return true;
    bool allOpened = true;
    // The window is this loop's own; it has no Cancel, so it ends with the loop.
    WorkingDialog progress(static_cast<int>(files.size()), false, false);
    gWorkingDialog = &progress;
    // Drawing the bar costs more than sizing a picture: it is drawn at most
    // once an interval, and for the last file.
    constexpr auto kBarInterval = std::chrono::milliseconds(30);
    auto barDrawn = std::chrono::steady_clock::now() - kBarInterval;
    for (std::size_t i = 0; i < files.size(); ++i) {
        MediaStatus status;
        try {
            status = OpenImageOrMovieFile(files[i], pictures, movies);
        } catch (const std::bad_alloc&) {
            status = MediaStatus::cannotOpen;
        }
        if (status != MediaStatus::ok && status != MediaStatus::declined) // the user said no to the warning
            allOpened = false;
        const auto now = std::chrono::steady_clock::now();
        if (now - barDrawn >= kBarInterval || i + 1 == files.size()) {
            progress.DrawWorkingDialogProgressBar(static_cast<int>(i) + 1);
            barDrawn = now;
        }
        // Window updates and worker events go on; no click or key reaches
        // the program while the list is read.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (progress.RunStatus() != kWorkingRunning)
            break;
    }
    if (gWorkingDialog == &progress)
        gWorkingDialog = nullptr;
    return allOpened;
}

namespace {

// A FITS file starts with the keyword "SIMPLE" in its first card.
bool IsFITSFile(const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return false;
    std::ifstream in(file, std::ios::binary);
    char card[9] = {};
    return in.read(card, 9) && std::string(card, 9) == "SIMPLE  =";
}

// A FITS file handed to the program goes into the summed stack through the
// Open FITS dialog, with its name filled in; the user picks the channel.
void OfferFITSFile(const std::filesystem::path& file)
{
    if (!gOpenFITSToStackInterface) {
        if (const auto& open = GetCommandOperations().openFITSToStackDialog) {
            try {
                open();
            } catch (const std::bad_alloc&) {
                DoNotEnougMemoryForOperationDialog();
            }
        }
    }
    if (gOpenFITSToStackInterface)
        gOpenFITSToStackInterface->control(kOpenFITSNameText).SetText(file.string());
}

} // namespace

void OpenImagesAndMovies(const std::vector<std::string>* docList)
{
    if (IsJobActive() || clipChangesBlocked()) {
        SysBeep();
        return;
    }
    std::vector<std::filesystem::path> files;
    if (docList) {
        bool fitsOffered = false;
        for (const std::string& path : *docList) {
            if (!fitsOffered && IsFITSFile(path)) {
                OfferFITSFile(path);
                fitsOffered = true;
            } else {
                files.emplace_back(path);
            }
        }
    } else {
        files = ChoosePicturesAndMovies();
    }
    if (files.empty())
        return;

    std::vector<ProbedPicture> pictures;
    MovieList movies;
    if (!OpenFileList(files, pictures, movies))
        NoteAddPicturesError();

    // With pictures coming in, the job's end reports both kinds of failure
    // at once; otherwise it is reported now.
    AddSetOfPictures(std::move(pictures));
    if (!IsJobActive())
        ShowAddPicturesErrorIfPending();

    for (std::unique_ptr<MovieSource>& movie : movies) {
        gCursor = false;
        TellShell(GetCommandOperations().resetCursor);
        try {
            (void)OpenMovieFrameDialog(std::move(movie));
        } catch (const std::bad_alloc&) {
            DoNotEnougMemoryForOperationDialog();
        }
        DrawClipsWindow();
        DrawFrameInspectorWindow();
    }
    DrawClipsWindow();
    DrawFrameInspectorWindow();
    if (gClipsWindow && gClipsWindow->isVisible())
        gClipsWindow->raise();
}

void InstallPictureAndMovieImport()
{
    CommandOperations& ops = GetCommandOperations();
    ops.openImagesAndMovies = [] { OpenImagesAndMovies(nullptr); };
    ops.openDocuments = [](const std::vector<std::string>& paths) { OpenImagesAndMovies(&paths); };
}
