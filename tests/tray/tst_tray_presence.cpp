#include "fake_tray_host.h"
#include "tray/notice_placement.h"
#include "tray/tray_presence.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

class TstTrayPresence : public QObject {
    Q_OBJECT
private slots:
    void gracePeriodFromVariable_data();
    void gracePeriodFromVariable();
    void noticeOnlyWithoutAnyHostInTheGracePeriod_data();
    void noticeOnlyWithoutAnyHostInTheGracePeriod();
    void graceTimerEndsTheWait();
    void hostAtStartNeedsNoTimer();
    void probeIsMadeAtStartOnly();
    void anyHostIsPresentWhileOneIs();
    void noticeStandsAwayFromTheCountdown_data();
    void noticeStandsAwayFromTheCountdown();
};

void TstTrayPresence::gracePeriodFromVariable_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("expected");
    const qint64 fallback = TrayPresence::kGracePeriod.count();
    QTest::newRow("unset") << QByteArray() << fallback;
    QTest::newRow("zero") << QByteArray("0") << qint64(0);
    QTest::newRow("one second") << QByteArray("1000") << qint64(1000);
    QTest::newRow("blanks around") << QByteArray(" 250\n") << qint64(250);
    QTest::newRow("the default itself") << QByteArray("30000") << qint64(30000);
    // It may shorten the wait for tests, never make a user wait longer.
    QTest::newRow("longer than the default") << QByteArray("30001") << fallback;
    QTest::newRow("negative") << QByteArray("-5") << fallback;
    QTest::newRow("not a number") << QByteArray("soon") << fallback;
    QTest::newRow("fraction") << QByteArray("1.5") << fallback;
    QTest::newRow("exponent") << QByteArray("1e3") << fallback;
    QTest::newRow("overflow") << QByteArray("99999999999999999999999") << fallback;
}

void TstTrayPresence::gracePeriodFromVariable() {
    QFETCH(QByteArray, value);
    QFETCH(qint64, expected);
    QCOMPARE(TrayPresence::gracePeriodFrom(value).count(), expected);
}

void TstTrayPresence::noticeOnlyWithoutAnyHostInTheGracePeriod_data() {
    // Steps: "start", "expire" (the grace timer runs out), "up"/"down" (a host comes/goes).
    QTest::addColumn<bool>("presentAtCreation");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("notices");
    QTest::addColumn<int>("withdrawals");
    QTest::addColumn<int>("appearances");
    QTest::addColumn<bool>("dueAtEnd");

    QTest::newRow("no host at all")
        << false << QStringList{"start", "expire"} << 1 << 0 << 0 << true;
    QTest::newRow("host there at start")
        << true << QStringList{"start", "expire"} << 0 << 0 << 0 << false;
    QTest::newRow("late host within the grace period")
        << false << QStringList{"start", "up", "expire"} << 0 << 0 << 1 << false;
    // Seen once in this run is enough: a panel restarting when the wait ends is no desktop
    // without a tray.
    QTest::newRow("host came and went before the end")
        << false << QStringList{"start", "up", "down", "expire"} << 0 << 0 << 1 << false;
    QTest::newRow("host after the notice withdraws it")
        << false << QStringList{"start", "expire", "up"} << 1 << 1 << 1 << false;
    QTest::newRow("notice once, also when the host goes again")
        << false << QStringList{"start", "expire", "up", "down", "expire"} << 1 << 1 << 1 << false;
    QTest::newRow("expiring twice says it once")
        << false << QStringList{"start", "expire", "expire"} << 1 << 0 << 0 << true;
    QTest::newRow("panel restarts count each return")
        << false << QStringList{"start", "up", "down", "up"} << 0 << 0 << 2 << false;
    QTest::newRow("a host going away is no appearance")
        << true << QStringList{"start", "down"} << 0 << 0 << 0 << false;
}

void TstTrayPresence::noticeOnlyWithoutAnyHostInTheGracePeriod() {
    QFETCH(bool, presentAtCreation);
    QFETCH(QStringList, steps);
    QFETCH(int, notices);
    QFETCH(int, withdrawals);
    QFETCH(int, appearances);
    QFETCH(bool, dueAtEnd);

    auto host = std::make_unique<FakeTrayHost>(presentAtCreation);
    FakeTrayHost* fake = host.get();
    // A grace period no test run reaches: only "expire" ends it.
    TrayPresence presence(std::move(host), 30000ms);
    QSignalSpy due(&presence, &TrayPresence::noticeDue);
    QSignalSpy withdrawn(&presence, &TrayPresence::noticeWithdrawn);
    QSignalSpy appeared(&presence, &TrayPresence::hostAppeared);
    for (const QString& step : steps) {
        if (step == QLatin1String("start"))
            presence.start();
        else if (step == QLatin1String("expire"))
            presence.endGracePeriod();
        else
            fake->setPresent(step == QLatin1String("up"));
    }
    QCOMPARE(due.size(), notices);
    QCOMPARE(withdrawn.size(), withdrawals);
    QCOMPARE(appeared.size(), appearances);
    QCOMPARE(presence.isNoticeDue(), dueAtEnd);
    QCOMPARE(presence.hostSeen(), presentAtCreation || appearances > 0);
    QVERIFY(!presence.isWaiting());
}

void TstTrayPresence::graceTimerEndsTheWait() {
    TrayPresence presence(std::make_unique<FakeTrayHost>(false), 1ms);
    QSignalSpy due(&presence, &TrayPresence::noticeDue);
    // Nothing is due before the start, however long the program has run.
    QVERIFY(!presence.isWaiting());
    presence.start();
    QVERIFY(presence.isWaiting());
    QTRY_COMPARE(due.size(), 1);
    QVERIFY(presence.isNoticeDue());
    QVERIFY(!presence.isWaiting());
}

void TstTrayPresence::hostAtStartNeedsNoTimer() {
    TrayPresence presence(std::make_unique<FakeTrayHost>(true), 1ms);
    presence.start();
    QVERIFY(!presence.isWaiting());
    QVERIFY(presence.hostSeen());
    QVERIFY(presence.hostPresent());
}

void TstTrayPresence::probeIsMadeAtStartOnly() {
    int made = 0;
    FakeTrayHost* fake = nullptr;
    TrayPresence presence(TrayPresence::ProbeFactory([&] {
        ++made;
        auto host = std::make_unique<FakeTrayHost>(false);
        fake = host.get();
        return std::unique_ptr<TrayHostProbe>(std::move(host));
    }));
    QCOMPARE(made, 0);
    QVERIFY(!presence.isProbing());
    QSignalSpy due(&presence, &TrayPresence::noticeDue);
    presence.start();
    QCOMPARE(made, 1);
    // Without a host the grace period runs, as with a probe made at construction.
    QVERIFY(presence.isWaiting());
    QVERIFY(!presence.hostPresent());
    fake->setPresent(true);
    QVERIFY(presence.hostPresent());
    QVERIFY(presence.hostSeen());
    QVERIFY(!presence.isWaiting());
    presence.start();
    QCOMPARE(made, 1);
    QCOMPARE(due.count(), 0);
}

void TstTrayPresence::anyHostIsPresentWhileOneIs() {
    auto first = std::make_unique<FakeTrayHost>(false);
    auto second = std::make_unique<FakeTrayHost>(false);
    FakeTrayHost* sni = first.get();
    FakeTrayHost* xembed = second.get();
    std::vector<std::unique_ptr<TrayHostProbe>> probes;
    probes.push_back(std::move(first));
    probes.push_back(std::move(second));
    AnyTrayHost any(std::move(probes));
    QSignalSpy changed(&any, &TrayHostProbe::presenceChanged);
    QVERIFY(!any.isPresent());

    sni->setPresent(true);
    QVERIFY(any.isPresent());
    QCOMPARE(changed.size(), 1);
    // The other kind coming too changes nothing for the program.
    xembed->setPresent(true);
    QCOMPARE(changed.size(), 1);
    sni->setPresent(false);
    QVERIFY(any.isPresent());
    QCOMPARE(changed.size(), 1);
    xembed->setPresent(false);
    QVERIFY(!any.isPresent());
    QCOMPARE(changed.size(), 2);
}

void TstTrayPresence::noticeStandsAwayFromTheCountdown_data() {
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("avoid");
    QTest::addColumn<QPoint>("expected");

    const QRect screen(0, 0, 1280, 800);
    const QSize notice(400, 150);
    // The countdown's default place on this screen.
    const QRect centre(438, 292, 403, 216);
    QTest::newRow("centred countdown: top right")
        << screen << notice << centre << QPoint(1280 - 24 - 400, 24);
    QTest::newRow("no countdown shown: top right")
        << screen << notice << QRect() << QPoint(1280 - 24 - 400, 24);
    QTest::newRow("countdown top right: top left")
        << screen << notice << QRect(900, 10, 370, 200) << QPoint(24, 24);
    QTest::newRow("countdown across the top: bottom left")
        << screen << notice << QRect(0, 0, 1280, 300) << QPoint(24, 800 - 24 - 150);
    // Every corner covers some of it: the bottom right covers the least.
    QTest::newRow("countdown wide and tall, least at the bottom right")
        << screen << notice << QRect(0, 0, 900, 720) << QPoint(1280 - 24 - 400, 800 - 24 - 150);
    // A panel at the top leaves the available area lower down.
    QTest::newRow("area below a panel")
        << QRect(0, 32, 1280, 768) << notice << centre << QPoint(1280 - 24 - 400, 32 + 24);
    QTest::newRow("second monitor") << QRect(1280, 0, 1280, 800) << notice
                                    << QRect(1718, 292, 403, 216) << QPoint(2560 - 24 - 400, 24);
    // Covered wherever it goes: where it covers the least (the countdown's top left corner
    // shows at the top left).
    QTest::newRow("countdown fills the screen but a sliver")
        << screen << notice << QRect(100, 100, 1180, 700) << QPoint(24, 24);
    QTest::newRow("notice larger than the screen")
        << QRect(0, 0, 300, 200) << notice << QRect() << QPoint(24, 24);
}

void TstTrayPresence::noticeStandsAwayFromTheCountdown() {
    QFETCH(QRect, available);
    QFETCH(QSize, size);
    QFETCH(QRect, avoid);
    QFETCH(QPoint, expected);
    const QPoint at = noticeplacement::place(available, size, avoid, 24);
    QCOMPARE(at, expected);
    if (size.width() + 48 <= available.width() && size.height() + 48 <= available.height())
        QVERIFY(available.contains(QRect(at, size)));
}

QTEST_GUILESS_MAIN(TstTrayPresence)
#include "tst_tray_presence.moc"
