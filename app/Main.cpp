// tq9-image-converter: the desktop program. Options: --card-root DIR (repeatable), --help, --version; files
// named on the command line are offered for import (the desktop opens media files with it).
#include <csignal>
#include "app/TQ9GUIApp.h"
#include "card/TQ9SystemFile.h"
#include "jobs/DragOutSource.h"
#include "platform/WorkFolder.h"
#include "ui/SignalQuit.h"

#include <QApplication>

#include <QStringList>

int main(int argc, char** argv)
{
    // A file-size limit must fail the write (and be reported as too large), not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // --help, --version and usage errors must work without a display, so they get a core application only.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (tq9::CTQ9GUIApp::RunsWithoutWindow(arguments)) {
        QCoreApplication app(argc, argv);
        tq9::CTQ9GUIApp gui;
        gui.InitInstance(QCoreApplication::arguments());
        return gui.EarlyExitCode();
    }
    QApplication app(argc, argv);
    // Working folders of imports that were killed (by either program) go at the next start, and so do the
    // copies handed out by drags of a run that did not end normally.
    tq9::CWorkFolder::RemoveAbandoned(tq9::IsWorkingFileName);
    tq9::CDragOutSource::RemoveLeftovers();
    // SIGTERM cancels a running import like its Cancel button, then quits.
    tq9::CSignalQuit signalQuit;
    tq9::CTQ9GUIApp gui;
    if (!gui.InitInstance(QApplication::arguments()))
        return gui.EarlyExitCode();
    return QApplication::exec();
}
