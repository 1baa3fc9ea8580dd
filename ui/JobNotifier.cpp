#include "ui/JobNotifier.h"

#include "res/MessageCatalogue.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <QWidget>

#include <algorithm>

namespace tq9 {

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
// The desktop entry the task bar shows the program by; the icon theme's name of the program's icon.
const QString kDesktopId = QStringLiteral("tq9-image-converter");
const QString kDefaultAction = QStringLiteral("default");

} // namespace

CJobNotifier& CJobNotifier::Instance()
{
    static CJobNotifier* notifier = new CJobNotifier; // lives as long as the process; holds no resources
    return *notifier;
}

CJobNotifier::CJobNotifier() = default;

qint64 CJobNotifier::NotifyAfterMs()
{
    bool ok = false;
    const qint64 fromEnv = qEnvironmentVariableIntValue("TQ9_NOTIFY_AFTER_MS", &ok);
    return ok && fromEnv >= 0 ? fromEnv : 5000;
}

void CJobNotifier::JobStarted(QWidget* window)
{
    m_window = window ? window->window() : nullptr;
    m_running.start();
    SendLauncherEntry(0.0, true, false);
}

void CJobNotifier::JobProgress(int index, int count, int percent)
{
    const double fraction = (index + std::clamp(percent, 0, 100) / 100.0) / std::max(1, count);
    SendLauncherEntry(std::clamp(fraction, 0.0, 1.0), true, false);
}

void CJobNotifier::JobEnded(bool byItself, const QString& summary, const QString& body)
{
    const bool away = byItself && QGuiApplication::applicationState() != Qt::ApplicationActive;
    const bool announce = away && m_running.isValid() && m_running.elapsed() >= NotifyAfterMs();
    m_running.invalidate();
    SendLauncherEntry(1.0, false, announce);
    if (!announce)
        return;
    if (m_window)
        QApplication::alert(m_window);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!m_subscribed)
        m_subscribed = bus.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"),
                                   this, SLOT(OnActionInvoked(uint, QString)));
    QDBusMessage notify = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                                         QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopId},
                            {QStringLiteral("category"), QStringLiteral("transfer.complete")}};
    notify << QString::fromStdString(CMessageCatalogue::Get(IDS_APP_NAME)) << uint(0) << kDesktopId << summary
           << body
           << QStringList{kDefaultAction, QString::fromStdString(CMessageCatalogue::Get(IDS_NOTIFY_SHOW_WINDOW))}
           << hints << int(-1);
    // Asynchronous: a slow or absent service must not hold up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusPendingReply<uint> reply = *call;
        if (reply.isValid())
            m_lastId = reply.value();
        call->deleteLater();
    });
}

void CJobNotifier::OnActionInvoked(uint id, const QString& action)
{
    if (id != m_lastId || action != kDefaultAction || !m_window)
        return;
    m_window->show();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->raise();
    m_window->activateWindow();
}

void CJobNotifier::SendLauncherEntry(double progress, bool visible, bool urgent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/tq9"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    update << QStringLiteral("application://%1.desktop").arg(kDesktopId)
           << QVariantMap{{QStringLiteral("progress"), progress},
                          {QStringLiteral("progress-visible"), visible},
                          {QStringLiteral("urgent"), urgent}};
    bus.send(update);
}

} // namespace tq9
