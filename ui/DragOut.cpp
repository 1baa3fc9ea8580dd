#include "ui/DragOut.h"

#include "jobs/DragOutData.h"
#include "jobs/Exporter.h"
#include "jobs/SelfDDIndicator.h"
#include "platform/DebugLog.h"
#include "ui/ConvProgressDlg.h"
#include "ui/XdndRequestFilter.h"

#include <QApplication>
#include <QDrag>
#include <QGuiApplication>
#include <QKeyEvent>
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
    int Prepare(const std::vector<std::string>& sources) override { return m_job.Prepare(sources); }
    int Run(IProgressFrontEnd& frontEnd) override { return m_job.Run(frontEnd); }
    std::vector<std::string> WorkingFiles() const override
    {
        std::vector<std::string> files;
        for (const CTQ9ExportSystemFile& record : m_job.Records())
            files.push_back((record.flags & FILE_MEDIA) ? record.tempPath : std::string());
        return files;
    }
    void DeleteWorkingFiles() override { m_job.DeleteWorkingFiles(); }

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

Qt::DropAction CDragOut::Exec(const std::vector<std::string>& cardPaths)
{
    SelfDragGuard selfDrag;
    // The copies of the previous drag: its target has long finished with them.
    CDragOutSource::RemoveLeftovers();
    m_files = std::make_unique<CDragOutSource>(cardPaths);
    m_hold = Hold::Passing;
    m_lastAction = Qt::IgnoreAction;

    // Qt deletes the drag, and the data with it, once the target is done with it (after exec returns on
    // X11), so neither is ours to delete.
    auto* drag = new QDrag(m_source);
    m_data = new CDragOutData(cardPaths, m_files->HandOverPaths());
    drag->setMimeData(m_data);
    connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction action) { m_lastAction = action; });

    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return ExecAfterExport(drag);

    // The target may read the list until it has finished with the drop, after exec returns; the filter
    // stops answering once Qt deletes the data.
    if (!m_xdndRequests && (m_xdndRequests = CXdndRequestFilter::ForThisDisplay()))
        qApp->installNativeEventFilter(m_xdndRequests.get());
    if (m_xdndRequests)
        m_xdndRequests->SetData(m_data);

    // Installed from inside exec(), after Qt's drag filter, so this filter is asked first.
    QTimer::singleShot(0, this, [this] { qApp->installEventFilter(this); });
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    qApp->removeEventFilter(this);
    m_heldRelease.reset();
    m_data = nullptr;
    return action;
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
    }
    return drag->exec(Qt::CopyAction);
}

bool CDragOut::OverOwnWindow(const QPointF& globalPos) const
{
    return QApplication::topLevelAt(globalPos.toPoint()) != nullptr;
}

bool CDragOut::eventFilter(QObject* watched, QEvent* event)
{
    if (m_hold == Hold::Passing) {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto* release = static_cast<QMouseEvent*>(event);
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
    // Qt's filter takes this release as the drop; the target then reads the finished files.
    QCoreApplication::sendEvent(m_releaseReceiver, m_heldRelease.get());
}

} // namespace tq9
