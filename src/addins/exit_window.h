#pragma once

#include <QObject>
#include <QString>

#include <memory>

// The power-off routines: shut down, restart, log off. The system's answer always comes later,
// as a signal: a request returns at once, so the timer tick that makes it never waits.

enum class PowerAction { None, Shutdown, Reboot, Logoff };
Q_DECLARE_METATYPE(PowerAction)

// "关机", "重启", "注销"; empty for no action.
QString actionVerb(PowerAction action);

// What the user is told at arming, from the system's answer to "can it be done?": empty when it
// can ("yes"), otherwise a short Chinese sentence for the status label. answer is logind's
// "yes", "no", "challenge" or "na"; anything else counts as "na".
QString availabilityNote(PowerAction action, const QString& answer);

// The same note when the question itself failed; errorName is the D-Bus error name
// ("org.freedesktop.DBus.Error.ServiceUnknown", ...).
QString availabilityErrorNote(PowerAction action, const QString& errorName, const QString& detail);

// What the user is told when a request failed at the moment of firing.
QString requestErrorText(PowerAction action, const QString& errorName, const QString& detail);

// The system's power service. Every call returns at once with an id; its result arrives later
// through requestFinished or queryAnswered with the same id (never from inside the call).
class PowerBackend : public QObject {
    Q_OBJECT
public:
    explicit PowerBackend(QObject* parent = nullptr);

    // Asks for the action now. Force: other programs are closed without being asked to save
    // (logind never asks them, so there it changes nothing).
    virtual quint64 request(PowerAction action, bool force) = 0;
    // Asks whether the action would be allowed; the note is empty when it would.
    virtual quint64 query(PowerAction action) = 0;

    quint64 ShutdownSystem(bool Force) { return request(PowerAction::Shutdown, Force); }
    quint64 RebootSystem(bool Force) { return request(PowerAction::Reboot, Force); }
    quint64 LogoffUser(bool Force) { return request(PowerAction::Logoff, Force); }

signals:
    // error is empty when the system accepted the request, otherwise a Chinese sentence.
    void requestFinished(quint64 id, PowerAction action, const QString& error);
    void queryAnswered(quint64 id, PowerAction action, const QString& note);

protected:
    quint64 nextId() { return ++m_lastId; }

private:
    quint64 m_lastId = 0;
};

// This platform's service for the running user (on Linux: systemd-logind on the system bus,
// for the session named by XDG_SESSION_ID, else the session of this process).
std::unique_ptr<PowerBackend> createPowerBackend();
