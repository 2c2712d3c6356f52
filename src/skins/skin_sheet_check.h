#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

// What a skin's style sheet may do before any window is given it. Qt opens every file a sheet
// names (url() of images, border images, icons) by itself, with a blocking read, when it
// polishes a widget: a FIFO there hangs the program for good, a device never ends. So every
// file a sheet names is looked at first, with the rule every other file of the program is
// read by, and a sheet that names anything but a small regular image is refused whole.
//
// A sheet must also leave text readable: text in the colour of its background, transparent
// text, fonts far too large or too small, or padding that pushes text out of its control
// make windows blank boxes. The tray menu and message boxes of their own are left in the
// platform's look by the engine; these checks guard every other window, the skin manager and
// its "不使用皮肤" among them. They read the sheet rule by rule, as written: a skin can still
// hide text in ways a reading cannot foresee, which is why the way to the skin manager is
// never skinned at all.
namespace skincheck {

// An image of a skin is a small picture; a larger file is not read.
inline constexpr qint64 kMaxImageBytes = 4 * 1024 * 1024;
// Larger than any screen: a small file that decodes to more is an image bomb.
inline constexpr int kMaxImageSide = 4096;
// Font sizes a window can still show: 72 pt or 96 px at most, 6 pt or 8 px at least.
inline constexpr double kMaxPoints = 72;
inline constexpr double kMaxPixels = 96;
inline constexpr double kMinPoints = 6;
inline constexpr double kMinPixels = 8;
inline constexpr double kMaxEm = 6;
inline constexpr double kMinEm = 0.5;
// Padding, margins and borders beyond this push text out of its control; a forced width or
// height beyond the other bound pushes a window off the screen.
inline constexpr double kMaxSpacePixels = 64;
inline constexpr double kMaxSizePixels = 1024;
// Text less opaque than this is not read against anything.
inline constexpr int kMinTextAlpha = 96;

// One rule of a sheet: the selector as written and its declarations, names in lower case.
struct Declaration {
    QString name;
    QString value;
};
struct Rule {
    QString selector;
    QList<Declaration> declarations;
};

// The text without its comments; a comment that is never closed is kept (Qt reads on in it).
QString withoutComments(const QString& sheet);

// Rules of a sheet, those inside @media blocks included. Tolerant: what Qt cannot parse is
// refused by Qt's own parser afterwards.
QList<Rule> parseRules(const QString& sheet);

// Every url() of the sheet as written, without quotes: in values, strings and unknown
// properties alike, so that nothing Qt might load is missed. error is set (Chinese) for a
// sheet that cannot be read with certainty: a url() without its end, or a backslash escape,
// which could spell "url" or a name in a way this reading would not see as Qt does.
struct Urls {
    QStringList names;
    QString error;
};
Urls findUrls(const QString& sheet);

// The file Qt opens for a url() name: a Qt resource (":/..." or "qrc:/...") gives an empty
// string, as it is in the program's own memory; a name with a search path prefix is looked
// up in those folders; any other name is taken against the current folder, as Qt does.
struct Target {
    bool resource = false;
    QString path;
};
Target resolve(const QString& name);

// Why the file a url() names may not be used (Chinese, naming the file), or empty when it is
// a regular file within kMaxImageBytes that decodes as an image of a sane size.
QString resourceProblem(const QString& name);

// The first problem of the sheet's files, or empty.
QString findResourceProblem(const QString& sheet);

// The colours a value paints with: one for a plain colour, each stop of a gradient; empty
// when the value names no colour this check can read (palette(), a url alone).
QList<QColor> colours(const QString& value);

// Whether text in one colour can be read on the other: false for the same or nearly the
// same colour.
bool readable(const QColor& text, const QColor& background);

// The first reason the sheet would hide text (Chinese), or empty.
QString findReadabilityProblem(const QString& sheet);

} // namespace skincheck
