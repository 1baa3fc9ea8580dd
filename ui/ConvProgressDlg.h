// The modal progress dialog every transfer job shows while its worker runs, titled with the job: a status
// line (which names the card folder while the worker waits for another run writing into it), a file counter
// over a file bar (in hundredths of a file, so it moves for a single file too), the current file over a
// per-file bar, and Cancel (also Escape and the title bar's close button). While the job copies its results
// onto the card, the status says so, the counter shows the bytes and the lower bar the copy. It polls the
// job through IConvProgress every 500 ms and closes by itself once the job leaves STATE_RUNNING.
//
// User-interface thread only; takes no lock of its own (the job's slots lock what they read).
#pragma once

#include <QDialog>
#include <QString>

#include "jobs/ProgressFrontEnd.h"
#include "jobs/TimeLeft.h"

#include <optional>

class QFontMetrics;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tq9 {

class CConvProgressDlg : public QDialog, public IProgressFrontEnd {
    Q_OBJECT
public:
    explicit CConvProgressDlg(QWidget* parent = nullptr);

    // Shows the dialog modally for job. Returns FRONTEND_FINISHED (1) when the job finished by itself,
    // FRONTEND_CANCELED (2) when the user cancelled.
    int RunModal(IConvProgress& job) override;
    bool LowersWorkerPriority() const override { return true; }
    void WorkerEnded() override;

    // The controls, for tests (object names "status", "counter", "timeLeft", "fileBar", "currentFile",
    // "percentBar", "cancel"). The current-file line names the file (cut in the middle when too long),
    // blank once it is at 100 %; its tool tip holds the full path. The time left shows on
    // work that runs longer than a few seconds.
    QLabel* StatusLabel() const { return m_status; }
    QLabel* CounterLabel() const { return m_counter; }
    QLabel* TimeLeftLabel() const { return m_timeLeft; }
    QLabel* CurrentFileLabel() const { return m_currentFile; }
    QProgressBar* FileBar() const { return m_fileBar; }
    QProgressBar* PercentBar() const { return m_percentBar; }
    QPushButton* CancelButton() const { return m_cancel; }

    // Width of the dialog's base unit: the average width of the Latin letters, whatever the script of
    // the font's other glyphs.
    static double DialogBaseWidth(const QFontMetrics& metrics);

public slots:
    // Cancel button and Escape.
    void reject() override;

private slots:
    void Tick();

private:
    void SetBars();
    void RefreshTexts(int state);
    // The copy onto the card, while the job reports one: its status, bytes and time left. False otherwise.
    bool ShowPlacement();
    void ShowTimeLeft(std::optional<std::chrono::seconds> left);

    IConvProgress* m_job = nullptr;
    // IDS_NOW_CONVERTING, then IDS_CONVERTING_CANCELED / _FAILED / _FINISHED (IDS_CONVERTING_ENDED_EARLY) by
    // state (their copying texts for a copy)
    QString m_statusText;
    QString m_counterFormat; // IDS_CONVERTED_FILE
    QString m_fileFormat;    // IDS_CONVERTING_FILE
    std::optional<CTimeLeft> m_timeLeftEstimate;
    std::optional<CTimeLeft> m_placementTimeLeft; // from the start of the copy onto the card
    QTimer* m_timer = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_counter = nullptr;
    QLabel* m_timeLeft = nullptr;
    QLabel* m_currentFile = nullptr;
    QProgressBar* m_fileBar = nullptr;
    QProgressBar* m_percentBar = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace tq9
