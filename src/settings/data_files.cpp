#include "settings/data_files.h"

#include "settings/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace {

constexpr int countdownLineCount = 4;
constexpr int reminderLineCount = 3;

QString markerPath(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("setting.ini"));
}

QString reminderPath(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("settings.ini"));
}

// Replaces target in one step, so that at no moment neither name holds the settings. Never
// throws: a start-up must not stop over a marker it could not put back.
bool renameReplacing(const QString& source, const QString& target) {
    std::error_code failure;
    std::filesystem::rename(QFileInfo(source).filesystemFilePath(),
                            QFileInfo(target).filesystemFilePath(), failure);
    return !failure;
}

DataFileLines readFirstLines(const QString& path, int count) {
    const textfile::TextLines text = textfile::readLines(path, count);
    DataFileLines file;
    file.status = text.status;
    file.error = text.error;
    file.lines = text.lines;
    return file;
}

} // namespace

CountdownFile readCountdownFile(const QString& path) {
    return readFirstLines(path, countdownLineCount);
}

ReminderFile readReminderFile(const QString& path) {
    return readFirstLines(path, reminderLineCount);
}

bool writeCountdownFile(const QString& path, const QStringList& fourLines, QString* error) {
    QStringList lines = fourLines.mid(0, countdownLineCount);
    while (lines.size() < countdownLineCount)
        lines.append(QString());
    return textfile::writeLines(path, lines, error);
}

bool takeRecentreMarker(const QString& dataDir) {
    const QString marker = markerPath(dataDir);
    if (!textfile::fileCounts(marker))
        return false;

    const QString reminder = reminderPath(dataDir);
    const QFileInfo markerInfo(marker);
    const QFileInfo reminderInfo(reminder);

    if (markerInfo.size() == 0) {
        // Our own empty marker holds nothing of the user's.
        QFile::remove(marker);
        return true;
    }
    if (!reminderInfo.exists()) {
        QFile::rename(marker, reminder);
        return true;
    }
    // Both names hold reminder settings: the user saved new ones after the reset, or an older
    // marker was left behind. The ones saved last stay; on a tie the file under its own name
    // is left alone.
    if (reminderInfo.isFile() && markerInfo.lastModified() > reminderInfo.lastModified())
        renameReplacing(marker, reminder);
    else if (reminderInfo.isFile())
        QFile::remove(marker);
    return true;
}

bool placeRecentreMarker(const QString& dataDir, QString* error) {
    const QString marker = markerPath(dataDir);
    if (textfile::fileCounts(marker))
        return true;

    const QString reminder = reminderPath(dataDir);
    const QFileInfo reminderInfo(reminder);
    if (reminderInfo.isFile() && reminderInfo.size() > 0) {
        if (QFile::rename(reminder, marker))
            return true;
        if (error)
            *error = QStringLiteral("无法将“%1”改名为“%2”。").arg(reminder, marker);
        return false;
    }

    QString why;
    if (atomicfile::write(marker, {}, &why))
        return true;
    if (error)
        *error = QStringLiteral("无法写入文件“%1”：%2").arg(marker, why);
    return false;
}
