#pragma once

#include <QFont>
#include <QSize>
#include <QString>

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

} // namespace fitting
