#include "app/local_channel.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A line longer than this is no request of ours: the peer is dropped.
constexpr qsizetype kMaxLine = 256;

bool toAddress(const QString& path, sockaddr_un* address) {
    const QByteArray name = QFile::encodeName(path);
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, name.constData(), size_t(name.size()));
    return true;
}

void closeQuietly(int fd) {
    if (fd >= 0)
        ::close(fd);
}

// Waits for events on fd until the deadline; false on timeout or error.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, int(std::max<qint64>(left.count(), 0)));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

struct LocalListener::Listening {
    int fd = -1;
    QByteArray path;
    std::unique_ptr<QSocketNotifier> notifier;
};

struct LocalListener::Peer {
    int fd = -1;
    QByteArray pending;
    std::unique_ptr<QSocketNotifier> notifier;
};

LocalListener::LocalListener(QObject* parent) : QObject(parent) {}

LocalListener::~LocalListener() {
    close();
    for (auto& peer : m_peers)
        closeQuietly(peer->fd);
}

bool LocalListener::isListening() const {
    return m_listening != nullptr;
}

bool LocalListener::listen(const QString& path) {
    close();
    sockaddr_un address{};
    if (!toAddress(path, &address))
        return false;
    // The caller holds the instance lock, so whatever is there (a socket above all) was left
    // by a holder that is gone.
    struct stat info {};
    if (::lstat(address.sun_path, &info) == 0 && !S_ISDIR(info.st_mode))
        ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // Nobody can connect between bind and listen, so the file is made the owner's alone
    // before anyone could reach it.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closeQuietly(fd);
        return false;
    }
    if (::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 16) != 0) {
        ::unlink(address.sun_path);
        closeQuietly(fd);
        return false;
    }
    m_listening = std::make_unique<Listening>();
    m_listening->fd = fd;
    m_listening->path = QByteArray(address.sun_path);
    m_listening->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_listening->notifier.get(), &QSocketNotifier::activated, this,
            &LocalListener::accept);
    return true;
}

void LocalListener::close() {
    if (!m_listening)
        return;
    m_listening->notifier.reset();
    ::unlink(m_listening->path.constData());
    closeQuietly(m_listening->fd);
    m_listening.reset();
}

void LocalListener::accept() {
    if (!m_listening)
        return;
    for (;;) {
        const int fd = ::accept4(m_listening->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return; // EAGAIN: all taken; anything else: tried again on the next event
        auto peer = std::make_unique<Peer>();
        peer->fd = fd;
        peer->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(peer->notifier.get(), &QSocketNotifier::activated, this,
                [this, raw = peer.get()] { read(raw); });
        m_peers.push_back(std::move(peer));
    }
}

void LocalListener::read(Peer* peer) {
    char buffer[kMaxLine];
    for (;;) {
        const ssize_t got = ::read(peer->fd, buffer, sizeof buffer);
        if (got > 0) {
            peer->pending.append(buffer, got);
            qsizetype newline;
            while ((newline = peer->pending.indexOf('\n')) >= 0) {
                const QByteArray request = peer->pending.left(newline);
                peer->pending.remove(0, newline + 1);
                // A fresh socket's buffer takes a short line whole; a peer that does not
                // read it only loses its own answer.
                const QByteArray line = m_reply + '\n';
                [[maybe_unused]] const ssize_t sent =
                    ::send(peer->fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL);
                emit requested(request);
            }
            if (peer->pending.size() > kMaxLine) {
                drop(peer);
                return;
            }
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got < 0 && errno == EINTR)
            continue;
        drop(peer); // the end of the connection, or an error on it
        return;
    }
}

void LocalListener::drop(Peer* peer) {
    peer->notifier->setEnabled(false);
    // The notifier is inside its own signal: it goes with the peer once that returns.
    QSocketNotifier* notifier = peer->notifier.release();
    notifier->deleteLater();
    closeQuietly(peer->fd);
    std::erase_if(m_peers, [peer](const std::unique_ptr<Peer>& p) { return p.get() == peer; });
}

LocalExchange exchangeLine(const QString& path, const QByteArray& request, QByteArray* answer,
                           std::chrono::milliseconds timeout) {
    sockaddr_un address{};
    if (!toAddress(path, &address))
        return LocalExchange::NobodyListens;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return LocalExchange::NobodyListens;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    struct Closer {
        int fd;
        ~Closer() { closeQuietly(fd); }
    } closer{fd};

    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // A full backlog answers EAGAIN on a local socket, with no connection under way: the
        // caller tries again after its next wait for the lock.
        if (errno != EINPROGRESS)
            return LocalExchange::NobodyListens;
        if (!waitFor(fd, POLLOUT, deadline))
            return LocalExchange::NobodyListens;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return LocalExchange::NobodyListens;
    }
    const QByteArray line = request + '\n';
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t sent = ::send(fd, line.constData() + written, size_t(line.size() - written),
                                    MSG_NOSIGNAL);
        if (sent > 0) {
            written += sent;
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            waitFor(fd, POLLOUT, deadline))
            continue;
        return LocalExchange::Closed;
    }
    QByteArray received;
    for (;;) {
        const qsizetype newline = received.indexOf('\n');
        if (newline >= 0) {
            if (answer)
                *answer = received.left(newline);
            return LocalExchange::Answered;
        }
        if (!waitFor(fd, POLLIN, deadline))
            return LocalExchange::NoAnswerYet;
        char buffer[kMaxLine];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            received.append(buffer, got);
            if (received.size() > kMaxLine)
                return LocalExchange::Closed;
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return LocalExchange::Closed;
    }
}
