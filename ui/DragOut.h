// One drag of card files out of the file list. On X11 the drop onto another program is held while the
// export runs: an application event filter, installed from inside QDrag::exec so that it sees events
// before Qt's own drag filter, keeps the button release that ends the drag over a foreign window, runs the
// export behind the progress dialog, and then sends the release on, so Qt sends the drop and the target
// reads a list of finished files. Escape or Cancel during the export cancels the drag and hands over
// nothing. A release over the program's own windows passes untouched: the tree duplicates, the list
// refuses.
//
// On Wayland the compositor performs the drop, and the target then reads the file list from a pipe: there
// the drag starts at once, the export starts with it in the background, and a target's request for the
// list (after the drop, or while hovering) is held until the files are finished; the progress dialog shows
// the rest of the export meanwhile, with Cancel and Escape as above. A target that stops waiting before the
// files are ready receives nothing; the user is told and may keep the files in a folder of their choice.
// Elsewhere (other platforms), the export runs with its dialog before the drag and the finished files are
// dragged.
//
// UI thread only. One drag at a time.
#pragma once

#include <QIcon>
#include <QMouseEvent>
#include <QPixmap>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/DragOutSource.h"

class QDrag;
class QWidget;

namespace tq9 {

class CConvProgressDlg;
class CDragOutData;
class CDragOutExport;
class CExporter;
class CHeldDataRequests;
class CXdndRequestFilter;

class CDragOut : public QObject {
    Q_OBJECT
public:
    // exporter may be null: the drag then still reaches the program's own views, and no file leaves.
    CDragOut(QWidget* source, CExporter* exporter);
    ~CDragOut() override;

    // Runs the drag of cardPaths (list order) to its end and returns the action the drop took; the drag
    // image shows icon and the number of files. Files that could not be exported are named in a
    // message once the drag has ended; the others were handed over.
    Qt::DropAction Exec(const std::vector<std::string>& cardPaths, const QIcon& icon = QIcon());

    // The drag image: icon, with a badge of count when it is more than one.
    static QPixmap DragImage(const QIcon& icon, int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Hold { Passing, Holding, Escaped };

    void RunHeldExport();
    Qt::DropAction ExecAfterExport(QDrag* drag);
    // Wayland: the drag with its export in the background and the list requests held until it ends.
    Qt::DropAction ExecHoldingRequests(QDrag* drag);
    QByteArray ListRequested();
    void HoldUntilExported();
    void ExportEnded();
    void KeepForTheUser();
    bool OverOwnWindow(const QPointF& globalPos) const;
    void ReportFailures();

    QWidget* m_source;
    std::unique_ptr<CDragOutSource::IExport> m_exporter;
    std::unique_ptr<CDragOutSource> m_files;
    QPointer<CDragOutData> m_data; // owned by the QDrag
    Hold m_hold = Hold::Passing;
    Qt::DropAction m_lastAction = Qt::IgnoreAction;
    bool m_releasedOverNoTarget = false; // X11: let go outside the program where no target took the drag
    std::unique_ptr<QMouseEvent> m_heldRelease;
    QPointer<QObject> m_releaseReceiver;
    QPointer<CConvProgressDlg> m_dialog;
    std::unique_ptr<CXdndRequestFilter> m_xdndRequests; // X11 only, installed at the first drag

    // The Wayland drag's.
    std::unique_ptr<CDragOutExport> m_export;       // null on other platforms
    std::unique_ptr<CHeldDataRequests> m_requests;  // the list requests waiting for the export
    bool m_holdQueued = false;                      // HoldUntilExported is on its way
    bool m_exportFinished = false;                  // the export has returned and the list is final
    bool m_gaveUp = false;                          // a target's request outlived the drag
    bool m_answeredLate = false;                    // the drag ended before the answer
    std::optional<std::chrono::steady_clock::time_point> m_dragEnded; // when Qt let go of the drag
};

} // namespace tq9
