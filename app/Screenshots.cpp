// app/Screenshots.cpp: the screenshot run of the program.
#include "app/Screenshots.h"

#include <memory>
#include <set>
#include <string>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "app/MainWindows.h"
#include "app/MenuBar.h"
#include "app/WorkingDialog.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/MenuModel.h"
#include "platform/qt/ShellWindow.h"

namespace {

void Settle(int ms = 150)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Save(QWidget* widget, const QDir& dir, const QString& name)
{
    Settle();
    widget->grab().save(dir.filePath(name + ".png"));
}

// A placeholder picture, so the image windows show how their content sits.
void PaintSample(ShellWindow* window)
{
    Canvas* canvas = ContentCanvas(window);
    if (!canvas)
        return;
    QImage& image = canvas->Image();
    QPainter painter(&image);
    QRadialGradient glow(image.rect().center(), image.width() / 3.0);
    glow.setColorAt(0, QColor(255, 240, 210));
    glow.setColorAt(0.25, QColor(200, 120, 60));
    glow.setColorAt(1, QColor(8, 8, 16));
    painter.fillRect(image.rect(), glow);
    canvas->update();
}

void TakeScreenshots(const QDir& dir)
{
    struct Shot {
        ShellWindow* window;
        const char* name;
        QPoint at;
        QSize content;
    };
    const Shot shots[] = {{gCommandsWindow, "Commands", {20, 40}, {}},
                          {gHintsWindow, "Hints", {520, 40}, {}},
                          {gFrameInspectorWindow, "FrameInspector", {960, 40}, {320, 240}},
                          {gFrameStackWindow, "FrameStack", {960, 340}, {320, 240}},
                          {gDarkFrameWindow, "DarkFrame", {520, 420}, {200, 150}},
                          {gFlatFrameWindow, "FlatFrame", {740, 420}, {200, 150}},
                          {gClipsWindow, "ClipsWindow", {20, 640}, {480, 160}}};
    for (const Shot& shot : shots) {
        if (shot.content.isValid())
            shot.window->SetContentSize(shot.content.width(), shot.content.height());
        shot.window->show();
        shot.window->MoveContentTo(shot.at);
        if (shot.window != gClipsWindow)
            PaintSample(shot.window);
        Save(shot.window, dir, shot.name);
    }

    // The menus, opened from the commands window's menu bar.
    MenuModel& menus = GetMenuModel();
    const struct {
        int id;
        const char* name;
    } menuShots[] = {{kFileMenu, "MenuFile"},       {kEditMenu, "MenuEdit"}, {kOperationsMenu, "MenuOperations"},
                     {kThreadsMenu, "MenuThreads"}, {kViewMenu, "MenuView"}, {kResampleClipsMenu, "MenuResampleClips"}};
    for (const auto& m : menuShots) {
        QMenu* menu = menus.Menu(m.id);
        menu->popup(gCommandsWindow->ContentTopLeft() + QPoint(10, 10));
        Save(menu, dir, m.name);
        menu->hide();
    }

    // The progress windows and the modal windows, shown without their loops.
    auto working = std::make_unique<WorkingDialog>(10, true, false);
    working->DrawWorkingDialogProgressBar(4);
    working->Window()->move(560, 620);
    Save(working->Window(), dir, "WorkingWithButton");
    auto quiet = std::make_unique<WorkingDialog>(10, false, false);
    quiet->DrawWorkingDialogProgressBar(7);
    quiet->Window()->move(560, 740);
    Save(quiet->Window(), dir, "WorkingWithoutButton");
    // Every other window of the interface file as its form lays it out (the
    // dialogs' own drawing comes with their data, so their canvases are empty).
    const std::set<std::string> shown = {"ClipsWindow", "FrameInspector", "FrameStack", "DarkFrame", "FlatFrame",
                                         "Commands", "Hints", "WorkingWithButton", "WorkingWithoutButton"};
    for (const std::string& name : InterfaceWindowNames()) {
        if (shown.count(name))
            continue;
        std::unique_ptr<QWidget> window(CreateWindowFromInterface(name));
        if (!window)
            continue;
        window->show();
        Save(window.get(), dir, QString::fromStdString(name));
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        Settle(300);
        screen->grabWindow(0).save(dir.filePath("Screen.png"));
    }
}

} // namespace

bool ScheduleScreenshotsIfAsked()
{
    const QString folder = qEnvironmentVariable("VELMORA_SCREENSHOTS");
    if (folder.isEmpty())
        return false;
    QTimer::singleShot(300, qApp, [folder] {
        QDir dir;
        dir.mkpath(folder);
        TakeScreenshots(QDir(folder));
        QCoreApplication::exit(0);
    });
    return true;
}
