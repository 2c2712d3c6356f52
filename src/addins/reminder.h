#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The study reminder's minute count (frmAddins' ReminderMinutes) and its interval, without a
// window or a timer: the window feeds it the program's ticks and the current text of Text3,
// and shows frmCaution when a tick says so.
namespace reminder {

enum class IntervalProblem {
    None,        // a positive number of minutes the count can reach
    Empty,       // nothing typed (spaces only)
    NotANumber,  // "abc", "1.2.3", "1e3", …
    NotPositive, // 0 or negative
    TooLarge,    // more minutes than the count can hold: it would never be reached
};

struct Interval {
    IntervalProblem problem = IntervalProblem::Empty;
    double minutes = 0; // meaningful only when problem is None
    bool fires() const { return problem == IntervalProblem::None; }
};

// Decimal minutes as typed in Text3: optional sign, digits with an optional fraction ("30",
// "1.5", ".5", "+2"); surrounding spaces are ignored and full-width digits, sign and point
// (typed with a Chinese input method) read as ASCII. No exponents, "inf" or "nan": nobody types
// them as an interval, and the comparison must never meet a non-finite value.
Interval parseInterval(const QString& text);

// What "确认" tells the user about the interval it saved, in Chinese; empty when the reminder
// will pop up.
QString intervalMessage(const QString& text);

} // namespace reminder

// The minute count. It runs from the first confirmation to the end of the program and is reset
// only when a pop-up is due. The interval is read at every minute, so an edit of Text3 takes
// effect without pressing "确认" again.
//
// The caller either has a minute timer of its own and calls onMinute(), or feeds the program's
// one-second tick to onSecond(), which turns every 60 seconds since the first confirmation into a
// minute; the window does the latter, so the reminder adds no wake-up of its own. Ticks are
// counted, not wall-clock differences, so setting the system clock neither fires a burst of
// reminders nor holds one back.
class ReminderCounter {
public:
    static constexpr int kSecondsPerMinute = 60;
    static constexpr qint16 kMaxMinutes = 32767;

    // "确认": starts the count if it is not running. A second confirmation changes nothing: the
    // minutes already counted and the running minute are kept.
    void confirm();
    bool isRunning() const { return m_running; }

    // One second of the shared tick. True when the pop-up is due (the count is then back at 0).
    bool onSecond(const QString& intervalText);
    // One minute: the count goes up by one (it stops at kMaxMinutes instead of wrapping round to
    // negative) and, once it has reached or passed a positive interval, goes back to 0 and the
    // pop-up is due. Reaching or passing, not equalling: an interval lowered below the minutes
    // already counted, or a fractional one, must still fire.
    bool onMinute(const QString& intervalText);

    qint16 minutes() const { return m_minutes; }
    int secondsIntoMinute() const { return m_seconds; }

private:
    bool m_running = false;
    qint16 m_minutes = 0;
    int m_seconds = 0;
};
