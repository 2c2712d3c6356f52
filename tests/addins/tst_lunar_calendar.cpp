#include "addins/lunar_calendar.h"

#include <QTest>

#include <lunar-date/lunar-date.h>

#include <numeric>

// Expected lunar dates are those of the official calendar (Hong Kong Observatory and Purple
// Mountain Observatory tables, which ICU's Chinese calendar also gives, except where noted);
// solar-term dates and instants are the published ones, in Beijing time.
class TestLunarCalendar : public QObject {
    Q_OBJECT

private slots:
    void lunarDateText_data();
    void lunarDateText();
    void lunarDateFields_data();
    void lunarDateFields();
    void outsideTheRangeGivesNothing_data();
    void outsideTheRangeGivesNothing();
    void monthAndDayNames_data();
    void monthAndDayNames();
    void everyDayFollowsTheDayBefore();
    void solarTermOnDay_data();
    void solarTermOnDay();
    void everyYearHasTheTwentyFourTermsInOrder();
    void daysToTargetText_data();
    void daysToTargetText();
    void describeDay_data();
    void describeDay();
    void textsStayChineseWhateverTheLocale();
};

void TestLunarCalendar::lunarDateText_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("text");
    // ICU 72 says 7 February; the new moon falls at 23:56 Beijing time on the 6th.
    QTest::newRow("2027 new year") << QDate(2027, 2, 6) << "农历正月初一";
    QTest::newRow("2027 eve, a 29-day 腊月") << QDate(2027, 2, 5) << "农历腊月廿九";
    QTest::newRow("大雪 2026") << QDate(2026, 12, 7) << "农历十月廿九";
    QTest::newRow("2024 eve, a 30-day 腊月") << QDate(2024, 2, 9) << "农历腊月三十";
    QTest::newRow("2024 new year") << QDate(2024, 2, 10) << "农历正月初一";
    QTest::newRow("初十") << QDate(2024, 2, 19) << "农历正月初十";
    QTest::newRow("十一") << QDate(2024, 2, 20) << "农历正月十一";
    QTest::newRow("二十") << QDate(2024, 2, 29) << "农历正月二十";
    QTest::newRow("2023 闰二月") << QDate(2023, 3, 22) << "农历闰二月初一";
    QTest::newRow("2020 闰四月") << QDate(2020, 5, 23) << "农历闰四月初一";
    QTest::newRow("2033 闰冬月") << QDate(2033, 12, 22) << "农历闰冬月初一";
    QTest::newRow("the 冬月 before it") << QDate(2033, 12, 21) << "农历冬月三十";
    QTest::newRow("first day") << QDate(1901, 1, 1) << "农历冬月十一";
    QTest::newRow("last day") << QDate(2100, 12, 31) << "农历腊月初一";
}

void TestLunarCalendar::lunarDateText() {
    QFETCH(QDate, day);
    QFETCH(QString, text);
    const auto date = lunar::lunarDate(day);
    QVERIFY(date);
    QCOMPARE(lunar::lunarDateText(*date), text);
}

void TestLunarCalendar::lunarDateFields_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<bool>("leap");
    QTest::addColumn<int>("dayOfMonth");
    // Before its 正月初一 a Gregorian date belongs to the lunar year before.
    QTest::newRow("first day, lunar 1900") << QDate(1901, 1, 1) << 1900 << 11 << false << 11;
    QTest::newRow("eve of 2027") << QDate(2027, 2, 5) << 2026 << 12 << false << 29;
    QTest::newRow("leap month") << QDate(2023, 4, 19) << 2023 << 2 << true << 29;
    QTest::newRow("month after the leap") << QDate(2023, 4, 20) << 2023 << 3 << false << 1;
}

void TestLunarCalendar::lunarDateFields() {
    QFETCH(QDate, day);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(bool, leap);
    QFETCH(int, dayOfMonth);
    const auto date = lunar::lunarDate(day);
    QVERIFY(date);
    QCOMPARE(*date, (lunar::LunarDate{year, month, leap, dayOfMonth}));
}

void TestLunarCalendar::outsideTheRangeGivesNothing_data() {
    QTest::addColumn<QDate>("day");
    QTest::newRow("day before the range") << QDate(1900, 12, 31);
    QTest::newRow("day after the range") << QDate(2101, 1, 1);
    QTest::newRow("far future") << QDate(9999, 12, 31);
    QTest::newRow("before the Gregorian reform") << QDate(1500, 3, 1);
    QTest::newRow("invalid") << QDate();
}

void TestLunarCalendar::outsideTheRangeGivesNothing() {
    QFETCH(QDate, day);
    QVERIFY(!lunar::isSupported(day));
    QVERIFY(!lunar::lunarDate(day));
    QCOMPARE(lunar::solarTermIndexOn(day), -1);
    QCOMPARE(lunar::solarTermOn(day), QString());
    QCOMPARE(lunar::describeDay(day, std::nullopt), QString());
}

void TestLunarCalendar::monthAndDayNames_data() {
    QTest::addColumn<int>("month");
    QTest::addColumn<bool>("leap");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("正月初一") << 1 << false << 1 << "农历正月初一";
    QTest::newRow("六月初九") << 6 << false << 9 << "农历六月初九";
    QTest::newRow("闰六月十五") << 6 << true << 15 << "农历闰六月十五";
    QTest::newRow("十月十九") << 10 << false << 19 << "农历十月十九";
    QTest::newRow("冬月廿一") << 11 << false << 21 << "农历冬月廿一";
    QTest::newRow("腊月廿九") << 12 << false << 29 << "农历腊月廿九";
    QTest::newRow("month 0") << 0 << false << 1 << "";
    QTest::newRow("month 13") << 13 << false << 1 << "";
    QTest::newRow("day 0") << 1 << false << 0 << "";
    QTest::newRow("day 31") << 1 << false << 31 << "";
}

void TestLunarCalendar::monthAndDayNames() {
    QFETCH(int, month);
    QFETCH(bool, leap);
    QFETCH(int, day);
    QFETCH(QString, text);
    QCOMPARE(lunar::lunarDateText(lunar::LunarDate{2024, month, leap, day}), text);
}

// Over the whole range the library's answers must make a calendar: each day is the next day of
// the month, or 初一 of the next month after a 29- or 30-day month, a leap month following the
// ordinary month of its number, and 正月初一 between 21 January and 20 February.
void TestLunarCalendar::everyDayFollowsTheDayBefore() {
    auto previous = lunar::lunarDate(lunar::firstSupportedDate());
    QVERIFY(previous);
    int leapMonths = 0;
    for (QDate day = lunar::firstSupportedDate().addDays(1); day <= lunar::lastSupportedDate();
         day = day.addDays(1)) {
        const auto current = lunar::lunarDate(day);
        QVERIFY2(current, qPrintable(day.toString(Qt::ISODate)));
        const QByteArray date = day.toString(Qt::ISODate).toLatin1();
        const char* where = date.constData();
        if (current->day != 1) {
            QVERIFY2(current->day == previous->day + 1 && current->month == previous->month &&
                         current->leap == previous->leap && current->year == previous->year,
                     where);
        } else {
            QVERIFY2(previous->day == 29 || previous->day == 30, where);
            if (current->leap) {
                ++leapMonths;
                QVERIFY2(!previous->leap && current->month == previous->month, where);
            } else if (current->month == 1) {
                QVERIFY2(previous->month == 12 && current->year == previous->year + 1, where);
                QVERIFY2(day >= QDate(day.year(), 1, 21) && day <= QDate(day.year(), 2, 20), where);
            } else {
                QVERIFY2(current->month == previous->month + 1, where);
            }
        }
        previous = current;
    }
    // Seven leap months in nineteen years: 73 or 74 in two hundred years.
    QVERIFY2(leapMonths >= 72 && leapMonths <= 75, qPrintable(QString::number(leapMonths)));
}

void TestLunarCalendar::solarTermOnDay_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("term");
    QTest::newRow("2026 大雪") << QDate(2026, 12, 7) << "大雪";
    QTest::newRow("2017 冬至 (00:28)") << QDate(2017, 12, 22) << "冬至";
    QTest::newRow("not the day before") << QDate(2017, 12, 21) << "";
    QTest::newRow("2023 夏至 (22:58)") << QDate(2023, 6, 21) << "夏至";
    QTest::newRow("not the day after") << QDate(2023, 6, 22) << "";
    QTest::newRow("2019 夏至 (23:54)") << QDate(2019, 6, 21) << "夏至";
    QTest::newRow("2021 冬至 (23:59)") << QDate(2021, 12, 21) << "冬至";
    QTest::newRow("not the next day") << QDate(2021, 12, 22) << "";
    QTest::newRow("2024 立春") << QDate(2024, 2, 4) << "立春";
    QTest::newRow("2025 立春") << QDate(2025, 2, 3) << "立春";
    QTest::newRow("2022 立春, Olympic opening") << QDate(2022, 2, 4) << "立春";
    QTest::newRow("2020 春分") << QDate(2020, 3, 20) << "春分";
    QTest::newRow("2024 春分") << QDate(2024, 3, 20) << "春分";
    QTest::newRow("2024 冬至") << QDate(2024, 12, 21) << "冬至";
    QTest::newRow("2000 春分") << QDate(2000, 3, 20) << "春分";
    QTest::newRow("2008 立春") << QDate(2008, 2, 4) << "立春";
    QTest::newRow("1985 冬至") << QDate(1985, 12, 22) << "冬至";
    QTest::newRow("1985 春分 (00:14)") << QDate(1985, 3, 21) << "春分";
    QTest::newRow("2008 秋分 (23:44)") << QDate(2008, 9, 22) << "秋分";
    QTest::newRow("2024 秋分") << QDate(2024, 9, 22) << "秋分";
    QTest::newRow("2024 大雪 (23:17)") << QDate(2024, 12, 6) << "大雪";
    QTest::newRow("an ordinary day") << QDate(2024, 5, 1) << "";
    QTest::newRow("first day of the range") << QDate(1901, 1, 1) << "";
    QTest::newRow("1901 小寒") << QDate(1901, 1, 6) << "小寒";
    QTest::newRow("2100 冬至") << QDate(2100, 12, 22) << "冬至";
}

void TestLunarCalendar::solarTermOnDay() {
    QFETCH(QDate, day);
    QFETCH(QString, term);
    QCOMPARE(lunar::solarTermOn(day), term);
}

// The day test walks the Sun's longitude from midnight to midnight: over a sample of years it
// must find every term exactly once, in order, and never two within a fortnight.
void TestLunarCalendar::everyYearHasTheTwentyFourTermsInOrder() {
    for (int year : {1901, 1917, 1951, 1984, 2021, 2026, 2051, 2084, 2100}) {
        QList<int> indices;
        QDate previous;
        for (QDate day(year, 1, 1); day.year() == year; day = day.addDays(1)) {
            const int index = lunar::solarTermIndexOn(day);
            if (index < 0)
                continue;
            QCOMPARE(lunar::solarTermOn(day), lunar::solarTermName(index));
            if (previous.isValid()) {
                const qint64 gap = previous.daysTo(day);
                QVERIFY2(gap >= 14 && gap <= 16, qPrintable(day.toString(Qt::ISODate)));
            }
            indices << index;
            previous = day;
        }
        QList<int> inOrder(24);
        std::iota(inOrder.begin(), inOrder.end(), 0);
        QCOMPARE(indices, inOrder);
    }
    QCOMPARE(lunar::solarTermName(24), QString());
    QCOMPARE(lunar::solarTermName(-1), QString());
}

void TestLunarCalendar::daysToTargetText_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QDate>("target");
    QTest::addColumn<bool>("hasTarget");
    QTest::addColumn<QString>("text");
    const QDate exam(2027, 6, 7);
    QTest::newRow("half a year before")
        << QDate(2026, 12, 7) << exam << true << "距考试还有 182 天";
    QTest::newRow("day before") << QDate(2027, 6, 6) << exam << true << "距考试还有 1 天";
    QTest::newRow("same day") << exam << exam << true << "今天考试";
    QTest::newRow("three days after") << QDate(2027, 6, 10) << exam << true << "考试已过 3 天";
    QTest::newRow("over a leap day")
        << QDate(2024, 2, 28) << QDate(2024, 3, 1) << true << "距考试还有 2 天";
    QTest::newRow("outside the lunar range")
        << QDate(1900, 12, 31) << QDate(1901, 1, 2) << true << "距考试还有 2 天";
    QTest::newRow("no target") << QDate(2026, 12, 7) << QDate() << false << "";
    QTest::newRow("invalid target") << QDate(2026, 12, 7) << QDate() << true << "";
    QTest::newRow("invalid day") << QDate() << exam << true << "";
}

void TestLunarCalendar::daysToTargetText() {
    QFETCH(QDate, day);
    QFETCH(QDate, target);
    QFETCH(bool, hasTarget);
    QFETCH(QString, text);
    QCOMPARE(lunar::daysToTargetText(day, hasTarget ? std::optional(target) : std::nullopt), text);
}

void TestLunarCalendar::describeDay_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QDate>("target");
    QTest::addColumn<QString>("line");
    const QDate exam(2027, 6, 7);
    QTest::newRow("all three parts")
        << QDate(2026, 12, 7) << exam << "农历十月廿九 大雪 距考试还有 182 天";
    QTest::newRow("no term") << QDate(2027, 2, 6) << exam << "农历正月初一 距考试还有 121 天";
    QTest::newRow("no target") << QDate(2024, 2, 4) << QDate() << "农历腊月廿五 立春";
    QTest::newRow("exam day") << exam << exam << "农历五月初三 今天考试";
    QTest::newRow("out of range, target kept")
        << QDate(2101, 1, 1) << QDate(2100, 12, 31) << "考试已过 1 天";
}

void TestLunarCalendar::describeDay() {
    QFETCH(QDate, day);
    QFETCH(QDate, target);
    QFETCH(QString, line);
    QCOMPARE(lunar::describeDay(day, target.isValid() ? std::optional(target) : std::nullopt),
             line);
}

// liblunar-date's own month names go through gettext: under this test's locale (C or English)
// they come out in pinyin, which is what a user outside a Chinese locale would have seen.
void TestLunarCalendar::textsStayChineseWhateverTheLocale() {
    static ::LunarDate* const library = lunar_date_new();
    GError* error = nullptr;
    lunar_date_set_solar_date(library, 2026, G_DATE_DECEMBER, 7, 12, &error);
    QVERIFY(!error);
    gchar* libraryMonth = lunar_date_strftime(library, "%(YUE)");
    const QString libraryText = QString::fromUtf8(libraryMonth);
    g_free(libraryMonth);
    if (libraryText.contains(QStringLiteral("十")))
        QSKIP("liblunar-date speaks Chinese in this locale; nothing to prove here");

    QCOMPARE(lunar::describeDay(QDate(2026, 12, 7), QDate(2027, 6, 7)),
             QStringLiteral("农历十月廿九 大雪 距考试还有 182 天"));
    QCOMPARE(lunar::lunarDateText(*lunar::lunarDate(QDate(2023, 3, 22))),
             QStringLiteral("农历闰二月初一"));
}

QTEST_GUILESS_MAIN(TestLunarCalendar)
#include "tst_lunar_calendar.moc"
