#include "ui/ConvProgressDlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "res/ByteSize.h"
#include "res/MessageCatalogue.h"
#include "ui/JobNotifier.h"

#include <algorithm>
#include <filesystem>

namespace tq9 {

namespace {

constexpr int kTickMs = 500;

QString catalogueText(int id)
{
    return QString::fromStdString(CMessageCatalogue::Get(id));
}

} // namespace

double CConvProgressDlg::DialogBaseWidth(const QFontMetrics& metrics)
{
    static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return metrics.horizontalAdvance(letters) / static_cast<double>(letters.size());
}

CConvProgressDlg::CConvProgressDlg(QWidget* parent) : QDialog(parent)
{
    // A title bar naming the job, so the dialog can be moved and found among the windows; its close
    // button cancels, as Escape and Cancel do.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);

    // The layout is given in dialog units: a quarter of the font's average Latin letter width across (a
    // CJK font's average character is a full-width glyph, which would make the dialog twice as wide), an
    // eighth of the font height down. It never gets wider than the window it belongs to.
    const QFontMetrics fm(font());
    double ux = DialogBaseWidth(fm) / 4.0;
    if (parent && parent->window()->width() > 0)
        ux = std::min(ux, parent->window()->width() / 274.0);
    const double uy = fm.height() / 8.0;
    auto place = [&](QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(qRound(x * ux), qRound(y * uy), qRound(width * ux), qRound(height * uy));
    };
    setFixedSize(qRound(274 * ux), qRound(113 * uy));

    auto label = [&](const QString& text, const char* name, Qt::Alignment align, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(align | Qt::AlignVCenter);
        l->setTextFormat(Qt::PlainText);
        place(l, x, y, w, h);
        return l;
    };
    auto bar = [&](const char* name, int x, int y, int w, int h) {
        auto* b = new QProgressBar(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setTextVisible(false);
        place(b, x, y, w, h);
        return b;
    };
    m_status = label(tr("Converting ..."), "status", Qt::AlignLeft, 13, 9, 248, 8);
    m_counter = label(tr("Converted File 0/0"), "counter", Qt::AlignRight, 33, 23, 201, 8);
    m_timeLeft = label(QString(), "timeLeft", Qt::AlignLeft, 33, 23, 110, 8);
    m_fileBar = bar("fileBar", 32, 35, 205, 14);
    m_fileBar->setAccessibleName(tr("All files"));
    m_currentFile = label(tr("Converting filename"), "currentFile", Qt::AlignRight, 34, 54, 201, 8);
    m_percentBar = bar("percentBar", 32, 67, 205, 14);
    m_percentBar->setAccessibleName(tr("Current file"));

    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setAutoDefault(false);
    place(m_cancel, 188, 91, 50, 14);
    connect(m_cancel, &QPushButton::clicked, this, &CConvProgressDlg::reject);

    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &CConvProgressDlg::Tick);
}

int CConvProgressDlg::RunModal(IConvProgress& job)
{
    m_job = &job;
    const ProgressTextIds ids = ProgressTextsFor(job);
    setWindowTitle(catalogueText(ids.title));
    m_statusText = catalogueText(ids.now);
    m_counterFormat = catalogueText(ids.counter);
    m_fileFormat = catalogueText(ids.file);
    m_timeLeftEstimate.emplace();
    m_placementTimeLeft.reset();

    m_percentBar->setRange(job.GetPercentMin(), job.GetPercentMax());
    SetBars();
    RefreshTexts(STATE_RUNNING);
    CJobNotifier::Instance().JobStarted(parentWidget());
    m_timer->start();
    const int code = exec();
    m_timer->stop();
    CJobNotifier::Instance().JobEnded(code == FRONTEND_FINISHED, m_status->text(), m_counter->text());
    m_job = nullptr;
    return code;
}

void CConvProgressDlg::WorkerEnded()
{
    QMetaObject::invokeMethod(this, &CConvProgressDlg::Tick, Qt::QueuedConnection);
}

void CConvProgressDlg::Tick()
{
    if (!m_job)
        return;
    // The state first: the worker moves the index to the end before it stores the final state, so the
    // tick that sees the final state also shows the final count.
    const int state = m_job->GetState();
    SetBars();
    RefreshTexts(state);
    CJobNotifier::Instance().JobProgress(m_job->GetFileIndex(), m_job->GetFileCount(), m_job->GetPercent());
    if (state != STATE_RUNNING) {
        m_timer->stop();
        done(FRONTEND_FINISHED);
    }
}

void CConvProgressDlg::SetBars()
{
    // The file bar counts in hundredths of a file, so that it moves while a single file converts.
    const int span = std::max(1, m_job->GetPercentMax() - m_job->GetPercentMin());
    const int count = m_job->GetFileCount();
    const int index = std::clamp(m_job->GetFileIndex(), m_job->GetFileCountMin(), std::max(count, 0));
    const int percent = std::clamp(m_job->GetPercent() - m_job->GetPercentMin(), 0, span);
    m_fileBar->setRange(m_job->GetFileCountMin() * span, count * span);
    const PlacementProgress placement = m_job->GetPlacement();
    if (placement.active) {
        // Every file is converted; the lower bar is the copy onto the card.
        m_fileBar->setValue(m_fileBar->maximum());
        m_percentBar->setValue(m_job->GetPercentMin() +
                               (placement.total ? static_cast<int>(placement.done * span / placement.total) : 0));
        return;
    }
    m_fileBar->setValue(index < count ? index * span + percent : count * span);
    m_percentBar->setValue(m_job->GetPercent());
}

bool CConvProgressDlg::ShowPlacement()
{
    const PlacementProgress placement = m_job->GetPlacement();
    if (!placement.active)
        return false;
    if (!m_placementTimeLeft)
        m_placementTimeLeft.emplace();
    m_status->setText(catalogueText(IDS_COPYING_TO_CARD));
    m_status->setToolTip(QString());
    m_counter->setText(QString::fromStdString(FormatText(CMessageCatalogue::Get(IDS_BYTES_OF),
                                                         CByteSize::Text(placement.done),
                                                         CByteSize::Text(placement.total))));
    const int percent = placement.total ? static_cast<int>(placement.done * 100 / placement.total) : 0;
    ShowTimeLeft(m_placementTimeLeft->Estimate(0, 1, percent));
    m_currentFile->clear();
    m_currentFile->setToolTip(QString());
    return true;
}

void CConvProgressDlg::ShowTimeLeft(std::optional<std::chrono::seconds> left)
{
    m_timeLeft->setText(left ? QString::fromStdString(FormatText(CMessageCatalogue::Get(IDS_TIME_LEFT),
                                                                 CTimeLeft::Text(*left)))
                             : QString());
}

void CConvProgressDlg::RefreshTexts(int state)
{
    if (state == STATE_RUNNING && ShowPlacement())
        return;
    // The ending is asked for at the end: what the job handed on decides the good one.
    if (state != STATE_RUNNING)
        m_statusText = QString::fromStdString(ProgressEndingText(*m_job, state));
    // While the worker waits for another run's lock on a card folder, the status line names the folder
    // (cut in the middle; its tool tip holds all of it), and Cancel ends the wait.
    const std::string waitingFor = state == STATE_RUNNING ? m_job->GetWaitingFor() : std::string();
    if (waitingFor.empty()) {
        m_status->setText(m_statusText);
        m_status->setToolTip(QString());
    } else {
        const QString text = QString::fromStdString(FormatText(CMessageCatalogue::Get(IDS_WAITING_FOR_FOLDER), waitingFor));
        m_status->setText(fontMetrics().elidedText(text, Qt::ElideMiddle, m_status->width()));
        m_status->setToolTip(text);
    }

    const int index = m_job->GetFileIndex();
    const int count = m_job->GetFileCount();
    const int percent = m_job->GetPercent();
    m_counter->setText(QString::fromStdString(FormatText(m_counterFormat.toStdString(), index, count)));

    std::optional<std::chrono::seconds> left;
    if (state == STATE_RUNNING && m_timeLeftEstimate)
        left = m_timeLeftEstimate->Estimate(index, count, percent);
    ShowTimeLeft(left);

    // The line names the file being worked on; it is blank once that file is at 100 % (until the next one
    // starts, and at the end), so a finished file never looks like one still in progress.
    const std::string current = percent < m_job->GetPercentMax() ? m_job->GetCurrentFileName() : std::string();
    if (current.empty()) {
        m_currentFile->clear();
        m_currentFile->setToolTip(QString());
        return;
    }
    // The file's name: its folder is the one the user dropped from and only crowds the line out.
    const std::string name = std::filesystem::path(current).filename().string();
    const QString text = QString::fromStdString(FormatText(m_fileFormat.toStdString(), name));
    m_currentFile->setText(fontMetrics().elidedText(text, Qt::ElideMiddle, m_currentFile->width()));
    m_currentFile->setToolTip(QString::fromStdString(current));
}

void CConvProgressDlg::reject()
{
    if (m_job)
        CancelJob(*m_job);
    m_timer->stop();
    done(FRONTEND_CANCELED);
}

} // namespace tq9
