// Tells the desktop about the transfer jobs of the window, so that a long one is not missed behind other
// windows: the job's progress on the task bar's entry while it runs (the launcher-entry signal, read by
// Plasma's task manager and the common docks), and, when a job that ran longer than a few seconds ends while
// the program is not the active one, a desktop notification with its result, whose action raises the
// window, and the window marked urgent. Everything goes through the session bus; without one, or without a
// notification service on it, the calls do nothing.
//
// The progress dialog calls it at a job's start, at each tick and at the end. UI thread only; one instance
// (Instance()), which owns its bus subscriptions.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace tq9 {

class CJobNotifier : public QObject {
    Q_OBJECT
public:
    static CJobNotifier& Instance();

    // A job of window starts.
    void JobStarted(QWidget* window);
    // Its progress so far: files done of count, and the current file's percent.
    void JobProgress(int index, int count, int percent);
    // It ended, by itself or cancelled by the user (never announced), with the result the dialog showed.
    void JobEnded(bool byItself, const QString& summary, const QString& body);

    // How long a job must have run for its end to be announced (5 s; TQ9_NOTIFY_AFTER_MS for tests).
    static qint64 NotifyAfterMs();

private slots:
    void OnActionInvoked(uint id, const QString& action);

private:
    CJobNotifier();
    void SendLauncherEntry(double progress, bool visible, bool urgent);

    QPointer<QWidget> m_window; // the window of the running or last job, raised by the action
    QElapsedTimer m_running;
    uint m_lastId = 0; // the notification the action belongs to
    bool m_subscribed = false;
};

} // namespace tq9
