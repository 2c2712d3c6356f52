#include "settings/data_paths.h"

#include "settings/atomic_file.h"
#include "settings/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool isWritableDir(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}

// Copies a small shipped file; atomically, so that a full disk never leaves half a countdown.
bool seed(const QString& from, const QString& to) {
    textfile::RegularFile source;
    QByteArray bytes;
    if (source.open(from) != textfile::ReadStatus::Ok ||
        source.readAll(bytes, 1024 * 1024) != textfile::ReadStatus::Ok)
        return false;
    return atomicfile::write(to, bytes);
}

} // namespace

DataPaths::DataPaths(QString programDir, QString dataDir, QString installedDataDir)
    : m_programDir(std::move(programDir)), m_dataDir(std::move(dataDir)),
      m_installedDataDir(std::move(installedDataDir)) {}

DataPaths DataPaths::resolve(const QString& programDir) {
    return resolve(programDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                   isWritableDir);
}

DataPaths DataPaths::resolve(const QString& programDir, const QString& perUserDir,
                             const WritableTest& isWritable) {
    const QString installed =
        QDir::cleanPath(QDir(programDir).absoluteFilePath(QStringLiteral("../share/dalvenor")));
    const bool runsInPlace = textfile::fileCounts(QDir(programDir).filePath(kPortableMark));
    if (runsInPlace && isWritable(programDir))
        return DataPaths(programDir, programDir, installed);

    DataPaths paths(programDir, perUserDir, installed);
    const QString countdown = paths.dataFile("countdown.ini");
    const QString shipped = paths.shippedFile("countdown.ini");
    // The user's own countdown (whatever it is) is never overwritten by a later start; copy
    // rather than move the shipped one: it stays for other users.
    if (textfile::nameTaken(countdown) || shipped.isEmpty()) {
        QDir().mkpath(perUserDir);
        return paths;
    }
    if (QDir().mkpath(perUserDir) && isWritable(perUserDir) && seed(shipped, countdown))
        return paths;

    // Nowhere to keep a copy: read the shipped files where they lie rather than report them
    // missing. Nothing can be saved there, which the caller can tell the user.
    DataPaths readOnly(programDir, QFileInfo(shipped).absolutePath(), installed);
    readOnly.m_writable = false;
    return readOnly;
}

QString DataPaths::dataFile(const QString& name) const {
    return QDir(m_dataDir).filePath(name);
}

QString DataPaths::tipsFile() const {
    const QString name = QStringLiteral("ral.txt");
    if (QDir(m_dataDir) != QDir(m_programDir) && textfile::fileCounts(dataFile(name)))
        return dataFile(name);
    const QString shipped = shippedFile(name);
    return shipped.isEmpty() ? QDir(m_programDir).filePath(name) : shipped;
}

QString DataPaths::shippedFile(const QString& name) const {
    const QString beside = QDir(m_programDir).filePath(name);
    if (textfile::fileCounts(beside))
        return beside;
    if (!m_installedDataDir.isEmpty()) {
        const QString installed = QDir(m_installedDataDir).filePath(name);
        if (textfile::fileCounts(installed))
            return installed;
    }
    return {};
}
