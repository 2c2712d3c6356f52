#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

// The Chinese calendar line under the month calendar: lunar date, solar term and the distance to
// the countdown's target. Lunar dates come from liblunar-date's tables; solar terms are computed
// from the Sun's apparent longitude (libnova's VSOP87 position carried to the equinox of date).
// Every text is built here from numbers, so it is Chinese whatever the user's locale.
// Dates are civil dates in Beijing time (UTC+8), as the official calendar reckons them.
namespace lunar {

struct LunarDate {
    int year = 0;  // lunar year (the Gregorian year in which its 正月初一 falls)
    int month = 0; // 1..12
    bool leap = false;
    int day = 0; // 1..30

    friend bool operator==(const LunarDate&, const LunarDate&) = default;
};

// The dates this module answers for; outside them every function gives nothing.
QDate firstSupportedDate(); // 1901-01-01
QDate lastSupportedDate();  // 2100-12-31
bool isSupported(QDate day);

std::optional<LunarDate> lunarDate(QDate day);

// "正月", "二月" … "十月", "冬月", "腊月", with "闰" before a leap month.
QString lunarMonthName(int month, bool leap);
// "初一" … "初十", "十一" … "十九", "二十", "廿一" … "廿九", "三十".
QString lunarDayName(int day);
// "农历十月廿九", "农历闰二月初一"; empty for a date that does not exist.
QString lunarDateText(const LunarDate& date);

// Solar terms in the order of a Gregorian year: index 0 is 小寒 (early January), 23 is 冬至.
QString solarTermName(int index);
// Index of the solar term whose instant falls on the Beijing-time day, or -1.
int solarTermIndexOn(QDate day);
// "大雪", "冬至" …, or empty.
QString solarTermOn(QDate day);

// "距考试还有 N 天" / "今天考试" / "考试已过 N 天"; empty when there is no valid target.
QString daysToTargetText(QDate day, std::optional<QDate> target);

// The whole line for a day, parts separated by one space, e.g. "农历十月廿九 大雪 距考试还有 181
// 天".
QString describeDay(QDate day, std::optional<QDate> target);

} // namespace lunar
