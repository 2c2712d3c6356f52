#pragma once

#include "settings/text_file.h"

#include <QString>
#include <QStringList>

// The first lines of a small data file. Only a regular file is read, only as far as the
// lines wanted, and at most textfile::maxLineBytes of each line.
struct DataFileLines {
    textfile::ReadStatus status = textfile::ReadStatus::Missing;
    QStringList lines; // at most as many as wanted; fewer when the file is short
    QString error;     // Chinese, for the user, when status is neither Ok nor Missing
};
using CountdownFile = DataFileLines;
using ReminderFile = DataFileLines;

// "countdown.ini": first line, second-line prefix, target date, target time of day.
CountdownFile readCountdownFile(const QString& path);
// "settings.ini": reminder title, message, interval in minutes.
ReminderFile readReminderFile(const QString& path);
// Always four lines: missing ones are written empty, extra ones are left out.
bool writeCountdownFile(const QString& path, const QStringList& fourLines,
                        QString* error = nullptr);

// The one-shot re-centre marker "setting.ini" in the data folder: either the reminder file
// "settings.ini" under a second name, or an empty marker of our own. Returns whether the
// countdown window is to be centred; puts the reminder settings back under "settings.ini".
// When both names exist, the reminder settings saved last are the ones kept. A failed rename
// never stops the start-up.
bool takeRecentreMarker(const QString& dataDir);

// The other half, for the reset of the display settings: "settings.ini" with content is
// renamed to "setting.ini"; without one (or with an empty one, which must not vanish when the
// marker is taken) an empty marker is written instead. False with a Chinese message when no
// marker could be placed.
bool placeRecentreMarker(const QString& dataDir, QString* error = nullptr);
