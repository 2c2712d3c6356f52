#include "settings/data_paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

void put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDataPaths : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Dalvenor"); }

    void writableProgramFolderHoldsTheData() {
        QTemporaryDir dir;
        put(dir.filePath(DataPaths::kPortableMark), "runs in place\n");
        const DataPaths paths = DataPaths::resolve(dir.path());
        QCOMPARE(paths.dataDir(), dir.path());
        QCOMPARE(paths.dataFile("countdown.ini"), dir.filePath("countdown.ini"));
        QCOMPARE(paths.tipsFile(), dir.filePath("ral.txt"));
    }

    void otherwiseAPerUserFolderSeededWithTheDefaultCountdown() {
        QTemporaryDir dir;
        // A program folder that cannot be written to; the shipped data is installed beside it.
        const QString program = dir.filePath("prefix/bin");
        put(dir.filePath("prefix/share/dalvenor/countdown.ini"), "shipped\r\n");
        put(dir.filePath("prefix/share/dalvenor/ral.txt"), "tip\r\n");
        const DataPaths paths = DataPaths::resolve(program);
        const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCOMPARE(paths.dataDir(), perUser);
        QCOMPARE(contents(paths.dataFile("countdown.ini")), QByteArray("shipped\r\n"));
        QCOMPARE(QFileInfo(paths.tipsFile()).canonicalFilePath(),
                 QFileInfo(dir.filePath("prefix/share/dalvenor/ral.txt")).canonicalFilePath());

        // The user's own countdown is never overwritten by a later start.
        put(paths.dataFile("countdown.ini"), "mine\r\n");
        DataPaths::resolve(program);
        QCOMPARE(contents(paths.dataFile("countdown.ini")), QByteArray("mine\r\n"));

        // A tips file in the per-user folder takes precedence.
        put(paths.dataFile("ral.txt"), "my tip\r\n");
        QCOMPARE(paths.tipsFile(), paths.dataFile("ral.txt"));
    }

    // A read-only program folder and an unwritable home: the per-user folder cannot be made
    // (a file lies where it must go) or is not writable. The shipped files are then read
    // where they lie, not reported missing.
    void shippedFilesAreReadWhenNothingCanBeSeeded_data() {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("shippedIn"); // beside the program, or installed data
        QTest::newRow("file in place of the home, beside") << "file"
                                                           << "bin";
        QTest::newRow("file in place of the home, installed") << "file"
                                                              << "share";
        QTest::newRow("home not writable, beside") << "read-only"
                                                   << "bin";
    }

    void shippedFilesAreReadWhenNothingCanBeSeeded() {
        QFETCH(QString, obstacle);
        QFETCH(QString, shippedIn);
        QTemporaryDir dir;
        const QString program = dir.filePath("prefix/bin");
        QDir().mkpath(program);
        const QString shippedDir =
            shippedIn == "bin" ? program : dir.filePath("prefix/share/dalvenor");
        put(shippedDir + "/countdown.ini", "shipped\r\n");
        QString perUser = dir.filePath("home/.local/share/Dalvenor");
        if (obstacle == "file") {
            put(dir.filePath("home/.local"), "not a folder");
            perUser = dir.filePath("home/.local/share/Dalvenor");
        }
        const auto writable = [&](const QString& folder) {
            return obstacle == "file" ? folder != program : false;
        };
        const DataPaths paths = DataPaths::resolve(program, perUser, writable);
        QVERIFY(!paths.dataDirWritable());
        QCOMPARE(QFileInfo(paths.dataDir()).canonicalFilePath(),
                 QFileInfo(shippedDir).canonicalFilePath());
        QCOMPARE(contents(paths.dataFile("countdown.ini")), QByteArray("shipped\r\n"));
        QVERIFY(!QFileInfo::exists(perUser + "/countdown.ini"));
    }

    void usersOwnCountdownIsKeptWhateverItIs() {
        QTemporaryDir dir;
        const QString program = dir.filePath("bin");
        put(program + "/countdown.ini", "shipped\r\n");
        const QString perUser = dir.filePath("user");
        // A folder under the name: reported by the reader as not a regular file, never
        // replaced by the shipped copy nor hidden behind it.
        QDir().mkpath(perUser + "/countdown.ini");
        const auto notProgram = [&](const QString& folder) { return folder != program; };
        const DataPaths paths = DataPaths::resolve(program, perUser, notProgram);
        QCOMPARE(paths.dataDir(), perUser);
        QVERIFY(paths.dataDirWritable());
        QVERIFY(QFileInfo(perUser + "/countdown.ini").isDir());
    }

    void seedsPerUserFolderWhenItCan() {
        QTemporaryDir dir;
        const QString program = dir.filePath("bin");
        put(program + "/countdown.ini", "shipped\r\n");
        const QString perUser = dir.filePath("user/Dalvenor");
        const auto notProgram = [&](const QString& folder) { return folder != program; };
        const DataPaths paths = DataPaths::resolve(program, perUser, notProgram);
        QCOMPARE(paths.dataDir(), perUser);
        QVERIFY(paths.dataDirWritable());
        QCOMPARE(contents(perUser + "/countdown.ini"), QByteArray("shipped\r\n"));
    }

    void realPermissionsReadOnlyProgramAndHome() {
        if (::geteuid() == 0)
            QSKIP("the superuser writes into any folder; the injected test above covers it");
        QTemporaryDir dir;
        const QString program = dir.filePath("bin");
        put(program + "/countdown.ini", "shipped\r\n");
        QDir().mkpath(dir.filePath("home"));
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(dir.filePath("home"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const DataPaths paths =
            DataPaths::resolve(program, dir.filePath("home/Dalvenor"), [](const QString& folder) {
                const QFileInfo info(folder);
                return info.isDir() && info.isWritable();
            });
        const QFileDevice::Permissions all =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        QFile::setPermissions(program, all);
        QFile::setPermissions(dir.filePath("home"), all);
        QVERIFY(!paths.dataDirWritable());
        QCOMPARE(contents(paths.dataFile("countdown.ini")), QByteArray("shipped\r\n"));
    }

    // Only a folder marked as running in place (a build tree, an unpacked portable copy) and
    // writable keeps the data beside the program; an installed program writes into the
    // per-user folder even where it could write beside itself (the superuser under /usr).
    void dataBesideTheProgramOnlyWhenMarkedAndWritable_data() {
        QTest::addColumn<QString>("mark"); // none, file, folder, dangling link
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("countdownBeside");
        QTest::addColumn<bool>("besideProgram");
        QTest::newRow("installed, writable by the superuser") << "none" << true << false << false;
        QTest::newRow("installed with a countdown beside") << "none" << true << true << false;
        QTest::newRow("marked and writable") << "file" << true << true << true;
        QTest::newRow("marked, read-only") << "file" << false << true << false;
        QTest::newRow("a folder named like the mark") << "folder" << true << true << false;
        QTest::newRow("a dangling link named like the mark") << "link" << true << true << false;
    }

    void dataBesideTheProgramOnlyWhenMarkedAndWritable() {
        QFETCH(QString, mark);
        QFETCH(bool, writable);
        QFETCH(bool, countdownBeside);
        QFETCH(bool, besideProgram);
        QTemporaryDir dir;
        const QString program = dir.filePath("usr/bin");
        QDir().mkpath(program);
        put(dir.filePath("usr/share/dalvenor/countdown.ini"), "installed\r\n");
        if (countdownBeside)
            put(program + "/countdown.ini", "beside\r\n");
        const QString markPath = QDir(program).filePath(DataPaths::kPortableMark);
        if (mark == "file")
            put(markPath, "x");
        else if (mark == "folder")
            QDir().mkpath(markPath);
        else if (mark == "link")
            QVERIFY(QFile::link(dir.filePath("nowhere"), markPath));
        const QString perUser = dir.filePath("home/.local/share/Dalvenor");
        const auto isWritable = [&](const QString& folder) {
            return writable || folder != program;
        };

        const DataPaths paths = DataPaths::resolve(program, perUser, isWritable);
        QVERIFY(paths.dataDirWritable());
        QCOMPARE(paths.dataDir(), besideProgram ? program : perUser);
        if (!besideProgram) {
            // Seeded from the shipped default beside the program first, else the installed one.
            QCOMPARE(contents(perUser + "/countdown.ini"),
                     countdownBeside ? QByteArray("beside\r\n") : QByteArray("installed\r\n"));
        }
    }

    void aFolderNamedLikeTheTipsFileDoesNotCount() {
        QTemporaryDir dir;
        const DataPaths paths(dir.filePath("program"), dir.filePath("user"));
        QDir().mkpath(dir.filePath("user/ral.txt"));
        QCOMPARE(paths.tipsFile(), QDir(dir.filePath("program")).filePath("ral.txt"));
    }
};

QTEST_GUILESS_MAIN(TestDataPaths)
#include "tst_data_paths.moc"
