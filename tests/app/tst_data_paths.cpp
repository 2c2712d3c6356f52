#include "data_paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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

    void aFolderNamedLikeTheTipsFileDoesNotCount() {
        QTemporaryDir dir;
        const DataPaths paths(dir.filePath("program"), dir.filePath("user"));
        QDir().mkpath(dir.filePath("user/ral.txt"));
        QCOMPARE(paths.tipsFile(), QDir(dir.filePath("program")).filePath("ral.txt"));
    }
};

QTEST_GUILESS_MAIN(TestDataPaths)
#include "tst_data_paths.moc"
