// SIGTERM (and SIGINT) ends the desktop program the way a user would: every modal dialog is cancelled in
// turn, innermost first (the progress dialog's Cancel stops a running import, which then removes its
// working files and leaves nothing on the card), and once none is left the application quits. The signal
// handler only writes to a pipe; the rest runs on the user-interface thread.
//
// One instance, created on the user-interface thread after the application object.
#pragma once

#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace tq9 {

class CSignalQuit : public QObject {
public:
    explicit CSignalQuit(QObject* parent = nullptr);
    ~CSignalQuit() override;

    bool Terminating() const { return m_terminating; }

private:
    void OnSignal();
    void Unwind();

    QSocketNotifier* m_notifier = nullptr;
    QTimer m_unwind; // cancels the next modal dialog while terminating
    bool m_terminating = false;
};

} // namespace tq9
