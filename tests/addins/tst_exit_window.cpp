#include "addins/exit_window.h"
#include "addins/exit_window_linux.h"
#include "addins/fake_power_backend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// The power-off routines against systemd-logind as python3-dbusmock plays it, on a bus of the
// test's own: the real system bus is never used, so no test can power off this machine.

namespace {

const QString login1 = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// A dbus-daemon listening only on a socket in a temporary folder, with no service activation.
const char busConfig[] =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <type>system</type>\n"
    "  <listen>%1</listen>\n"
    "  <auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
    "    <allow eavesdrop=\"true\"/>\n"
    "    <allow own=\"*\"/>\n"
    "  </policy>\n"
    "</busconfig>\n";

// One call recorded by the mock: its arguments.
using Call = QVariantList;

QList<Call> decodeCalls(const QDBusMessage& reply) {
    QList<Call> calls;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return calls;
    const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        quint64 timestamp = 0;
        Call args;
        list.beginStructure();
        list >> timestamp;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant v;
            list >> v;
            args << v.variant();
        }
        list.endArray();
        list.endStructure();
        calls << args;
    }
    list.endArray();
    return calls;
}

} // namespace

class TestExitWindow : public QObject {
    Q_OBJECT

public:
    ~TestExitWindow() override { stopProcess(m_daemon); }

private:
    QTemporaryDir m_dir;
    QString m_address;
    QString m_python;
    QProcess m_daemon;
    QProcess m_mock;
    std::unique_ptr<QDBusConnection> m_bus;

    static void stopProcess(QProcess& p) {
        if (p.state() != QProcess::NotRunning) {
            p.terminate();
            if (!p.waitForFinished(10000)) {
                p.kill();
                p.waitForFinished(10000);
            }
        }
    }

    bool loginServiceRunning() const {
        return m_bus->interface()->isServiceRegistered(login1).value();
    }

    // Every connection on the private bus, by its unique name.
    QStringList connectedClients() const {
        QStringList clients = m_bus->interface()->registeredServiceNames().value();
        clients.removeIf([](const QString& name) { return !name.startsWith(u':'); });
        clients.sort();
        return clients;
    }

    QDBusMessage mockCall(const QString& path, const QString& method,
                          const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(login1, path, mockInterface, method);
        call.setArguments(args);
        const QDBusMessage reply = m_bus->call(call, QDBus::Block, 15000);
        if (reply.type() == QDBusMessage::ErrorMessage)
            qWarning() << "mock call" << method << "failed:" << reply.errorMessage();
        return reply;
    }
    QList<Call> calls(const QString& method, const QString& path = managerPath) {
        return decodeCalls(mockCall(path, QStringLiteral("GetMethodCalls"), {method}));
    }
    void addManagerMethod(const QString& name, const QString& in, const QString& out,
                          const QString& code) {
        QVERIFY(mockCall(managerPath, QStringLiteral("AddMethod"),
                         {managerInterface, name, in, out, code})
                    .type() == QDBusMessage::ReplyMessage);
    }
    void addSession(const QString& id) {
        QVERIFY(mockCall(managerPath, QStringLiteral("AddSession"),
                         {id, QStringLiteral("seat0"), quint32(::getuid()),
                          QStringLiteral("student"), true})
                    .type() == QDBusMessage::ReplyMessage);
    }
    static QString sessionPath(const QString& id) {
        return QStringLiteral("/org/freedesktop/login1/session/") + id;
    }

    // Waits for the request's answer and gives its error text.
    static QString requestError(PowerBackend& backend, PowerAction action) {
        QSignalSpy spy(&backend, &PowerBackend::requestFinished);
        const quint64 id = backend.request(action, true);
        if (!spy.isEmpty())
            return QStringLiteral("answered from inside the call");
        if (!spy.wait(20000) || spy.size() != 1)
            return QStringLiteral("no answer");
        const QList<QVariant> answer = spy.takeFirst();
        if (answer[0].toULongLong() != id || answer[1].value<PowerAction>() != action)
            return QStringLiteral("answer for another request");
        return answer[2].toString();
    }
    static QString queryNote(PowerBackend& backend, PowerAction action) {
        QSignalSpy spy(&backend, &PowerBackend::queryAnswered);
        const quint64 id = backend.query(action);
        if (!spy.isEmpty())
            return QStringLiteral("answered from inside the call");
        if (!spy.wait(20000) || spy.size() != 1)
            return QStringLiteral("no answer");
        const QList<QVariant> answer = spy.takeFirst();
        if (answer[0].toULongLong() != id || answer[1].value<PowerAction>() != action)
            return QStringLiteral("answer for another query");
        return answer[2].toString();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // Refuse to go on unless every D-Bus call of this test goes to our own private bus.
        m_address = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("system_bus"));
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QCOMPARE(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        QVERIFY(m_address.startsWith(QStringLiteral("unix:path=") + m_dir.path() + '/'));

        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QString::fromLatin1(busConfig).arg(m_address).toUtf8());
        config.close();
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config.fileName(),
                        QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY2(m_daemon.waitForStarted(10000), "dbus-daemon (package dbus) is needed");
        QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine(), 15000);
        const QString printed = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY2(printed.startsWith(m_address), qPrintable(printed));

        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_address, QStringLiteral("private-system-bus")));
        QVERIFY(m_bus->isConnected());

        // Debian's python3-dbusmock lives beside the system's interpreter, which may not be the
        // first python3 on the PATH.
        for (const QString& candidate :
             {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            QProcess probe;
            probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
            if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit &&
                probe.exitCode() == 0) {
                m_python = candidate;
                break;
            }
        }
        QVERIFY2(!m_python.isEmpty(), "python3-dbusmock is needed (scripts/install_deps.sh)");
    }

    // A fresh logind mock for every test, so that methods changed by one do not leak.
    void init() {
        const QByteArray test = QTest::currentTestFunction();
        if (test == "namedRoutinesRequestTheirAction" || test == "noSystemBus")
            return; // no logind wanted
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        QCOMPARE(env.value(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS")), m_address);
        m_mock.setProcessEnvironment(env);
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.setStandardOutputFile(QProcess::nullDevice());
        m_mock.start(m_python, {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                QStringLiteral("--template"), QStringLiteral("logind")});
        QVERIFY(m_mock.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(loginServiceRunning(), 30000);
    }
    void cleanup() {
        if (m_mock.state() == QProcess::NotRunning)
            return;
        stopProcess(m_mock);
        QTRY_VERIFY_WITH_TIMEOUT(!loginServiceRunning(), 15000);
    }

    void powerOffAndReboot_data() {
        QTest::addColumn<PowerAction>("action");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("other");
        QTest::newRow("关机") << PowerAction::Shutdown << QStringLiteral("PowerOff")
                              << QStringLiteral("Reboot");
        QTest::newRow("重启") << PowerAction::Reboot << QStringLiteral("Reboot")
                              << QStringLiteral("PowerOff");
    }
    void powerOffAndReboot() {
        QFETCH(PowerAction, action);
        QFETCH(QString, method);
        QFETCH(QString, other);
        LogindBackend backend(*m_bus, QStringLiteral("c1"));
        QCOMPARE(requestError(backend, action), QString());
        const QList<Call> made = calls(method);
        QCOMPARE(made.size(), 1);
        QCOMPARE(made[0], Call{false}); // never an interactive password prompt
        QVERIFY(calls(other).isEmpty());
        QVERIFY(calls(QStringLiteral("TerminateSession")).isEmpty());
    }

    void namedRoutinesRequestTheirAction() {
        FakePowerBackend fake;
        fake.ShutdownSystem(true);
        fake.RebootSystem(false);
        fake.LogoffUser(true);
        QCOMPARE(
            fake.requestedActions(),
            (QList<PowerAction>{PowerAction::Shutdown, PowerAction::Reboot, PowerAction::Logoff}));
        QCOMPARE(fake.requests()[1].force, false);
        QSignalSpy finished(&fake, &PowerBackend::requestFinished);
        QVERIFY(finished.isEmpty()); // answers never come from inside the call
        QTRY_COMPARE(finished.size(), 3);
    }

    void logoffTerminatesTheNamedSession() {
        addSession(QStringLiteral("c7"));
        addSession(QStringLiteral("c8"));
        LogindBackend backend(*m_bus, QStringLiteral("c7"));
        QCOMPARE(requestError(backend, PowerAction::Logoff), QString());
        QCOMPARE(calls(QStringLiteral("GetSession")), QList<Call>{Call{QStringLiteral("c7")}});
        QCOMPARE(calls(QStringLiteral("Terminate"), sessionPath(QStringLiteral("c7"))).size(), 1);
        QVERIFY(calls(QStringLiteral("Terminate"), sessionPath(QStringLiteral("c8"))).isEmpty());
        QVERIFY(calls(QStringLiteral("PowerOff")).isEmpty());
        QVERIFY(calls(QStringLiteral("Reboot")).isEmpty());
    }

    void logoffFindsTheSessionOfThisProcess() {
        addSession(QStringLiteral("c9"));
        addManagerMethod(
            QStringLiteral("GetSessionByPID"), QStringLiteral("u"), QStringLiteral("o"),
            QStringLiteral("ret = dbus.ObjectPath('/org/freedesktop/login1/session/c9')"));
        LogindBackend backend(*m_bus, QString());
        QCOMPARE(requestError(backend, PowerAction::Logoff), QString());
        QCOMPARE(calls(QStringLiteral("GetSessionByPID")), QList<Call>{Call{quint32(::getpid())}});
        QCOMPARE(calls(QStringLiteral("Terminate"), sessionPath(QStringLiteral("c9"))).size(), 1);
    }

    // Before any test that uses this process's shared system bus connection, which stays open
    // to the end and would hide one made by the backend.
    // The program's backend holds no system bus connection until it is asked something, and
    // lets go of it once every answer is in: creating the 附加功能 window reaches nothing. A
    // log-off is two calls (find the session, end it); the bus is kept between them.
    void factoryConnectsOnlyWhileAsked_data() {
        QTest::addColumn<bool>("request");
        QTest::addColumn<PowerAction>("action");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::newRow("query 关机")
            << false << PowerAction::Shutdown << "CanPowerOff" << managerPath;
        QTest::newRow("request 注销")
            << true << PowerAction::Logoff << "Terminate" << sessionPath(QStringLiteral("c6"));
    }
    void factoryConnectsOnlyWhileAsked() {
        QFETCH(bool, request);
        QFETCH(PowerAction, action);
        QFETCH(QString, method);
        QFETCH(QString, path);
        addSession(QStringLiteral("c6"));
        qputenv("XDG_SESSION_ID", "c6");
        const QStringList before = connectedClients();
        const std::unique_ptr<PowerBackend> backend = createPowerBackend();
        qunsetenv("XDG_SESSION_ID");
        // A connection is made in full (its name given by the bus) before it returns, so a
        // backend that connected when it was made would be listed by now.
        QCOMPARE(connectedClients(), before);

        if (request)
            QCOMPARE(requestError(*backend, action), QString());
        else
            QCOMPARE(queryNote(*backend, action), QString());
        QCOMPARE(calls(method, path).size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(connectedClients(), before, 15000);

        // And it connects afresh for the next question.
        QCOMPARE(queryNote(*backend, PowerAction::Shutdown), QString());
        QCOMPARE(calls(QStringLiteral("CanPowerOff")).size(), request ? 1 : 2);
        QTRY_COMPARE_WITH_TIMEOUT(connectedClients(), before, 15000);
    }

    // The program's own factory follows DBUS_SYSTEM_BUS_ADDRESS and XDG_SESSION_ID (here the
    // private bus, checked in initTestCase).
    void factoryUsesTheSystemBusAndTheSession() {
        addSession(QStringLiteral("c5"));
        qputenv("XDG_SESSION_ID", "c5");
        const std::unique_ptr<PowerBackend> backend = createPowerBackend();
        qunsetenv("XDG_SESSION_ID");
        QCOMPARE(QDBusConnection::systemBus().interface()->isServiceRegistered(login1).value(),
                 true);
        QCOMPARE(requestError(*backend, PowerAction::Logoff), QString());
        QCOMPARE(calls(QStringLiteral("Terminate"), sessionPath(QStringLiteral("c5"))).size(), 1);
    }

    void availability_data() {
        QTest::addColumn<PowerAction>("action");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("note");
        QTest::newRow("关机 yes") << PowerAction::Shutdown << "CanPowerOff"
                                  << "yes" << QString();
        QTest::newRow("关机 no") << PowerAction::Shutdown << "CanPowerOff"
                                 << "no"
                                 << QStringLiteral("注意：系统不允许您关机，到时将不会关机。");
        QTest::newRow("关机 challenge")
            << PowerAction::Shutdown << "CanPowerOff"
            << "challenge"
            << QStringLiteral("注意：到时系统会要求输入管理员密码，无人输入则不会关机。");
        QTest::newRow("重启 na") << PowerAction::Reboot << "CanReboot"
                                 << "na"
                                 << QStringLiteral("注意：此系统不支持重启，到时将不会重启。");
        QTest::newRow("重启 challenge")
            << PowerAction::Reboot << "CanReboot"
            << "challenge"
            << QStringLiteral("注意：到时系统会要求输入管理员密码，无人输入则不会重启。");
    }
    void availability() {
        QFETCH(PowerAction, action);
        QFETCH(QString, method);
        QFETCH(QString, answer);
        QFETCH(QString, note);
        addManagerMethod(method, QString(), QStringLiteral("s"),
                         QStringLiteral("ret = '%1'").arg(answer));
        LogindBackend backend(*m_bus, QStringLiteral("c1"));
        QCOMPARE(queryNote(backend, action), note);
        QCOMPARE(calls(method).size(), 1);
        // Asking never does it.
        QVERIFY(calls(QStringLiteral("PowerOff")).isEmpty());
        QVERIFY(calls(QStringLiteral("Reboot")).isEmpty());
    }

    void logoffAvailability() {
        addSession(QStringLiteral("c3"));
        LogindBackend found(*m_bus, QStringLiteral("c3"));
        QCOMPARE(queryNote(found, PowerAction::Logoff), QString());
        addManagerMethod(QStringLiteral("GetSession"), QStringLiteral("s"), QStringLiteral("o"),
                         QStringLiteral("raise dbus.exceptions.DBusException('No session', "
                                        "name='org.freedesktop.login1.NoSuchSession')"));
        LogindBackend lost(*m_bus, QStringLiteral("c4"));
        QCOMPARE(queryNote(lost, PowerAction::Logoff),
                 QStringLiteral("注意：找不到您的登录会话，到时将不会注销。"));
        QCOMPARE(requestError(lost, PowerAction::Logoff),
                 QStringLiteral("未能为您注销：找不到您的登录会话。"));
        QVERIFY(calls(QStringLiteral("Terminate"), sessionPath(QStringLiteral("c3"))).isEmpty());
    }

    void refusedRequest_data() {
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<QString>("error");
        QTest::newRow("access denied")
            << "org.freedesktop.DBus.Error.AccessDenied"
            << QStringLiteral("未能为您关机：系统拒绝了请求，需要管理员授权"
                              "（可能有其他用户登录，或有程序阻止关机）。");
        QTest::newRow("interactive authorisation needed")
            << "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"
            << QStringLiteral("未能为您关机：系统拒绝了请求，需要管理员授权"
                              "（可能有其他用户登录，或有程序阻止关机）。");
        QTest::newRow("anything else, with logind's words")
            << "org.freedesktop.login1.Whatever"
            << QStringLiteral("未能为您关机：Operation refused");
    }
    void refusedRequest() {
        QFETCH(QString, errorName);
        QFETCH(QString, error);
        addManagerMethod(QStringLiteral("PowerOff"), QStringLiteral("b"), QString(),
                         QStringLiteral("raise dbus.exceptions.DBusException('Operation refused', "
                                        "name='%1')")
                             .arg(errorName));
        LogindBackend backend(*m_bus, QStringLiteral("c1"));
        QCOMPARE(requestError(backend, PowerAction::Shutdown), error);
        QCOMPARE(calls(QStringLiteral("PowerOff")).size(), 1);
    }

    void missingLogind() {
        stopProcess(m_mock);
        QTRY_VERIFY_WITH_TIMEOUT(!loginServiceRunning(), 15000);
        LogindBackend backend(*m_bus, QStringLiteral("c1"));
        QCOMPARE(requestError(backend, PowerAction::Shutdown),
                 QStringLiteral("未能为您关机：系统中没有运行 systemd-logind。"));
        QCOMPARE(requestError(backend, PowerAction::Logoff),
                 QStringLiteral("未能为您注销：系统中没有运行 systemd-logind。"));
        QCOMPARE(queryNote(backend, PowerAction::Reboot),
                 QStringLiteral("注意：系统中没有运行 systemd-logind，到时将不会重启。"));
    }

    void noSystemBus() {
        const QDBusConnection nowhere = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("no_bus_here")),
            QStringLiteral("no-bus"));
        QVERIFY(!nowhere.isConnected());
        LogindBackend backend(nowhere, QStringLiteral("c1"));
        QCOMPARE(requestError(backend, PowerAction::Reboot),
                 QStringLiteral("未能为您重启：无法连接系统总线（D-Bus）。"));
        QCOMPARE(queryNote(backend, PowerAction::Shutdown),
                 QStringLiteral("注意：无法连接系统总线（D-Bus），到时将不会关机。"));
        QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
    }

    // A slow logind does not hold up the program: the call returns at once and the event loop
    // goes on until the answer arrives.
    void slowServiceDoesNotBlock() {
        addManagerMethod(QStringLiteral("PowerOff"), QStringLiteral("b"), QString(),
                         QStringLiteral("time.sleep(1.5)"));
        LogindBackend backend(*m_bus, QStringLiteral("c1"));
        QSignalSpy finished(&backend, &PowerBackend::requestFinished);
        QStringList order;
        connect(&backend, &PowerBackend::requestFinished, this, [&order] { order << "answer"; });
        QTimer::singleShot(0, this, [&order] { order << "event loop"; });
        backend.ShutdownSystem(true);
        QVERIFY(order.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(order, (QStringList{"event loop", "answer"}));
        QCOMPARE(finished[0][2].toString(), QString());
        QCOMPARE(calls(QStringLiteral("PowerOff")), QList<Call>{Call{false}});
    }
};

QTEST_GUILESS_MAIN(TestExitWindow)
#include "tst_exit_window.moc"
