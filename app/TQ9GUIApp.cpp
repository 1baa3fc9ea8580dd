#include "app/TQ9GUIApp.h"

#include "jobs/Importer.h"
#include "jobs/Preferences.h"
#include "ui/SelfDDIndicator.h"
#include "platform/CardRoots.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"
#include "res/MessageCatalogueJa.h"
#include "res/Version.h"
#include "ui/AboutDlg.h"
#include "ui/MainFrame.h"
#include "ui/Manual.h"
#include "ui/ManualWindow.h"
#include "ui/MessageBox.h"
#include "ui/PreferenceDlg.h"
#include "ui/ScreenFit.h"
#include "ui/ToolIcons.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace tq9 {

CTQ9GUIApp::CTQ9GUIApp() = default;

CTQ9GUIApp::~CTQ9GUIApp()
{
    m_frame.reset(); // before the application object and the translator go
    if (m_translator)
        QCoreApplication::removeTranslator(m_translator.get());
    if (m_qtTranslator)
        QCoreApplication::removeTranslator(m_qtTranslator.get());
}

namespace {

// The program's command line: options and the files to import.
struct CommandLine {
    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit.")};
    const QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version and exit.")};
    const QCommandLineOption cardRoot{QStringLiteral("card-root"),
                                      QStringLiteral("Also look for a card in DIR (repeatable)."),
                                      QStringLiteral("DIR")};
    CommandLine()
    {
        parser.setApplicationDescription(
            QStringLiteral("Shows the TQ-9 cards, imports desktop files onto them and manages their folders."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(cardRoot);
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("Media files to import into the selected card folder."),
                                     QStringLiteral("[FILE...]"));
    }
};

} // namespace

bool CTQ9GUIApp::RunsWithoutWindow(const QStringList& arguments)
{
    CommandLine line;
    return !line.parser.parse(arguments) || line.parser.isSet(line.help) || line.parser.isSet(line.version);
}

QStringList CTQ9GUIApp::FilesNamed(const QStringList& arguments)
{
    CommandLine line;
    QStringList files;
    if (line.parser.parse(arguments))
        for (const QString& file : line.parser.positionalArguments())
            files << QDir::cleanPath(QDir::current().absoluteFilePath(file));
    return files;
}

void CTQ9GUIApp::OpenHandedFiles(const QStringList& files)
{
    if (!m_frame)
        return;
    m_frame->show();
    m_frame->setWindowState(m_frame->windowState() & ~Qt::WindowMinimized);
    m_frame->raise();
    m_frame->activateWindow();
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(file.toStdString());
    // Not from inside the caller's bus call: the question is modal.
    if (!paths.empty())
        QTimer::singleShot(0, m_frame.get(), [this, paths] { OfferWhenFree(paths); });
}

void CTQ9GUIApp::OfferWhenFree(const std::vector<std::string>& files)
{
    // A job or a dialog of the window comes first (the importer runs one job at a time); the files wait.
    if (QApplication::activeModalWidget() || CSelfDDIndicator::Instance().GetDropBusy()) {
        QTimer::singleShot(500, m_frame.get(), [this, files] { OfferWhenFree(files); });
        return;
    }
    m_frame->OfferImport(files);
}

bool CTQ9GUIApp::ParseArguments(const QStringList& arguments)
{
    CommandLine line;
    QCommandLineParser& parser = line.parser;
    const QCommandLineOption& help = line.help;
    const QCommandLineOption& version = line.version;
    const QCommandLineOption& cardRoot = line.cardRoot;
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tq9-image-converter: %s\n", qPrintable(parser.errorText()));
        m_earlyExitCode = 2;
        return false;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        m_earlyExitCode = 0;
        return false;
    }
    if (parser.isSet(version)) {
        std::printf("tq9-image-converter (TQ-9 Image Converter) %s\n", kVersion);
        m_earlyExitCode = 0;
        return false;
    }
    // Absolute, so that the address bar shows full paths whatever the current folder.
    for (const QString& dir : parser.values(cardRoot))
        CCardRoots::AddExtraRoot(QDir::cleanPath(QDir::current().absoluteFilePath(dir)).toStdString());
    for (const QString& file : FilesNamed(arguments))
        m_filesToImport.push_back(file.toStdString());
    return true;
}

bool CTQ9GUIApp::InstallJapanese()
{
    m_translator = std::make_unique<QTranslator>();
    if (!m_translator->load(QStringLiteral(":/i18n/tq9_ja.qm"))) {
        m_translator.reset();
        return false;
    }
    QCoreApplication::installTranslator(m_translator.get());
    CMessageCatalogue::Install(JapaneseCatalogue());
    // Where the file dialogs of Import and Export are Qt's own, their labels come from Qt's catalogue
    // (qt6-translations-l10n); without it they stay English.
    m_qtTranslator = std::make_unique<QTranslator>();
    if (m_qtTranslator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTranslator.get());
    else
        m_qtTranslator.reset();
    return true;
}

bool CTQ9GUIApp::InitInstance(const QStringList& arguments)
{
    if (!ParseArguments(arguments))
        return false;

    if (QLocale::system().language() == QLocale::Japanese && !InstallJapanese()) {
        CMessageBox::Show(nullptr, "Japanese Resource Initialization Failed.", "DLL Error");
        return false;
    }

    // Where the preferences live: organisation "Zentri", application IDS_APP_NAME.
    QCoreApplication::setOrganizationName(QStringLiteral("Zentri"));
    QCoreApplication::setApplicationName(QString::fromStdString(CMessageCatalogue::Get(IDS_APP_NAME)));

    // Without a desktop theme Qt draws its own generic icons; the freedesktop theme looks like the desktop.
    if ((QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) &&
        QFileInfo::exists(QStringLiteral("/usr/share/icons/Adwaita/index.theme")))
        QIcon::setThemeName(QStringLiteral("Adwaita"));

    // Every window and dialog fits its screen, whatever the scale factor.
    qApp->installEventFilter(new CScreenFit(qApp));

    try {
        m_frame = std::make_unique<CMainFrame>();
    } catch (const std::exception&) {
        m_frame.reset();
        CMessageBox::Show(nullptr, "MainWindow Creation Failed.", "Error");
        return false;
    }
    connect(m_frame->HelpAction(), &QAction::triggered, this, &CTQ9GUIApp::OnHelp);
    connect(m_frame->SetupAction(), &QAction::triggered, this, &CTQ9GUIApp::OnSetup);
    connect(m_frame->InfoAction(), &QAction::triggered, this, &CTQ9GUIApp::OnAbout);

    if (CImporter* importer = m_frame->Importer())
        importer->SetSettings(CPreferences::ReadImport());

    m_frame->show();
    m_frame->repaint();
    QApplication::setWindowIcon(CToolIcons::AppIcon());
    if (!m_filesToImport.empty())
        QTimer::singleShot(0, m_frame.get(), [this] { m_frame->OfferImport(m_filesToImport); });
    return true;
}

void CTQ9GUIApp::OnHelp()
{
    // The manual in the user's language (IDS_MANUAL_FILE names it), in a window of the program's own.
    const std::optional<std::string> manual = CManual::Find(CMessageCatalogue::Get(IDS_MANUAL_FILE));
    if (!manual) {
        const std::string where = CManual::Candidates(CMessageCatalogue::Get(IDS_MANUAL_FILE)).front();
        CMessageBox::Show(m_frame.get(), FormatText(CMessageCatalogue::Get(IDS_MANUAL_OPEN_FAILED), where));
        return;
    }
    if (!m_manual)
        m_manual = new CManualWindow(m_frame.get()); // goes with the main window
    m_manual->ShowManual(*manual);
}

void CTQ9GUIApp::OnSetup()
{
    CPreferenceDlg::RunSetup(m_frame.get(), m_frame ? m_frame->Importer() : nullptr);
}

void CTQ9GUIApp::OnAbout()
{
    CAboutDlg dialog(m_frame.get());
    dialog.exec();
}

} // namespace tq9
