#include "single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kAcknowledge = QByteArrayLiteral("ok\n");
constexpr int kConnectTimeoutMs = 1000;
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

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent),
      m_lockPath(instanceFolder() + u'/' + key + u'-' + userSuffix() + QStringLiteral(".lock")),
      m_serverName(instanceFolder() + u'/' + key + u'-' + userSuffix() + QStringLiteral(".socket")),
      m_lock(m_lockPath) {
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
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(kConnectTimeoutMs))
        return false;
    // The answer confirms that a live instance read it; a closed connection means the holder
    // stopped listening meanwhile, so waiting for the lock goes on.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kConnectTimeoutMs))
            return socket.state() == QLocalSocket::ConnectedState;
    }
    return socket.readLine() == kAcknowledge;
}

void SingleInstance::becomePrimary() {
    m_primary = true;
    // Only the holder of the lock may clear a socket file left by a killed instance.
    QLocalServer::removeServer(m_serverName);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    m_server->listen(m_serverName);
}

void SingleInstance::releaseForRestart() {
    if (m_server)
        m_server->close();
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kActivate) {
                    socket->write(kAcknowledge);
                    socket->flush();
                    emit activationRequested();
                }
            }
        });
    }
}
