// A drop target for the drag tests: a window that takes file lists as a file manager would and records
// what it received. It copies each file into OUT_DIR the moment it reads it, so the test sees whether the
// file was complete then. With --peek it reads the list while the pointer is over it and uses that list at
// the drop, as targets do that look before the drop; otherwise it reads the list only at the drop.
//
// Usage: tq9-test-droptarget TITLE OUT_DIR [--peek]. Writes OUT_DIR/log: "peek N", "drop N" (URLs in the
// list) and "copied NAME SIZE" or "missing PATH" per file.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

class Target : public QWidget {
public:
    Target(QString out, bool peek) : m_out(std::move(out)), m_peek(peek) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (!event->mimeData()->hasUrls())
            return event->ignore();
        if (m_peek && m_peeked.isEmpty()) {
            m_peeked = event->mimeData()->urls();
            Log(QString("peek %1").arg(m_peeked.size()));
        }
        event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        const QList<QUrl> urls = m_peek ? m_peeked : event->mimeData()->urls();
        m_peeked.clear();
        Log(QString("drop %1").arg(urls.size()));
        for (const QUrl& url : urls) {
            const QString path = url.toLocalFile();
            const QString copy = m_out + "/" + QFileInfo(path).fileName();
            QFile::remove(copy);
            if (QFile::copy(path, copy))
                Log(QString("copied %1 %2").arg(QFileInfo(path).fileName()).arg(QFileInfo(copy).size()));
            else
                Log("missing " + path);
        }
        event->acceptProposedAction();
    }

private:
    void Log(const QString& line)
    {
        QFile log(m_out + "/log");
        if (log.open(QIODevice::Append))
            log.write((line + "\n").toUtf8());
    }

    QString m_out;
    bool m_peek;
    QList<QUrl> m_peeked;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    Target target(QString::fromLocal8Bit(argv[2]), argc > 3 && QByteArray(argv[3]) == "--peek");
    target.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    target.resize(300, 300);
    target.show();
    return app.exec();
}
