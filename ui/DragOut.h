// One drag of card files out of the file list. On X11 the drop onto another program is held while the
// export runs: an application event filter, installed from inside QDrag::exec so that it sees events
// before Qt's own drag filter, keeps the button release that ends the drag over a foreign window, runs the
// export behind the progress dialog, and then sends the release on, so Qt sends the drop and the target
// reads a list of finished files. Escape or Cancel during the export cancels the drag and hands over
// nothing. A release over the program's own windows passes untouched: the tree duplicates, the list
// refuses. Where a drop cannot be held (Wayland and other platforms), the export runs with its dialog
// before the drag and the finished files are dragged.
//
// UI thread only. One drag at a time.
#pragma once

#include <QIcon>
#include <QMouseEvent>
#include <QPixmap>
#include <QObject>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

#include "jobs/DragOutSource.h"

class QDrag;
class QWidget;

namespace tq9 {

class CConvProgressDlg;
class CDragOutData;
class CExporter;
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
    bool OverOwnWindow(const QPointF& globalPos) const;
    void ReportFailures();

    QWidget* m_source;
    std::unique_ptr<CDragOutSource::IExport> m_exporter;
    std::unique_ptr<CDragOutSource> m_files;
    CDragOutData* m_data = nullptr; // owned by the QDrag
    Hold m_hold = Hold::Passing;
    Qt::DropAction m_lastAction = Qt::IgnoreAction;
    std::unique_ptr<QMouseEvent> m_heldRelease;
    QPointer<QObject> m_releaseReceiver;
    QPointer<CConvProgressDlg> m_dialog;
    std::unique_ptr<CXdndRequestFilter> m_xdndRequests; // X11 only, installed at the first drag
};

} // namespace tq9
