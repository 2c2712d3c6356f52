#include "addins/reminder_page.h"

#include "settings/regular_file.h"
#include "settings/text_file.h"

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

bool isReadProblem(textfile::ReadStatus status) {
    return status != textfile::ReadStatus::Ok && status != textfile::ReadStatus::Missing;
}

SaveDecision saveDecision(textfile::ReadStatus atLoad, textfile::ReadStatus now) {
    // A name held by something other than a file is never replaced (the writer refuses it
    // too); the user is told what is there instead of a bare failure.
    if (now == textfile::ReadStatus::NotRegularFile)
        return SaveDecision::Refuse;
    if (isReadProblem(now))
        return SaveDecision::AskFirst;
    // Readable now, but the boxes were filled without it: what it holds was never shown.
    if (now == textfile::ReadStatus::Ok && isReadProblem(atLoad))
        return SaveDecision::AskFirst;
    return SaveDecision::Save;
}

QString pageNotice(const QString& reason) {
    return QStringLiteral("提醒设置没有读出：%1下面的输入框是空的，不是文件里的内容。").arg(reason);
}

QString overwriteQuestion(const QString& reason) {
    return QStringLiteral("%1\n\n窗口中显示的不是这个文件原来的内容。"
                          "要用窗口中的内容替换它吗？选择“否”则不保存，原来的文件保持不变。")
        .arg(reason);
}

QString refusal(const QString& reason) {
    return QStringLiteral("%1\n\n提醒设置没有保存，提醒也没有开始。"
                          "请先移走或改正它，再按“确认”。")
        .arg(reason);
}

} // namespace reminderpage
