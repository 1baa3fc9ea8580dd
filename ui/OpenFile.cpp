#include "ui/OpenFile.h"

#include "res/MessageCatalogue.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <memory>

namespace tq9 {

namespace {

COpenFile::Hook& hook()
{
    static COpenFile::Hook h;
    return h;
}

// xdg-open's "no program for this" answers: 3 (no tool found), and 4 (the action failed) when it comes at once;
// a 4 after a while is a program that ran and ended badly, which the user has seen.
constexpr int kNoToolFound = 3;
constexpr int kActionFailed = 4;
constexpr qint64 kAtOnceMs = 5000;

} // namespace

bool COpenFile::Open(const std::string& path)
{
    if (hook())
        return hook()(path);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return false;
    auto* process = new QProcess(qApp);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(process, &QProcess::finished, process, [process, path, started](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        const bool none = status == QProcess::NormalExit &&
                          (code == kNoToolFound || (code == kActionFailed && started->elapsed() < kAtOnceMs));
        if (none)
            CMessageBox::Show(QApplication::activeWindow(),
                              FormatText(CMessageCatalogue::Get(IDS_NO_PROGRAM_TO_OPEN), path));
    });
    process->start(opener, {QString::fromStdString(path)});
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    return true;
}

void COpenFile::SetHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace tq9
