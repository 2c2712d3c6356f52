#include "reminder_page.h"

#include "text_file.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <filesystem>
#include <system_error>

namespace reminderpage {

bool keepSavedSettingsOverMarker(const QString& dataDir) {
    const QDir dir(dataDir);
    const QString marker = dir.filePath(QStringLiteral("setting.ini"));
    const QString reminder = dir.filePath(QStringLiteral("settings.ini"));
    if (!textfile::fileCounts(marker) || !textfile::fileCounts(reminder))
        return true;
    // An empty marker is our own and carries no settings: it never replaces the file.
    if (QFileInfo(marker).size() == 0)
        return true;

    namespace fs = std::filesystem;
    std::error_code failure;
    const fs::file_time_type saved =
        fs::last_write_time(QFileInfo(reminder).filesystemFilePath(), failure);
    if (failure)
        return false;
    const fs::path markerPath = QFileInfo(marker).filesystemFilePath();
    const fs::file_time_type markerTime = fs::last_write_time(markerPath, failure);
    if (failure)
        return false;
    if (markerTime < saved)
        return true;
    // A whole second earlier: the comparison must hold on file systems with coarse times too.
    fs::last_write_time(markerPath, saved - std::chrono::seconds(1), failure);
    return !failure;
}

} // namespace reminderpage
