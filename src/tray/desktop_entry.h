#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Desktop Entry files (freedesktop.org), as far as the login autostart entry needs them.
namespace desktop_entry {

// One argument of an Exec value, before the general string escaping: "%" becomes "%%", and an
// argument holding a reserved character goes in double quotes with " ` $ \ escaped.
QString quoteExecArgument(const QString& argument);

// The general escaping of a string value: backslash, newline, tab and carriage return.
QString escapeValue(const QString& value);

// The value of the Exec key that starts program with the given arguments.
QString execValue(const QString& program, const QStringList& arguments = {});

// The whole autostart entry for program, UTF-8 with LF line ends.
QByteArray autostartEntry(const QString& program);

} // namespace desktop_entry
