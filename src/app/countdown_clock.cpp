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

// The lines for a count: it stands at zero from the target on.
Lines countdownLinesFor(const Prepared& prepared, const TimeLeft& left) {
    Lines lines;
    lines.line1 = prepared.line1;
    lines.line1IsMessage = prepared.line1IsMessage;
    const bool passed = left.days < 0 || (left.days == 0 && left.seconds <= 0);
    formatCountdownLine(lines.line2, prepared.prefix, passed ? TimeLeft{} : left);
    lines.prefixLength = prepared.prefix.size();
    lines.valid = true;
    return lines;
}

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

namespace {

// Decimal digits without a string of their own for each number.
void appendNumber(QString& out, qint64 value) {
    char16_t digits[20];
    int count = 0;
    quint64 rest = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        digits[count++] = char16_t(u'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0)
        out.append(u'-');
    while (count > 0)
        out.append(QChar(digits[--count]));
}

void appendTimePart(QString& out, qint64 seconds) {
    if (seconds < 0) {
        out.append(u'-');
        seconds = -seconds;
    }
    appendNumber(out, seconds / 3600);
    out.append(u"小时");
    appendNumber(out, seconds % 3600 / 60);
    out.append(u"分钟");
    appendNumber(out, seconds % 60);
    out.append(u'秒');
}

} // namespace

QString formatTimePart(qint64 seconds) {
    QString out;
    appendTimePart(out, seconds);
    return out;
}

void formatCountdownLine(QString& out, const QString& prefix, const TimeLeft& left) {
    out.resize(0); // keeps the buffer
    out.reserve(prefix.size() + 40);
    out.append(prefix);
    appendNumber(out, left.days);
    out.append(u"天 ");
    appendTimePart(out, left.seconds);
}

QString formatCountdownLine(const QString& prefix, const TimeLeft& left) {
    QString out;
    formatCountdownLine(out, prefix, left);
    return out;
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
    return countdownLinesFor(prepared, timeLeft(now, target));
}

namespace {

// An hour holds at most one change of offset: equal offsets at both ends of a step of at most
// an hour mean none happened in between.
constexpr qint64 maxStep = 3600 * 1000;
// Below this many seconds beyond the whole days, the day after the moved start lies well past
// the target.
constexpr qint64 nearDay = 20 * 3600;
// How long a check of the offset of "now" lets later ticks count without the local time: a
// change of the system's zone shows within it.
constexpr qint64 quickSpan = 60 * 1000;

// The offset from UTC of a moment, read from its date and time on its own clock: arithmetic
// on what the moment already holds, no second look-up of the zone.
int offsetOf(const QDateTime& moment, qint64 epochMs) {
    const qint64 wall = QDateTime(moment.date(), moment.time(), Qt::UTC).toMSecsSinceEpoch();
    return int((wall - epochMs) / 1000);
}

} // namespace

Lines Ticker::linesAt(const Prepared& prepared, const QDateTime& now) {
    // Only the plain local clock is followed this way (the program's own); a named zone or a
    // fixed offset is counted from scratch, as linesAt does.
    if (!prepared.isCountdown() || !now.isValid() || now.timeSpec() != Qt::LocalTime) {
        m_kept.reset();
        return countdown::linesAt(prepared, now);
    }
    const qint64 nowMs = now.toMSecsSinceEpoch();
    const qint64 fromMs = nowMs - now.time().msec();
    if (m_kept && m_kept->date == *prepared.date && m_kept->time == *prepared.time) {
        Kept& kept = *m_kept;
        const qint64 step = fromMs - kept.fromMs;
        if (step >= 0 && step <= maxStep && kept.left.seconds - step / 1000 >= 0 &&
            offsetOf(now, nowMs) == kept.fromOffset) {
            const qint64 baseMs = kept.baseMs + step;
            const qint64 nextMs = kept.nextMs + step;
            // The day after the start is checked too when it may be near the target: around a
            // skipped hour, a day later of a later "now" can be an earlier moment.
            const bool nextFar = kept.left.seconds - step / 1000 < nearDay;
            const auto advance = [&] {
                // The offset of "now" was checked just now.
                kept.quickUntilMs = std::min({fromMs + quickSpan, kept.steadyUntilMs,
                                              kept.nowSteadyUntilMs});
                kept.fromMs = fromMs;
                kept.baseMs = baseMs;
                kept.nextMs = nextMs;
                kept.left.seconds -= step / 1000;
                return countdownLinesFor(prepared, kept.left);
            };
            // Within an hour of a check that held, with the offsets at the moved start and at
            // the day after it the same an hour later, neither changes: the start still shows
            // the time of "now", which kept its offset too, and nothing needs converting.
            if (fromMs <= kept.steadyUntilMs && (nextFar || nextMs > kept.targetMs))
                return advance();
            const QDateTime base = QDateTime::fromMSecsSinceEpoch(baseMs, Qt::LocalTime);
            // The moved start must still show the time of "now" on the day it stands for,
            // as the day count reads it: not so when that time was skipped on that day, where
            // the count is made afresh until the clock is past the skipped hour.
            const int fromOfDay = now.time().msecsSinceStartOfDay() - now.time().msec();
            const auto stillShows = [&](const QDateTime& moment, qint64 ms, int offset,
                                        qint64 days) {
                return offsetOf(moment, ms) == offset &&
                       moment.time().msecsSinceStartOfDay() == fromOfDay &&
                       moment.date() == now.date().addDays(days);
            };
            if (stillShows(base, baseMs, kept.baseOffset, kept.left.days) &&
                (nextFar || (nextMs > kept.targetMs &&
                             stillShows(QDateTime::fromMSecsSinceEpoch(nextMs, Qt::LocalTime),
                                        nextMs, kept.nextOffset, kept.left.days + 1)))) {
                const auto sameAnHourLater = [](qint64 ms, int offset) {
                    const qint64 later = ms + maxStep;
                    return offsetOf(QDateTime::fromMSecsSinceEpoch(later, Qt::LocalTime),
                                    later) == offset;
                };
                kept.steadyUntilMs = sameAnHourLater(baseMs, kept.baseOffset) &&
                                             sameAnHourLater(nextMs, kept.nextOffset)
                                         ? fromMs + maxStep
                                         : 0;
                kept.nowSteadyUntilMs =
                    sameAnHourLater(fromMs, kept.fromOffset) ? fromMs + maxStep : 0;
                return advance();
            }
        }
    }

    ++m_fullCounts;
    m_kept.reset();
    const QDateTime target = onClockOf(now, *prepared.date, *prepared.time);
    if (!target.isValid())
        return countdown::linesAt(prepared, now);
    const TimeLeft left = timeLeft(now, target);
    const qint64 targetMs = target.toMSecsSinceEpoch();
    const qint64 baseMs = targetMs - left.seconds * 1000;
    const QDateTime base = QDateTime::fromMSecsSinceEpoch(baseMs, Qt::LocalTime);
    const QDateTime next = calendarDaysLater(now.addMSecs(-now.time().msec()), left.days + 1);
    const qint64 nextMs = next.toMSecsSinceEpoch();
    m_kept = Kept{.date = *prepared.date,
                  .time = *prepared.time,
                  .fromMs = fromMs,
                  .fromOffset = offsetOf(now, nowMs),
                  .baseMs = baseMs,
                  .baseOffset = offsetOf(base, baseMs),
                  .nextMs = nextMs,
                  .nextOffset = offsetOf(next, nextMs),
                  .targetMs = targetMs,
                  .left = left};
    return countdownLinesFor(prepared, left);
}

std::optional<Lines> Ticker::advanceTo(const Prepared& prepared, qint64 msecsSinceEpoch) {
    if (!m_kept || !prepared.isCountdown() || m_kept->date != *prepared.date ||
        m_kept->time != *prepared.time)
        return std::nullopt;
    Kept& kept = *m_kept;
    const qint64 fromMs = msecsSinceEpoch - ((msecsSinceEpoch % 1000) + 1000) % 1000;
    const qint64 step = fromMs - kept.fromMs;
    const qint64 seconds = kept.left.seconds - step / 1000;
    const qint64 nextMs = kept.nextMs + step;
    // Within the span, none of the three offsets changes: the moved start still shows the
    // time of "now" (see linesAt).
    if (step < 0 || fromMs > kept.quickUntilMs || seconds < 0 ||
        (seconds >= nearDay && nextMs <= kept.targetMs))
        return std::nullopt;
    kept.fromMs = fromMs;
    kept.baseMs += step;
    kept.nextMs = nextMs;
    kept.left.seconds = seconds;
    return countdownLinesFor(prepared, kept.left);
}

Lines countdownLines(const Values& values, const QDateTime& now) {
    return linesAt(prepare(values), now);
}

} // namespace countdown
