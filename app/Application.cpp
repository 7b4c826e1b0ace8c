// app/Application.cpp: start-up and the event loop.
#include "app/Application.h"

#include <clocale>

#include <QApplication>
#include <QTimer>

#include "platform/qt/QtUserInteraction.h"

int RunApplication(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Qt switches to the user's locale on Unix; number parsing and FITS
    // keywords need the C locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Velmora");
    QApplication::setOrganizationName("Velmora");
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtUserInteraction();

    // No window exists yet: the program starts and ends.
    QTimer::singleShot(0, &application, &QCoreApplication::quit);
    return QApplication::exec();
}
