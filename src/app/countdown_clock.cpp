#include "app/countdown_clock.h"

#include <QTimeZone>

#include <algorithm>

namespace countdown {

namespace {

// A date and time of day on the same kind of clock as `like` (its zone, local time or UTC), so
// that the countdown compares two moments of one clock.
QDateTime onClockOf(const QDateTime& like, const QDate& date, const QTime& time) {
    if (like.timeSpec() == Qt::UTC)
        return QDateTime(date, time, Qt::UTC);
    if (like.timeSpec() == Qt::OffsetFromUTC)
        return QDateTime(date, time, Qt::OffsetFromUTC, like.offsetFromUtc());
    if (!date.isValid() || !time.isValid())
        return {};

    const bool named = like.timeSpec() == Qt::TimeZone;
    const QTimeZone zone = named ? like.timeZone() : QTimeZone();
    auto at = [&](qint64 ms) {
        return named ? QDateTime::fromMSecsSinceEpoch(ms, zone)
                     : QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    };

    // The clock's offset a day before and a day after: at most one change lies between, and
    // the moment shown as this date and time has one of these two offsets.
    const qint64 wall = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    constexpr qint64 msPerDay = 24 * 60 * 60 * 1000;
    const qint64 offsetBefore = at(wall - msPerDay).offsetFromUtc() * qint64(1000);
    const qint64 offsetAfter = at(wall + msPerDay).offsetFromUtc() * qint64(1000);

    // When the clocks go back an hour is shown twice: take the first time the clock shows
    // it, so the countdown ends the moment the clock first reads the target.
    const qint64 first = wall - std::max(offsetBefore, offsetAfter);
    const qint64 second = wall - std::min(offsetBefore, offsetAfter);
    for (qint64 ms : {first, second}) {
        const QDateTime candidate = at(ms);
        if (candidate.date() == date && candidate.time() == time)
            return candidate;
    }
    const QDateTime exact = named ? QDateTime(date, time, zone) : QDateTime(date, time);
    if (exact.isValid())
        return exact;
    // The time was skipped when the clocks went forward. Read it with the offset in force
    // before the change, as local time does: 02:30 on such a night is the moment the clock
    // showed 03:30. (Qt's own day steps into such an hour get the offset wrong for named
    // zones, so the countdown does its own.)
    return at(wall - offsetBefore);
}

// `from` moved by whole calendar days on its own clock: same time of day, another date.
QDateTime calendarDaysLater(const QDateTime& from, qint64 days) {
    if (days == 0)
        return from; // rebuilding it would pick the first of an hour that occurs twice
    return onClockOf(from, from.date().addDays(days), from.time());
}

QString quoted(const QString& text) {
    // A long line of junk would stretch the countdown window; show enough to recognise it.
    constexpr qsizetype maxShown = 24;
    QString shown = text.size() > maxShown ? text.left(maxShown) + QChar(0x2026) : text;
    return QStringLiteral("“") + shown + QStringLiteral("”");
}

const QString whereToSet = QStringLiteral("请在 附加功能 → 自定义倒计时 中设置。");

} // namespace

TimeLeft timeLeft(const QDateTime& now, const QDateTime& target) {
    if (!now.isValid() || !target.isValid())
        return {};
    // Whole seconds, as the clock shows them: the display changes when the second does.
    // Dropping the milliseconds by arithmetic, not by setting the time of day: setting it would
    // resolve an hour that occurs twice (clocks going back) afresh, maybe to the other one.
    const QDateTime from = now.addMSecs(-now.time().msec());

    // Days are calendar days counted on the local clock, so a clock change in between neither
    // adds nor removes a day. The date difference is right or off by one; step to the answer.
    // The steps are bounded: the estimate is off by one at most (two when the moments come
    // from different zones), and a moment beyond the calendar's range must not spin forever.
    qint64 days = from.date().daysTo(target.date());
    for (int step = 0; step < 4 && calendarDaysLater(from, days) > target; ++step)
        --days;
    for (int step = 0; step < 4 && calendarDaysLater(from, days + 1) <= target; ++step)
        ++days;
    return TimeLeft{days, calendarDaysLater(from, days).secsTo(target)};
}

QString formatTimePart(qint64 seconds) {
    QString sign;
    if (seconds < 0) {
        sign = QStringLiteral("-");
        seconds = -seconds;
    }
    return sign + QString::number(seconds / 3600) + QStringLiteral("小时") +
           QString::number(seconds % 3600 / 60) + QStringLiteral("分钟") +
           QString::number(seconds % 60) + QStringLiteral("秒");
}

QString formatCountdownLine(const QString& prefix, const TimeLeft& left) {
    return prefix + QString::number(left.days) + QStringLiteral("天 ") +
           formatTimePart(left.seconds);
}

Prepared prepare(const Values& values) {
    Prepared prepared;
    if (!values.fileFound) {
        prepared.line1IsMessage = true;
        prepared.line1 = values.readError.isEmpty()
                             ? QStringLiteral("没有找到倒计时文件 countdown.ini。")
                             : values.readError;
        prepared.line2 = QStringLiteral("请在 附加功能 → 自定义倒计时 中设置倒计时。");
        return prepared;
    }
    prepared.line1 = values.text1;
    prepared.prefix = values.text2;

    if (values.lineCount <= 0) {
        prepared.line2 = QStringLiteral("倒计时文件 countdown.ini 是空的，") + whereToSet;
        return prepared;
    }
    if (values.lineCount < 4) {
        prepared.line2 = QStringLiteral("倒计时文件 countdown.ini 只有 %1 行，缺少%2，")
                             .arg(values.lineCount)
                             .arg(values.lineCount == 1 ? QStringLiteral("前缀、日期和时间")
                                  : values.lineCount == 2 ? QStringLiteral("日期和时间")
                                                          : QStringLiteral("时间")) +
                         whereToSet;
        return prepared;
    }

    if (values.text3.trimmed().isEmpty() || values.text4.trimmed().isEmpty()) {
        prepared.line2 =
            QStringLiteral("倒计时%1为空，")
                .arg(values.text3.trimmed().isEmpty()
                         ? (values.text4.trimmed().isEmpty() ? QStringLiteral("日期和时间")
                                                             : QStringLiteral("日期"))
                         : QStringLiteral("时间")) +
            whereToSet;
        return prepared;
    }

    const std::optional<QDate> date = parseDate(values.text3);
    const std::optional<QTime> time = parseTimeOfDay(values.text4);
    if (!date && !time) {
        prepared.line2 = QStringLiteral("倒计时日期和时间无法识别：") + quoted(values.text3) +
                         QStringLiteral("、") + quoted(values.text4) + QStringLiteral("，") +
                         whereToSet;
        return prepared;
    }
    if (!date) {
        prepared.line2 = QStringLiteral("倒计时日期无法识别：") + quoted(values.text3) +
                         QStringLiteral("，") + whereToSet;
        return prepared;
    }
    if (!time) {
        prepared.line2 = QStringLiteral("倒计时时间无法识别：") + quoted(values.text4) +
                         QStringLiteral("，") + whereToSet;
        return prepared;
    }
    prepared.date = date;
    prepared.time = time;
    return prepared;
}

Lines linesAt(const Prepared& prepared, const QDateTime& now) {
    Lines lines;
    lines.line1 = prepared.line1;
    lines.line1IsMessage = prepared.line1IsMessage;
    if (!prepared.isCountdown()) {
        lines.line2 = prepared.line2;
        return lines;
    }
    // The target is placed on the clock of "now" at every tick, so that a change of the
    // time zone while the program runs is followed at once.
    const QDateTime target = onClockOf(now, *prepared.date, *prepared.time);
    if (!target.isValid() || !now.isValid()) {
        lines.line2 = QStringLiteral("无法计算倒计时，") + whereToSet;
        return lines;
    }
    TimeLeft left = timeLeft(now, target);
    if (left.days < 0 || (left.days == 0 && left.seconds <= 0))
        left = TimeLeft{};
    lines.line2 = formatCountdownLine(prepared.prefix, left);
    lines.prefixLength = prepared.prefix.size();
    lines.valid = true;
    return lines;
}

Lines countdownLines(const Values& values, const QDateTime& now) {
    return linesAt(prepare(values), now);
}

} // namespace countdown
