#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace tq9 {

namespace {

const QString kObjectPath = QStringLiteral("/example/tq9_image_converter/Window");
const QString kInterface = QStringLiteral("example.tq9_image_converter.Window");
constexpr int kHandOverMs = 10000; // a window busy with a modal dialog still answers at once

// The display this start shows its window on, as characters a bus name and a file name take.
QString displayKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    return display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")), QStringLiteral("_"));
}

QByteArray pack(const QStringList& files)
{
    return files.join(QChar(0)).toUtf8();
}

QStringList unpack(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QStringList() : QString::fromUtf8(bytes).split(QChar(0));
}

} // namespace

CSingleInstance::CSingleInstance() = default;

CSingleInstance::~CSingleInstance()
{
    if (m_onBus)
        QDBusConnection::sessionBus().unregisterService(BusName());
}

QString CSingleInstance::BusName()
{
    return QStringLiteral("example.tq9_image_converter.display") + displayKey();
}

QString CSingleInstance::SocketPath()
{
    // Only the user's own runtime folder: a shared one would let another user's program answer.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isDir())
        return {};
    return QDir(runtime).filePath(QStringLiteral("tq9-image-converter-display%1.socket").arg(displayKey()));
}

bool CSingleInstance::Claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const auto registered = bus.interface()->registerService(BusName(), QDBusConnectionInterface::DontQueueService,
                                                                 QDBusConnectionInterface::DontAllowReplacement);
        if (!registered.isValid() || registered.value() != QDBusConnectionInterface::ServiceRegistered)
            return false;
        m_onBus = bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
        return true;
    }
    const QString path = SocketPath();
    if (path.isEmpty())
        return true; // nothing to share: this start has its own window
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000))
        return false;
    QLocalServer::removeServer(path); // left by a run that was killed
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        m_server.reset();
        return true;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, this, [this, client] {
                Open(unpack(client->readAll()));
                client->deleteLater();
            });
        }
    });
    return true;
}

bool CSingleInstance::HandOver(const QStringList& files)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(BusName(), kObjectPath, kInterface, QStringLiteral("Open"));
        call << files;
        return bus.call(call, QDBus::Block, kHandOverMs).type() == QDBusMessage::ReplyMessage;
    }
    const QString path = SocketPath();
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kHandOverMs))
        return false;
    socket.write(pack(files));
    if (!socket.waitForBytesWritten(kHandOverMs))
        return false;
    socket.disconnectFromServer();
    return socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(kHandOverMs);
}

void CSingleInstance::Open(const QStringList& files)
{
    emit FilesHandedOver(files);
}

} // namespace tq9
