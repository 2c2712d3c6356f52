#include "data_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool isWritableDir(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}

bool isRegularFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

DataPaths::DataPaths(QString programDir, QString dataDir, QString installedDataDir)
    : m_programDir(std::move(programDir)), m_dataDir(std::move(dataDir)),
      m_installedDataDir(std::move(installedDataDir)) {}

DataPaths DataPaths::resolve(const QString& programDir) {
    const QString installed =
        QDir::cleanPath(QDir(programDir).absoluteFilePath(QStringLiteral("../share/dalvenor")));
    if (isWritableDir(programDir))
        return DataPaths(programDir, programDir, installed);

    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(perUser);
    DataPaths paths(programDir, perUser, installed);
    const QString countdown = paths.dataFile("countdown.ini");
    const QString shipped = paths.shippedFile("countdown.ini");
    if (!QFileInfo::exists(countdown) && !shipped.isEmpty())
        // Copy rather than move: the shipped default stays for other users.
        QFile::copy(shipped, countdown);
    return paths;
}

QString DataPaths::dataFile(const QString& name) const {
    return QDir(m_dataDir).filePath(name);
}

QString DataPaths::tipsFile() const {
    const QString name = QStringLiteral("ral.txt");
    if (QDir(m_dataDir) != QDir(m_programDir) && isRegularFile(dataFile(name)))
        return dataFile(name);
    const QString shipped = shippedFile(name);
    return shipped.isEmpty() ? QDir(m_programDir).filePath(name) : shipped;
}

QString DataPaths::shippedFile(const QString& name) const {
    const QString beside = QDir(m_programDir).filePath(name);
    if (isRegularFile(beside))
        return beside;
    if (!m_installedDataDir.isEmpty()) {
        const QString installed = QDir(m_installedDataDir).filePath(name);
        if (isRegularFile(installed))
            return installed;
    }
    return {};
}
