#include "addins/power_plan.h"

#include <QTest>

using power::PowerPlan;
using power::TickResult;

namespace {

// A local moment on 5 June 2011 (day offsets for the days after).
QDateTime at(int h, int m, int s, int ms = 0, int day = 0) {
    return QDateTime(QDate(2011, 6, 5).addDays(day), QTime(h, m, s, ms));
}

// Drives a countdown plan as the window does: armed at a wall-clock moment, ticks on the wall
// clock's second boundaries, the monotonic clock running alongside.
struct CountdownRun {
    PowerPlan plan;
    QDateTime armedAt = at(8, 0, 0, 300);
    qint64 armedMs = 50000;

    power::ArmResult arm(const QString& h, const QString& m, const QString& s,
                         const QString& word = QStringLiteral("关机")) {
        return plan.armCountdown(h, m, s, word, armedAt, armedMs);
    }
    // Tick n on time: on the n-th second boundary after arming, plus lateMs.
    TickResult tick(int n, int lateMs = 0) {
        const qint64 sinceArming = (1000 - armedAt.time().msec()) + qint64(n - 1) * 1000 + lateMs;
        return plan.tick(armedAt.addMSecs(sinceArming), armedMs + sinceArming);
    }
};

QString countdownLabel(int h, int m, int s, const QString& word = QStringLiteral("关机")) {
    return QStringLiteral("倒计时 %1时%2分%3秒 为您%4").arg(h).arg(m).arg(s).arg(word);
}

} // namespace

class TestPowerPlan : public QObject {
    Q_OBJECT

private slots:
    void actionWords_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<PowerAction>("action");
        QTest::newRow("关机") << QStringLiteral("关机") << PowerAction::Shutdown;
        QTest::newRow("重启") << QStringLiteral("重启") << PowerAction::Reboot;
        QTest::newRow("注销") << QStringLiteral("注销") << PowerAction::Logoff;
        QTest::newRow("trailing space") << QStringLiteral("关机 ") << PowerAction::None;
        QTest::newRow("empty") << QString() << PowerAction::None;
        QTest::newRow("english") << QStringLiteral("shutdown") << PowerAction::None;
        QTest::newRow("traditional") << QStringLiteral("關機") << PowerAction::None;
    }
    void actionWords() {
        QFETCH(QString, word);
        QFETCH(PowerAction, action);
        QCOMPARE(power::actionForWord(word), action);
    }

    void keyFilter_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("kept");
        QTest::newRow("0") << int('0') << true;
        QTest::newRow("5") << int('5') << true;
        QTest::newRow("9") << int('9') << true;
        QTest::newRow("backspace") << 8 << true;
        QTest::newRow("slash, below 0") << int('/') << false;
        QTest::newRow("colon, above 9") << int(':') << false;
        QTest::newRow("minus") << int('-') << false;
        QTest::newRow("letter") << int('a') << false;
        QTest::newRow("space") << int(' ') << false;
        QTest::newRow("tab") << 9 << false;
        QTest::newRow("delete") << 127 << false;
        QTest::newRow("full-width 1") << 0xFF11 << false;
    }
    void keyFilter() {
        QFETCH(int, code);
        QFETCH(bool, kept);
        QCOMPARE(power::isCountdownBoxKey(code), kept);
    }

    void countdownNormalised_data() {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("label");
        QTest::newRow("0 90 75") << QStringList{"0", "90", "75"} << QStringList{"1", "31", "15"}
                                 << QStringLiteral("重启")
                                 << QStringLiteral("倒计时 1时31分15秒 为您重启");
        QTest::newRow("99 99 99") << QStringList{"99", "99", "99"} << QStringList{"100", "40", "39"}
                                  << QStringLiteral("关机")
                                  << QStringLiteral("倒计时 100时40分39秒 为您关机");
        QTest::newRow("empty boxes")
            << QStringList{"", "", ""} << QStringList{"0", "0", "0"} << QStringLiteral("注销")
            << QStringLiteral("倒计时 0时0分0秒 为您注销");
        QTest::newRow("one empty") << QStringList{"2", "", "5"} << QStringList{"2", "0", "5"}
                                   << QStringLiteral("关机") << countdownLabel(2, 0, 5);
        QTest::newRow("seconds carry into hours")
            << QStringList{"0", "59", "60"} << QStringList{"1", "0", "0"} << QStringLiteral("关机")
            << countdownLabel(1, 0, 0);
        QTest::newRow("leading zeros")
            << QStringList{"01", "05", "09"} << QStringList{"1", "5", "9"} << QStringLiteral("关机")
            << countdownLabel(1, 5, 9);
        QTest::newRow("pasted with spaces")
            << QStringList{" 1", "2 ", "3"} << QStringList{"1", "2", "3"} << QStringLiteral("关机")
            << countdownLabel(1, 2, 3);
        QTest::newRow("full-width digits")
            << QStringList{"１", "２０", "0"} << QStringList{"1", "20", "0"}
            << QStringLiteral("关机") << countdownLabel(1, 20, 0);
        QTest::newRow("hours above a day kept")
            << QStringList{"48", "0", "0"} << QStringList{"48", "0", "0"} << QStringLiteral("关机")
            << countdownLabel(48, 0, 0);
    }
    void countdownNormalised() {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, boxes);
        QFETCH(QString, word);
        QFETCH(QString, label);
        CountdownRun run;
        const power::ArmResult result = run.arm(typed[0], typed[1], typed[2], word);
        QVERIFY(result.armed);
        QVERIFY(result.error.isEmpty());
        QCOMPARE(QStringList({result.hourText, result.minuteText, result.secondText}), boxes);
        QCOMPARE(run.plan.statusText(), label);
        QCOMPARE(run.plan.mode(), PowerPlan::Mode::Countdown);
        QCOMPARE(run.plan.planHour(), qint16(boxes[0].toInt()));
        QCOMPARE(run.plan.planMinute(), qint16(boxes[1].toInt()));
        QCOMPARE(run.plan.planSecond(), qint16(boxes[2].toInt()));
    }

    void timeOfDayLabel() {
        PowerPlan plan;
        QVERIFY(plan.armTimeOfDay("23", "0", "0", QStringLiteral("关机"), at(8, 0, 0)).armed);
        QCOMPARE(plan.statusText(), QStringLiteral("当时间为 23:0:0 时，为您关机"));
        QCOMPARE(plan.mode(), PowerPlan::Mode::TimeOfDay);
        QCOMPARE(plan.planHour(), qint16(23));
    }

    // Text that is no whole number (or a target that never comes) arms nothing and says which
    // field is wrong.
    void refused_data() {
        QTest::addColumn<bool>("countdown");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("error");
        const QString hourNotNumber = QStringLiteral("“时”不是整数，请输入 0 到 23 之间的数字。");
        QTest::newRow("letters in the hour")
            << false << QStringList{"ab", "0", "0"} << hourNotNumber;
        QTest::newRow("empty hour combo") << false << QStringList{"", "0", "0"} << hourNotNumber;
        QTest::newRow("decimal hour") << false << QStringList{"1.5", "0", "0"} << hourNotNumber;
        QTest::newRow("hour 24") << false << QStringList{"24", "0", "0"}
                                 << QStringLiteral("“时”超出范围，请输入 0 到 23 之间的数字。");
        QTest::newRow("minute 60") << false << QStringList{"1", "60", "0"}
                                   << QStringLiteral("“分”超出范围，请输入 0 到 59 之间的数字。");
        QTest::newRow("negative second")
            << false << QStringList{"1", "0", "-1"}
            << QStringLiteral("“秒”超出范围，请输入 0 到 59 之间的数字。");
        QTest::newRow("huge second") << false << QStringList{"1", "0", "99999999999999999999"}
                                     << QStringLiteral("“秒”超出范围，请输入 0 到 59 之间的数字。");
        QTest::newRow("pasted letters in minutes")
            << true << QStringList{"0", "1a", "0"}
            << QStringLiteral("倒计时的“分”不是整数，请只输入数字 0 到 9。");
        QTest::newRow("pasted negative seconds")
            << true << QStringList{"0", "0", "-5"}
            << QStringLiteral("倒计时的“秒”不是整数，请只输入数字 0 到 9。");
        QTest::newRow("pasted sign only")
            << true << QStringList{"-", "0", "0"}
            << QStringLiteral("倒计时的“时”不是整数，请只输入数字 0 到 9。");
        QTest::newRow("too many hours") << true << QStringList{"32767", "60", "0"}
                                        << QStringLiteral("倒计时太长：最多 32767 小时。");
    }
    void refused() {
        QFETCH(bool, countdown);
        QFETCH(QStringList, texts);
        QFETCH(QString, error);
        CountdownRun run;
        const power::ArmResult result =
            countdown ? run.arm(texts[0], texts[1], texts[2])
                      : run.plan.armTimeOfDay(texts[0], texts[1], texts[2], QStringLiteral("关机"),
                                              run.armedAt);
        QVERIFY(!result.armed);
        QCOMPARE(result.error, error);
        QVERIFY(result.hourText.isEmpty()); // the boxes are left as typed
        QVERIFY(!run.plan.isArmed());
        QVERIFY(run.plan.statusText().isEmpty());
        QCOMPARE(run.tick(1).request, PowerAction::None);
    }

    void zeroCountdownFiresOnFirstTick() {
        CountdownRun run;
        QVERIFY(run.arm("0", "0", "0").armed);
        const TickResult first = run.tick(1);
        QCOMPARE(first.request, PowerAction::Shutdown);
        QCOMPARE(first.status, QStringLiteral("已到时间，已请求关机"));
    }

    // N at arming, N−1 after the first tick, 0 after the N-th, the request on tick N+1, then
    // "已到时间" without a second request (the plan still counts below zero inside); wherever
    // in the second the plan was armed.
    void tenSecondCountdown_data() {
        QTest::addColumn<int>("armedMsec");
        QTest::addColumn<int>("lateMs");
        QTest::newRow("armed on a boundary") << 0 << 0;
        QTest::newRow("armed just before a boundary") << 990 << 0;
        QTest::newRow("armed mid-second, ticks a little late") << 300 << 40;
        QTest::newRow("ticks 450 ms late") << 500 << 450;
    }
    void tenSecondCountdown() {
        QFETCH(int, armedMsec);
        QFETCH(int, lateMs);
        CountdownRun run;
        run.armedAt = at(8, 0, 0, armedMsec);
        QVERIFY(run.arm("0", "0", "10").armed);
        QCOMPARE(run.plan.statusText(), countdownLabel(0, 0, 10));
        for (int n = 1; n <= 10; ++n) {
            const TickResult r = run.tick(n, lateMs);
            QCOMPARE(r.request, PowerAction::None);
            QCOMPARE(r.status, countdownLabel(0, 0, 10 - n));
        }
        const TickResult fire = run.tick(11, lateMs);
        QCOMPARE(fire.request, PowerAction::Shutdown);
        QCOMPARE(fire.status, QStringLiteral("已到时间，已请求关机"));
        QCOMPARE(run.tick(12, lateMs).status, QStringLiteral("已到时间，已请求关机"));
        for (int n = 13; n < 13 + 4000; ++n)
            QCOMPARE(run.tick(n, lateMs).request, PowerAction::None);
        QCOMPARE(run.plan.planHour(), qint16(-2));
    }

    // Ticks the event loop lost or delivered late do not stretch the countdown: the tick on
    // the moment the action is due still requests it.
    void countdownSurvivesTickTrouble_data() {
        QTest::addColumn<QList<int>>("ticks"); // tick numbers delivered, in order
        QTest::addColumn<QList<int>>("lateMs");
        QTest::addColumn<int>("firingTick");
        QTest::addColumn<QStringList>("labels"); // seconds left shown after each tick
        QTest::newRow("tick 4 dropped")
            << QList<int>{1, 2, 3, 5, 6, 7, 8, 9, 10, 11} << QList<int>(10, 0) << 11
            << QStringList{"9", "8", "7", "5", "4", "3", "2", "1", "0", "-1"};
        QTest::newRow("first tick dropped")
            << QList<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11} << QList<int>(10, 0) << 11
            << QStringList{"8", "7", "6", "5", "4", "3", "2", "1", "0", "-1"};
        QTest::newRow("three in a row dropped")
            << QList<int>{1, 5, 6, 7, 8, 9, 10, 11} << QList<int>(8, 0) << 11
            << QStringList{"9", "5", "4", "3", "2", "1", "0", "-1"};
        QTest::newRow("the due tick dropped: the next fires")
            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12} << QList<int>(11, 0) << 12
            << QStringList{"9", "8", "7", "6", "5", "4", "3", "2", "1", "0", "-2"};
        QTest::newRow("one late tick, then on time")
            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}
            << QList<int>{0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0} << 11
            << QStringList{"9", "8", "6", "6", "5", "4", "3", "2", "1", "0", "-1"};
        QTest::newRow("a doubled tick counts nothing")
            << QList<int>{1, 2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}
            << QList<int>{0, 0, 300, 0, 0, 0, 0, 0, 0, 0, 0, 0} << 11
            << QStringList{"9", "8", "8", "7", "6", "5", "4", "3", "2", "1", "0", "-1"};
    }
    void countdownSurvivesTickTrouble() {
        QFETCH(QList<int>, ticks);
        QFETCH(QList<int>, lateMs);
        QFETCH(int, firingTick);
        QFETCH(QStringList, labels);
        CountdownRun run;
        QVERIFY(run.arm("0", "0", "10").armed);
        int requests = 0;
        for (qsizetype i = 0; i < ticks.size(); ++i) {
            const TickResult r = run.tick(ticks[i], lateMs[i]);
            const int left = labels[i].toInt();
            const QString expected =
                left >= 0 ? countdownLabel(0, 0, left) : QStringLiteral("已到时间，已请求关机");
            QCOMPARE(r.status, expected);
            if (r.request != PowerAction::None) {
                ++requests;
                QCOMPARE(ticks[i], firingTick);
            }
        }
        QCOMPARE(requests, 1);
    }

    // A tick that comes late still fires for the target second it passed over; after a long
    // gap the target waits for the next day.
    void timeOfDayTicks_data() {
        QTest::addColumn<QDateTime>("armedAt");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<QList<QDateTime>>("ticks");
        QTest::addColumn<QList<int>>("firing"); // indexes of the ticks that request
        const QTime eleven(23, 0, 0);
        QList<QDateTime> everySecond;
        for (int s = -10; s <= 10; ++s)
            everySecond << at(23, 0, 0).addSecs(s);
        QTest::newRow("every second") << at(22, 59, 0) << eleven << everySecond << QList<int>{10};
        QTest::newRow("2 s late") << at(22, 59, 0) << eleven
                                  << QList<QDateTime>{at(22, 59, 59), at(23, 0, 2), at(23, 0, 3)}
                                  << QList<int>{1};
        QTest::newRow("5 s late") << at(22, 59, 0) << eleven
                                  << QList<QDateTime>{at(22, 59, 59), at(23, 0, 5)}
                                  << QList<int>{1};
        QTest::newRow("6 s late") << at(22, 59, 0) << eleven
                                  << QList<QDateTime>{at(22, 59, 59), at(23, 0, 6)} << QList<int>{};
        QTest::newRow("an hour asleep, then the next day")
            << at(21, 0, 0) << eleven
            << QList<QDateTime>{at(22, 0, 0), at(23, 0, 30), at(23, 0, 31), at(22, 59, 59, 0, 1),
                                at(23, 0, 0, 0, 1)}
            << QList<int>{4};
        QTest::newRow("ticks early in the second")
            << at(22, 59, 0) << eleven
            << QList<QDateTime>{at(22, 59, 59, 998), at(23, 0, 0, 998), at(23, 0, 1, 998)}
            << QList<int>{1};
        QTest::newRow("two ticks in the target second")
            << at(22, 59, 0) << eleven
            << QList<QDateTime>{at(22, 59, 59), at(23, 0, 0), at(23, 0, 0, 600), at(23, 0, 1)}
            << QList<int>{1};
        QTest::newRow("armed within the target second")
            << at(23, 0, 0, 400) << eleven << QList<QDateTime>{at(23, 0, 1), at(23, 0, 2)}
            << QList<int>{};
        QTest::newRow("armed just before it")
            << at(22, 59, 59, 900) << eleven << QList<QDateTime>{at(23, 0, 0, 2)} << QList<int>{0};
        QTest::newRow("midnight passed over late")
            << at(23, 59, 0) << QTime(0, 0, 0)
            << QList<QDateTime>{at(23, 59, 59), at(0, 0, 3, 0, 1)} << QList<int>{1};
        QTest::newRow("every day while armed")
            << at(22, 0, 0) << eleven
            << QList<QDateTime>{at(23, 0, 0), at(23, 0, 1), at(23, 0, 0, 0, 1), at(23, 0, 0, 0, 2)}
            << QList<int>{0, 2, 3};
        QTest::newRow("clock set back over the target")
            << at(22, 59, 0) << eleven
            << QList<QDateTime>{at(23, 0, 2), at(22, 59, 58), at(22, 59, 59), at(23, 0, 0)}
            << QList<int>{0, 3};
    }
    void timeOfDayTicks() {
        QFETCH(QDateTime, armedAt);
        QFETCH(QTime, target);
        QFETCH(QList<QDateTime>, ticks);
        QFETCH(QList<int>, firing);
        PowerPlan plan;
        QVERIFY(plan.armTimeOfDay(QString::number(target.hour()), QString::number(target.minute()),
                                  QString::number(target.second()), QStringLiteral("关机"), armedAt)
                    .armed);
        const QString label = plan.statusText();
        QList<int> fired;
        qint64 mono = 1000;
        for (qsizetype i = 0; i < ticks.size(); ++i) {
            const TickResult r = plan.tick(ticks[i], mono += 1000);
            if (r.request != PowerAction::None) {
                QCOMPARE(r.request, PowerAction::Shutdown);
                fired << int(i);
            }
            QCOMPARE(r.status, label); // the label keeps its text
        }
        QCOMPARE(fired, firing);
    }

    void actionOfTheWord_data() {
        QTest::addColumn<bool>("countdown");
        QTest::addColumn<QString>("word");
        QTest::addColumn<PowerAction>("request");
        QTest::newRow("注销 at a time of day")
            << false << QStringLiteral("注销") << PowerAction::Logoff;
        QTest::newRow("关机 at a time of day")
            << false << QStringLiteral("关机") << PowerAction::Shutdown;
        QTest::newRow("typed word at a time of day")
            << false << QStringLiteral("休眠") << PowerAction::None;
        QTest::newRow("重启 after a countdown")
            << true << QStringLiteral("重启") << PowerAction::Reboot;
        QTest::newRow("注销 after a countdown")
            << true << QStringLiteral("注销") << PowerAction::Logoff;
        QTest::newRow("typed word after a countdown")
            << true << QStringLiteral("关 机") << PowerAction::None;
    }
    void actionOfTheWord() {
        QFETCH(bool, countdown);
        QFETCH(QString, word);
        QFETCH(PowerAction, request);
        CountdownRun run;
        run.armedAt = at(22, 59, 59);
        const power::ArmResult armed =
            countdown ? run.arm("0", "0", "0", word)
                      : run.plan.armTimeOfDay("23", "0", "0", word, run.armedAt);
        QVERIFY(armed.armed);
        QVERIFY(run.plan.statusText().endsWith(QStringLiteral("为您") + word));
        QCOMPARE(run.tick(1).request, request);
        if (request == PowerAction::None)
            QVERIFY(armed.warning.isEmpty()); // nothing is coming, so nothing to warn of
    }

    void disarmStopsEverything() {
        CountdownRun run;
        QVERIFY(run.arm("0", "0", "2").armed);
        run.tick(1);
        run.plan.setAvailabilityNote(QStringLiteral("注意"));
        run.plan.disarm();
        QVERIFY(!run.plan.isArmed());
        QCOMPARE(run.plan.statusText(), QString());
        QCOMPARE(run.plan.toolTip(), QStringLiteral("Dalvenor"));
        for (int n = 2; n < 10; ++n) {
            const TickResult r = run.tick(n);
            QCOMPARE(r.request, PowerAction::None);
            QVERIFY(r.status.isEmpty());
        }
        // Armed again, the countdown starts afresh and fires again.
        run.armedAt = at(9, 0, 0);
        QVERIFY(run.arm("0", "0", "0").armed);
        QCOMPARE(run.plan.statusText(), countdownLabel(0, 0, 0));
        QCOMPARE(run.tick(1).request, PowerAction::Shutdown);
    }

    void disarmedTimeOfDayDoesNotFire() {
        PowerPlan plan;
        QVERIFY(plan.armTimeOfDay("23", "0", "0", QStringLiteral("关机"), at(22, 0, 0)).armed);
        plan.disarm();
        QCOMPARE(plan.tick(at(23, 0, 0), 0).request, PowerAction::None);
    }

    void toolTip_data() {
        QTest::addColumn<bool>("countdown");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("time of day")
            << false << QStringList{"23", "0", "0"} << QStringLiteral("关机") << 0
            << QStringLiteral("Dalvenor — 23:00:00 关机");
        QTest::newRow("time of day, small values")
            << false << QStringList{"7", "5", "9"} << QStringLiteral("注销") << 3
            << QStringLiteral("Dalvenor — 07:05:09 注销");
        QTest::newRow("countdown at arming")
            << true << QStringList{"1", "30", "0"} << QStringLiteral("重启") << 0
            << QStringLiteral("Dalvenor — 1时30分0秒后重启");
        QTest::newRow("countdown after a tick")
            << true << QStringList{"1", "30", "0"} << QStringLiteral("重启") << 1
            << QStringLiteral("Dalvenor — 1时29分59秒后重启");
        QTest::newRow("countdown fired")
            << true << QStringList{"0", "0", "1"} << QStringLiteral("关机") << 3
            << QStringLiteral("Dalvenor — 已到时间：关机");
    }
    void toolTip() {
        QFETCH(bool, countdown);
        QFETCH(QStringList, texts);
        QFETCH(QString, word);
        QFETCH(int, ticks);
        QFETCH(QString, toolTip);
        CountdownRun run;
        QCOMPARE(run.plan.toolTip(), QStringLiteral("Dalvenor"));
        QVERIFY(countdown
                    ? run.arm(texts[0], texts[1], texts[2], word).armed
                    : run.plan.armTimeOfDay(texts[0], texts[1], texts[2], word, run.armedAt).armed);
        TickResult last;
        for (int n = 1; n <= ticks; ++n)
            last = run.tick(n);
        QCOMPARE(run.plan.toolTip(), toolTip);
        if (ticks > 0)
            QCOMPARE(last.toolTip, toolTip);
    }

    // One advance notice per firing: a minute before, or at arming when less is left.
    void warning_data() {
        QTest::addColumn<bool>("countdown");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QDateTime>("armedAt");
        QTest::addColumn<QString>("atArming");
        QTest::addColumn<int>("warningTick"); // 0: none on the ticks
        QTest::addColumn<QString>("onTick");
        const QString minute = QStringLiteral("1 分钟后将为您关机，请保存工作。");
        QTest::newRow("countdown of 2 minutes")
            << true << QStringList{"0", "2", "0"} << at(8, 0, 0) << QString() << 60 << minute;
        QTest::newRow("countdown of 60 s")
            << true << QStringList{"0", "0", "60"} << at(8, 0, 0) << minute << 0 << QString();
        QTest::newRow("countdown of 30 s")
            << true << QStringList{"0", "0", "30"} << at(8, 0, 0)
            << QStringLiteral("30 秒后将为您关机，请保存工作。") << 0 << QString();
        QTest::newRow("countdown of 0 s")
            << true << QStringList{"0", "0", "0"} << at(8, 0, 0)
            << QStringLiteral("即将为您关机，请保存工作。") << 0 << QString();
        QTest::newRow("time of day 2 minutes ahead")
            << false << QStringList{"8", "2", "0"} << at(8, 0, 0) << QString() << 60 << minute;
        QTest::newRow("time of day 30 s ahead")
            << false << QStringList{"8", "0", "30"} << at(8, 0, 0)
            << QStringLiteral("30 秒后将为您关机，请保存工作。") << 0 << QString();
    }
    void warning() {
        QFETCH(bool, countdown);
        QFETCH(QStringList, texts);
        QFETCH(QDateTime, armedAt);
        QFETCH(QString, atArming);
        QFETCH(int, warningTick);
        QFETCH(QString, onTick);
        CountdownRun run;
        run.armedAt = armedAt;
        const power::ArmResult armed = countdown
                                           ? run.arm(texts[0], texts[1], texts[2])
                                           : run.plan.armTimeOfDay(texts[0], texts[1], texts[2],
                                                                   QStringLiteral("关机"), armedAt);
        QCOMPARE(armed.warning, atArming);
        int fired = 0;
        for (int n = 1; n <= 200; ++n) {
            const TickResult r = run.tick(n);
            if (r.request != PowerAction::None)
                ++fired;
            if (n == warningTick)
                QCOMPARE(r.warning, onTick);
            else
                QVERIFY2(r.warning.isEmpty(), qPrintable(QString::number(n) + r.warning));
        }
        QCOMPARE(fired, 1);
    }

    void timeOfDayWarnsAgainNextDay() {
        PowerPlan plan;
        QVERIFY(plan.armTimeOfDay("23", "0", "0", QStringLiteral("重启"), at(22, 0, 0)).armed);
        QCOMPARE(plan.tick(at(22, 59, 0), 1).warning,
                 QStringLiteral("1 分钟后将为您重启，请保存工作。"));
        QVERIFY(plan.tick(at(22, 59, 1), 2).warning.isEmpty());
        QCOMPARE(plan.tick(at(23, 0, 0), 3).request, PowerAction::Reboot);
        // The 22:59:00 tick of the next day was lost: the notice comes on the next one.
        QCOMPARE(plan.tick(at(22, 58, 59, 0, 1), 4).warning, QString());
        QCOMPARE(plan.tick(at(22, 59, 1, 0, 1), 6).warning,
                 QStringLiteral("59 秒后将为您重启，请保存工作。"));
    }

    void availabilityNoteFollowsTheStatus() {
        CountdownRun run;
        QVERIFY(run.arm("0", "1", "0").armed);
        const QString note = QStringLiteral("注意：系统不允许您关机，到时将不会关机。");
        run.plan.setAvailabilityNote(note);
        QCOMPARE(run.plan.statusText(), countdownLabel(0, 1, 0) + QLatin1Char('\n') + note);
        QCOMPARE(run.tick(1).status, countdownLabel(0, 0, 59) + QLatin1Char('\n') + note);
        QVERIFY(run.arm("0", "1", "0").armed);
        QCOMPARE(run.plan.statusText(), countdownLabel(0, 1, 0));
    }
};

QTEST_GUILESS_MAIN(TestPowerPlan)
#include "tst_power_plan.moc"
