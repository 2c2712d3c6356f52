#include "settings/data_files.h"
#include "settings/regular_file.h"
#include "test_files.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using textfile::ReadStatus;

namespace {

const QByteArray savedFirst("旧的提醒\r\n该休息了\r\n45\r\n");
const QByteArray savedLast("新的提醒\r\n起来走走\r\n30\r\n");

// "absent", "content", "empty" or "folder".
void makeName(const QString& path, const QString& kind, const QByteArray& content,
              const QDateTime& modified) {
    if (kind == "absent")
        return;
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(path + "/inside"));
        return;
    }
    QVERIFY(testfiles::writeBytes(path, kind == "empty" ? QByteArray() : content));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class TestDataFiles : public QObject {
    Q_OBJECT

private slots:
    // A fresh folder for every test function and data row.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void readsCountdownFile_data();
    void readsCountdownFile();
    void readsThreeReminderLines();
    void specialFileReturnsAtOnce_data();
    void specialFileReturnsAtOnce();
    void writesFourLines_data();
    void writesFourLines();
    void takesRecentreMarker_data();
    void takesRecentreMarker();
    void resetThenStartKeepsReminder_data();
    void resetThenStartKeepsReminder();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDataFiles::readsCountdownFile_data() {
    QTest::addColumn<QByteArray>("bytes"); // "<folder>" for a folder of that name
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QStringList>("lines");

    const QStringList four{"距离高考还有", "还剩", "6/7/2011", "9:00:00 AM"};
    const QByteArray fourBytes = QStringList(four).join("\r\n").toUtf8() + "\r\n";
    QTest::newRow("four lines") << fourBytes << ReadStatus::Ok << four;
    QTest::newRow("extra lines are not read") << fourBytes + "more\r\nlines\r\n"
                                              << ReadStatus::Ok << four;
    QTest::newRow("short file") << QByteArray("only\r\ntwo") << ReadStatus::Ok
                                << QStringList{"only", "two"};
    QTest::newRow("empty file") << QByteArray() << ReadStatus::Ok << QStringList();
    QTest::newRow("code page 936")
        << QByteArray("\xB8\xDF\xBF\xBC\r\n") << ReadStatus::Ok << QStringList{"高考"};
    QTest::newRow("folder of that name")
        << QByteArray("<folder>") << ReadStatus::NotRegularFile << QStringList();
}

void TestDataFiles::readsCountdownFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(ReadStatus, status);
    QFETCH(QStringList, lines);
    const QString file = path("countdown.ini");
    if (bytes == "<folder>")
        QVERIFY(QDir(m_dir->path()).mkdir("countdown.ini"));
    else
        QVERIFY(testfiles::writeBytes(file, bytes));

    const CountdownFile read = readCountdownFile(file);
    QCOMPARE(read.status, status);
    QCOMPARE(read.lines, lines);
    QCOMPARE(readCountdownFile(path("missing.ini")).status, ReadStatus::Missing);
}

void TestDataFiles::readsThreeReminderLines() {
    QVERIFY(testfiles::writeBytes(path("settings.ini"),
                                  "标题\r\n该休息了\r\n45\r\n" + QByteArray(70000, 'x') + "\r\n"));
    const ReminderFile read = readReminderFile(path("settings.ini"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.lines, (QStringList{"标题", "该休息了", "45"}));
}

void TestDataFiles::specialFileReturnsAtOnce_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    for (const char* name : {"countdown.ini", "settings.ini"}) {
        for (const char* kind : {"fifo", "folder", "zero"})
            QTest::addRow("%s is a %s", name, kind) << QString::fromLatin1(name) << kind;
    }
}

void TestDataFiles::specialFileReturnsAtOnce() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    const QString file = path(name);
    if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(file));
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(file));
    else
        QVERIFY(QFile::link("/dev/zero", file));

    DataFileLines read;
    QVERIFY(testfiles::endsWithin(
        std::chrono::seconds(10),
        [&] { read = name == "countdown.ini" ? readCountdownFile(file) : readReminderFile(file); },
        file));
    QCOMPARE(read.status, ReadStatus::NotRegularFile);
    QVERIFY(read.lines.isEmpty());
    // The reason, for the window to show, names the file and is not "not found".
    QVERIFY(read.error.contains(file));
    QVERIFY(!read.error.contains(QString::fromUtf8("没有找到")));
}

void TestDataFiles::writesFourLines_data() {
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("four") << QStringList{"高考", "还有", "6/7/2011", "9:00:00 AM"}
                          << QByteArray("\xB8\xDF\xBF\xBC\r\n\xBB\xB9\xD3\xD0\r\n"
                                        "6/7/2011\r\n9:00:00 AM\r\n");
    QTest::newRow("short list is padded")
        << QStringList{"a", "b"} << QByteArray("a\r\nb\r\n\r\n\r\n");
    QTest::newRow("long list is cut")
        << QStringList{"1", "2", "3", "4", "5"} << QByteArray("1\r\n2\r\n3\r\n4\r\n");
}

void TestDataFiles::writesFourLines() {
    QFETCH(QStringList, given);
    QFETCH(QByteArray, expected);
    QString error;
    QVERIFY2(writeCountdownFile(path("countdown.ini"), given, &error), qPrintable(error));
    QCOMPARE(testfiles::readBytes(path("countdown.ini")), expected);
    QCOMPARE(readCountdownFile(path("countdown.ini")).lines.size(), 4);
}

void TestDataFiles::takesRecentreMarker_data() {
    QTest::addColumn<QString>("marker");   // what "setting.ini" is
    QTest::addColumn<QString>("reminder"); // what "settings.ini" is
    QTest::addColumn<bool>("markerNewer");
    QTest::addColumn<bool>("centre");
    QTest::addColumn<QByteArray>("reminderAfter"); // "" for no file, "<folder>" for a folder
    QTest::addColumn<bool>("markerLeft");

    QTest::newRow("neither") << "absent"
                             << "absent" << false << false << QByteArray() << false;
    QTest::newRow("only the reminder file") << "absent"
                                            << "content" << false << false << savedLast << false;
    QTest::newRow("only the marker, with content")
        << "content"
        << "absent" << false << true << savedFirst << false;
    QTest::newRow("only an empty marker") << "empty"
                                          << "absent" << false << true << QByteArray() << false;
    QTest::newRow("both, marker saved last") << "content"
                                             << "content" << true << true << savedFirst << false;
    QTest::newRow("both, reminder saved last") << "content"
                                               << "content" << false << true << savedLast << false;
    QTest::newRow("both, marker empty") << "empty"
                                        << "content" << true << true << savedLast << false;
    QTest::newRow("marker is a folder") << "folder"
                                        << "content" << false << false << savedLast << true;
    QTest::newRow("reminder name taken by a folder")
        << "content"
        << "folder" << true << true << QByteArray("<folder>") << true;
}

void TestDataFiles::takesRecentreMarker() {
    QFETCH(QString, marker);
    QFETCH(QString, reminder);
    QFETCH(bool, markerNewer);
    QFETCH(bool, centre);
    QFETCH(QByteArray, reminderAfter);
    QFETCH(bool, markerLeft);

    const QDateTime older = QDateTime::currentDateTime().addSecs(-3600);
    const QDateTime newer = older.addSecs(600);
    // The marker holds savedFirst, the reminder file savedLast: which one is newer is set by
    // the modification times.
    makeName(path("setting.ini"), marker, savedFirst, markerNewer ? newer : older);
    makeName(path("settings.ini"), reminder, savedLast, markerNewer ? older : newer);

    QCOMPARE(takeRecentreMarker(m_dir->path()), centre);

    const QFileInfo after(path("settings.ini"));
    if (reminderAfter.isEmpty())
        QVERIFY(!after.exists());
    else if (reminderAfter == "<folder>")
        QVERIFY(after.isDir());
    else
        QCOMPARE(testfiles::readBytes(path("settings.ini")), reminderAfter);
    QCOMPARE(QFileInfo::exists(path("setting.ini")), markerLeft);
    if (marker == "content" && markerLeft) // a failed rename loses nothing
        QCOMPARE(testfiles::readBytes(path("setting.ini")), savedFirst);
    // One-shot: the next start does not centre again, unless the marker could not be taken.
    QCOMPARE(takeRecentreMarker(m_dir->path()), markerLeft && marker == "content");
}

void TestDataFiles::resetThenStartKeepsReminder_data() {
    QTest::addColumn<QByteArray>("reminder"); // "<none>" for no reminder file
    QTest::newRow("reminder with content") << savedLast;
    QTest::newRow("empty reminder") << QByteArray();
    QTest::newRow("no reminder") << QByteArray("<none>");
}

void TestDataFiles::resetThenStartKeepsReminder() {
    QFETCH(QByteArray, reminder);
    if (reminder != "<none>")
        QVERIFY(testfiles::writeBytes(path("settings.ini"), reminder));

    QString error;
    QVERIFY2(placeRecentreMarker(m_dir->path(), &error), qPrintable(error));
    QVERIFY(textfile::fileCounts(path("setting.ini")));

    QVERIFY(takeRecentreMarker(m_dir->path()));
    QVERIFY(!QFileInfo::exists(path("setting.ini")));
    if (reminder == "<none>")
        QVERIFY(!QFileInfo::exists(path("settings.ini")));
    else
        QCOMPARE(testfiles::readBytes(path("settings.ini")), reminder);
    QVERIFY(!takeRecentreMarker(m_dir->path()));
}

QTEST_GUILESS_MAIN(TestDataFiles)
#include "tst_data_files.moc"
