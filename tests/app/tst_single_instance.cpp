#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

// One started instance_probe and the lines it printed.
class Probe {
public:
    // display: the DISPLAY the probe sees (the test's own when empty); XDG_SESSION_ID is
    // taken away, so that the display alone tells the sessions apart.
    explicit Probe(const QStringList& arguments = {}, const QString& display = {}) {
        m_process.setProgram(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/instance_probe"));
        m_process.setArguments(arguments);
        if (!display.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), display);
            env.remove(QStringLiteral("XDG_SESSION_ID"));
            m_process.setProcessEnvironment(env);
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }
    ~Probe() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Waits for a line that is one of wanted; returns it, or an empty string on time-out.
    QString waitForAny(const QStringList& wanted, int timeoutMs = 15000) {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            while (m_process.canReadLine())
                m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
            for (const QString& line : std::as_const(m_lines)) {
                if (wanted.contains(line))
                    return line;
            }
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return m_process.canReadLine() ? waitForAny(wanted, 0) : QString();
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    bool waitFor(const QString& line, int timeoutMs = 15000) {
        return waitForAny({line}, timeoutMs) == line;
    }
    void send(const QByteArray& command) {
        m_process.write(command + '\n');
        m_process.waitForBytesWritten(5000);
    }
    bool endsWithZero(int timeoutMs = 15000) {
        return m_process.waitForFinished(timeoutMs) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QStringList m_lines;
};

const QStringList kOutcome = {QStringLiteral("primary"), QStringLiteral("secondary")};

} // namespace

class TstSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondStartHandsOverAndExits();
    void restartOverlappingTheOldExitEndsWithOne();
    void holderThatNeverEndsIsNotWaitedForForever();
    void killedInstanceIsTakenOver();
    void simultaneousStartsLeaveOne();
    void sessionMarkNamesTheDisplay_data();
    void sessionMarkNamesTheDisplay();
    void sessionMarksOfDifferentDisplaysDiffer();
    void eachDisplayHasItsOwnInstance();
};

void TstSingleInstance::secondStartHandsOverAndExits() {
    Probe first;
    QVERIFY(first.waitFor(QStringLiteral("primary")));
    for (int i = 0; i < 2; ++i) {
        Probe second;
        QCOMPARE(second.waitForAny(kOutcome), QStringLiteral("secondary"));
        QVERIFY(second.endsWithZero());
        QVERIFY(first.waitFor(QStringLiteral("activated")));
    }
    QVERIFY(first.isRunning());
    first.send("exit");
    QVERIFY(first.endsWithZero());
}

void TstSingleInstance::restartOverlappingTheOldExitEndsWithOne() {
    auto old = std::make_unique<Probe>();
    QVERIFY(old->waitFor(QStringLiteral("primary")));
    // The old instance stops listening and starts its successor before it ends.
    old->send("release");
    QVERIFY(old->waitFor(QStringLiteral("released")));
    Probe successor;
    QVERIFY(successor.waitFor(QStringLiteral("waiting")));
    // A start in between (a double click on the program) waits as well, then hands over.
    Probe another;
    QVERIFY(another.waitFor(QStringLiteral("waiting")));
    QVERIFY(old->isRunning());

    old->send("exit");
    QVERIFY(old->endsWithZero());
    const QString first = successor.waitForAny(kOutcome);
    const QString second = another.waitForAny(kOutcome);
    QCOMPARE(QStringList({first, second}).count(QStringLiteral("primary")), 1);
    QCOMPARE(QStringList({first, second}).count(QStringLiteral("secondary")), 1);
    Probe& survivor = first == QLatin1String("primary") ? successor : another;
    Probe& duplicate = first == QLatin1String("primary") ? another : successor;
    QVERIFY(duplicate.endsWithZero());
    QVERIFY(survivor.waitFor(QStringLiteral("activated")));

    Probe later;
    QCOMPARE(later.waitForAny(kOutcome), QStringLiteral("secondary"));
    QVERIFY(survivor.isRunning());
}

void TstSingleInstance::holderThatNeverEndsIsNotWaitedForForever() {
    Probe holder;
    QVERIFY(holder.waitFor(QStringLiteral("primary")));
    holder.send("release");
    QVERIFY(holder.waitFor(QStringLiteral("released")));
    Probe impatient({QStringLiteral("300")});
    QVERIFY(impatient.waitFor(QStringLiteral("waiting")));
    QCOMPARE(impatient.waitForAny(kOutcome), QStringLiteral("secondary"));
    QVERIFY(impatient.endsWithZero());
    QVERIFY(holder.isRunning());
}

void TstSingleInstance::killedInstanceIsTakenOver() {
    {
        Probe killed;
        QVERIFY(killed.waitFor(QStringLiteral("primary")));
        // Leaves its lock file and its socket file behind.
        killed.process().kill();
        QVERIFY(killed.process().waitForFinished(5000));
    }
    Probe next;
    QCOMPARE(next.waitForAny(kOutcome), QStringLiteral("primary"));
    Probe duplicate;
    QCOMPARE(duplicate.waitForAny(kOutcome), QStringLiteral("secondary"));
    QVERIFY(next.waitFor(QStringLiteral("activated")));
}

void TstSingleInstance::simultaneousStartsLeaveOne() {
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 5; ++i)
        probes.push_back(std::make_unique<Probe>());
    int primaries = 0;
    for (auto& probe : probes) {
        const QString outcome = probe->waitForAny(kOutcome);
        QVERIFY2(!outcome.isEmpty(), "a start neither took over nor handed over");
        if (outcome == QLatin1String("primary"))
            primaries++;
        else
            QVERIFY(probe->endsWithZero());
    }
    QCOMPARE(primaries, 1);
}

void TstSingleInstance::sessionMarkNamesTheDisplay_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<QString>("sessionId");
    QTest::addColumn<QString>("mark");

    const QString none;
    const auto q = [](const char* text) { return QString::fromUtf8(text); };
    QTest::newRow("local display") << q(":0") << none << none << q("x0");
    QTest::newRow("screen does not count") << q(":0.1") << none << none << q("x0");
    QTest::newRow("unix host is local") << q("unix:0") << none << none << q("x0");
    QTest::newRow("socket path") << q("/tmp/.X11-unix/X3") << none << none << q("x3");
    QTest::newRow("second display") << q(":1") << none << none << q("x1");
    QTest::newRow("ssh forwarding keeps the host")
        << q("localhost:10.0") << none << none << q("xlocalhost_10");
    QTest::newRow("display wins over the session id")
        << q(":2") << q("wayland-0") << q("7") << q("x2");
    QTest::newRow("wayland without X") << none << q("wayland-1") << q("7") << q("wwayland-1");
    QTest::newRow("wayland socket path")
        << none << q("/run/user/1000/wayland-2") << none << q("wwayland-2");
    QTest::newRow("session id alone") << none << none << q("c12") << q("sc12");
    QTest::newRow("nothing at all") << none << none << none << none;
    QTest::newRow("spaces around") << q("  :4  ") << none << none << q("x4");
    QTest::newRow("slashes and dots cannot climb out")
        << q("../../etc:5") << none << none << q("x.._.._etc_5");
    QTest::newRow("odd characters") << q("h\u00f6st name:7") << none << none << q("xh_st_name_7");
}

void TstSingleInstance::sessionMarkNamesTheDisplay() {
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(QString, sessionId);
    QFETCH(QString, mark);
    QCOMPARE(SingleInstance::sessionMark({display, wayland, sessionId}), mark);
}

void TstSingleInstance::sessionMarksOfDifferentDisplaysDiffer() {
    // Long names are cut, and then told apart by a hash of the whole.
    const QString host(200, u'h');
    const QString a = SingleInstance::sessionMark({host + QStringLiteral(":1"), {}, {}});
    const QString b = SingleInstance::sessionMark({host + QStringLiteral(":2"), {}, {}});
    QVERIFY(a != b);
    QVERIFY2(a.size() <= 40, qPrintable(a));
    // The names of two sessions' instances differ; those of one session do not.
    const SingleInstance first(QStringLiteral("DalvenorMark"), {QStringLiteral(":1"), {}, {}});
    const SingleInstance same(QStringLiteral("DalvenorMark"), {QStringLiteral(":1.0"), {}, {}});
    const SingleInstance other(QStringLiteral("DalvenorMark"), {QStringLiteral(":2"), {}, {}});
    QCOMPARE(first.lockPath(), same.lockPath());
    QCOMPARE(first.serverName(), same.serverName());
    QVERIFY(first.lockPath() != other.lockPath());
    QVERIFY(first.serverName() != other.serverName());
    for (const QString& name : {first.lockPath(), first.serverName()})
        QVERIFY2(!name.contains(u':'), qPrintable(name));
}

void TstSingleInstance::eachDisplayHasItsOwnInstance() {
    // Two sessions of the same user: same home, same runtime folder, two displays.
    Probe onFirst({}, QStringLiteral(":91"));
    QCOMPARE(onFirst.waitForAny(kOutcome), QStringLiteral("primary"));
    Probe onSecond({}, QStringLiteral(":92"));
    QCOMPARE(onSecond.waitForAny(kOutcome), QStringLiteral("primary"));
    // A second start on either display hands over to the instance of that display.
    Probe againOnFirst({}, QStringLiteral(":91.0"));
    QCOMPARE(againOnFirst.waitForAny(kOutcome), QStringLiteral("secondary"));
    QVERIFY(againOnFirst.endsWithZero());
    QVERIFY(onFirst.waitFor(QStringLiteral("activated")));
    Probe againOnSecond({}, QStringLiteral(":92"));
    QCOMPARE(againOnSecond.waitForAny(kOutcome), QStringLiteral("secondary"));
    QVERIFY(againOnSecond.endsWithZero());
    QVERIFY(onSecond.waitFor(QStringLiteral("activated")));
    QVERIFY(onFirst.isRunning());
    QVERIFY(onSecond.isRunning());
    onFirst.send("exit");
    onSecond.send("exit");
    QVERIFY(onFirst.endsWithZero());
    QVERIFY(onSecond.endsWithZero());
}

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
