#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

// The hand-over between two starts of the program: a socket in the user's own folder that the
// running program listens on, and the one exchange a later start makes with it (a line sent,
// a line answered). Small on purpose: a general socket library would be loaded by every start
// for these few bytes.
class LocalListener : public QObject {
    Q_OBJECT
public:
    explicit LocalListener(QObject* parent = nullptr);
    ~LocalListener() override;

    // Listens at path, replacing a socket file left there by a killed holder; only the
    // owner of the file may connect. False (with nothing listening) when it cannot.
    bool listen(const QString& path);
    // Stops listening and removes the socket file; connections already taken are answered.
    void close();
    bool isListening() const;

    // The line (without its newline) that answers every request.
    void setReply(const QByteArray& reply) { m_reply = reply; }

signals:
    // A peer sent request (one line, without its newline); it has been answered.
    void requested(const QByteArray& request);

private:
    struct Listening;
    struct Peer;
    void accept();
    void read(Peer* peer);
    void drop(Peer* peer);

    std::unique_ptr<Listening> m_listening;
    // Connections taken and not yet ended; few and short-lived.
    std::vector<std::unique_ptr<Peer>> m_peers;
    QByteArray m_reply;
};

// The later start's side: connects to path, sends request and a newline, and waits up to
// timeout for each step.
enum class LocalExchange {
    NobodyListens, // no socket there, or nobody accepts on it
    Answered,      // a line came back; see the answer
    Closed,        // the listener closed the connection without answering
    NoAnswerYet,   // connected and sent, but no line within the timeout
};
LocalExchange exchangeLine(const QString& path, const QByteArray& request, QByteArray* answer,
                           std::chrono::milliseconds timeout);
