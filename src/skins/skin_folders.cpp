#include "skins/skin_folders.h"

#include "settings/data_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kFolder = QStringLiteral("skins");

QList<SkinFolders::Entry> skinsIn(const QString& dir) {
    QList<SkinFolders::Entry> entries;
    if (dir.isEmpty())
        return entries;
    const QDir folder(dir);
    // Files only, links followed to what they name: a folder or a FIFO called "x.she" is not
    // a skin, and reading one would block or fail.
    const QFileInfoList files = folder.entryInfoList(
        {QStringLiteral("*.she")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        if (file.isFile())
            entries.append({file.fileName(), file.absoluteFilePath()});
    }
    return entries;
}

bool sameFolder(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() ? ca == QFileInfo(b).canonicalFilePath()
                         : QDir::cleanPath(a) == QDir::cleanPath(b);
}

} // namespace

SkinFolders::SkinFolders(QString builtInDir, QString userDir)
    : m_builtInDir(std::move(builtInDir)), m_userDir(std::move(userDir)) {}

SkinFolders SkinFolders::forProgram(const DataPaths& paths) {
    return forProgram(paths, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

SkinFolders SkinFolders::forProgram(const DataPaths& paths, const QString& perUserDataDir) {
    const QDir program(paths.programDir());
    QString builtIn = program.filePath(kFolder);
    if (!QFileInfo(builtIn).isDir()) {
        const QString installed = QDir::cleanPath(
            program.absoluteFilePath(QStringLiteral("../share/dalvenor/") + kFolder));
        if (QFileInfo(installed).isDir())
            builtIn = installed;
    }
    const QString user =
        perUserDataDir.isEmpty() ? QString() : QDir(perUserDataDir).filePath(kFolder);
    return SkinFolders(builtIn, user);
}

QString SkinFolders::builtInSkin(const QString& fileName) const {
    return QDir(m_builtInDir).filePath(fileName);
}

QString SkinFolders::preview(const QString& skinFileName) const {
    return QDir(m_builtInDir)
        .filePath(QStringLiteral("previews/") + QFileInfo(skinFileName).completeBaseName() +
                  QStringLiteral(".png"));
}

QList<SkinFolders::Entry> SkinFolders::list() const {
    QList<Entry> entries = skinsIn(m_builtInDir);
    if (!sameFolder(m_builtInDir, m_userDir))
        entries += skinsIn(m_userDir);
    return entries;
}

bool SkinFolders::createUserDir() const {
    return !m_userDir.isEmpty() && QDir().mkpath(m_userDir);
}
