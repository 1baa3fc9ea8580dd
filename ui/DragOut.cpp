#include "ui/DragOut.h"

#include "jobs/DragOutData.h"
#include "jobs/DragOutExport.h"
#include "jobs/Exporter.h"
#include "ui/SelfDDIndicator.h"
#include "platform/DebugLog.h"
#include "res/MessageCatalogue.h"
#include "ui/ConvProgressDlg.h"
#include "ui/FileChooser.h"
#include "ui/HeldDataRequests.h"
#include "ui/MessageBox.h"
#include "ui/XdndRequestFilter.h"

#include <QApplication>
#include <QDrag>
#include <QEventLoop>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace tq9 {

namespace {

// Holds the self-drag flag for the drag's whole run.
struct SelfDragGuard {
    SelfDragGuard() { CSelfDDIndicator::Instance().SetSelfDrag(1); }
    ~SelfDragGuard() { CSelfDDIndicator::Instance().SetSelfDrag(0); }
};

bool isMouseEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

// The export job as the drag uses it: each record's working file is its hand-over copy.
class ExporterHandOver : public CDragOutSource::IExport {
public:
    explicit ExporterHandOver(CExporter& job) : m_job(job) {}
    int Prepare(const std::vector<std::string>& sources, const std::string& parent) override
    {
        // A drop on the program's own views takes the card files themselves: nothing to convert.
        return m_job.Prepare(sources, parent, CSelfDDIndicator::Instance().GetDropBusy());
    }
    int Run(IProgressFrontEnd& frontEnd) override { return m_job.Run(frontEnd); }
    std::vector<std::string> WorkingFiles() const override
    {
        std::vector<std::string> files;
        for (size_t i = 0; i < m_job.Records().size(); ++i)
            files.push_back(m_job.Exported(i) ? m_job.Records()[i].tempPath : std::string());
        return files;
    }
    void DeleteWorkingFiles() override { m_job.DeleteWorkingFiles(); }
    std::string FailureText(bool handedOver) const override { return ExportFailureText(m_job, handedOver); }

private:
    CExporter& m_job;
};

} // namespace

CDragOut::CDragOut(QWidget* source, CExporter* exporter)
    : m_source(source)
{
    if (exporter)
        m_exporter = std::make_unique<ExporterHandOver>(*exporter);
}

CDragOut::~CDragOut()
{
    qApp->removeEventFilter(this);
    if (m_xdndRequests)
        qApp->removeNativeEventFilter(m_xdndRequests.get());
}

QPixmap CDragOut::DragImage(const QIcon& icon, int count)
{
    // The rows' icon, and a badge with their number when there are several.
    constexpr int kSide = 48, kIcon = 32;
    QPixmap image(kSide, kSide);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QIcon shown = icon.isNull() ? QApplication::style()->standardIcon(QStyle::SP_FileIcon) : icon;
    shown.paint(&painter, QRect(0, kSide - kIcon, kIcon, kIcon));
    if (count > 1) {
        const QString text = count > 999 ? QStringLiteral("999+") : QString::number(count);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(11);
        painter.setFont(font);
        const int width = std::max(18, QFontMetrics(font).horizontalAdvance(text) + 8);
        const QRect badge(kSide - width, 0, width, 18);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x6f, 0xd0));
        painter.drawRoundedRect(badge, 9, 9);
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter, text);
    }
    painter.end();
    return image;
}

Qt::DropAction CDragOut::Exec(const std::vector<std::string>& cardPaths, const QIcon& icon)
{
    SelfDragGuard selfDrag;
    // Earlier drags' copies that no target uses any more.
    CDragOutSource::RemoveLeftovers();
    m_files = std::make_unique<CDragOutSource>(cardPaths);
    m_hold = Hold::Passing;
    m_lastAction = Qt::IgnoreAction;

    // Qt deletes the drag, and the data with it, once the target is done with it (after exec returns on
    // X11), so neither is ours to delete.
    auto* drag = new QDrag(m_source);
    m_data = new CDragOutData(cardPaths, m_files->HandOverPaths());
    drag->setMimeData(m_data);
    drag->setPixmap(DragImage(icon, static_cast<int>(cardPaths.size())));
    drag->setHotSpot(QPoint(-12, -12));
    connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction action) { m_lastAction = action; });

    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && m_exporter &&
        !m_files->HandOverPaths().empty()) {
        const Qt::DropAction action = ExecHoldingRequests(drag);
        ReportFailures();
        return action;
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        const Qt::DropAction action = ExecAfterExport(drag);
        ReportFailures();
        return action;
    }

    // The target may read the list until it has finished with the drop, after exec returns; the filter
    // stops answering once Qt deletes the data.
    if (!m_xdndRequests && (m_xdndRequests = CXdndRequestFilter::ForThisDisplay()))
        qApp->installNativeEventFilter(m_xdndRequests.get());
    if (m_xdndRequests)
        m_xdndRequests->SetData(m_data);

    // Installed from inside exec(), after Qt's drag filter, so this filter is asked first.
    QTimer::singleShot(0, this, [this] { qApp->installEventFilter(this); });
    m_releasedOverNoTarget = false;
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    qApp->removeEventFilter(this);
    m_heldRelease.reset();
    m_data = nullptr;
    ReportFailures();
    // Through XWayland a Wayland program's window is no X11 drop target unless the desktop passes X11 drags
    // on (sway and weston do not): the drop then ends like one on the bare desktop, and the user is told.
    if (action == Qt::IgnoreAction && m_releasedOverNoTarget && qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        m_exporter && !m_files->HandOverPaths().empty()) {
        CDebugLog::Write("drag-out: released over no X11 drop target under XWayland");
        CMessageBox::Show(m_source, CMessageCatalogue::Get(IDS_DROP_NOT_REACHED_XWAYLAND));
    }
    return action;
}

void CDragOut::ReportFailures()
{
    // After the drag: a message box inside it would hold the drop the target is waiting for.
    if (!m_files || m_files->FailureText().empty() || m_hold == Hold::Escaped)
        return;
    CDebugLog::Write("drag-out: " + m_files->FailureText());
    CMessageBox::Show(m_source, m_files->FailureText());
}

Qt::DropAction CDragOut::ExecAfterExport(QDrag* drag)
{
    // The compositor performs the drop, so it cannot be held: the files are made first, with the dialog
    // and its Cancel, and the drag then carries finished files. A drop on the program's own tree still
    // duplicates the card files.
    if (m_exporter && !m_files->HandOverPaths().empty()) {
        CConvProgressDlg dialog(m_source);
        if (m_files->Export(*m_exporter, dialog) != 0)
            m_data->Withhold();
        else
            m_data->SetHandOver(m_files->HandOverPaths());
    }
    return drag->exec(Qt::CopyAction);
}

bool CDragOut::OverOwnWindow(const QPointF& globalPos) const
{
    return QApplication::topLevelAt(globalPos.toPoint()) != nullptr;
}

bool CDragOut::eventFilter(QObject* watched, QEvent* event)
{
    if (m_export && m_hold == Hold::Passing) {
        // A drop on the program's own views needs no export. There is no release to hold on Wayland.
        if (event->type() == QEvent::Drop)
            m_export->Cancel();
        return false;
    }
    if (m_hold == Hold::Passing) {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto* release = static_cast<QMouseEvent*>(event);
        m_releasedOverNoTarget = !OverOwnWindow(release->globalPosition()) && m_lastAction == Qt::IgnoreAction;
        if (OverOwnWindow(release->globalPosition()) || m_lastAction == Qt::IgnoreAction || !m_exporter ||
            m_files->HandOverPaths().empty())
            return false; // Qt drops on our own views, or cancels
        m_heldRelease.reset(static_cast<QMouseEvent*>(release->clone()));
        m_releaseReceiver = watched;
        m_hold = Hold::Holding;
        QTimer::singleShot(0, this, &CDragOut::RunHeldExport);
        return true;
    }
    if (m_hold != Hold::Holding)
        return false;

    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // The export stops, and Qt's filter, which sees this key next, cancels the drag.
        m_hold = Hold::Escaped;
        if (m_dialog)
            m_dialog->reject();
        return false;
    }
    if (!isMouseEvent(event->type()))
        return false;
    // Qt's drag filter would take any mouse event as the drop; the dialog's Cancel button still works.
    if (event->type() == QEvent::MouseButtonRelease && m_dialog) {
        QPushButton* cancel = m_dialog->CancelButton();
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (cancel->isVisible() && cancel->rect().contains(cancel->mapFromGlobal(at)))
            cancel->click();
    }
    return true;
}

void CDragOut::RunHeldExport()
{
    CConvProgressDlg dialog(m_source);
    m_dialog = &dialog;
    const int result = m_files->Export(*m_exporter, dialog);
    m_dialog = nullptr;
    if (m_hold == Hold::Escaped)
        return; // Qt cancelled the drag with the key; Export removed the copies
    m_hold = Hold::Passing;
    qApp->removeEventFilter(this);
    if (result != 0 || !m_releaseReceiver) {
        CDebugLog::Write("drag-out: export ended with " + std::to_string(result) + "; nothing handed over");
        m_data->Withhold();
        QDrag::cancel();
        return;
    }
    // Only what was made; a card mp4 in another coding keeps its own extension.
    m_data->SetHandOver(m_files->HandOverPaths());
    // Qt's filter takes this release as the drop; the target then reads the finished files.
    QCoreApplication::sendEvent(m_releaseReceiver, m_heldRelease.get());
}

Qt::DropAction CDragOut::ExecHoldingRequests(QDrag* drag)
{
    m_requests = std::make_unique<CHeldDataRequests>();
    m_export = std::make_unique<CDragOutExport>(*m_files, *m_exporter);
    m_holdQueued = m_exportFinished = m_gaveUp = m_answeredLate = false;
    m_dragEnded.reset();
    m_data->SetListRequestHandler([this] { return ListRequested(); });
    // Qt's Wayland drag deletes the QDrag when the target has finished with the drop or the drag was
    // cancelled: from then on nobody reads the list.
    connect(drag, &QObject::destroyed, this, [this] { m_dragEnded = std::chrono::steady_clock::now(); });
    m_export->Start([this] { QMetaObject::invokeMethod(this, &CDragOut::ExportEnded, Qt::QueuedConnection); });

    // Installed from inside exec(), after Qt's drag filter, so this filter is asked first.
    QTimer::singleShot(0, this, [this] { qApp->installEventFilter(this); });
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    qApp->removeEventFilter(this);
    // Qt may delete the drag only later; it has ended all the same.
    m_dragEnded = m_dragEnded.value_or(std::chrono::steady_clock::now());
    if (!m_exportFinished) {
        // A Qt reader that timed out leaves the drag with no action, so an open request counts too.
        if (m_requests->AnyHeld() && (action != Qt::IgnoreAction || m_requests->Waiting() > 0)) {
            HoldUntilExported(); // a target asked, and let the drag end before the wait began
        } else {
            // Nobody takes the files: the drag was cancelled, or ended on the program's own views.
            m_export->Cancel();
            ExportEnded();
        }
    }
    m_data = nullptr;
    if ((m_gaveUp || (m_answeredLate && action != Qt::IgnoreAction)) && m_hold != Hold::Escaped)
        KeepForTheUser();
    m_requests.reset();
    return action;
}

QByteArray CDragOut::ListRequested()
{
    if (m_hold == Hold::Escaped)
        return QByteArray();
    if (m_exportFinished)
        return m_data ? m_data->UriList() : QByteArray();
    if (!m_requests->HoldCurrent()) {
        // Answered with nothing: nothing unfinished goes out, and the user hears of it after the drag.
        m_gaveUp = true;
        return QByteArray();
    }
    CDebugLog::Write("drag-out: list request held");
    if (!m_holdQueued) {
        // Not from in here: Qt's plug-in waits for this answer, and the dialog runs an event loop.
        m_holdQueued = true;
        QTimer::singleShot(0, this, &CDragOut::HoldUntilExported);
    }
    return QByteArray(); // Qt writes nothing; the request stays open on the pipe kept
}

void CDragOut::HoldUntilExported()
{
    if (m_exportFinished || m_dialog || !m_export)
        return;
    // The job's figures are there once its worker runs (the names are looked at first, briefly).
    QEventLoop starting;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &starting, [&] {
        if (m_export->Running() || m_export->Ended())
            starting.quit();
    });
    poll.start(20);
    starting.exec();
    poll.stop();
    if (!m_export->Ended() && !m_exportFinished) {
        CConvProgressDlg dialog(m_source);
        m_dialog = &dialog;
        m_hold = Hold::Holding;
        if (dialog.RunModal(*m_export) == FRONTEND_CANCELED)
            m_hold = Hold::Escaped;
        else if (m_hold == Hold::Holding)
            m_hold = Hold::Passing;
        m_dialog = nullptr;
    }
    ExportEnded();
}

void CDragOut::ExportEnded()
{
    if (m_exportFinished || !m_export)
        return;
    m_export->Wait(); // at once after the end; shortly after a cancel
    m_exportFinished = true;
    if (m_data) {
        if (m_export->Result() == 0 && m_hold != Hold::Escaped)
            m_data->SetHandOver(m_files->HandOverPaths());
        else
            m_data->Withhold();
    }
    const QByteArray list = m_data ? m_data->UriList() : QByteArray();
    if (m_requests && m_requests->AnyHeld()) {
        // A target that let the drag end before this answer has stopped waiting; one whose request is
        // still open gave up on the drop itself (a peek is closed when the pointer leaves).
        if (m_dragEnded && m_export->Result() == 0 && m_hold != Hold::Escaped) {
            m_answeredLate = true;
            m_gaveUp = m_gaveUp || m_requests->Waiting() > 0;
        }
        const int answered = m_requests->Answer(m_dragEnded ? QByteArray() : list);
        CDebugLog::Write("drag-out: answered " + std::to_string(answered) + " held list request(s)");
    }
    if (m_dialog)
        m_dialog->WorkerEnded();
}

void CDragOut::KeepForTheUser()
{
    const auto since = m_requests && m_requests->AnyHeld() ? m_requests->FirstHeldAt() : *m_dragEnded;
    const int seconds = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(*m_dragEnded - since).count());
    CDebugLog::Write("drag-out: the target stopped waiting after " + std::to_string(seconds) + " s");
    if (m_files->HandOverPaths().empty())
        return; // the failure message says why
    CMessageBox::Show(m_source, FormatText(CMessageCatalogue::Get(IDS_DROP_TARGET_GAVE_UP), seconds));
    const std::optional<std::string> folder = CFileChooser::ExportFolder(m_source);
    const std::vector<std::string> kept = folder ? m_files->MoveCopiesTo(*folder) : std::vector<std::string>();
    m_files->RemoveCopies();
    if (!kept.empty())
        CMessageBox::Show(m_source, FormatText(CMessageCatalogue::Get(IDS_DRAG_FILES_KEPT), *folder));
}

} // namespace tq9
