#include "app/line_fitting.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace fitting {

namespace {

const QString kEllipsis = QStringLiteral("…");

// Whether c is measured on its own: not half of a surrogate pair, a combining mark or a
// joiner, which are shaped together with their neighbours.
bool isAlone(char16_t c) {
    const QChar character(c);
    return !character.isSurrogate() && !character.isMark() &&
           character.category() != QChar::Other_Format;
}

QSizeF wrappedSize(const QString& text, const QFont& font, qreal width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const QFontMetricsF metrics(font);
    qreal height = 0;
    qreal widest = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height += metrics.lineSpacing();
        widest = qMax(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return {widest, height};
}

// Calls f with each line of text, split at "\r\n", "\r" and "\n" (a break at the end
// leaves an empty last line).
template <typename F> void forEachLine(const QString& text, F f) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        f(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    f(start == 0 ? text : text.mid(start));
}

// A label's text in lines: the explicit line breaks of the text, each wrapped.
QSizeF textSize(const QString& text, const QFont& font, qreal width, bool wrap) {
    const QFontMetricsF metrics(font);
    QSizeF total;
    forEachLine(text, [&](const QString& part) {
        QSizeF size = wrap ? wrappedSize(part, font, width)
                           : QSizeF(metrics.horizontalAdvance(part), metrics.lineSpacing());
        if (part.isEmpty())
            size.setHeight(metrics.lineSpacing());
        total = QSizeF(qMax(total.width(), size.width()), total.height() + size.height());
    });
    return total;
}

} // namespace

QString capped(const QString& text) {
    if (text.size() <= kMaxShownChars)
        return text;
    qsizetype end = kMaxShownChars - 1;
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end) + kEllipsis;
}

QString elidedLine(const QString& text, const QFont& font, int width) {
    return QFontMetrics(font).elidedText(text, Qt::ElideRight, width);
}

bool fits(const QString& text, const QFont& font, const QSize& area, bool wrap) {
    const QSizeF size = textSize(text, font, area.width(), wrap);
    // Half a pixel of slack for the rounding of fractional advances.
    return size.width() <= area.width() + 0.5 && size.height() <= area.height() + 0.5;
}

QFont shrunkToFit(const QFont& font, const QString& text, const QSize& area, bool wrap) {
    if (fits(text, font, area, wrap))
        return font;
    QFont smaller = font;
    double size = font.pointSizeF();
    // A first guess from the width, then steps of a tenth down until it fits.
    if (!wrap) {
        const qreal width = QFontMetricsF(font).horizontalAdvance(text);
        if (width > 0)
            size = std::floor(size * area.width() / width * 10) / 10;
    }
    while (size > kMinPointSize) {
        smaller.setPointSizeF(size);
        if (fits(text, smaller, area, wrap))
            return smaller;
        size = std::floor(size * 9) / 10;
    }
    smaller.setPointSizeF(kMinPointSize);
    return smaller;
}

CountdownFit fitCountdown(const QString& prefix, const QString& count, const QFont& font,
                          const QSize& area) {
    const QFont whole = shrunkToFit(font, prefix + count, area, false);
    const double floor = qMax(kMinPointSize, font.pointSizeF() * kCountFloorRatio);
    if (prefix.isEmpty() || whole.pointSizeF() >= floor)
        return {whole, prefix};

    QFont atFloor = font;
    atFloor.setPointSizeF(floor);
    const QFontMetricsF metrics(atFloor);
    const qreal room = area.width() - metrics.horizontalAdvance(count);
    if (room >= metrics.horizontalAdvance(kEllipsis) &&
        fits(kEllipsis + count, atFloor, area, false)) {
        // The longest beginning of the prefix that leaves the count its room.
        QString shown = QFontMetricsF(atFloor).elidedText(prefix, Qt::ElideRight, room);
        if (shown.isEmpty())
            shown = kEllipsis;
        if (fits(shown + count, atFloor, area, false))
            return {atFloor, shown};
        return {atFloor, kEllipsis};
    }
    // Not even the count fits at the floor: it shrinks on, with a mark where the prefix was.
    return {shrunkToFit(atFloor, kEllipsis + count, area, false), kEllipsis};
}

QString elidedWrapped(const QString& text, const QFont& font, const QSize& area) {
    if (fits(text, font, area, true))
        return text;
    // The longest beginning that fits with the ellipsis, by halving.
    qsizetype low = 0;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (fits(text.left(mid) + kEllipsis, font, area, true))
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 0 && text.at(low - 1).isHighSurrogate())
        --low;
    return text.left(low) + kEllipsis;
}

} // namespace fitting

namespace fitting {

void LineMeasure::setLine(const QFont& font, const QString& prefix) {
    if (m_metrics && font == m_font && prefix == m_prefix)
        return;
    m_font = font;
    m_prefix = prefix;
    m_metrics.emplace(font);
    m_ascent = m_metrics->ascent();
    m_height = m_metrics->height();
    ++m_shapings;
    m_prefixWidth = m_metrics->horizontalAdvance(prefix);
    m_reach = 0;
    m_inkAbove = 0;
    m_inkBelow = 0;
    if (!prefix.isEmpty())
        noteInk(m_metrics->boundingRect(prefix), m_prefixWidth);
    m_additive = true;
    m_checkedLength = -1;
    m_ascii.fill(-1);
    m_wideCount = 0;
}

qreal LineMeasure::shaped(QStringView count, qsizetype length) {
    ++m_shapings;
    QString line;
    line.reserve(m_prefix.size() + length);
    line.append(m_prefix);
    line.append(count.left(length));
    return m_metrics->horizontalAdvance(line);
}

qreal LineMeasure::lookUp(char16_t c) {
    const qreal found = m_metrics->horizontalAdvance(QChar(c));
    noteInk(m_metrics->boundingRect(QChar(c)), found);
    return found;
}

void LineMeasure::noteInk(const QRectF& ink, qreal advance) {
    // The bounding rectangle covers at least every pixel that drawing the text touches.
    if (ink.isEmpty())
        return;
    m_reach = std::max({m_reach, -ink.left(), ink.right() - advance});
    m_inkAbove = std::min(m_inkAbove, ink.top());
    m_inkBelow = std::max(m_inkBelow, ink.bottom());
}

qreal LineMeasure::advance(char16_t c) {
    if (c < m_ascii.size()) {
        qreal& known = m_ascii[c];
        if (known < 0)
            known = lookUp(c);
        return known;
    }
    for (int i = 0; i < m_wideCount; ++i) {
        if (m_wide[size_t(i)].c == c)
            return m_wide[size_t(i)].advance;
    }
    const qreal found = lookUp(c);
    if (m_wideCount < int(m_wide.size()))
        m_wide[size_t(m_wideCount++)] = Wide{c, found, isAlone(c)};
    return found;
}

bool LineMeasure::standsAlone(char16_t c) const {
    // No character below 128 is a mark, a joiner or half of a pair.
    if (c < m_ascii.size())
        return true;
    for (int i = 0; i < m_wideCount; ++i) {
        if (m_wide[size_t(i)].c == c)
            return m_wide[size_t(i)].alone;
    }
    return isAlone(c);
}

qreal LineMeasure::width(QStringView count, qsizetype length) {
    if (!m_metrics)
        setLine(QFont(), QString());
    if (length < 0 || length > count.size())
        length = count.size();
    // Characters that are not on their own (surrogate pairs, combining marks, joiners) are
    // shaped together with their neighbours: such a count is measured whole.
    bool single = m_additive;
    for (qsizetype i = 0; single && i < length; ++i)
        single = standsAlone(count[i].unicode());
    if (!single)
        return shaped(count, length);
    qreal sum = m_prefixWidth;
    for (qsizetype i = 0; i < length; ++i)
        sum += advance(count[i].unicode());
    if (length == count.size() && length != m_checkedLength) {
        // A count of a new length: the sum is checked once against the shaped line.
        m_checkedLength = length;
        const qreal whole = shaped(count, length);
        if (std::abs(whole - sum) > 1.0 / 64) {
            m_additive = false;
            return whole;
        }
    }
    return sum;
}

} // namespace fitting
