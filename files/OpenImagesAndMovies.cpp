// files/OpenImagesAndMovies.cpp: from chosen or handed files to the picture
// import job and the movie frame dialogs.
#include "files/OpenImagesAndMovies.h"

#include <new>
#include <utility>

#include <QCoreApplication>
#include <QEventLoop>

#include "app/Commands.h"
#include "app/ClipViewWindow.h"
#include "app/Jobs.h"
#include "app/MainWindows.h"
#include "app/ShellHooks.h"
#include "app/ShellSettings.h"
#include "app/WorkingDialog.h"
#include "engine/ClipsWindow.h"
#include "files/FileChoosers.h"
#include "files/OpenMovieInterface.h"
#include "platform/core/StandardAlerts.h"
#include "platform/core/UserInteraction.h"
#include "platform/qt/MovieSource.h"
#include "platform/qt/PictureOrMovie.h"
#include "platform/qt/ShellWindow.h"

MediaStatus OpenImageOrMovieFile(const std::filesystem::path& file, std::vector<ProbedPicture>& pictures,
                                 MovieList& movies)
{
    OpenedMedia media;
    const MediaStatus status = OpenPictureOrMovie(file, &media);
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
    for (std::size_t i = 0; i < files.size(); ++i) {
        MediaStatus status;
        try {
            status = OpenImageOrMovieFile(files[i], pictures, movies);
        } catch (const std::bad_alloc&) {
            status = MediaStatus::cannotOpen;
        }
        if (status != MediaStatus::ok)
            allOpened = false;
        progress.DrawWorkingDialogProgressBar(static_cast<int>(i) + 1);
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

void OpenImagesAndMovies(const std::vector<std::string>* docList)
{
    if (IsJobActive() || clipChangesBlocked()) {
        SysBeep();
        return;
    }
    std::vector<std::filesystem::path> files;
    if (docList) {
        for (const std::string& path : *docList)
            files.emplace_back(path);
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
