#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

// The target date and time of day as "countdown.ini" holds them and the custom-countdown page
// takes them: read by the countdown and by the calendar of 附加功能 alike.
namespace countdown {

// Accepts month/day/year ("6/7/2011", the form the custom-countdown page asks for),
// yyyy-m-d, yyyy/m/d and yyyy年m月d日; surrounding spaces are ignored, full-width digits and
// punctuation read as their ASCII forms. A trailing time of day ("6/7/2011 9:00:00") is ignored,
// other trailing text makes it no date.
std::optional<QDate> parseDate(const QString& text);

// Accepts "9:00:00 AM", "h:mm AM/PM", 24-hour "H:mm" and "H:mm:ss", and the prefixes
// 上午/下午; "12:00:00 AM" is midnight, "12:00:00 PM" noon; an hour outside 1-12 with a
// twelve-hour marker is refused. A text that starts with a date uses its time of day; a date
// alone is no time.
std::optional<QTime> parseTimeOfDay(const QString& text);

} // namespace countdown
