#include "ui/ShellIcons.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>

namespace tq9 {

namespace {
QFileIconProvider& provider()
{
    static QFileIconProvider p;
    return p;
}
} // namespace

QString CShellIcons::DisplayName(const std::string& path)
{
    QString text = QString::fromStdString(path);
    while (text.size() > 1 && text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const QString name = QFileInfo(text).fileName();
    return name.isEmpty() ? text : name;
}

QIcon CShellIcons::CardIcon()
{
    return QIcon::fromTheme(QStringLiteral("media-flash"), provider().icon(QAbstractFileIconProvider::Drive));
}

QIcon CShellIcons::FolderIcon()
{
    // Made once: asked of a path, the provider stats it, and a folder on a card is a folder on a slow or
    // hung reader.
    static const QIcon icon = [] {
        const QIcon closed = provider().icon(QAbstractFileIconProvider::Folder);
        const QIcon open = QIcon::fromTheme(QStringLiteral("folder-open"), closed);
        QIcon both;
        for (const QSize& size : {QSize(16, 16), QSize(24, 24), QSize(32, 32)}) {
            both.addPixmap(closed.pixmap(size), QIcon::Normal);
            both.addPixmap(open.pixmap(size), QIcon::Selected);
        }
        return both;
    }();
    return icon;
}

QIcon CShellIcons::FileIcon(const std::string& path)
{
    // The type's own theme icon (video, audio, picture) where the theme has one. By the name alone: the
    // list draws it, and drawing never touches the disk.
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    return icon.isNull() ? provider().icon(QAbstractFileIconProvider::File) : icon;
}

} // namespace tq9
