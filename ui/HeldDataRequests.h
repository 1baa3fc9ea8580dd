// Keeps Wayland data requests for the drag open until the files exist. On Wayland a drop target reads the
// dragged data after the drop (and some while hovering) from a pipe: it sends the write end with its
// request, and Qt's Wayland plug-in answers at once from the mime data's retrieveData on the user-interface
// thread, writes what that returns and closes its end. Qt gives no way to answer later, so the drag keeps a
// duplicate of that write end: Qt then writes nothing and closes its own, the target goes on waiting on the
// pipe, and Answer writes the list once the export has finished.
//
// The request's pipe is found among the process's open descriptors: the one write-only pipe that was not
// open when the drag started (only a data request brings such a pipe in). While a request is held, a line
// end goes into its pipe every 400 ms, which every file-list reader skips: Qt's own reader gives up after
// a second without data, GTK's waits.
//
// User-interface thread only.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace tq9 {

class CHeldDataRequests : public QObject {
    Q_OBJECT
public:
    // Notes the pipes open now.
    CHeldDataRequests();
    ~CHeldDataRequests() override; // closes what is still held: those readers get nothing

    // Keeps the pipe of the request being answered now; false when it cannot be told apart.
    bool HoldCurrent();
    // Requests held whose reader still waits.
    int Waiting();
    // True when a request was ever held.
    bool AnyHeld() const { return m_firstHeld.has_value(); }
    std::chrono::steady_clock::time_point FirstHeldAt() const { return m_firstHeld.value_or(std::chrono::steady_clock::time_point()); }
    // Writes data to every held request and closes them; returns how many readers took all of it.
    int Answer(const QByteArray& data);

    // The write-only pipes open in this process, as (descriptor, inode).
    static std::set<std::pair<int, ino_t>> WriteOnlyPipes();

private:
    void KeepAlive();

    std::set<std::pair<int, ino_t>> m_known;
    std::vector<int> m_held;
    std::optional<std::chrono::steady_clock::time_point> m_firstHeld;
    bool m_keepAlive = true;
    QTimer m_timer;
};

} // namespace tq9
