#include "addins/reminder.h"

#include <QRegularExpression>

namespace reminder {

namespace {

// A Chinese input method in full-width mode gives "３０" or "１．５".
QString toAsciiForms(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFF01 + 0x21));
        else if (u == 0x3000)
            c = QChar(u' ');
    }
    return out;
}

} // namespace

Interval parseInterval(const QString& text) {
    const QString t = toAsciiForms(text).trimmed();
    if (t.isEmpty())
        return {IntervalProblem::Empty, 0};
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!number.match(t).hasMatch())
        return {IntervalProblem::NotANumber, 0};
    bool ok = false;
    const double minutes = t.toDouble(&ok);
    if (!ok) // only digits, so only a value beyond double's range can fail
        return {IntervalProblem::TooLarge, 0};
    if (!(minutes > 0))
        return {IntervalProblem::NotPositive, 0};
    if (minutes > ReminderCounter::kMaxMinutes)
        return {IntervalProblem::TooLarge, 0};
    return {IntervalProblem::None, minutes};
}

QString intervalMessage(const QString& text) {
    switch (parseInterval(text).problem) {
    case IntervalProblem::None:
        return {};
    case IntervalProblem::Empty:
        return QStringLiteral("没有填写提醒间隔，提醒窗口不会弹出。\n"
                              "请在“提醒窗口每隔”后面填写大于 0 的分钟数（例如 30）。");
    case IntervalProblem::NotANumber:
        return QStringLiteral("提醒间隔“%1”不是数字，提醒窗口不会弹出。\n"
                              "请填写大于 0 的分钟数（例如 30）。")
            .arg(text.trimmed());
    case IntervalProblem::NotPositive:
        return QStringLiteral("提醒间隔“%1”不大于 0，提醒窗口不会弹出。\n"
                              "请填写大于 0 的分钟数（例如 30）。")
            .arg(text.trimmed());
    case IntervalProblem::TooLarge:
        return QStringLiteral("提醒间隔“%1”太长，提醒窗口不会弹出。\n"
                              "最多可以填写 %2 分钟（约 22 天）。")
            .arg(text.trimmed())
            .arg(ReminderCounter::kMaxMinutes);
    }
    return {};
}

} // namespace reminder

void ReminderCounter::confirm() {
    if (m_running)
        return;
    m_running = true;
    m_seconds = 0;
}

bool ReminderCounter::onSecond(const QString& intervalText) {
    if (!m_running)
        return false;
    if (++m_seconds < kSecondsPerMinute)
        return false;
    m_seconds = 0;
    return onMinute(intervalText);
}

bool ReminderCounter::onMinute(const QString& intervalText) {
    if (!m_running)
        return false;
    if (m_minutes < kMaxMinutes)
        ++m_minutes;
    const reminder::Interval interval = reminder::parseInterval(intervalText);
    if (!interval.fires() || m_minutes < interval.minutes)
        return false;
    m_minutes = 0;
    return true;
}
