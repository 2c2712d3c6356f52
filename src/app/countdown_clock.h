#pragma once

#include "settings/countdown_date.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// The countdown arithmetic: no widgets, no clock of its own.
namespace countdown {

// Time left until the target moment. days is the largest N such that now advanced by N
// calendar days (local time) is not after the target; seconds is what remains from that
// moment to the target. Past the target, days goes negative and the count goes on. Now is taken
// in whole seconds. A day step that lands on an hour shown twice takes its first showing, one
// that lands in a skipped hour the moment after it; seconds is never negative.
struct TimeLeft {
    qint64 days = 0;
    qint64 seconds = 0;
};

TimeLeft timeLeft(const QDateTime& now, const QDateTime& target);

// "h小时m分钟s秒" without leading zeros.
QString formatTimePart(qint64 seconds);
// prefix + days + "天 " + time part.
QString formatCountdownLine(const QString& prefix, const TimeLeft& left);
// The same written into out, whose buffer is reused when it is not shared.
void formatCountdownLine(QString& out, const QString& prefix, const TimeLeft& left);

// What the two first lines of the countdown window show, from the four countdown values.
struct Lines {
    QString line1;
    QString line2;
    bool valid = false; // false: line2 explains what is wrong, in Chinese
    // line1 says why "countdown.ini" could not be read, instead of the first line's text.
    bool line1IsMessage = false;
    // How much of line2 is the prefix: the rest is the days and the time, which must stay
    // readable when the whole line does not fit.
    qsizetype prefixLength = 0;
};

struct Values {
    bool fileFound = false;
    QString text1, text2, text3, text4; // lines 1-4 of "countdown.ini"
    int lineCount = 0;                  // how many lines the file had (up to 4)
    QString readError; // why a "countdown.ini" that exists could not be read (Chinese)
};

// The countdown values are read into this once per load; each tick then only does the
// arithmetic.
struct Prepared {
    QString line1;
    QString line2; // the whole second line when the values are not a countdown
    bool line1IsMessage = false;
    QString prefix;
    std::optional<QDate> date;
    std::optional<QTime> time;
    bool isCountdown() const { return date && time; }
};

Prepared prepare(const Values& values);
// From the target moment on the count stands at zero days and zero time: there is nothing
// left, and a negative remainder would read as time still to go.
Lines linesAt(const Prepared& prepared, const QDateTime& now);

// linesAt() for a clock that goes forward a second at a time. The count of the last tick is
// kept with the moments it was measured between; while the clock of "now" and the clock at
// the day's start before the target keep their offsets from UTC, the next count is the last
// one less the seconds gone by, which costs two readings of the clock instead of the dozen a
// count from scratch takes. Any other step (backwards, more than an hour, onto a change of
// the offset, past a whole day) counts afresh.
class Ticker {
public:
    Lines linesAt(const Prepared& prepared, const QDateTime& now);
    // The lines at the instant msecsSinceEpoch on the plain local clock, when the kept count
    // can be advanced to it without its local time: within a minute of a "now" whose offset
    // was checked, with the offsets of "now", of the moved start and of the day after it known
    // to stay as they are. Otherwise nothing, and the caller asks linesAt.
    std::optional<Lines> advanceTo(const Prepared& prepared, qint64 msecsSinceEpoch);
    // How many counts were made from scratch: a tick within one day makes none.
    int fullCounts() const { return m_fullCounts; }

private:
    struct Kept {
        QDate date;
        QTime time;
        qint64 fromMs = 0;  // "now" in whole seconds
        int fromOffset = 0; // its offset from UTC, seconds
        qint64 baseMs = 0;  // "now" moved by the whole days left
        int baseOffset = 0;
        qint64 nextMs = 0; // and by one day more
        int nextOffset = 0;
        qint64 targetMs = 0;
        // Up to this "now", the offsets at the moved start and the day after it are known to
        // stay as kept; 0 until a check of them held. The same for the offset of "now".
        qint64 steadyUntilMs = 0;
        qint64 nowSteadyUntilMs = 0;
        // Up to this "now", advanceTo may count without the local time.
        qint64 quickUntilMs = 0;
        TimeLeft left;
    };
    std::optional<Kept> m_kept;
    int m_fullCounts = 0;
};

// prepare() and linesAt() in one.
Lines countdownLines(const Values& values, const QDateTime& now);

} // namespace countdown
