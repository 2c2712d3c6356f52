#include "addins/exit_window_linux.h"

#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QTimer>

#include <unistd.h>

namespace {

const QString service = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");

bool failed(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

QString errorName(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName();
    return QStringLiteral("org.freedesktop.DBus.Error.NoReply");
}

QString objectPath(const QDBusMessage& reply) {
    const QVariant first = reply.arguments().value(0);
    if (first.canConvert<QDBusObjectPath>())
        return first.value<QDBusObjectPath>().path();
    return first.toString();
}

} // namespace

LogindBackend::LogindBackend(const QDBusConnection& bus, QString sessionId, QObject* parent)
    : PowerBackend(parent), m_bus(bus), m_sessionId(std::move(sessionId)) {}

LogindBackend::LogindBackend(QString sessionId, QObject* parent)
    : PowerBackend(parent), m_sessionId(std::move(sessionId)) {
    // A name of its own, so that letting go of it never closes a connection someone else uses.
    static int created = 0;
    m_connectionName = QStringLiteral("dalvenor-power-%1").arg(++created);
}

LogindBackend::~LogindBackend() {
    release();
}

QDBusConnection LogindBackend::bus() {
    if (!m_bus)
        m_bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_connectionName);
    return *m_bus;
}

void LogindBackend::callDone() {
    --m_pending;
    if (m_connectionName.isEmpty())
        return;
    // Not from inside the reply's own delivery: the connection is let go one turn later, if
    // the answer did not start another call (a log-off asks for the session, then ends it).
    QTimer::singleShot(0, this, [this] {
        if (m_pending == 0)
            release();
    });
}

void LogindBackend::release() {
    if (m_connectionName.isEmpty() || !m_bus)
        return;
    m_bus.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QDBusMessage LogindBackend::managerCall(const QString& method) const {
    return QDBusMessage::createMethodCall(service, managerPath, managerInterface, method);
}

void LogindBackend::send(QDBusMessage message, Done done) {
    // Nobody may be at the keyboard when the action fires: never wait for a password prompt.
    message.setInteractiveAuthorizationAllowed(false);
    const QDBusConnection connection = bus();
    ++m_pending;
    if (!connection.isConnected()) {
        // Qt gives no answer at all for a call on a bus it could not reach: answer here, as
        // the bus would, one turn of the event loop later.
        const QDBusMessage error = message.createErrorReply(
            QDBusError::Disconnected, QStringLiteral("Not connected to the system bus"));
        // A failed connection is dropped, so that the next call tries the bus afresh.
        QTimer::singleShot(0, this, [this, done = std::move(done), error] {
            done(error);
            callDone();
        });
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                done(finished->reply());
                callDone();
            });
}

void LogindBackend::findSession(Done done) {
    QDBusMessage call;
    if (!m_sessionId.isEmpty()) {
        call = managerCall(QStringLiteral("GetSession"));
        call << m_sessionId;
    } else {
        call = managerCall(QStringLiteral("GetSessionByPID"));
        call << quint32(::getpid());
    }
    send(call, std::move(done));
}

quint64 LogindBackend::request(PowerAction action, bool force) {
    Q_UNUSED(force); // logind ends every program of the session without asking them anyway
    const quint64 id = nextId();
    auto finish = [this, id, action](const QDBusMessage& reply) {
        emit requestFinished(id, action,
                             failed(reply)
                                 ? requestErrorText(action, errorName(reply), reply.errorMessage())
                                 : QString());
    };
    switch (action) {
    case PowerAction::Shutdown:
    case PowerAction::Reboot: {
        QDBusMessage call = managerCall(action == PowerAction::Shutdown ? QStringLiteral("PowerOff")
                                                                        : QStringLiteral("Reboot"));
        call << false; // interactive: no
        send(call, finish);
        break;
    }
    case PowerAction::Logoff:
        findSession([this, finish](const QDBusMessage& reply) {
            if (failed(reply)) {
                finish(reply);
                return;
            }
            send(QDBusMessage::createMethodCall(service, objectPath(reply), sessionInterface,
                                                QStringLiteral("Terminate")),
                 finish);
        });
        break;
    case PowerAction::None:
        QTimer::singleShot(0, this,
                           [this, id] { emit requestFinished(id, PowerAction::None, {}); });
        break;
    }
    return id;
}

quint64 LogindBackend::query(PowerAction action) {
    const quint64 id = nextId();
    auto answer = [this, id, action](const QString& note) { emit queryAnswered(id, action, note); };
    auto errorNote = [action](const QDBusMessage& reply) {
        return availabilityErrorNote(action, errorName(reply), reply.errorMessage());
    };
    switch (action) {
    case PowerAction::Shutdown:
    case PowerAction::Reboot:
        send(managerCall(action == PowerAction::Shutdown ? QStringLiteral("CanPowerOff")
                                                         : QStringLiteral("CanReboot")),
             [answer, errorNote, action](const QDBusMessage& reply) {
                 answer(failed(reply)
                            ? errorNote(reply)
                            : availabilityNote(action, reply.arguments().value(0).toString()));
             });
        break;
    case PowerAction::Logoff:
        findSession([answer, errorNote](const QDBusMessage& reply) {
            answer(failed(reply) ? errorNote(reply) : QString());
        });
        break;
    case PowerAction::None:
        QTimer::singleShot(0, this, [answer] { answer(QString()); });
        break;
    }
    return id;
}

std::unique_ptr<PowerBackend> createPowerBackend() {
    return std::make_unique<LogindBackend>(qEnvironmentVariable("XDG_SESSION_ID"));
}
