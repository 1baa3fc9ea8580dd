#include "jobs/DragOutData.h"

#include <QUrl>

namespace tq9 {

namespace {
const QString kUriList = QStringLiteral("text/uri-list");
} // namespace

CDragOutData::CDragOutData(std::vector<std::string> cardPaths, std::vector<std::string> handOverPaths)
    : m_cardPaths(std::move(cardPaths))
    , m_handOver(std::move(handOverPaths))
{
}

QByteArray CDragOutData::UriList() const
{
    QByteArray list;
    for (const std::string& path : m_handOver)
        list += QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded() + "\r\n";
    return list;
}

std::vector<std::string> CDragOutData::CardPaths(const QMimeData& data)
{
    std::vector<std::string> paths;
    if (!data.hasFormat(QLatin1String(kCardPathsFormat)))
        return paths;
    for (const QByteArray& line : data.data(QLatin1String(kCardPathsFormat)).split('\n'))
        if (!line.isEmpty())
            paths.push_back(line.toStdString());
    return paths;
}

QStringList CDragOutData::formats() const
{
    return {kUriList, QLatin1String(kCardPathsFormat)};
}

bool CDragOutData::hasFormat(const QString& mimeType) const
{
    return mimeType == kUriList || mimeType == QLatin1String(kCardPathsFormat);
}

QVariant CDragOutData::retrieveData(const QString& mimeType, QMetaType) const
{
    if (mimeType == kUriList)
        return m_listRequest ? m_listRequest() : UriList();
    if (mimeType == QLatin1String(kCardPathsFormat)) {
        QByteArray paths;
        for (const std::string& path : m_cardPaths)
            paths += QByteArray::fromStdString(path) + '\n';
        return paths;
    }
    return QVariant();
}

} // namespace tq9
