#include "app/countdown_clock.h"

#include <QFile>
#include <QStringDecoder>
#include <QTest>
#include <QTimeZone>

#include <cstdlib>
#include <ctime>

using countdown::Lines;
using countdown::Values;

Q_DECLARE_METATYPE(countdown::Values)

namespace {

const QString whereToSet = QStringLiteral("附加功能 → 自定义倒计时");

Values fourLines(const QString& t1, const QString& t2, const QString& t3, const QString& t4) {
    Values v;
    v.fileFound = true;
    v.text1 = t1;
    v.text2 = t2;
    v.text3 = t3;
    v.text4 = t4;
    v.lineCount = 4;
    return v;
}

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QDateTime zoned(const char* zone, int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone(zone));
}

// Switches the process's local zone for one test and puts the pinned one back afterwards, even
// when a check fails half-way.
class LocalZone {
public:
    explicit LocalZone(const QByteArray& zone)
        : m_had(qEnvironmentVariableIsSet("TZ")), m_saved(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone() {
        if (m_had)
            qputenv("TZ", m_saved);
        else
            qunsetenv("TZ");
        tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    bool m_had;
    QByteArray m_saved;
};

// The moment the local clock first shows this date and time: the earlier of an hour shown twice
// when the clocks go back, and for an hour skipped when they go forward, where the clock steps
// onto it from the day before.
QDateTime firstShown(const QDate& date, const QTime& time) {
    QDateTime moment(date, time);
    if (!moment.isValid())
        return QDateTime(date.addDays(-1), time).addDays(1);
    for (int back : {3600, 1800}) { // daylight saving shifts by an hour, on Lord Howe by half
        const QDateTime earlier = moment.addSecs(-back);
        if (earlier.date() == date && earlier.time() == time)
            return earlier;
    }
    return moment;
}

// The promise the day count makes on the local clock, checked without repeating how it is
// computed: now moved by N calendar days (the same time of day, as first shown that day) is not
// after the target, moved by N + 1 it is, and the seconds are what lies between.
void verifyConsistent(const QDateTime& now, const QDateTime& target,
                      const countdown::TimeLeft& left) {
    auto daysLater = [&now](qint64 days) {
        return days == 0 ? now : firstShown(now.date().addDays(days), now.time());
    };
    const QString where = now.toString(Qt::ISODate) + " -> " + target.toString(Qt::ISODate);
    const QDateTime base = daysLater(left.days);
    QVERIFY2(base <= target, qPrintable(where));
    QVERIFY2(daysLater(left.days + 1) > target, qPrintable(where));
    QVERIFY2(left.seconds >= 0, qPrintable(where));
    QCOMPARE(left.seconds, base.secsTo(target));
}

} // namespace

class TestCountdownClock : public QObject {
    Q_OBJECT

private slots:
    void parseDate_data();
    void parseDate();
    void parseTimeOfDay_data();
    void parseTimeOfDay();
    void countdownLine_data();
    void countdownLine();
    void daylightSaving_data();
    void daylightSaving();
    void daylightSavingSweep_data();
    void daylightSavingSweep();
    void localZoneFromEnvironment();
    void tickerFollowsTheClock_data();
    void tickerFollowsTheClock();
    void tickerCountsAfreshOnlyWhenItMust();
    void formatTimePart_data();
    void formatTimePart();
    void messages_data();
    void messages();
    void shippedCountdownFile();
};

void TestCountdownClock::parseDate_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid: not a date

    // The form the custom countdown page asks for: month/day/year.
    QTest::newRow("m/d/yyyy") << "6/7/2011" << QDate(2011, 6, 7);
    QTest::newRow("mm/dd/yyyy") << "06/07/2011" << QDate(2011, 6, 7);
    QTest::newRow("month first, not day") << "12/1/2027" << QDate(2027, 12, 1);
    QTest::newRow("surrounding spaces") << "  6/7/2027\t " << QDate(2027, 6, 7);
    QTest::newRow("year end") << "12/31/2027" << QDate(2027, 12, 31);
    QTest::newRow("leap day 2028") << "2/29/2028" << QDate(2028, 2, 29);
    QTest::newRow("leap day 2000") << "2/29/2000" << QDate(2000, 2, 29);
    QTest::newRow("no leap day 2027") << "2/29/2027" << QDate();
    QTest::newRow("no leap day 2100") << "2/29/2100" << QDate();
    QTest::newRow("day 31 of a 30-day month") << "4/31/2027" << QDate();
    QTest::newRow("month 13, day 40") << "13/40/2011" << QDate();
    QTest::newRow("day first reading refused") << "25/12/2027" << QDate();
    QTest::newRow("month 0") << "0/7/2027" << QDate();
    QTest::newRow("day 0") << "6/0/2027" << QDate();
    QTest::newRow("two-digit year") << "6/7/11" << QDate();
    QTest::newRow("five-digit year") << "6/7/20115" << QDate();
    QTest::newRow("no year") << "6/7" << QDate();
    QTest::newRow("trailing junk") << "6/7/2011x" << QDate();

    // The forms people type instead.
    QTest::newRow("yyyy-m-d") << "2027-6-7" << QDate(2027, 6, 7);
    QTest::newRow("yyyy-mm-dd") << "2027-06-07" << QDate(2027, 6, 7);
    QTest::newRow("yyyy/m/d") << "2027/6/7" << QDate(2027, 6, 7);
    QTest::newRow("yyyy-mm-dd invalid") << "2027-02-30" << QDate();
    QTest::newRow("mixed separators") << "2027-6/7" << QDate();
    QTest::newRow("yyyy年m月d日") << "2027年6月7日" << QDate(2027, 6, 7);
    QTest::newRow("Chinese with spaces") << "2027 年 6 月 7 日" << QDate(2027, 6, 7);
    QTest::newRow("Chinese leap day") << "2028年2月29日" << QDate(2028, 2, 29);
    QTest::newRow("Chinese invalid") << "2027年2月29日" << QDate();
    QTest::newRow("full-width digits") << "６/７/２０２７" << QDate(2027, 6, 7);
    QTest::newRow("full-width slashes") << "2027／6／7" << QDate(2027, 6, 7);

    // A time of day after the date does not stop it being a date.
    QTest::newRow("with time") << "6/7/2011 9:00:00 AM" << QDate(2011, 6, 7);
    QTest::newRow("iso with time") << "2027-06-07 21:15" << QDate(2027, 6, 7);
    QTest::newRow("Chinese with time") << "2027年6月7日9:00" << QDate(2027, 6, 7);
    QTest::newRow("with junk after") << "6/7/2011 abc" << QDate();
    QTest::newRow("with a bad time after") << "6/7/2011 25:00" << QDate();

    QTest::newRow("words") << "abc" << QDate();
    QTest::newRow("empty") << "" << QDate();
    QTest::newRow("spaces only") << "   " << QDate();
    QTest::newRow("a time") << "9:00:00 AM" << QDate();
}

void TestCountdownClock::parseDate() {
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    const std::optional<QDate> parsed = countdown::parseDate(text);
    if (!expected.isValid()) {
        QVERIFY2(!parsed, qPrintable(parsed ? parsed->toString(Qt::ISODate) : QString()));
        return;
    }
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, expected);
}

void TestCountdownClock::parseTimeOfDay_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QTime>("expected"); // invalid: not a time

    // The form the custom countdown page asks for: 00:00:00 AM/00:00:00 PM.
    QTest::newRow("9 AM") << "9:00:00 AM" << QTime(9, 0);
    QTest::newRow("9 PM") << "9:00:00 PM" << QTime(21, 0);
    QTest::newRow("leading zero") << "09:05:07 AM" << QTime(9, 5, 7);
    QTest::newRow("12 AM is midnight") << "12:00:00 AM" << QTime(0, 0);
    QTest::newRow("12 PM is noon") << "12:00:00 PM" << QTime(12, 0);
    QTest::newRow("half past midnight") << "12:30:15 AM" << QTime(0, 30, 15);
    QTest::newRow("last second") << "11:59:59 PM" << QTime(23, 59, 59);
    QTest::newRow("surrounding spaces") << "  9:00:00 AM  " << QTime(9, 0);
    QTest::newRow("h:mm am") << "9:30 am" << QTime(9, 30);
    QTest::newRow("h:mm pm no space") << "9:30pm" << QTime(21, 30);
    QTest::newRow("mixed case") << "3:15 Pm" << QTime(15, 15);
    QTest::newRow("dotted") << "3:15 p.m." << QTime(15, 15);
    QTest::newRow("0:00 PM") << "0:00 PM" << QTime();
    QTest::newRow("0:30 AM") << "0:30 AM" << QTime();
    QTest::newRow("13:00 PM") << "13:00 PM" << QTime();
    QTest::newRow("unknown marker") << "9:00 XM" << QTime();

    // 24-hour times.
    QTest::newRow("H:mm") << "9:00" << QTime(9, 0);
    QTest::newRow("HH:mm") << "21:30" << QTime(21, 30);
    QTest::newRow("HH:mm:ss") << "21:30:15" << QTime(21, 30, 15);
    QTest::newRow("midnight") << "0:00" << QTime(0, 0);
    QTest::newRow("midnight with seconds") << "00:00:00" << QTime(0, 0);
    QTest::newRow("23:59:59") << "23:59:59" << QTime(23, 59, 59);
    QTest::newRow("24:00") << "24:00" << QTime();
    QTest::newRow("25:00") << "25:00" << QTime();
    QTest::newRow("9:60") << "9:60" << QTime();
    QTest::newRow("second 60") << "9:00:60" << QTime();
    QTest::newRow("hour only") << "9" << QTime();
    QTest::newRow("too many parts") << "9:00:00:00" << QTime();
    QTest::newRow("negative") << "-1:00" << QTime();

    // 上午 / 下午 before the time, as a Chinese clock writes it.
    QTest::newRow("上午") << "上午9:00" << QTime(9, 0);
    QTest::newRow("下午") << "下午3:30" << QTime(15, 30);
    QTest::newRow("下午 with space and seconds") << "下午 3:30:20" << QTime(15, 30, 20);
    QTest::newRow("上午12 is midnight") << "上午12:00" << QTime(0, 0);
    QTest::newRow("下午12 is noon") << "下午12:00" << QTime(12, 0);
    QTest::newRow("下午13") << "下午13:00" << QTime();
    QTest::newRow("both markers") << "上午9:00 PM" << QTime();
    QTest::newRow("full-width") << "９：００：００" << QTime(9, 0);

    // A date in front: only its time of day counts.
    QTest::newRow("with date") << "6/7/2011 9:00:00 AM" << QTime(9, 0);
    QTest::newRow("with iso date") << "2027-06-07 21:15" << QTime(21, 15);
    QTest::newRow("with Chinese date") << "2027年6月7日 下午3:00" << QTime(15, 0);
    QTest::newRow("with a bad date") << "13/40/2011 9:00" << QTime();
    QTest::newRow("a date alone") << "6/7/2011" << QTime();

    QTest::newRow("words") << "abc" << QTime();
    QTest::newRow("empty") << "" << QTime();
}

void TestCountdownClock::parseTimeOfDay() {
    QFETCH(QString, text);
    QFETCH(QTime, expected);
    const std::optional<QTime> parsed = countdown::parseTimeOfDay(text);
    if (!expected.isValid()) {
        QVERIFY2(!parsed, qPrintable(parsed ? parsed->toString() : QString()));
        return;
    }
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, expected);
}

void TestCountdownClock::countdownLine_data() {
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");

    const QString p = QStringLiteral("还有：");
    const QString d = QStringLiteral("6/7/2011");
    const QString t = QStringLiteral("9:00:00 AM");

    // Target 7 June 2011, nine in the morning.
    QTest::newRow("after the target time of day")
        << p << d << t << at(2011, 6, 5, 10, 0) << "还有：1天 23小时0分钟0秒";
    QTest::newRow("before the target time of day")
        << p << d << t << at(2011, 6, 5, 8, 0) << "还有：2天 1小时0分钟0秒";
    QTest::newRow("exactly one day before")
        << p << d << t << at(2011, 6, 6, 9, 0) << "还有：1天 0小时0分钟0秒";
    QTest::newRow("a second short of one day")
        << p << d << t << at(2011, 6, 6, 9, 0, 1) << "还有：0天 23小时59分钟59秒";
    QTest::newRow("a second more than one day")
        << p << d << t << at(2011, 6, 6, 8, 59, 59) << "还有：1天 0小时0分钟1秒";
    QTest::newRow("last second") << p << d << t << at(2011, 6, 7, 8, 59, 59)
                                 << "还有：0天 0小时0分钟1秒";
    QTest::newRow("at the target")
        << p << d << t << at(2011, 6, 7, 9, 0) << "还有：0天 0小时0分钟0秒";
    // Past the target nothing is left: the count stays at zero, never below.
    QTest::newRow("one second past")
        << p << d << t << at(2011, 6, 7, 9, 0, 1) << "还有：0天 0小时0分钟0秒";
    QTest::newRow("a day past") << p << d << t << at(2011, 6, 8, 9, 0) << "还有：0天 0小时0分钟0秒";
    QTest::newRow("a day and a second past")
        << p << d << t << at(2011, 6, 8, 9, 0, 1) << "还有：0天 0小时0分钟0秒";
    QTest::newRow("a year past") << p << d << t << at(2012, 6, 9, 9, 0)
                                 << "还有：0天 0小时0分钟0秒";
    QTest::newRow("same day, later hour")
        << p << d << t << at(2011, 6, 7, 23, 59, 59) << "还有：0天 0小时0分钟0秒";
    QTest::newRow("milliseconds dropped")
        << p << d << t << at(2011, 6, 5, 8, 0, 0, 999) << "还有：2天 1小时0分钟0秒";

    // Midnight: the target time 12:00:00 AM and the clock passing midnight.
    QTest::newRow("midnight target")
        << p << "1/2/2011"
        << "12:00:00 AM" << at(2011, 1, 1, 23, 59, 59) << "还有：0天 0小时0分钟1秒";
    QTest::newRow("before midnight")
        << p << d << t << at(2011, 6, 5, 23, 59, 59) << "还有：1天 9小时0分钟1秒";
    QTest::newRow("after midnight")
        << p << d << t << at(2011, 6, 6, 0, 0, 0) << "还有：1天 9小时0分钟0秒";

    // Month, year and leap-year ends.
    QTest::newRow("across a 31-day month end")
        << p << "6/1/2011" << t << at(2011, 5, 31, 9, 0) << "还有：1天 0小时0分钟0秒";
    QTest::newRow("across February")
        << p << "3/1/2011" << t << at(2011, 1, 31, 10, 0) << "还有：28天 23小时0分钟0秒";
    QTest::newRow("leap February")
        << p << "3/1/2028" << t << at(2028, 2, 28, 10, 0) << "还有：1天 23小时0分钟0秒";
    QTest::newRow("common February")
        << p << "3/1/2027" << t << at(2027, 2, 28, 10, 0) << "还有：0天 23小时0分钟0秒";
    QTest::newRow("to a leap day")
        << p << "2/29/2028" << t << at(2027, 2, 28, 9, 0) << "还有：366天 0小时0分钟0秒";
    QTest::newRow("new year at midnight")
        << p << "1/1/2027"
        << "12:00:00 AM" << at(2026, 12, 31, 23, 59, 59) << "还有：0天 0小时0分钟1秒";
    QTest::newRow("across the year end")
        << p << "6/7/2027" << t << at(2026, 12, 31, 9, 0) << "还有：158天 0小时0分钟0秒";
    QTest::newRow("sixteen years")
        << p << "6/7/2027" << t << at(2011, 6, 5, 10, 0) << "还有：5845天 23小时0分钟0秒";
    QTest::newRow("the calendar's last day")
        << p << "12/31/9999" << t << at(2011, 6, 5, 10, 0) << "还有：2917765天 23小时0分钟0秒";

    // Prefixes and other forms of the same target.
    QTest::newRow("empty prefix") << "" << d << t << at(2011, 6, 5, 10, 0) << "1天 23小时0分钟0秒";
    QTest::newRow("prefix spaces kept")
        << "  还有 " << d << t << at(2011, 6, 5, 10, 0) << "  还有 1天 23小时0分钟0秒";
    QTest::newRow("iso date, 24-hour time")
        << p << "2011-06-07"
        << "09:00" << at(2011, 6, 5, 10, 0) << "还有：1天 23小时0分钟0秒";
    QTest::newRow("Chinese date, 上午")
        << p << "2011年6月7日"
        << "上午9:00:00" << at(2011, 6, 5, 10, 0) << "还有：1天 23小时0分钟0秒";
    QTest::newRow("line 4 with a date part")
        << p << d << "5/1/2011 9:00:00 AM" << at(2011, 6, 5, 10, 0) << "还有：1天 23小时0分钟0秒";
    QTest::newRow("afternoon target")
        << p << d << "3:30:00 PM" << at(2011, 6, 5, 10, 0) << "还有：2天 5小时30分钟0秒";
}

void TestCountdownClock::countdownLine() {
    QFETCH(QString, prefix);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);

    const Lines lines =
        countdown::countdownLines(fourLines(QStringLiteral("距离高考"), prefix, date, time), now);
    QVERIFY(lines.valid);
    QCOMPARE(lines.line1, QStringLiteral("距离高考"));
    QCOMPARE(lines.line2, expected);
}

void TestCountdownClock::daylightSaving_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");

    // Berlin, 2027: clocks go forward on 28 March (02:00 -> 03:00), back on 31 October.
    QTest::newRow("Berlin, over spring forward")
        << zoned("Europe/Berlin", 2027, 3, 27, 10, 0) << "3/28/2027"
        << "12:00"
        << "1天 2小时0分钟0秒";
    QTest::newRow("Berlin, day after spring forward")
        << zoned("Europe/Berlin", 2027, 3, 27, 10, 0) << "3/29/2027"
        << "9:00"
        << "1天 23小时0分钟0秒";
    QTest::newRow("Berlin, through the skipped hour")
        << zoned("Europe/Berlin", 2027, 3, 28, 1, 0) << "3/28/2027"
        << "4:00"
        << "0天 2小时0分钟0秒";
    QTest::newRow("Berlin, target in the skipped hour")
        << zoned("Europe/Berlin", 2027, 3, 27, 12, 0) << "3/28/2027"
        << "2:30"
        << "0天 14小时30分钟0秒";
    QTest::newRow("Berlin, over fall back")
        << zoned("Europe/Berlin", 2027, 10, 30, 10, 0) << "11/1/2027"
        << "9:00"
        << "1天 23小时0分钟0秒";
    QTest::newRow("Berlin, through the repeated hour")
        << zoned("Europe/Berlin", 2027, 10, 31, 0, 30) << "10/31/2027"
        << "4:00"
        << "0天 4小时30分钟0秒";

    // New York, 2027: forward on 14 March, back on 7 November.
    QTest::newRow("New York, over spring forward")
        << zoned("America/New_York", 2027, 3, 13, 10, 0) << "3/14/2027"
        << "12:00 PM"
        << "1天 2小时0分钟0秒";
    QTest::newRow("New York, over fall back")
        << zoned("America/New_York", 2027, 11, 6, 21, 0) << "11/7/2027"
        << "9:00 AM"
        << "0天 13小时0分钟0秒";
    QTest::newRow("New York, a week over fall back")
        << zoned("America/New_York", 2027, 11, 1, 9, 0) << "11/8/2027"
        << "9:00 AM"
        << "7天 0小时0分钟0秒";
}

void TestCountdownClock::daylightSaving() {
    QFETCH(QDateTime, now);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, expected);
    QVERIFY(now.isValid());

    const Lines lines = countdown::countdownLines(fourLines("t", "", date, time), now);
    QVERIFY(lines.valid);
    QCOMPARE(lines.line2, expected);
}

void TestCountdownClock::daylightSavingSweep_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("transition");

    QTest::newRow("Berlin spring") << QByteArray("Europe/Berlin") << QDate(2027, 3, 28);
    QTest::newRow("Berlin autumn") << QByteArray("Europe/Berlin") << QDate(2027, 10, 31);
    QTest::newRow("New York spring") << QByteArray("America/New_York") << QDate(2027, 3, 14);
    QTest::newRow("New York autumn") << QByteArray("America/New_York") << QDate(2027, 11, 7);
    // Half an hour of daylight saving, the hostile case for any rounding to hours.
    QTest::newRow("Lord Howe spring") << QByteArray("Australia/Lord_Howe") << QDate(2027, 10, 3);
    QTest::newRow("Lord Howe autumn") << QByteArray("Australia/Lord_Howe") << QDate(2027, 4, 4);
    QTest::newRow("Shanghai, none") << QByteArray("Asia/Shanghai") << QDate(2027, 6, 7);
}

void TestCountdownClock::daylightSavingSweep() {
    QFETCH(QByteArray, zone);
    QFETCH(QDate, transition);
    const QTimeZone tz(zone);
    QVERIFY(tz.isValid());
    const LocalZone local(zone);

    // Every 37 minutes across four days around the change, against targets just before, in,
    // and after the changed hours, including a time of day that does not exist that day. The
    // same moments are counted on the local clock (as the program runs) and in the named zone;
    // both must agree and keep the promise of the day count.
    const QList<QTime> targetTimes = {QTime(0, 0),  QTime(1, 59, 59), QTime(2, 0),
                                      QTime(2, 15), QTime(2, 30),     QTime(3, 0),
                                      QTime(9, 0),  QTime(23, 59, 59)};
    const QDateTime start(transition.addDays(-2), QTime(0, 0));
    for (int step = 0; step < 4 * 24 * 60 / 37; ++step) {
        const QDateTime now = start.addSecs(qint64(step) * 37 * 60);
        for (int dayOffset = -1; dayOffset <= 2; ++dayOffset) {
            for (const QTime& time : targetTimes) {
                const QDate date = transition.addDays(dayOffset);
                const Values values = fourLines("t", "", date.toString(QStringLiteral("M/d/yyyy")),
                                                time.toString(QStringLiteral("H:mm:ss")));

                const QDateTime target = firstShown(date, time);
                const countdown::TimeLeft left = countdown::timeLeft(now, target);
                verifyConsistent(now, target, left);

                const Lines lines = countdown::countdownLines(values, now);
                QVERIFY(lines.valid);
                // What is shown stops at zero once the target has passed.
                const bool passed = left.days < 0 || (left.days == 0 && left.seconds <= 0);
                QCOMPARE(lines.line2, countdown::formatCountdownLine(
                                          QString(), passed ? countdown::TimeLeft{} : left));
                const Lines zonedLines = countdown::countdownLines(values, now.toTimeZone(tz));
                QVERIFY2(zonedLines.line2 == lines.line2,
                         qPrintable(now.toString(Qt::ISODate) + " " + values.text3 + " " +
                                    values.text4 + ": " + zonedLines.line2 + " / " + lines.line2));
            }
        }
    }
}

void TestCountdownClock::tickerFollowsTheClock_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("transition");
    QTest::addColumn<int>("stepSeconds");

    QTest::newRow("Berlin spring") << QByteArray("Europe/Berlin") << QDate(2027, 3, 28) << 97;
    QTest::newRow("Berlin autumn") << QByteArray("Europe/Berlin") << QDate(2027, 10, 31) << 97;
    QTest::newRow("New York spring, seconds")
        << QByteArray("America/New_York") << QDate(2027, 3, 14) << 1;
    QTest::newRow("Lord Howe spring")
        << QByteArray("Australia/Lord_Howe") << QDate(2027, 10, 3) << 61;
    QTest::newRow("Lord Howe autumn")
        << QByteArray("Australia/Lord_Howe") << QDate(2027, 4, 4) << 61;
    QTest::newRow("Shanghai, an hour at a step")
        << QByteArray("Asia/Shanghai") << QDate(2027, 6, 7) << 3600;
    QTest::newRow("Shanghai, beyond an hour")
        << QByteArray("Asia/Shanghai") << QDate(2027, 6, 7) << 3601;
}

void TestCountdownClock::tickerFollowsTheClock() {
    // A ticker going forward step by step, across a change of the clocks both on the day of
    // "now" and on the day of the target, must show at every step what a count from scratch
    // shows, including at the target and past it.
    QFETCH(QByteArray, zone);
    QFETCH(QDate, transition);
    QFETCH(int, stepSeconds);
    const LocalZone local(zone);

    // Targets a day after the change (the day before the target is the day of the change)
    // and on the day of the change, at a time that may be skipped or shown twice.
    const QList<QPair<QDate, QTime>> targets = {
        {transition.addDays(1), QTime(2, 30)},
        {transition.addDays(1), QTime(9, 0)},
        {transition, QTime(2, 30)},
        {transition, QTime(23, 0)},
    };
    const int span = stepSeconds == 1 ? 3 * 3600 : 3 * 24 * 3600;
    const QDateTime start = stepSeconds == 1 ? QDateTime(transition, QTime(0, 30))
                                             : QDateTime(transition.addDays(-1), QTime(0, 0));
    for (const auto& [date, time] : targets) {
        const Values values = fourLines("t", "还有：", date.toString(QStringLiteral("M/d/yyyy")),
                                        time.toString(QStringLiteral("H:mm:ss")));
        const countdown::Prepared prepared = countdown::prepare(values);
        // As the tests give it the time, and as the window's tick does: the instant first,
        // the local time only when the ticker cannot go on without it.
        countdown::Ticker ticker;
        countdown::Ticker instantFirst;
        int advanced = 0;
        for (int elapsed = 0; elapsed <= span; elapsed += stepSeconds) {
            // Ticks come a little after the second, as a timer fires.
            const QDateTime now = start.addSecs(elapsed).addMSecs(elapsed % 7 * 13);
            const Lines fresh = countdown::linesAt(prepared, now);
            const std::optional<Lines> quick =
                instantFirst.advanceTo(prepared, now.toMSecsSinceEpoch());
            advanced += quick.has_value();
            for (const Lines& ticked :
                 {ticker.linesAt(prepared, now), quick ? *quick : instantFirst.linesAt(prepared, now)}) {
                QVERIFY2(ticked.line2 == fresh.line2,
                         qPrintable(now.toString(Qt::ISODateWithMs) + " -> " + values.text3 +
                                    " " + values.text4 + ": " + ticked.line2 + " / " +
                                    fresh.line2 + (quick ? " (from the instant)" : "")));
                QCOMPARE(ticked.valid, fresh.valid);
                QCOMPARE(ticked.prefixLength, fresh.prefixLength);
            }
        }
        // Steps within a minute go on from the instant for most of the way.
        if (stepSeconds < 60)
            QVERIFY(advanced > span / stepSeconds / 2);
    }
}

void TestCountdownClock::tickerCountsAfreshOnlyWhenItMust() {
    const LocalZone local("Europe/Berlin");
    const countdown::Prepared prepared =
        countdown::prepare(fourLines("t", "", "6/7/2027", "9:00:00"));
    countdown::Ticker ticker;
    const QDateTime start = at(2027, 6, 5, 8, 59, 55, 4);
    for (int second = 0; second < 10; ++second)
        ticker.linesAt(prepared, start.addSecs(second));
    // The count goes from 2 days 0:00:05 to 1 day 23:59:56: one count at the start, one as
    // the whole days drop.
    QCOMPARE(ticker.fullCounts(), 2);
    QCOMPARE(ticker.linesAt(prepared, start.addSecs(10)).line2,
             QStringLiteral("1天 23小时59分钟55秒"));
    QCOMPARE(ticker.fullCounts(), 2);
    // The clock set back: counted afresh, and right.
    QCOMPARE(ticker.linesAt(prepared, start).line2, QStringLiteral("2天 0小时0分钟5秒"));
    QCOMPARE(ticker.fullCounts(), 3);
    // Another target: counted afresh.
    const countdown::Prepared other = countdown::prepare(fourLines("t", "", "6/8/2027", "9:00:00"));
    QCOMPARE(ticker.linesAt(other, start).line2, QStringLiteral("3天 0小时0分钟5秒"));
    QCOMPARE(ticker.fullCounts(), 4);
}

void TestCountdownClock::localZoneFromEnvironment() {
    // The program runs on local time; a zone with daylight saving set the usual way (TZ) must
    // give calendar days as well.
    const LocalZone local("America/New_York");
    const QDateTime now = at(2027, 3, 13, 10, 0);
    QVERIFY(QDateTime(QDate(2027, 3, 14), QTime(12, 0)).isDaylightTime()); // the zone did change
    QVERIFY(!now.isDaylightTime());

    const Lines lines =
        countdown::countdownLines(fourLines("t", "", "3/14/2027", "12:00:00 PM"), now);
    QVERIFY(lines.valid);
    QCOMPARE(lines.line2, QStringLiteral("1天 2小时0分钟0秒"));
    const Lines skipped = countdown::countdownLines(fourLines("t", "", "3/14/2027", "2:30"), now);
    QCOMPARE(skipped.line2, QStringLiteral("0天 16小时30分钟0秒")); // 03:30, once the clock jumped
    const Lines autumn =
        countdown::countdownLines(fourLines("t", "", "11/8/2027", "9:00"), at(2027, 11, 6, 9, 0));
    QCOMPARE(autumn.line2, QStringLiteral("2天 0小时0分钟0秒"));
}

void TestCountdownClock::formatTimePart_data() {
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << "0小时0分钟0秒";
    QTest::newRow("59 s") << qint64(59) << "0小时0分钟59秒";
    QTest::newRow("one minute") << qint64(60) << "0小时1分钟0秒";
    QTest::newRow("hour less a second") << qint64(3599) << "0小时59分钟59秒";
    QTest::newRow("one hour") << qint64(3600) << "1小时0分钟0秒";
    QTest::newRow("day less a second") << qint64(86399) << "23小时59分钟59秒";
    // The day the clocks go back has 25 hours.
    QTest::newRow("long day") << qint64(24 * 3600 + 1) << "24小时0分钟1秒";
}

void TestCountdownClock::formatTimePart() {
    QFETCH(qint64, seconds);
    QFETCH(QString, expected);
    QCOMPARE(countdown::formatTimePart(seconds), expected);
}

void TestCountdownClock::messages_data() {
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<QStringList>("line2Parts");

    Values missing;
    missing.fileFound = false;
    missing.text1 = QStringLiteral("left over");
    QTest::newRow("file missing") << missing << QString() << QStringList{whereToSet};

    Values unreadable = missing;
    unreadable.readError = QStringLiteral("无法读取文件“countdown.ini”。");
    QTest::newRow("file unreadable")
        << unreadable << unreadable.readError << QStringList{whereToSet};

    Values empty;
    empty.fileFound = true;
    QTest::newRow("empty file") << empty << QString()
                                << QStringList{"countdown.ini", "空", whereToSet};

    Values two = fourLines(" 距离高考 ", "还有：", QString(), QString());
    two.lineCount = 2;
    QTest::newRow("two lines") << two << " 距离高考 "
                               << QStringList{"只有 2 行", "日期和时间", whereToSet};

    Values three = fourLines("距离高考", "还有：", "6/7/2027", QString());
    three.lineCount = 3;
    QTest::newRow("three lines") << three << "距离高考"
                                 << QStringList{"只有 3 行", "时间", whereToSet};

    QTest::newRow("bad date") << fourLines("  距离高考  ", "还有：", "13/40/2011", "9:00:00 AM")
                              << "  距离高考  "
                              << QStringList{"倒计时日期无法识别", "“13/40/2011”", whereToSet};
    QTest::newRow("bad time") << fourLines("距离高考", "还有：", "6/7/2027", "25:00") << "距离高考"
                              << QStringList{"倒计时时间无法识别", "“25:00”", whereToSet};
    QTest::newRow("both bad") << fourLines("距离高考", "还有：", "abc", "def") << "距离高考"
                              << QStringList{"日期和时间", "“abc”", "“def”", whereToSet};
    QTest::newRow("empty date") << fourLines("距离高考", "还有：", " ", "9:00:00 AM") << "距离高考"
                                << QStringList{"日期为空", whereToSet};
    QTest::newRow("empty time") << fourLines("距离高考", "还有：", "6/7/2027", "") << "距离高考"
                                << QStringList{"时间为空", whereToSet};
    QTest::newRow("long junk shortened")
        << fourLines("距离高考", "还有：", QString(200, QLatin1Char('x')), "9:00") << "距离高考"
        << QStringList{"xxxx…”", whereToSet};
}

void TestCountdownClock::messages() {
    QFETCH(Values, values);
    QFETCH(QString, line1);
    QFETCH(QStringList, line2Parts);

    const Lines lines = countdown::countdownLines(values, at(2027, 1, 1, 12, 0));
    QVERIFY(!lines.valid);
    if (values.fileFound || !line1.isEmpty()) {
        QCOMPARE(lines.line1, line1);
    } else {
        // Line 1 says what is missing, in Chinese, and never shows stale text.
        QVERIFY(lines.line1.contains(QStringLiteral("没有找到")));
        QVERIFY(lines.line1.contains(QStringLiteral("countdown.ini")));
        QVERIFY(!lines.line1.contains(values.text1));
    }
    for (const QString& part : line2Parts)
        QVERIFY2(lines.line2.contains(part), qPrintable(lines.line2 + " lacks " + part));
    QVERIFY2(lines.line2.size() < 80, qPrintable(lines.line2));
    QVERIFY(!lines.line2.contains(QStringLiteral("天 ")));
}

void TestCountdownClock::shippedCountdownFile() {
    // The default countdown beside the program must read as a working countdown: four lines,
    // each ended by CR LF, in code page 936.
    const QString sourceDir = qEnvironmentVariable("DALVENOR_SOURCE_DIR");
    if (sourceDir.isEmpty())
        QSKIP("DALVENOR_SOURCE_DIR is not set");
    QFile file(sourceDir + QStringLiteral("/data/countdown.ini"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), 4);
    QCOMPARE(bytes.count('\n'), 4);
    QCOMPARE(bytes.count('\r'), 4);

    QStringDecoder decoder("GB18030", QStringConverter::Flag::Stateless);
    QVERIFY(decoder.isValid());
    const QString text = decoder.decode(bytes);
    QVERIFY(!decoder.hasError());
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5); // the last line end leaves an empty rest

    Values values = fourLines(lines[0], lines[1], lines[2], lines[3]);
    const Lines shown = countdown::countdownLines(values, at(2027, 1, 1, 12, 0));
    QVERIFY2(shown.valid, qPrintable(shown.line2));
    QVERIFY(shown.line1.contains(QStringLiteral("2027")));
    QCOMPARE(countdown::parseDate(lines[2]), std::optional<QDate>(QDate(2027, 6, 7)));
    QCOMPARE(countdown::parseTimeOfDay(lines[3]), std::optional<QTime>(QTime(9, 0)));
    QVERIFY(shown.line2.startsWith(lines[1] + QStringLiteral("156天 ")));
}

QTEST_GUILESS_MAIN(TestCountdownClock)
#include "tst_countdown_clock.moc"
