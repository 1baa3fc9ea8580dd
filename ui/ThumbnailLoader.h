// The files' .thm pictures as list icons: read and scaled on the thread pool, never on the GUI thread,
// and kept until the list shows another folder. UI thread only (the pool's tasks only read files).
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>

#include <string>

namespace tq9 {

class CThumbnailLoader : public QObject {
    Q_OBJECT
public:
    explicit CThumbnailLoader(QObject* parent = nullptr);

    // The thumbnail of the media file at path, when it has been read; otherwise a null icon, and the
    // .thm file (if any) is read in the background and Ready(path) follows.
    QIcon IconFor(const std::string& mediaPath);
    // Forgets every picture (another folder is shown, or the shown one was read again).
    void Clear();

signals:
    void Ready(const QString& mediaPath);

private:
    void Deliver(const QString& mediaPath, const QImage& image, quint64 generation);

    QHash<QString, QIcon> m_icons; // null icon: the file has no readable .thm
    QSet<QString> m_pending;
    quint64 m_generation = 0; // pictures read before a Clear are dropped
};

} // namespace tq9
