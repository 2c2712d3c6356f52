#include "addins/reminder.h"
#include "addins/slide_animation.h"

#include <QTest>

namespace {

// Minutes (1-based, counted from the confirmation) at which the pop-up was due within the first
// `minutes` minutes, the interval text changing to `after` once `changeAt` minutes have passed.
QList<int> dueMinutes(ReminderCounter& counter, int minutes, const QString& before,
                      int changeAt = -1, const QString& after = QString()) {
    QList<int> due;
    for (int m = 1; m <= minutes; ++m)
        if (counter.onMinute(m > changeAt && changeAt >= 0 ? after : before))
            due.append(m);
    return due;
}

} // namespace

class TestReminder : public QObject {
    Q_OBJECT

private slots:
    void parseInterval_data();
    void parseInterval();
    void messageOnlyForIntervalsThatNeverFire_data();
    void messageOnlyForIntervalsThatNeverFire();
    void dueMinutes_data();
    void dueMinutes();
    void intervalLoweredBelowCountFiresAtNextMinute();
    void editTakesEffectWithoutConfirm();
    void confirmTwiceKeepsCount();
    void nothingCountedBeforeConfirm();
    void sixtySecondsMakeAMinute();
    void countSaturates();
    void everyPopUpIsGoneBeforeTheNextIsDue();
};

void TestReminder::parseInterval_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("problem");
    QTest::addColumn<double>("minutes");
    using P = reminder::IntervalProblem;
    QTest::newRow("30") << "30" << int(P::None) << 30.0;
    QTest::newRow("spaces around") << "  7 " << int(P::None) << 7.0;
    QTest::newRow("fraction") << "1.5" << int(P::None) << 1.5;
    QTest::newRow("point first") << ".5" << int(P::None) << 0.5;
    QTest::newRow("plus sign") << "+2" << int(P::None) << 2.0;
    QTest::newRow("full-width digits") << QString::fromUtf8("３０") << int(P::None) << 30.0;
    QTest::newRow("full-width point") << QString::fromUtf8("１．５") << int(P::None) << 1.5;
    QTest::newRow("largest count") << "32767" << int(P::None) << 32767.0;
    QTest::newRow("empty") << "" << int(P::Empty) << 0.0;
    QTest::newRow("spaces only") << QString::fromUtf8(" \t\u3000") << int(P::Empty) << 0.0;
    QTest::newRow("zero") << "0" << int(P::NotPositive) << 0.0;
    QTest::newRow("zero point zero") << "0.0" << int(P::NotPositive) << 0.0;
    QTest::newRow("minus zero") << "-0" << int(P::NotPositive) << 0.0;
    QTest::newRow("negative") << "-3" << int(P::NotPositive) << 0.0;
    QTest::newRow("letters") << "abc" << int(P::NotANumber) << 0.0;
    QTest::newRow("number then text") << "30分钟" << int(P::NotANumber) << 0.0;
    QTest::newRow("two points") << "1.2.3" << int(P::NotANumber) << 0.0;
    QTest::newRow("comma decimal") << "1,5" << int(P::NotANumber) << 0.0;
    QTest::newRow("exponent") << "1e3" << int(P::NotANumber) << 0.0;
    QTest::newRow("inf") << "inf" << int(P::NotANumber) << 0.0;
    QTest::newRow("nan") << "nan" << int(P::NotANumber) << 0.0;
    QTest::newRow("hex") << "0x10" << int(P::NotANumber) << 0.0;
    QTest::newRow("sign alone") << "-" << int(P::NotANumber) << 0.0;
    QTest::newRow("beyond the count") << "32768" << int(P::TooLarge) << 0.0;
    QTest::newRow("beyond double") << QString(400, '9') << int(P::TooLarge) << 0.0;
}

void TestReminder::parseInterval() {
    QFETCH(QString, text);
    QFETCH(int, problem);
    QFETCH(double, minutes);
    const reminder::Interval interval = reminder::parseInterval(text);
    QCOMPARE(int(interval.problem), problem);
    QCOMPARE(interval.fires(), problem == int(reminder::IntervalProblem::None));
    if (interval.fires())
        QCOMPARE(interval.minutes, minutes);
}

void TestReminder::messageOnlyForIntervalsThatNeverFire_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedPart"); // empty: no message
    QTest::newRow("valid") << "30" << QString();
    QTest::newRow("fraction") << "1.5" << QString();
    QTest::newRow("empty") << "" << QString::fromUtf8("没有填写提醒间隔");
    QTest::newRow("zero") << "0" << QString::fromUtf8("“0”不大于 0");
    QTest::newRow("negative") << "-3" << QString::fromUtf8("“-3”不大于 0");
    QTest::newRow("letters") << " abc " << QString::fromUtf8("“abc”不是数字");
    QTest::newRow("too long") << "40000" << QString::fromUtf8("最多可以填写 32767 分钟");
}

void TestReminder::messageOnlyForIntervalsThatNeverFire() {
    QFETCH(QString, text);
    QFETCH(QString, expectedPart);
    const QString message = reminder::intervalMessage(text);
    if (expectedPart.isEmpty()) {
        QVERIFY2(message.isEmpty(), qPrintable(message));
    } else {
        QVERIFY2(message.contains(expectedPart), qPrintable(message));
        QVERIFY(message.contains(QString::fromUtf8("不会弹出")));
    }
}

void TestReminder::dueMinutes_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QList<int>>("due");
    QTest::newRow("every minute") << "1" << 5 << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("every 30 minutes") << "30" << 90 << QList<int>{30, 60, 90};
    QTest::newRow("fraction fires once the count reaches it") << "1.5" << 6 << QList<int>{2, 4, 6};
    QTest::newRow("below one fires every minute") << "0.5" << 3 << QList<int>{1, 2, 3};
    QTest::newRow("full-width") << QString::fromUtf8("２") << 4 << QList<int>{2, 4};
    QTest::newRow("empty never") << "" << 100 << QList<int>{};
    QTest::newRow("zero never") << "0" << 100 << QList<int>{};
    QTest::newRow("negative never") << "-3" << 100 << QList<int>{};
    QTest::newRow("not a number never") << "abc" << 100 << QList<int>{};
}

void TestReminder::dueMinutes() {
    QFETCH(QString, interval);
    QFETCH(int, minutes);
    QFETCH(QList<int>, due);
    ReminderCounter counter;
    counter.confirm();
    QCOMPARE(::dueMinutes(counter, minutes, interval), due);
}

void TestReminder::intervalLoweredBelowCountFiresAtNextMinute() {
    ReminderCounter counter;
    counter.confirm();
    // Five minutes counted towards 30, then the interval becomes 2: an exact comparison would
    // never match again.
    QCOMPARE(::dueMinutes(counter, 9, "30", 5, "2"), (QList<int>{6, 8}));
}

void TestReminder::editTakesEffectWithoutConfirm() {
    ReminderCounter counter;
    counter.confirm();
    // Seven minutes towards 30, then Text3 reads 10: the next pop-up comes at minute 10.
    QCOMPARE(::dueMinutes(counter, 25, "30", 7, "10"), (QList<int>{10, 20}));
}

void TestReminder::confirmTwiceKeepsCount() {
    ReminderCounter counter;
    counter.confirm();
    for (int s = 0; s < 3 * 60 + 20; ++s)
        QVERIFY(!counter.onSecond("5"));
    QCOMPARE(counter.minutes(), qint16(3));
    QCOMPARE(counter.secondsIntoMinute(), 20);
    counter.confirm();
    QCOMPARE(counter.minutes(), qint16(3));
    QCOMPARE(counter.secondsIntoMinute(), 20);
    // Two more minutes from the first confirmation, not five from the second.
    int fired = -1;
    for (int s = 1; s <= 5 * 60 && fired < 0; ++s)
        if (counter.onSecond("5"))
            fired = s;
    QCOMPARE(fired, 2 * 60 - 20);
    QCOMPARE(counter.minutes(), qint16(0));
}

void TestReminder::nothingCountedBeforeConfirm() {
    ReminderCounter counter;
    QVERIFY(!counter.isRunning());
    for (int s = 0; s < 3 * 60; ++s)
        QVERIFY(!counter.onSecond("1"));
    QVERIFY(!counter.onMinute("1"));
    QCOMPARE(counter.minutes(), qint16(0));
    counter.confirm();
    QVERIFY(counter.isRunning());
    QVERIFY(counter.onMinute("1"));
}

void TestReminder::sixtySecondsMakeAMinute() {
    ReminderCounter counter;
    counter.confirm();
    QList<int> due;
    for (int s = 1; s <= 3 * 60; ++s)
        if (counter.onSecond("1"))
            due.append(s);
    QCOMPARE(due, (QList<int>{60, 120, 180}));
}

void TestReminder::countSaturates() {
    ReminderCounter counter;
    counter.confirm();
    // Forty thousand minutes (about 28 days) without a valid interval: a 16-bit count would have
    // wrapped round to negative and then needed another 45 days to come back.
    for (int m = 0; m < 40000; ++m)
        QVERIFY(!counter.onMinute("abc"));
    QCOMPARE(counter.minutes(), ReminderCounter::kMaxMinutes);
    QVERIFY(!counter.onMinute(""));
    QCOMPARE(counter.minutes(), ReminderCounter::kMaxMinutes);
    // Every valid interval has been passed: the next minute brings the pop-up.
    QVERIFY(counter.onMinute("32767"));
    QCOMPARE(counter.minutes(), qint16(0));
}

void TestReminder::everyPopUpIsGoneBeforeTheNextIsDue() {
    // Interval 1: each slide (at 20 ms a tick, for the pop-up's outer height) must close within
    // the minute, or the next showing would find it still visible and be lost.
    const QRect screen(0, 0, 1920 * 15, 1080 * 15);
    const QSize outer(6030 + 2 * 60, 2415 + 30 * 15 + 60); // client plus a title bar and border
    ReminderCounter counter;
    SlideAnimation slide;
    counter.confirm();
    int shown = 0;
    QPoint pos;
    for (int s = 0; s < 5 * 60; ++s) {
        if (counter.onSecond("1")) {
            const auto start = slide.start(screen, outer);
            QVERIFY2(start, "the previous pop-up is still showing");
            pos = *start;
            ++shown;
        }
        // Fifty 20 ms ticks a second.
        for (int t = 0; t < 1000 / SlideAnimation::kIntervalMs && slide.isRunning(); ++t)
            pos = slide.tick(screen, outer, pos).position;
    }
    QCOMPARE(shown, 5);
}

QTEST_APPLESS_MAIN(TestReminder)
#include "tst_reminder.moc"
