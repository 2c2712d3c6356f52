#include "addins/power_plan.h"

#include <QTime>

#include <algorithm>

namespace power {

namespace {

constexpr qint64 lateTickSeconds = 5; // how late a tick may come and still fire 方式一
constexpr qint64 warningSeconds = 60;
constexpr qint64 maxHours = 32767; // the hours are a 16-bit value
const QString programName = QStringLiteral("Dalvenor");
const QString toolTipSeparator = QStringLiteral(" — ");

// The integer a text stands for: surrounding spaces are ignored and full-width digits and
// signs (an input method's) read as their ASCII forms; anything else is no number. Values
// too large for any field come back as a large number, so they fail the range checks.
std::optional<qint64> wholeNumber(const QString& text) {
    QString ascii;
    for (const QChar c : text.trimmed()) {
        const char16_t u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19)
            ascii += QChar(char16_t(u - 0xFF10 + '0'));
        else if (u == 0xFF0B)
            ascii += QLatin1Char('+');
        else if (u == 0xFF0D)
            ascii += QLatin1Char('-');
        else
            ascii += c;
    }
    qsizetype i = 0;
    bool negative = false;
    if (i < ascii.size() && (ascii[i] == QLatin1Char('+') || ascii[i] == QLatin1Char('-'))) {
        negative = ascii[i] == QLatin1Char('-');
        ++i;
    }
    if (i == ascii.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < ascii.size(); ++i) {
        const char16_t u = ascii[i].unicode();
        if (u < '0' || u > '9')
            return std::nullopt;
        value = std::min<qint64>(value * 10 + (u - '0'), Q_INT64_C(1000000000000));
    }
    return negative ? -value : value;
}

qint64 floorDiv(qint64 a, qint64 b) {
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Milliseconds as whole seconds, to the nearest.
qint64 roundedSeconds(qint64 ms) {
    return floorDiv(ms + 500, 1000);
}

qint16 toInt16(qint64 v) {
    return qint16(std::clamp<qint64>(v, -32768, 32767));
}

const char* const fieldNames[3] = {"时", "分", "秒"};

} // namespace

PowerAction actionForWord(const QString& word) {
    if (word == QStringLiteral("关机"))
        return PowerAction::Shutdown;
    if (word == QStringLiteral("重启"))
        return PowerAction::Reboot;
    if (word == QStringLiteral("注销"))
        return PowerAction::Logoff;
    return PowerAction::None;
}

bool isCountdownBoxKey(int characterCode) {
    return (characterCode >= '0' && characterCode <= '9') || characterCode == 8;
}

QString timeOfDayStatus(qint16 hour, qint16 minute, qint16 second, const QString& actionWord) {
    return QStringLiteral("当时间为 %1:%2:%3 时，为您%4")
        .arg(hour)
        .arg(minute)
        .arg(second)
        .arg(actionWord);
}

QString countdownStatus(qint16 hours, qint16 minutes, qint16 seconds, const QString& actionWord) {
    return QStringLiteral("倒计时 %1时%2分%3秒 为您%4")
        .arg(hours)
        .arg(minutes)
        .arg(seconds)
        .arg(actionWord);
}

QString warningText(qint64 secondsLeft, const QString& actionWord) {
    if (secondsLeft >= warningSeconds)
        return QStringLiteral("1 分钟后将为您%1，请保存工作。").arg(actionWord);
    if (secondsLeft > 0)
        return QStringLiteral("%1 秒后将为您%2，请保存工作。").arg(secondsLeft).arg(actionWord);
    return QStringLiteral("即将为您%1，请保存工作。").arg(actionWord);
}

ArmResult PowerPlan::armTimeOfDay(const QString& hour, const QString& minute, const QString& second,
                                  const QString& actionWord, const QDateTime& now) {
    const QString* texts[3] = {&hour, &minute, &second};
    const qint64 limits[3] = {23, 59, 59};
    qint64 values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::optional<qint64> value = wholeNumber(*texts[i]);
        const QString field = QString::fromUtf8(fieldNames[i]);
        ArmResult refused;
        // A target outside the day would be shown as armed and never come: refuse it too.
        if (!value)
            refused.error = QStringLiteral("“%1”不是整数，请输入 0 到 %2 之间的数字。");
        else if (*value < 0 || *value > limits[i])
            refused.error = QStringLiteral("“%1”超出范围，请输入 0 到 %2 之间的数字。");
        if (!refused.error.isEmpty()) {
            refused.error = refused.error.arg(field).arg(limits[i]);
            return refused;
        }
        values[i] = *value;
    }
    armCommon(Mode::TimeOfDay, actionWord);
    m_hour = qint16(values[0]);
    m_minute = qint16(values[1]);
    m_second = qint16(values[2]);
    m_previousTickSecs = now.toSecsSinceEpoch();

    ArmResult result;
    result.armed = true;
    if (const auto next = nextTarget(now)) {
        const qint64 left = *next - now.toSecsSinceEpoch();
        if (left <= warningSeconds)
            result.warning = warningFor(*next, left);
    }
    return result;
}

ArmResult PowerPlan::armCountdown(const QString& hours, const QString& minutes,
                                  const QString& seconds, const QString& actionWord,
                                  const QDateTime& now, qint64 monotonicMs) {
    const QString* texts[3] = {&hours, &minutes, &seconds};
    qint64 values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const QString text = texts[i]->trimmed().isEmpty() ? QStringLiteral("0") : *texts[i];
        const std::optional<qint64> value = wholeNumber(text);
        if (!value || *value < 0) {
            ArmResult refused;
            refused.error = QStringLiteral("倒计时的“%1”不是整数，请只输入数字 0 到 9。")
                                .arg(QString::fromUtf8(fieldNames[i]));
            return refused;
        }
        values[i] = *value;
    }
    // Truncating division as the boxes have always been normalised: seconds and minutes
    // below 60, the hours not reduced.
    const qint64 carry = values[2] / 60 + values[1];
    const qint64 second = values[2] % 60;
    const qint64 minute = carry % 60;
    const qint64 hour = carry / 60 + values[0];
    if (hour > maxHours) {
        ArmResult refused;
        refused.error = QStringLiteral("倒计时太长：最多 %1 小时。").arg(maxHours);
        return refused;
    }

    armCommon(Mode::Countdown, actionWord);
    m_total = hour * 3600 + minute * 60 + second;
    // Ticks come on the wall clock's second boundaries, so tick 1 falls due at the next one.
    m_anchorMs = monotonicMs + (1000 - now.time().msec());
    showRemaining(m_total);

    ArmResult result;
    result.armed = true;
    result.hourText = QString::number(hour);
    result.minuteText = QString::number(minute);
    result.secondText = QString::number(second);
    if (m_total <= warningSeconds)
        result.warning = warningFor(0, m_total);
    return result;
}

void PowerPlan::armCommon(Mode mode, const QString& word) {
    m_mode = mode;
    m_word = word;
    m_note.clear();
    m_warnedFor.reset();
    m_fired = false;
    m_ticks = 0;
}

void PowerPlan::disarm() {
    m_mode = Mode::Disarmed;
    m_note.clear();
}

TickResult PowerPlan::tick(const QDateTime& now, qint64 monotonicMs) {
    TickResult result;
    if (m_mode == Mode::TimeOfDay) {
        const qint64 nowSecs = now.toSecsSinceEpoch();
        const qint64 previous = std::exchange(m_previousTickSecs, nowSecs);
        // The latest moment at or before now with the target time of day.
        const QDateTime local = now.toLocalTime();
        const QTime target(m_hour, m_minute, m_second);
        for (int day : {0, -1}) {
            const QDateTime candidate(local.date().addDays(day), target);
            if (!candidate.isValid() || candidate.toSecsSinceEpoch() > nowSecs)
                continue;
            const qint64 at = candidate.toSecsSinceEpoch();
            // Passed over since the previous tick, and not so long ago that the user would be
            // surprised (a machine waking from sleep waits for the next day).
            if (at > previous && nowSecs - at <= lateTickSeconds)
                result.request = action();
            break;
        }
        if (const auto next = nextTarget(now)) {
            const qint64 left = *next - nowSecs;
            if (left <= warningSeconds)
                result.warning = warningFor(*next, left);
        }
    } else if (m_mode == Mode::Countdown) {
        // Tick n falls due n - 1 seconds after tick 1: a tick that was dropped or came late
        // still counts its seconds, a doubled one counts none, and the first counts one even
        // when it came early.
        const qint64 ticks =
            std::max({m_ticks, qint64(1), 1 + roundedSeconds(monotonicMs - m_anchorMs)});
        m_ticks = ticks;
        const qint64 remaining = m_total - ticks;
        if (!m_fired && remaining < 0) {
            m_fired = true;
            result.request = action();
        }
        showRemaining(remaining);
        if (!m_fired && remaining <= warningSeconds)
            result.warning = warningFor(0, remaining);
    } else {
        return result;
    }
    result.status = statusText();
    result.toolTip = toolTip();
    return result;
}

void PowerPlan::showRemaining(qint64 seconds) {
    // Below zero the count reads as the old countdown went on: -1 second is -1时59分59秒.
    const qint64 hours = floorDiv(seconds, 3600);
    const qint64 rest = seconds - hours * 3600;
    m_hour = toInt16(hours);
    m_minute = qint16(rest / 60);
    m_second = qint16(rest % 60);
}

std::optional<qint64> PowerPlan::nextTarget(const QDateTime& now) const {
    const qint64 nowSecs = now.toSecsSinceEpoch();
    const QDateTime local = now.toLocalTime();
    const QTime target(m_hour, m_minute, m_second);
    for (int day = 0; day <= 2; ++day) {
        const QDateTime candidate(local.date().addDays(day), target);
        if (candidate.isValid() && candidate.toSecsSinceEpoch() > nowSecs)
            return candidate.toSecsSinceEpoch();
    }
    return std::nullopt;
}

QString PowerPlan::warningFor(qint64 target, qint64 secondsLeft) {
    if (action() == PowerAction::None || m_warnedFor == target)
        return QString();
    m_warnedFor = target;
    return warningText(secondsLeft, m_word);
}

QString PowerPlan::statusText() const {
    QString text;
    if (m_mode == Mode::TimeOfDay)
        text = timeOfDayStatus(m_hour, m_minute, m_second, m_word);
    else if (m_mode == Mode::Countdown && m_fired)
        // Past the moment the count would go below zero: say what was done instead.
        text = QStringLiteral("已到时间，已请求%1").arg(m_word);
    else if (m_mode == Mode::Countdown)
        text = countdownStatus(m_hour, m_minute, m_second, m_word);
    else
        return text;
    if (!m_note.isEmpty())
        text += QLatin1Char('\n') + m_note;
    return text;
}

QString PowerPlan::toolTip() const {
    if (m_mode == Mode::TimeOfDay) {
        return programName + toolTipSeparator +
               QStringLiteral("%1:%2:%3 %4")
                   .arg(m_hour, 2, 10, QLatin1Char('0'))
                   .arg(m_minute, 2, 10, QLatin1Char('0'))
                   .arg(m_second, 2, 10, QLatin1Char('0'))
                   .arg(m_word);
    }
    if (m_mode == Mode::Countdown) {
        if (m_fired)
            return programName + toolTipSeparator + QStringLiteral("已到时间：%1").arg(m_word);
        return programName + toolTipSeparator +
               QStringLiteral("%1时%2分%3秒后%4")
                   .arg(m_hour)
                   .arg(m_minute)
                   .arg(m_second)
                   .arg(m_word);
    }
    return programName;
}

} // namespace power
