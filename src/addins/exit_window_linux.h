#pragma once

#include "exit_window.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>

class QDBusPendingCallWatcher;

// Shut down, restart and log off through systemd-logind: PowerOff(false) and Reboot(false) on
// its manager (no password prompt: nobody need be at the keyboard when it fires), and log-off
// by Terminate() on the user's own session, which logind ends without asking any program.
// Every call is asynchronous.
class LogindBackend final : public PowerBackend {
    Q_OBJECT
public:
    // bus: the system bus (or a private one in tests). sessionId: the session to log off;
    // empty means the session of this process, as logind knows it.
    LogindBackend(const QDBusConnection& bus, QString sessionId, QObject* parent = nullptr);

    quint64 request(PowerAction action, bool force) override;
    quint64 query(PowerAction action) override;

private:
    using Done = std::function<void(const QDBusMessage& reply)>;
    void send(QDBusMessage message, Done done);
    QDBusMessage managerCall(const QString& method) const;
    // Finds the object path of the session to log off; the reply is an error or carries it.
    void findSession(Done done);

    QDBusConnection m_bus;
    QString m_sessionId;
};
