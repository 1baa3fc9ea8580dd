// tq9-image-converter: the desktop program. Options: --card-root DIR (repeatable), --help.
#include <csignal>
#include "app/TQ9GUIApp.h"
#include "jobs/DragOutSource.h"
#include "platform/WorkFolder.h"
#include "ui/SignalQuit.h"

#include <QApplication>

#include <cstring>

int main(int argc, char** argv)
{
    // A file-size limit must fail the write (and be reported as too large), not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // --help must work without a display, so it gets a core application only.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            QCoreApplication app(argc, argv);
            tq9::CTQ9GUIApp gui;
            gui.InitInstance(QCoreApplication::arguments());
            return gui.EarlyExitCode();
        }
    }
    QApplication app(argc, argv);
    // Working folders of imports that were killed (by either program) go at the next start, and so do the
    // copies handed out by drags of a run that did not end normally.
    tq9::CWorkFolder::RemoveAbandoned();
    tq9::CDragOutSource::RemoveLeftovers();
    // SIGTERM cancels a running import like its Cancel button, then quits.
    tq9::CSignalQuit signalQuit;
    tq9::CTQ9GUIApp gui;
    if (!gui.InitInstance(QApplication::arguments()))
        return gui.EarlyExitCode();
    return QApplication::exec();
}
