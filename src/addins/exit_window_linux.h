#pragma once

#include "addins/exit_window.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>
#include <optional>

class QDBusPendingCallWatcher;

// Shut down, restart and log off through systemd-logind: PowerOff(false) and Reboot(false) on
// its manager (no password prompt: nobody need be at the keyboard when it fires), and log-off
// by Terminate() on the user's own session, which logind ends without asking any program.
// Every call is asynchronous.
class LogindBackend final : public PowerBackend {
    Q_OBJECT
public:
    // bus: a connection to use for every call (a private bus in tests). sessionId: the session
    // to log off; empty means the session of this process, as logind knows it.
    LogindBackend(const QDBusConnection& bus, QString sessionId, QObject* parent = nullptr);
    // On the system bus, connected only while a call is under way: opening the window that
    // holds the power tab asks nothing of the system, and an idle program keeps no connection.
    explicit LogindBackend(QString sessionId, QObject* parent = nullptr);
    ~LogindBackend() override;

    quint64 request(PowerAction action, bool force) override;
    quint64 query(PowerAction action) override;

private:
    using Done = std::function<void(const QDBusMessage& reply)>;
    void send(QDBusMessage message, Done done);
    QDBusMessage managerCall(const QString& method) const;
    // Finds the object path of the session to log off; the reply is an error or carries it.
    void findSession(Done done);
    // The connection for the next call: the given one, or the system bus, connected now.
    QDBusConnection bus();
    // Called once a call is answered: lets go of the system bus when no call is left.
    void callDone();
    void release();

    std::optional<QDBusConnection> m_bus;
    QString m_connectionName; // empty for a given connection, which is never let go
    QString m_sessionId;
    int m_pending = 0;
};
