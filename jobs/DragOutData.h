// The data a drag of card files out of the file list offers. A target outside the program reads the file
// list ("text/uri-list") of the copies it is to receive: they are named when the drag starts, so a target
// that reads during the motion and one that reads at the drop get the same list, and they exist complete
// once the drop is released (the drag holds the drop while the export runs). The program's own views read
// the card paths themselves from a private type, so a drop on a card folder duplicates without exporting.
//
// Every answer is immediate: nothing here exports, blocks or runs an event loop, because a target may ask
// at any time and gives up after a few seconds without an answer. Where the drop cannot be held (Wayland),
// the drag sets a handler that answers the file-list requests in its stead: it keeps the request open
// while the export runs and answers it later.
//
// UI thread only.
#pragma once

#include <QMimeData>

#include <functional>
#include <string>
#include <vector>

namespace tq9 {

class CDragOutData : public QMimeData {
public:
    // The private type with the card paths, one a line.
    static constexpr const char* kCardPathsFormat = "application/x-tq9-card-paths";

    CDragOutData(std::vector<std::string> cardPaths, std::vector<std::string> handOverPaths);

    const std::vector<std::string>& CardPathList() const { return m_cardPaths; }
    const std::vector<std::string>& HandOverPaths() const { return m_handOver; }
    // After a cancelled or failed export the drag hands over no file at all.
    void Withhold() { m_handOver.clear(); }
    // After the export: the files that were made, which a target reading at the drop receives.
    void SetHandOver(std::vector<std::string> handOverPaths) { m_handOver = std::move(handOverPaths); }
    // Answers the "text/uri-list" requests from now on instead of UriList.
    void SetListRequestHandler(std::function<QByteArray()> handler) { m_listRequest = std::move(handler); }
    // The file list in its wire form: one "file://" URL a line, each ended by CR LF.
    QByteArray UriList() const;

    // The card paths of a drag of this program's file list; empty for any other data.
    static std::vector<std::string> CardPaths(const QMimeData& data);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::vector<std::string> m_cardPaths;
    std::vector<std::string> m_handOver;
    std::function<QByteArray()> m_listRequest;
};

} // namespace tq9
