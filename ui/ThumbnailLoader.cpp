#include "ui/ThumbnailLoader.h"

#include "card/CardLayout.h"
#include "platform/ImageFile.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QThreadPool>

#include <filesystem>

namespace tq9 {

CThumbnailLoader::CThumbnailLoader(QObject* parent)
    : QObject(parent)
{
}

QIcon CThumbnailLoader::IconFor(const std::string& mediaPath)
{
    const QString key = QString::fromStdString(mediaPath);
    if (auto found = m_icons.constFind(key); found != m_icons.constEnd())
        return *found;
    if (m_pending.contains(key))
        return {};
    m_pending.insert(key);
    const std::filesystem::path media(mediaPath);
    const std::string thm = CCardLayout::ThumbnailPath(media.parent_path().string(), media.stem().string());
    QPointer<CThumbnailLoader> self(this);
    const quint64 generation = m_generation;
    QThreadPool::globalInstance()->start([self, key, thm, generation] {
        // A 48x36 BMP: small, but a card reader can be slow; a .thm that is a FIFO must not hold the pool.
        const QImage image = CImageFile::LoadSidecar(thm);
        QMetaObject::invokeMethod(qApp, [self, key, image, generation] {
            if (self)
                self->Deliver(key, image, generation);
        }, Qt::QueuedConnection);
    });
    return {};
}

void CThumbnailLoader::Deliver(const QString& mediaPath, const QImage& image, quint64 generation)
{
    if (generation != m_generation)
        return;
    m_pending.remove(mediaPath);
    m_icons.insert(mediaPath, image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    if (!image.isNull())
        emit Ready(mediaPath);
}

void CThumbnailLoader::Clear()
{
    ++m_generation;
    m_icons.clear();
    m_pending.clear();
}

} // namespace tq9
