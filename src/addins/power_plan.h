#pragma once

#include "addins/exit_window.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The scheduled power action of the "定时关机" tab, without widgets and without a clock of its
// own: the window passes in the texts of its inputs, the wall-clock time and a monotonic
// millisecond count, and does what the answers say.
namespace power {

// "关机", "重启", "注销", compared exactly; any other text is no action.
PowerAction actionForWord(const QString& word);

// The key filter of the three countdown boxes: a typed character is kept only when it is a
// digit "0".."9" or backspace (code 8).
bool isCountdownBoxKey(int characterCode);

// "当时间为 23:0:0 时，为您关机"
QString timeOfDayStatus(qint16 hour, qint16 minute, qint16 second, const QString& actionWord);
// "倒计时 1时31分15秒 为您重启"
QString countdownStatus(qint16 hours, qint16 minutes, qint16 seconds, const QString& actionWord);
// The advance notice: "1 分钟后将为您关机，请保存工作。" at 60 seconds and more, "20 秒后…"
// below, "即将…" at 0.
QString warningText(qint64 secondsLeft, const QString& actionWord);

struct ArmResult {
    bool armed = false;
    QString error; // when not armed: why, in Chinese, naming the field
    // Countdown mode: the normalised texts to write back into the three boxes.
    QString hourText, minuteText, secondText;
    QString warning; // less than a minute left already: show now (non-blocking)
};

struct TickResult {
    PowerAction request = PowerAction::None; // ask for this now, with the force flag
    QString warning;                         // show now (non-blocking), when not empty
    QString status;                          // the status label's text
    QString toolTip;                         // the tray icon's tooltip
};

class PowerPlan {
public:
    enum class Mode { Disarmed, TimeOfDay, Countdown };

    // 方式一: fires when the local time of day reaches hour:minute:second. Texts that are not
    // whole numbers in 0..23 / 0..59 are refused and nothing is armed.
    ArmResult armTimeOfDay(const QString& hour, const QString& minute, const QString& second,
                           const QString& actionWord, const QDateTime& now);
    // 方式二: fires after the given hours, minutes and seconds. Empty texts count as "0"; the
    // values are normalised (seconds and minutes below 60, hours unlimited) and given back.
    // Texts that are not whole numbers of at least 0 are refused and nothing is armed.
    ArmResult armCountdown(const QString& hours, const QString& minutes, const QString& seconds,
                           const QString& actionWord, const QDateTime& now, qint64 monotonicMs);
    void disarm();

    // Once a second, on the wall clock's second boundary. now: the local time; monotonicMs: a
    // clock that never jumps (QElapsedTimer's), in the same units as at arming.
    //
    // 方式一 fires for a target second passed since the previous tick, even when this tick comes
    // up to 5 seconds late; after a longer gap (the machine slept) the target is let go until
    // the next day. A time of day fires once a day.
    //
    // 方式二 counts ticks as seconds that really passed: tick 1 falls due on the first second
    // boundary after arming (of now's clock), tick n n - 1 seconds later. A countdown of N
    // seconds shows N at arming, N−1 after the first tick and so on, and fires on tick N+1;
    // a dropped or late tick does not push that back, the next tick counts for it. After firing the
    // count goes on below zero and nothing more is requested.
    TickResult tick(const QDateTime& now, qint64 monotonicMs);

    Mode mode() const { return m_mode; }
    bool isArmed() const { return m_mode != Mode::Disarmed; }
    // Target time of day (方式一) or time remaining (方式二).
    qint16 planHour() const { return m_hour; }
    qint16 planMinute() const { return m_minute; }
    qint16 planSecond() const { return m_second; }
    QString actionWord() const { return m_word; }
    PowerAction action() const { return actionForWord(m_word); }

    // What the system said at arming about the action ("注意：系统不允许您关机…"); shown on a
    // line of its own after the status. Cleared by disarming and re-arming.
    void setAvailabilityNote(const QString& note) { m_note = note; }
    // The status label: empty when disarmed.
    QString statusText() const;
    // "Dalvenor — 23:00:00 关机", "Dalvenor — 1时29分59秒后重启", or "Dalvenor".
    QString toolTip() const;

private:
    void armCommon(Mode mode, const QString& word);
    void showRemaining(qint64 seconds);
    // The next moment strictly after nowSecs (seconds since the epoch) whose local time of day
    // is the target.
    std::optional<qint64> nextTarget(const QDateTime& now) const;
    QString warningFor(qint64 targetSecs, qint64 secondsLeft);

    Mode m_mode = Mode::Disarmed;
    qint16 m_hour = 0;
    qint16 m_minute = 0;
    qint16 m_second = 0;
    QString m_word;
    QString m_note;

    // 方式一
    qint64 m_previousTickSecs = 0; // whole seconds since the epoch of the previous tick
    // 方式二
    qint64 m_total = 0;    // the countdown at arming, in seconds
    qint64 m_anchorMs = 0; // monotonic time at which tick 1 falls due
    qint64 m_ticks = 0;    // ticks counted so far (0: no tick yet)
    bool m_fired = false;  // 方式二 requests once
    // The target (seconds since the epoch, or the countdown's end) already warned about.
    std::optional<qint64> m_warnedFor;
};

} // namespace power
