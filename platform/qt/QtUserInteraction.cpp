// platform/qt/QtUserInteraction.cpp: alerts as QMessageBox, the beep as
// QApplication::beep, main-thread tasks as queued calls on the application.
#include "platform/qt/QtUserInteraction.h"

#include <utility>

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "platform/core/MainThread.h"
#include "platform/core/UserInteraction.h"

namespace {

QMessageBox::Icon IconForKind(int kind)
{
    switch (kind) {
    case 1: return QMessageBox::Information;
    case 2: return QMessageBox::Warning;
    case 3: return QMessageBox::Critical;
    default: return QMessageBox::NoIcon;
    }
}

class QtUserInteraction final : public UserInteraction {
public:
    bool RunAlert(const AlertRequest& request) override
    {
        QMessageBox box;
        box.setWindowModality(Qt::ApplicationModal);
        box.setIcon(IconForKind(request.kind));
        box.setWindowTitle(QString::fromStdString(request.title));
        box.setText(QString::fromStdString(request.title));
        box.setInformativeText(QString::fromStdString(request.message));
        QPushButton* ok = box.addButton(
            request.defaultText.empty() ? QStringLiteral("OK") : QString::fromStdString(request.defaultText),
            QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        QPushButton* cancel = nullptr;
        if (request.hasCancel) {
            cancel = box.addButton(
                request.cancelText.empty() ? QStringLiteral("Cancel") : QString::fromStdString(request.cancelText),
                QMessageBox::RejectRole);
            box.setEscapeButton(cancel);
        } else {
            box.setEscapeButton(ok);
        }
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            box.adjustSize();
            box.move(screen->availableGeometry().center() - box.rect().center());
        }
        box.exec();
        return box.clickedButton() == ok;
    }

    void Beep() override { QApplication::beep(); }

    std::vector<std::string> RunFileDialog(const FileDialogRequest& request) override
    {
        QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                           QString::fromStdString(request.directory));
        dialog.setWindowModality(Qt::ApplicationModal);
        QStringList filters;
        for (const std::string& f : request.nameFilters)
            filters << QString::fromStdString(f);
        if (!filters.isEmpty())
            dialog.setNameFilters(filters);
        switch (request.mode) {
        case FileDialogRequest::Mode::kOpenFiles:
            dialog.setFileMode(QFileDialog::ExistingFiles);
            break;
        case FileDialogRequest::Mode::kOpenFile:
            dialog.setFileMode(QFileDialog::ExistingFile);
            break;
        case FileDialogRequest::Mode::kSaveFile:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.selectFile(QString::fromStdString(request.defaultName));
            break;
        case FileDialogRequest::Mode::kChooseFolder:
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
            break;
        }
        std::vector<std::string> chosen;
        if (dialog.exec() != QDialog::Accepted)
            return chosen;
        for (const QString& path : dialog.selectedFiles())
            chosen.push_back(path.toStdString());
        return chosen;
    }
};

}  // namespace

void InstallQtUserInteraction()
{
    static QtUserInteraction sInteraction;
    SetUserInteraction(&sInteraction);
    SetMainThreadPoster([](std::function<void()> task) {
        QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
    });
}
