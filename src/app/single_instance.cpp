#include "app/single_instance.h"

#include "app/local_channel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate");
const QByteArray kAcknowledge = QByteArrayLiteral("ok");
constexpr std::chrono::milliseconds kExchangeTimeout{1000};
// How long one round of waiting for the lock lasts before the socket is tried again: a new
// holder may have begun to listen meanwhile.
constexpr int kLockRoundMs = 200;

QString instanceFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return folder;
}

// The runtime folder is the user's own; the temporary folder is shared, so the names carry a
// mark of the user (of the home folder, which every user has and no two share).
QString userSuffix() {
    const QByteArray home = QDir::homePath().toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12));
}

// Letters, digits, '.', '_' and '-' pass; anything else (a '/' above all) becomes '_'. A long
// name keeps its start and is told apart by a hash of the whole.
QString sanitised(const QString& text) {
    constexpr int kMaxLength = 40;
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                           (u >= u'0' && u <= u'9') || u == u'.' || u == u'_' || u == u'-';
        safe += plain ? c : QChar(u'_');
    }
    if (safe.size() <= kMaxLength)
        return safe;
    const QByteArray hash =
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return safe.left(kMaxLength - 13) + u'-' + QString::fromLatin1(hash);
}

// ":0", ":0.0", "unix:0.1" and "/tmp/.X11-unix/X0" name the same local server; a remote one
// ("localhost:10.0", as ssh forwards it) keeps its host.
QString displayMark(const QString& display) {
    const qsizetype colon = display.lastIndexOf(u':');
    if (colon < 0) {
        // A socket path: its last part is the server.
        const qsizetype slash = display.lastIndexOf(u'/');
        QString server = display.mid(slash + 1);
        if (server.startsWith(u'X'))
            server.remove(0, 1);
        return QStringLiteral("x") + server;
    }
    QString host = display.left(colon);
    QString number = display.mid(colon + 1);
    const qsizetype dot = number.indexOf(u'.');
    if (dot >= 0)
        number.truncate(dot);
    // A socket path in place of the host is local too.
    if (host == QLatin1String("unix") || host.startsWith(u'/'))
        host.clear();
    return host.isEmpty() ? QStringLiteral("x") + number
                          : QStringLiteral("x") + host + u'_' + number;
}

} // namespace

SessionIdentity SessionIdentity::fromEnvironment() {
    return {qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"),
            qEnvironmentVariable("XDG_SESSION_ID")};
}

QString SingleInstance::sessionMark(const SessionIdentity& session) {
    // The display first: the countdown is drawn there, and a program started by the session's
    // service manager rather than its login (a systemd user unit) has a display but no
    // session id, so keying by the id would put two countdowns on one screen.
    const QString display = session.display.trimmed();
    if (!display.isEmpty())
        return sanitised(displayMark(display));
    const QString wayland = session.waylandDisplay.trimmed();
    if (!wayland.isEmpty())
        return sanitised(QStringLiteral("w") + wayland.mid(wayland.lastIndexOf(u'/') + 1));
    const QString id = session.sessionId.trimmed();
    if (!id.isEmpty())
        return sanitised(QStringLiteral("s") + id);
    return {};
}

namespace {

QString instanceBase(const QString& key, const SessionIdentity& session) {
    const QString mark = SingleInstance::sessionMark(session);
    QString base = instanceFolder() + u'/' + key + u'-' + userSuffix();
    if (!mark.isEmpty())
        base += u'-' + mark;
    return base;
}

} // namespace

SingleInstance::SingleInstance(const QString& key, const SessionIdentity& session, QObject* parent)
    : QObject(parent), m_lockPath(instanceBase(key, session) + QStringLiteral(".lock")),
      m_serverName(instanceBase(key, session) + QStringLiteral(".socket")), m_lock(m_lockPath) {
    // The lock is held for the program's whole life: never treat it as stale by age, only when
    // its process is gone.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

bool SingleInstance::acquire(std::chrono::milliseconds wait) {
    if (m_primary)
        return true;
    const QDeadlineTimer deadline(wait);
    bool announcedWait = false;
    for (;;) {
        // A lock left by a killed process is taken over here.
        if (m_lock.tryLock(0)) {
            becomePrimary();
            return true;
        }
        if (handOver())
            return false;
        if (deadline.hasExpired())
            return false;
        // Held, but nobody listens: the holder is ending (a restart) or just starting.
        if (!announcedWait) {
            announcedWait = true;
            emit waitingForPrevious();
        }
        const int round =
            int(qMin<qint64>(kLockRoundMs, qMax<qint64>(deadline.remainingTime(), 1)));
        if (m_lock.tryLock(round)) {
            becomePrimary();
            return true;
        }
    }
}

bool SingleInstance::handOver() {
    QByteArray answer;
    switch (exchangeLine(m_serverName, kActivate, &answer, kExchangeTimeout)) {
    case LocalExchange::Answered:
        return answer == kAcknowledge;
    case LocalExchange::NoAnswerYet:
        // It took the request and is busy: a live instance, so this start leaves it be.
        return true;
    case LocalExchange::NobodyListens:
    case LocalExchange::Closed:
        // The holder stopped listening meanwhile (a restart), or is still starting: waiting
        // for the lock goes on.
        return false;
    }
    return false;
}

void SingleInstance::becomePrimary() {
    m_primary = true;
    // Only the holder of the lock may clear a socket file left by a killed instance, which
    // listening does.
    m_server = std::make_unique<LocalListener>();
    m_server->setReply(kAcknowledge);
    connect(m_server.get(), &LocalListener::requested, this, [this](const QByteArray& request) {
        if (request == kActivate)
            emit activationRequested();
    });
    m_server->listen(m_serverName);
}

void SingleInstance::releaseForRestart() {
    if (m_server)
        m_server->close();
}
