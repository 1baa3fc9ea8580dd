// tq9-image-converter: the desktop program. Options: --card-root DIR (repeatable), --help, --version; files
// named on the command line are offered for import (the desktop opens media files with it).
#include <csignal>
#include "app/SingleInstance.h"
#include "app/TQ9GUIApp.h"
#include "card/TQ9SystemFile.h"
#include "jobs/DragOutSource.h"
#include "platform/WorkFolder.h"
#include "ui/SignalQuit.h"

#include <QApplication>

#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* kNoDisplay =
    "tq9-image-converter: no display to open the window on (DISPLAY or WAYLAND_DISPLAY); tq9 does the same "
    "work without one\n";

QtMessageHandler g_qtHandler = nullptr;

// While the window system is reached: Qt ends a program that finds no display with several lines and an
// abort (a core dump); one line and exit status 1 say it plainly.
void WithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(1);
    }
    // The platform plug-in's own account of the failure; the line above replaces it.
    if (context.category && std::strncmp(context.category, "qt.qpa.", 7) == 0)
        return;
    if (g_qtHandler)
        g_qtHandler(type, context, message);
}

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// True when the platform Qt would pick has nothing to connect to: no platform named, no X display, no
// Wayland display (named, or the default socket). Qt and the Wayland library would each say so in lines of
// their own first.
bool NoDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return false;
    if (Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY"))
        return false;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return !(runtime && *runtime && access((std::string(runtime) + "/wayland-0").c_str(), F_OK) == 0);
}

} // namespace

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
    if (NoDisplay(argc, argv)) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    g_qtHandler = qInstallMessageHandler(WithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    // A window of this user on this display already runs: it takes the files (or only comes to the front).
    tq9::CSingleInstance instance;
    if (!instance.Claim() && instance.HandOver(tq9::CTQ9GUIApp::FilesNamed(QApplication::arguments())))
        return 0;
    // Working folders of imports that were killed (by either program) go at the next start, and so do the
    // copies handed out by drags of a run that did not end normally.
    tq9::CWorkFolder::RemoveAbandoned(tq9::IsWorkingFileName);
    tq9::CDragOutSource::RemoveLeftovers();
    // SIGTERM cancels a running import like its Cancel button, then quits.
    tq9::CSignalQuit signalQuit;
    tq9::CTQ9GUIApp gui;
    if (!gui.InitInstance(QApplication::arguments()))
        return gui.EarlyExitCode();
    QObject::connect(&instance, &tq9::CSingleInstance::FilesHandedOver, &gui, &tq9::CTQ9GUIApp::OpenHandedFiles);
    return QApplication::exec();
}
