// One window per user and display: the first start claims a unique name on the session bus (or, without a
// bus, a local socket in $XDG_RUNTIME_DIR); a later start hands its files to that window, which raises
// itself and offers to import them, and ends. The display is part of the name, because a window on
// another display is not one the user sees.
//
// UI thread only. Owns the bus registration or the listening socket; both go with the object.
#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;

namespace tq9 {

class CSingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.tq9_image_converter.Window")
public:
    CSingleInstance();
    ~CSingleInstance() override;

    // Becomes the window others hand their files to. False when another one already is (or nothing can be
    // claimed: then each start opens its own window, as before).
    bool Claim();
    // Gives files (absolute paths; none to only raise the window) to the window that holds the claim. False
    // when it did not take them.
    bool HandOver(const QStringList& files);

    // The bus name and the socket of this user's display.
    static QString BusName();
    static QString SocketPath();

public slots:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void Open(const QStringList& files);

signals:
    void FilesHandedOver(const QStringList& files);

private:
    bool m_onBus = false;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace tq9
