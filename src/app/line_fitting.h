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

// Wrapped text that fits the area's height: the lines that fit, the last ended with "…".
QString elidedWrapped(const QString& text, const QFont& font, const QSize& area);

} // namespace fitting
