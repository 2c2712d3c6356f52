#pragma once

#include "text_file.h"

#include <QString>
#include <QStringList>

// "countdown.ini": first line, second-line prefix, target date, target time of day.
struct CountdownFile {
    textfile::ReadStatus status = textfile::ReadStatus::Missing;
    QStringList lines; // at most four; fewer when the file is short
    QString error;     // Chinese, when Unreadable
};

CountdownFile readCountdownFile(const QString& path);
bool writeCountdownFile(const QString& path, const QStringList& fourLines, QString* error = nullptr);

// The one-shot re-centre marker "setting.ini" in the data folder: either the reminder file
// "settings.ini" under a second name, or an empty marker of our own. Returns whether the
// countdown window is to be centred; puts the reminder settings back under "settings.ini".
// When both names exist, the reminder settings saved last are the ones kept. A failed rename
// never stops the start-up.
bool takeRecentreMarker(const QString& dataDir);
