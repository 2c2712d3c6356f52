#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

// Keeps what matters of a line whole on the desktop: the countdown and the messages are never
// shown with their middle only, however large the font or long the text.
namespace fitting {

// No line drawn on the desktop holds more than this many characters; text layout of a longer
// one costs seconds and memory for nothing anyone can read.
inline constexpr int kMaxShownChars = 2000;
// Shrinking stops here: below it nothing is readable anyway.
inline constexpr double kMinPointSize = 4;

// The text cut at kMaxShownChars, ended with "…" when cut (never inside a surrogate pair).
QString capped(const QString& text);

// One line that fits width, its end replaced by "…" when it does not.
QString elidedLine(const QString& text, const QFont& font, int width);

// Whether the text fits the area in that font, on one line or wrapped at words.
bool fits(const QString& text, const QFont& font, const QSize& area, bool wrap);

// The font, or a smaller size of it, in which the text fits the area (one line or wrapped);
// kMinPointSize when nothing fits.
QFont shrunkToFit(const QFont& font, const QString& text, const QSize& area, bool wrap);

// The countdown line, prefix then count (the days and the time), fitted to the area: whole
// in the style's font when it fits; else shrunk as a whole, but not below the count's floor
// (three quarters of the style's size); below that the prefix gives way first, shortened
// with "…", so that the digits stay readable; only a count that does not fit even alone at
// the floor shrinks further, until every digit shows.
struct CountdownFit {
    QFont font;
    QString prefix; // as drawn: whole, shortened with "…", or "…" alone
};
inline constexpr double kCountFloorRatio = 0.75;
CountdownFit fitCountdown(const QString& prefix, const QString& count, const QFont& font,
                          const QSize& area);

// Wrapped text that fits the area's height: the lines that fit, the last ended with "…".
QString elidedWrapped(const QString& text, const QFont& font, const QSize& area);

// The width of a line made of a fixed prefix and a count that changes every second, without
// shaping the whole line at each change: the prefix is shaped once, the count is added up
// from the advances of its characters, each looked up once per face. A face in which the
// count's characters kern or join (the sum then differs from the shaped line) is found out
// whenever a count of another length comes, and is from then on measured whole.
class LineMeasure {
public:
    // The face and the prefix: what was measured in another face or for another prefix is
    // forgotten.
    void setLine(const QFont& font, const QString& prefix);
    const QString& prefix() const { return m_prefix; }
    // The width of the prefix followed by the first `length` characters of count (all of
    // them when length is negative).
    qreal width(QStringView count, qsizetype length = -1);
    qreal height() const { return m_height; }
    // How many times a whole line was shaped: a warm countdown shapes none.
    int shapings() const { return m_shapings; }
    // The advance of one character, and whether the line is the sum of its characters in
    // this face (as far as measured).
    qreal advance(char16_t c);
    qreal prefixWidth() const { return m_prefixWidth; }
    bool additive() const { return m_additive; }
    // How far the ink of the prefix, or of any character measured so far, reaches beyond its
    // advance to the left or the right (italic and bold faces), in pixels.
    qreal reach() const { return m_reach; }
    // The rows the same ink covers, from the top of the line: the baseline lies an ascent
    // below it.
    qreal inkTop() const { return ascent() + m_inkAbove; }
    qreal inkBottom() const { return ascent() + m_inkBelow; }
    qreal ascent() const { return m_ascent; }

private:
    qreal shaped(QStringView count, qsizetype length);
    qreal lookUp(char16_t c);
    // Whether c is measured on its own: not a surrogate, a combining mark or a joiner.
    bool standsAlone(char16_t c) const;
    void noteInk(const QRectF& ink, qreal advance);

    QFont m_font;
    QString m_prefix;
    std::optional<QFontMetricsF> m_metrics;
    // The face's metrics, read once: each reading asks the font engine again.
    qreal m_ascent = 0;
    qreal m_height = 0;
    qreal m_prefixWidth = 0;
    qreal m_reach = 0;
    qreal m_inkAbove = 0; // from the baseline, negative upwards
    qreal m_inkBelow = 0;
    bool m_additive = true;
    qsizetype m_checkedLength = -1;
    int m_shapings = 0;
    // Digits, ASCII and the count's units; negative: not looked up yet.
    std::array<qreal, 128> m_ascii{};
    struct Wide {
        char16_t c;
        qreal advance;
        bool alone;
    };
    std::array<Wide, 16> m_wide{};
    int m_wideCount = 0;
};

} // namespace fitting
