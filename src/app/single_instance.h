#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class LocalListener;

// What tells one desktop session of the user from another, as the environment gives it.
struct SessionIdentity {
    QString display;        // DISPLAY
    QString waylandDisplay; // WAYLAND_DISPLAY
    QString sessionId;      // XDG_SESSION_ID

    // Of this process.
    static SessionIdentity fromEnvironment();
};

// One running program per user and desktop session. The first start holds a lock file and listens
// on a local socket beside it; a later start connects, hands over and exits quietly. A restart of
// the program by itself overlaps with the old instance's exit: the old one first stops listening
// (releaseForRestart), and the new one, finding the lock held but nobody listening, waits for
// the lock instead of giving up.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // key names the lock and the socket; both live in the user's runtime folder (the temporary
    // folder when there is none) and carry a per-user suffix and the mark of the session.
    explicit SingleInstance(const QString& key = QStringLiteral("Dalvenor"),
                            const SessionIdentity& session = SessionIdentity::fromEnvironment(),
                            QObject* parent = nullptr);

    // The part of the names that belongs to one desktop session, safe in a file name and
    // short enough for a socket path: the X display the countdown is drawn on (host and
    // number; the screen does not matter), else the Wayland display, else the login session;
    // empty when there is none of them.
    static QString sessionMark(const SessionIdentity& session);
    ~SingleInstance() override;

    // True when this process is now the one instance. False when another instance took the
    // hand-over, or when the holder of the lock neither answered nor let go within wait; the
    // caller then exits with code 0.
    bool acquire(std::chrono::milliseconds wait = std::chrono::seconds(8));

    // Stops listening, keeping the lock until the process ends, so that a successor started
    // now waits for this process to finish.
    void releaseForRestart();

    bool isPrimary() const { return m_primary; }
    QString lockPath() const { return m_lockPath; }
    QString serverName() const { return m_serverName; }

signals:
    // A later start handed over to this instance.
    void activationRequested();
    // acquire() found the lock held and nobody listening, and now waits (emitted once).
    void waitingForPrevious();

private:
    bool handOver();
    void becomePrimary();

    QString m_lockPath;
    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<LocalListener> m_server;
    bool m_primary = false;
};
