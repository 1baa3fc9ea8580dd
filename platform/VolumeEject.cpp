#include "platform/VolumeEject.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QVariantMap>

#include <filesystem>

#include "platform/DebugLog.h"

namespace tq9 {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
constexpr int kCallMs = 10000;
// An unmount writes out what the card's cache still holds: a slow card may take minutes.
constexpr int kUnmountMs = 10 * 60 * 1000;

QDBusMessage call(const QString& path, const QString& interface, const QString& method, const QVariantList& args,
                  int timeoutMs = kCallMs)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    return QDBusConnection::systemBus().call(message, QDBus::Block, timeoutMs);
}

QVariant property(const QString& path, const QString& interface, const QString& name)
{
    const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                    {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().front().value<QDBusVariant>().variant();
}

// The service's object of a block device; empty when there is no service or it does not know the device.
QString blockObject(const std::string& device)
{
    const QDBusMessage reply = call(QStringLiteral("/org/freedesktop/UDisks2/Manager"),
                                    QStringLiteral("org.freedesktop.UDisks2.Manager"), QStringLiteral("ResolveDevice"),
                                    {QVariantMap{{QStringLiteral("path"), QString::fromStdString(device)}}, QVariantMap{}});
    const QDBusReply<QList<QDBusObjectPath>> objects(reply);
    if (!objects.isValid()) {
        CDebugLog::Write("eject: UDisks2 has no object for " + device + ": " + objects.error().message().toStdString());
        return {};
    }
    return objects.value().isEmpty() ? QString() : objects.value().front().path();
}

} // namespace

bool CVolumeEject::IsMountPoint(const std::string& path)
{
    struct stat here {}, above {};
    const std::string parent = (std::filesystem::path(path) / "..").string();
    if (::stat(path.c_str(), &here) != 0 || ::stat(parent.c_str(), &above) != 0)
        return false;
    return here.st_dev != above.st_dev || here.st_ino == above.st_ino; // the second: "/"
}

std::string CVolumeEject::DeviceOf(const std::string& mountPoint)
{
    struct stat here {};
    if (!IsMountPoint(mountPoint) || ::stat(mountPoint.c_str(), &here) != 0)
        return {};
    std::error_code error;
    const std::filesystem::path node = std::filesystem::canonical(
        "/sys/dev/block/" + std::to_string(major(here.st_dev)) + ":" + std::to_string(minor(here.st_dev)), error);
    return error ? std::string() : "/dev/" + node.filename().string();
}

CVolumeEject::Result CVolumeEject::Eject(const std::string& mountPoint)
{
    Result result;
    const std::string device = DeviceOf(mountPoint);
    if (device.empty() || !QDBusConnection::systemBus().isConnected())
        return result;
    const QString block = blockObject(device);
    if (block.isEmpty())
        return result;

    const QDBusMessage unmounted = call(block, QStringLiteral("org.freedesktop.UDisks2.Filesystem"),
                                        QStringLiteral("Unmount"), {QVariantMap{}}, kUnmountMs);
    if (unmounted.type() != QDBusMessage::ReplyMessage) {
        const QString error = unmounted.errorName();
        CDebugLog::Write("eject: unmount of " + device + " refused: " + error.toStdString() + " " +
                         unmounted.errorMessage().toStdString());
        if (error == QLatin1String("org.freedesktop.UDisks2.Error.DeviceBusy")) {
            result.outcome = Outcome::Busy;
            return result;
        }
        if (error.startsWith(QLatin1String("org.freedesktop.DBus.Error."))) // the service went away
            return result;
        result.outcome = Outcome::Refused;
        result.reason = unmounted.errorMessage().toStdString();
        return result;
    }
    result.outcome = Outcome::Ejected;

    // The drive as well, where it can be powered off; a drive that refuses stays on, and the card is safe
    // to take out all the same.
    const QString drive = property(block, kBlock, QStringLiteral("Drive")).value<QDBusObjectPath>().path();
    if (!drive.isEmpty() && drive != QLatin1String("/") && property(drive, kDrive, QStringLiteral("CanPowerOff")).toBool())
        result.poweredOff = call(drive, kDrive, QStringLiteral("PowerOff"), {QVariantMap{}}).type() ==
                            QDBusMessage::ReplyMessage;
    return result;
}

} // namespace tq9
