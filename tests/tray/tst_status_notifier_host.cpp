// The StatusNotifierItem host probe against a watcher of the test's own on a private session
// bus (a dbus-daemon started here, its socket in the test's temporary folder).
#include "tray/status_notifier_host_linux.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

// What a panel registers: the watcher, which says whether a host has come.
class FakeWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    bool hostRegistered() const { return m_host; }
    void registerHost() {
        m_host = true;
        emit StatusNotifierHostRegistered();
    }
    bool m_host = false;

signals:
    void StatusNotifierHostRegistered();
};

} // namespace

class TstStatusNotifierHost : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void noWatcherNoHost();
    void watcherWithItsHostIsAHost();
    void watcherBeforeItsHostWaitsForTheHost();
    void panelThatEndsTakesTheHostAlong();
    void disconnectedBusNeverHasAHost();

private:
    // A panel's connection to the bus that owns the watcher's name.
    FakeWatcher* startPanel(bool withHost);
    void stopPanel();

    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<FakeWatcher> m_watcher;
    int m_panels = 0;
    QString m_panelConnection;
};

void TstStatusNotifierHost::initTestCase() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY2(!daemon.isEmpty(), "dbus-daemon is not installed");
    m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    QVERIFY(m_daemon.waitForStarted(30000));
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine(), 30000);
    m_address = QString::fromLatin1(m_daemon.readLine().trimmed());
    QVERIFY2(m_address.startsWith(QLatin1String("unix:")), qPrintable(m_address));
    QDBusConnection probeBus = QDBusConnection::connectToBus(m_address, QStringLiteral("probe"));
    QVERIFY(probeBus.isConnected());
}

void TstStatusNotifierHost::cleanupTestCase() {
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    m_daemon.terminate();
    m_daemon.waitForFinished(10000);
}

void TstStatusNotifierHost::cleanup() {
    stopPanel();
}

FakeWatcher* TstStatusNotifierHost::startPanel(bool withHost) {
    m_panelConnection = QStringLiteral("panel%1").arg(++m_panels);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_panelConnection);
    if (!bus.isConnected())
        return nullptr;
    m_watcher = std::make_unique<FakeWatcher>();
    m_watcher->m_host = withHost;
    if (!bus.registerObject(StatusNotifierHost::kPath, m_watcher.get(),
                            QDBusConnection::ExportAllProperties |
                                QDBusConnection::ExportAllSignals) ||
        !bus.registerService(StatusNotifierHost::kService))
        return nullptr;
    return m_watcher.get();
}

void TstStatusNotifierHost::stopPanel() {
    if (m_panelConnection.isEmpty())
        return;
    QDBusConnection::disconnectFromBus(m_panelConnection);
    m_panelConnection.clear();
    m_watcher.reset();
}

void TstStatusNotifierHost::noWatcherNoHost() {
    StatusNotifierHost host(QDBusConnection(QStringLiteral("probe")));
    QSignalSpy changed(&host, &TrayHostProbe::presenceChanged);
    // The bus answers the question about a missing watcher with an error.
    QDBusConnection probe(QStringLiteral("probe"));
    QVERIFY(!probe.interface()->isServiceRegistered(StatusNotifierHost::kService).value());
    QVERIFY(!host.isPresent());
    QVERIFY(changed.isEmpty());
}

void TstStatusNotifierHost::watcherWithItsHostIsAHost() {
    QVERIFY(startPanel(true));
    StatusNotifierHost host(QDBusConnection(QStringLiteral("probe")));
    // The question is asked without waiting: the answer comes through the event loop.
    QVERIFY(!host.isPresent());
    QTRY_VERIFY_WITH_TIMEOUT(host.isPresent(), 30000);
}

void TstStatusNotifierHost::watcherBeforeItsHostWaitsForTheHost() {
    FakeWatcher* watcher = startPanel(false);
    QVERIFY(watcher);
    StatusNotifierHost host(QDBusConnection(QStringLiteral("probe")));
    QSignalSpy changed(&host, &TrayHostProbe::presenceChanged);
    // A watcher alone shows no icon; its answer must have come before the host does.
    QDBusConnection probe(QStringLiteral("probe"));
    QDBusMessage get = QDBusMessage::createMethodCall(
        StatusNotifierHost::kService, StatusNotifierHost::kPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString(StatusNotifierHost::kService)
        << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asked after the probe on the same connection, so answered after it: the watcher serves
    // this process, so the question may not block.
    QDBusPendingCall later = probe.asyncCall(get);
    QTRY_VERIFY_WITH_TIMEOUT(later.isFinished(), 30000);
    QVERIFY(!later.isError());
    QVERIFY(!host.isPresent());
    QVERIFY(changed.isEmpty());

    watcher->registerHost();
    QTRY_VERIFY_WITH_TIMEOUT(host.isPresent(), 30000);
    QCOMPARE(changed.size(), 1);
}

void TstStatusNotifierHost::panelThatEndsTakesTheHostAlong() {
    QVERIFY(startPanel(true));
    StatusNotifierHost host(QDBusConnection(QStringLiteral("probe")));
    QTRY_VERIFY_WITH_TIMEOUT(host.isPresent(), 30000);
    stopPanel();
    QTRY_VERIFY_WITH_TIMEOUT(!host.isPresent(), 30000);
    // The panel restarts.
    QVERIFY(startPanel(true));
    QTRY_VERIFY_WITH_TIMEOUT(host.isPresent(), 30000);
}

void TstStatusNotifierHost::disconnectedBusNeverHasAHost() {
    QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/no-bus"), QStringLiteral("nowhere"));
    QVERIFY(!nowhere.isConnected());
    StatusNotifierHost host(nowhere);
    QVERIFY(!host.isPresent());
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

QTEST_GUILESS_MAIN(TstStatusNotifierHost)
#include "tst_status_notifier_host.moc"
