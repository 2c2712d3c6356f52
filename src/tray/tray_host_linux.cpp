#include "tray/status_notifier_host_linux.h"
#include "tray/xembed_tray_host_x11.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

StatusNotifierHost::StatusNotifierHost(const QDBusConnection& bus, QObject* parent)
    : TrayHostProbe(parent), m_bus(bus) {
    if (!m_bus.isConnected())
        return;
    m_watcher =
        new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    setPresent(false);
                ask();
            });
    // A watcher that runs before its host (a desktop whose tray starts late) announces the
    // host when it comes.
    m_bus.connect(kService, kPath, kService, QStringLiteral("StatusNotifierHostRegistered"), this,
                  SLOT(hostRegistered()));
    ask();
}

StatusNotifierHost::~StatusNotifierHost() = default;

void StatusNotifierHost::hostRegistered() {
    ask();
}

void StatusNotifierHost::ask() {
    // Asked without waiting: the start-up must not hang on a bus that is slow to answer.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString(kService) << QStringLiteral("IsStatusNotifierHostRegistered");
    const quint64 question = ++m_question;
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (question != m_question)
                    return;
                const QDBusPendingReply<QDBusVariant> reply = *call;
                // No watcher (ServiceUnknown) or a broken one counts as no host.
                setPresent(!reply.isError() && reply.value().variant().toBool());
            });
}

void StatusNotifierHost::setPresent(bool present) {
    if (present == m_present)
        return;
    m_present = present;
    emit presenceChanged();
}

std::unique_ptr<TrayHostProbe> createTrayHostProbe() {
    std::vector<std::unique_ptr<TrayHostProbe>> probes;
    probes.push_back(std::make_unique<StatusNotifierHost>(QDBusConnection::sessionBus()));
    // Qt docks into an XEmbed tray only on its X11 platform.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        probes.push_back(std::make_unique<XEmbedTrayHost>());
    return std::make_unique<AnyTrayHost>(std::move(probes));
}
