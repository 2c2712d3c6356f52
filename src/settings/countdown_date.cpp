#include "settings/countdown_date.h"

#include <QRegularExpression>

namespace countdown {

namespace {

// Users type dates with an input method switched to full width as often as not; folding the
// full-width forms (U+FF01..U+FF5E) and the ideographic space onto ASCII lets "６/７/２０２７"
// and "９：００" read like their narrow twins.
QString normalized(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            out.append(QChar(char16_t(u - 0xFEE0)));
        else if (u == 0x3000)
            out.append(QLatin1Char(' '));
        else
            out.append(c);
    }
    return out.trimmed();
}

// A date at the start of the text, and where it ends.
struct DateMatch {
    QDate date;
    qsizetype end = 0;
    bool endsInMarker = false; // "…日" needs no space before a time
};

std::optional<DateMatch> matchDate(const QString& text) {
    // Month/day/year is what the custom countdown page writes; the rest are the forms people
    // type when they ignore the hint.
    static const QRegularExpression mdy(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{4})"));
    static const QRegularExpression ymd(QStringLiteral("^(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})"));
    static const QRegularExpression chinese(
        QStringLiteral("^(\\d{4})\\s*年\\s*(\\d{1,2})\\s*月\\s*(\\d{1,2})\\s*(日|号)?"));

    int y = 0, m = 0, d = 0;
    QRegularExpressionMatch match;
    bool marker = false;
    if ((match = mdy.match(text)).hasMatch()) {
        m = match.captured(1).toInt();
        d = match.captured(2).toInt();
        y = match.captured(3).toInt();
    } else if ((match = ymd.match(text)).hasMatch()) {
        y = match.captured(1).toInt();
        m = match.captured(3).toInt();
        d = match.captured(4).toInt();
    } else if ((match = chinese.match(text)).hasMatch()) {
        y = match.captured(1).toInt();
        m = match.captured(2).toInt();
        d = match.captured(3).toInt();
        marker = match.hasCaptured(4);
    } else {
        return std::nullopt;
    }
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    return DateMatch{date, match.capturedEnd(0), marker};
}

std::optional<QTime> parseBareTime(const QString& text) {
    // An optional 上午/下午 before, or AM/PM after (any case, with or without a space).
    static const QRegularExpression re(
        QStringLiteral("^(上午|下午)?\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*"
                       "(?:([AaPp])\\.?[Mm]\\.?)?$"));
    const QRegularExpressionMatch match = re.match(text);
    if (!match.hasMatch())
        return std::nullopt;

    const QString chineseMarker = match.captured(1);
    const QString latinMarker = match.captured(5);
    if (!chineseMarker.isEmpty() && !latinMarker.isEmpty())
        return std::nullopt;

    int hour = match.captured(2).toInt();
    const int minute = match.captured(3).toInt();
    const int second = match.hasCaptured(4) ? match.captured(4).toInt() : 0;
    if (minute > 59 || second > 59)
        return std::nullopt;

    const bool twelveHour = !chineseMarker.isEmpty() || !latinMarker.isEmpty();
    if (twelveHour) {
        // On a twelve-hour clock there is no hour 0 and no hour 13: "0:00 PM" is a typing
        // mistake, not a time.
        if (hour < 1 || hour > 12)
            return std::nullopt;
        const bool afternoon = chineseMarker == QStringLiteral("下午") ||
                               latinMarker.compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
        hour %= 12; // 12 AM is midnight, 12 PM noon
        if (afternoon)
            hour += 12;
    } else if (hour > 23) {
        return std::nullopt;
    }
    return QTime(hour, minute, second);
}

} // namespace

std::optional<QDate> parseDate(const QString& text) {
    const QString s = normalized(text);
    const std::optional<DateMatch> match = matchDate(s);
    if (!match)
        return std::nullopt;
    const QString rest = s.mid(match->end);
    if (rest.isEmpty())
        return match->date;
    // Anything after the date must be a time of day, set apart by a space (or directly after
    // "日"); "6/7/20115" or "6/7/2011x" are not dates.
    const bool separated = match->endsInMarker || rest.front().isSpace();
    if (separated && parseBareTime(rest.trimmed()))
        return match->date;
    return std::nullopt;
}

std::optional<QTime> parseTimeOfDay(const QString& text) {
    const QString s = normalized(text);
    if (const std::optional<DateMatch> match = matchDate(s)) {
        // "6/7/2011 9:00:00 AM": the countdown needs only the time of day. A date without a
        // time is not a time: most likely the date was typed into the wrong box.
        const QString rest = s.mid(match->end);
        if (rest.isEmpty() || !(match->endsInMarker || rest.front().isSpace()))
            return std::nullopt;
        return parseBareTime(rest.trimmed());
    }
    return parseBareTime(s);
}

} // namespace countdown
