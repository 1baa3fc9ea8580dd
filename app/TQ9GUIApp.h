// The application object: runs start-up (language, preference location, main window, saved preferences)
// and the three menu commands that are not the window's own: Help, Setup and Info. UI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include "ui/ManualWindow.h"

#include <memory>
#include <string>
#include <vector>

class QTranslator;

namespace tq9 {

class CMainFrame;

class CTQ9GUIApp : public QObject {
    Q_OBJECT
public:
    CTQ9GUIApp();
    ~CTQ9GUIApp() override;

    // The start-up sequence. Shows the failure's message and returns false when the program cannot run.
    // arguments: the command line (--card-root DIR, repeatable; --help; --version; files to import).
    bool InitInstance(const QStringList& arguments);
    // Whether the command line only asks for the help or the version, or is wrong: then the program needs
    // no display, and InitInstance on a core application prints what is asked and sets EarlyExitCode.
    static bool RunsWithoutWindow(const QStringList& arguments);
    // Exit code when InitInstance returned false because --help was shown or the command line was wrong.
    int EarlyExitCode() const { return m_earlyExitCode; }

    // The files the command line names, as absolute paths.
    static QStringList FilesNamed(const QStringList& arguments);
    // Files a later start handed over: the window comes to the front and offers to import them.
    void OpenHandedFiles(const QStringList& files);

    CMainFrame* MainFrame() const { return m_frame.get(); }
    // The manual's window once Help has opened it.
    CManualWindow* ManualWindow() const { return m_manual; }

    // Menu commands.
    void OnHelp();
    void OnSetup();
    void OnAbout();

private:
    bool ParseArguments(const QStringList& arguments);
    bool InstallJapanese();
    // Offers handed-over files for import once no job or dialog of the window is running.
    void OfferWhenFree(const std::vector<std::string>& files);

    std::unique_ptr<QTranslator> m_translator; // Qt texts of menus and dialogs; none unless Japanese
    std::unique_ptr<QTranslator> m_qtTranslator; // Qt's own dialogs (the file dialog), when installed
    std::unique_ptr<CMainFrame> m_frame;
    QPointer<CManualWindow> m_manual; // a child of m_frame
    int m_earlyExitCode = 1;
    std::vector<std::string> m_filesToImport; // named on the command line, offered for import once shown
};

} // namespace tq9
