#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

// One started instance_probe and the lines it printed.
class Probe {
public:
    explicit Probe(const QStringList& arguments = {}) {
        m_process.setProgram(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/instance_probe"));
        m_process.setArguments(arguments);
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

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
