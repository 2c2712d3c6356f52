#include "app/local_channel.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(LocalExchange)

namespace {

// The later start runs on a thread of its own, since the listener answers from this
// thread's event loop.
LocalExchange exchangeWhileServing(const QString& path, const QByteArray& request,
                                   QByteArray* answer, std::chrono::milliseconds timeout = 5s) {
    auto result = std::async(std::launch::async, [&] {
        return exchangeLine(path, request, answer, timeout);
    });
    const bool ended = QTest::qWaitFor(
        [&] { return result.wait_for(0s) == std::future_status::ready; }, 20000);
    if (!ended)
        qFatal("the exchange did not end");
    return result.get();
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return address;
}

// A socket bound at path: listening (and never accepting) or, after closing, a file left
// behind as by a killed holder.
int boundSocket(const QString& path, bool listening) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = addressOf(path);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listening && ::listen(fd, 4) != 0))
        qFatal("cannot bind the test socket");
    if (!listening) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class TestLocalChannel : public QObject {
    Q_OBJECT
private slots:
    void listenReplacesWhatAKilledHolderLeft_data();
    void listenReplacesWhatAKilledHolderLeft();
    void exchangeWithoutAListener_data();
    void exchangeWithoutAListener();
    void onlyTheOwnerMayConnect();
    void hostilePeersDoNotStopTheAnswers_data();
    void hostilePeersDoNotStopTheAnswers();
    void closingStopsListening();
    void aListenerThatNeverAcceptsIsNotAnswered();
};

void TestLocalChannel::listenReplacesWhatAKilledHolderLeft_data() {
    QTest::addColumn<QString>("left");
    QTest::newRow("nothing") << "";
    QTest::newRow("a socket file") << "socket";
    QTest::newRow("a regular file") << "file";
    QTest::newRow("a dangling link") << "link";
}

void TestLocalChannel::listenReplacesWhatAKilledHolderLeft() {
    QFETCH(QString, left);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.socket"));
    if (left == QLatin1String("socket"))
        boundSocket(path, false);
    else if (left == QLatin1String("file"))
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    else if (left == QLatin1String("link"))
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));

    LocalListener listener;
    listener.setReply("ok");
    QByteArray seen;
    connect(&listener, &LocalListener::requested, this,
            [&](const QByteArray& request) { seen = request; });
    QVERIFY(listener.listen(path));
    QByteArray answer;
    QCOMPARE(exchangeWhileServing(path, "activate", &answer), LocalExchange::Answered);
    QCOMPARE(answer, QByteArray("ok"));
    QTRY_COMPARE(seen, QByteArray("activate"));
}

void TestLocalChannel::exchangeWithoutAListener_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("staleSocket");
    QTest::addColumn<bool>("canListen");
    QTest::newRow("no file") << "instance.socket" << false << true;
    QTest::newRow("a stale socket file") << "instance.socket" << true << true;
    QTest::newRow("a path too long for a socket") << QString(200, u'x') << false << false;
}

void TestLocalChannel::exchangeWithoutAListener() {
    QFETCH(QString, name);
    QFETCH(bool, staleSocket);
    QFETCH(bool, canListen);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (staleSocket)
        boundSocket(path, false);
    QByteArray answer;
    QCOMPARE(exchangeLine(path, "activate", &answer, 5s), LocalExchange::NobodyListens);
    LocalListener listener;
    QCOMPARE(listener.listen(path), canListen);
}

void TestLocalChannel::onlyTheOwnerMayConnect() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.socket"));
    LocalListener listener;
    QVERIFY(listener.listen(path));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
}

void TestLocalChannel::hostilePeersDoNotStopTheAnswers_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("connects and says nothing") << QByteArray();
    QTest::newRow("half a line") << QByteArray("activ");
    QTest::newRow("a line far too long") << QByteArray(100000, 'a');
    QTest::newRow("binary bytes") << QByteArray("\0\xff\n\n\r\n", 6);
}

void TestLocalChannel::hostilePeersDoNotStopTheAnswers() {
    QFETCH(QByteArray, sent);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.socket"));
    LocalListener listener;
    listener.setReply("ok");
    QList<QByteArray> requests;
    connect(&listener, &LocalListener::requested, this,
            [&](const QByteArray& request) { requests << request; });
    QVERIFY(listener.listen(path));

    // The hostile peer stays connected while a real start asks.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = addressOf(path);
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto writer = std::async(std::launch::async, [&] {
        qsizetype written = 0;
        while (written < sent.size()) {
            const ssize_t n = ::send(fd, sent.constData() + written,
                                     size_t(sent.size() - written), MSG_NOSIGNAL);
            if (n <= 0)
                break; // the listener dropped us, as it should for an overlong line
            written += n;
        }
    });
    QVERIFY(QTest::qWaitFor([&] { return writer.wait_for(0s) == std::future_status::ready; },
                            20000));
    QByteArray answer;
    QCOMPARE(exchangeWhileServing(path, "activate", &answer), LocalExchange::Answered);
    QCOMPARE(answer, QByteArray("ok"));
    QTRY_VERIFY(requests.contains("activate"));
    for (const QByteArray& request : std::as_const(requests))
        QVERIFY(request.size() <= 256);
    ::close(fd);
}

void TestLocalChannel::closingStopsListening() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.socket"));
    LocalListener listener;
    listener.setReply("ok");
    QVERIFY(listener.listen(path));
    listener.close();
    QVERIFY(!listener.isListening());
    QVERIFY(!QFile::exists(path));
    QByteArray answer;
    QCOMPARE(exchangeLine(path, "activate", &answer, 5s), LocalExchange::NobodyListens);
}

void TestLocalChannel::aListenerThatNeverAcceptsIsNotAnswered() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.socket"));
    const int fd = boundSocket(path, true);
    QByteArray answer;
    // The connection waits in the backlog: sent, but no line comes.
    QCOMPARE(exchangeLine(path, "activate", &answer, 100ms), LocalExchange::NoAnswerYet);
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestLocalChannel)
#include "tst_local_channel.moc"
