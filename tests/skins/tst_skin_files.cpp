// The skin folders: QtCore only.
#include "settings/data_paths.h"
#include "skins/skin_folders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

void touch(const QString& path, const QByteArray& bytes = "QPushButton {}") {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

QStringList names(const QList<SkinFolders::Entry>& entries) {
    QStringList list;
    for (const SkinFolders::Entry& entry : entries)
        list << entry.name;
    return list;
}

} // namespace

class TestSkinFiles : public QObject {
    Q_OBJECT
private slots:
    void listShowsSkinsOfBothFolders() {
        QTemporaryDir dir;
        const QString builtIn = dir.filePath("program/skins");
        const QString user = dir.filePath("user/skins");
        QVERIFY(QDir().mkpath(builtIn));
        QVERIFY(QDir().mkpath(user));
        for (const char* name : {"skinh.she", "itunes.she", "QQ2008.she", "office2007.she"})
            touch(builtIn + '/' + QLatin1String(name));
        touch(builtIn + "/readme.txt");
        touch(builtIn + "/LOUD.SHE");
        touch(user + "/mine.she");
        // Not skins: a folder and a FIFO of that name, and a dangling link.
        QVERIFY(QDir().mkpath(user + "/folder.she"));
        QCOMPARE(::mkfifo(QFile::encodeName(user + "/pipe.she").constData(), 0600), 0);
        QVERIFY(QFile::link(user + "/gone", user + "/dangling.she"));

        const SkinFolders folders(builtIn, user);
        const QList<SkinFolders::Entry> entries = folders.list();
        QCOMPARE(names(entries), (QStringList{"itunes.she", "LOUD.SHE", "office2007.she",
                                              "QQ2008.she", "skinh.she", "mine.she"}));
        // Each name resolves to the folder it was listed from.
        QCOMPARE(entries.last().path, QDir(user).absoluteFilePath("mine.she"));
        QCOMPARE(entries.first().path, QDir(builtIn).absoluteFilePath("itunes.she"));
    }

    void sameFolderIsListedOnce() {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("skins")));
        touch(dir.filePath("skins/a.she"));
        const SkinFolders folders(dir.filePath("skins"), dir.filePath("./skins/"));
        QCOMPARE(names(folders.list()), QStringList{"a.she"});
    }

    void missingFoldersListNothing() {
        QTemporaryDir dir;
        const SkinFolders folders(dir.filePath("none"), QString());
        QVERIFY(folders.list().isEmpty());
    }

    void builtInsBesideTheProgramOrInstalled_data() {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("expected"); // relative to the temporary folder
        QTest::newRow("beside the program wins") << true << true << "prefix/bin/skins";
        QTest::newRow("installed data folder") << false << true << "prefix/share/dalvenor/skins";
        QTest::newRow("neither: beside the program") << false << false << "prefix/bin/skins";
    }
    void builtInsBesideTheProgramOrInstalled() {
        QFETCH(bool, beside);
        QFETCH(bool, installed);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("prefix/bin")));
        if (beside)
            QVERIFY(QDir().mkpath(dir.filePath("prefix/bin/skins")));
        if (installed)
            QVERIFY(QDir().mkpath(dir.filePath("prefix/share/dalvenor/skins")));
        const DataPaths paths(dir.filePath("prefix/bin"), dir.filePath("data"));
        const SkinFolders folders = SkinFolders::forProgram(paths, dir.filePath("user"));
        QCOMPARE(QDir::cleanPath(folders.builtInDir()), QDir::cleanPath(dir.filePath(expected)));
        QCOMPARE(folders.userDir(), QDir(dir.filePath("user")).filePath("skins"));
        QCOMPARE(folders.preview("itunes.she"),
                 QDir(folders.builtInDir()).filePath("previews/itunes.png"));
        QVERIFY(folders.createUserDir());
        QVERIFY(QFileInfo(folders.userDir()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestSkinFiles)
#include "tst_skin_files.moc"
