#include "full_disk.h"
#include "settings/atomic_file.h"
#include "settings/data_files.h"
#include "settings/data_paths.h"
#include "settings/settings_store.h"
#include "settings/text_file.h"
#include "test_files.h"
#include "tray/autostart_linux.h"
#include "tray/desktop_entry.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testfiles::kindOf;
using testfiles::readBytes;
using testfiles::writeBytes;

namespace {

const QByteArray kOld("旧的内容，一个字也不能少\r\n");
// The reason a full disk gives, whatever the system's language.
const QString kNoSpace = QStringLiteral("磁盘空间不足");

// Everything in a folder but the disk's own filler, so that a left-over temporary file shows.
QStringList entriesOf(const QString& folder) {
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(QStringLiteral(".filler"));
    names.removeAll(QStringLiteral(".files"));
    return names;
}

QByteArray bytesOfSize(qsizetype size) {
    QByteArray bytes(size, 'x');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

} // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Dalvenor")); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { atomicfile::limitSpaceForTesting(-1); }

    void mountIsUndoneAndPrivate();
    void replacesWholeFile_data();
    void replacesWholeFile();
    void writesThroughLinkToRegularFile();
    void refusesWhatIsNoRegularFile_data();
    void refusesWhatIsNoRegularFile();
    void fullDiskKeepsOldFile_data();
    void fullDiskKeepsOldFile();
    void fullDiskMakesNoNewFile();
    void injectedFullDiskKeepsOldFile();
    void reasonsInChinese_data();
    void reasonsInChinese();
    void writersOnFullDisk_data();
    void writersOnFullDisk();
    void seedOnFullDiskLeavesNoCutCountdown();
    void markerWithNoFileLeft();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

// The test's own disk: gone when the test is done with it, and never seen by the rest of the
// system while it exists.
void TestAtomicFile::mountIsUndoneAndPrivate() {
    const auto mountedAt = [](const char* table, const QString& path) {
        return readBytes(QString::fromLatin1(table)).contains(' ' + QFile::encodeName(path) + ' ');
    };
    QString path;
    {
        FullDisk disk;
        QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
        if (!disk.isReal())
            QSKIP("no tmpfs can be mounted by this user here"); // never as the superuser (CI)
        path = disk.path();
        QVERIFY(mountedAt("/proc/self/mountinfo", path));
        // Another process of the machine (the first one) does not see it.
        if (QFile::exists(QStringLiteral("/proc/1/mountinfo")) &&
            testfiles::inodeOf(QStringLiteral("/proc/1/ns/mnt")) !=
                testfiles::inodeOf(QStringLiteral("/proc/self/ns/mnt")))
            QVERIFY(!mountedAt("/proc/1/mountinfo", path));
        QVERIFY(disk.fill(0));
    }
    QVERIFY(!mountedAt("/proc/self/mountinfo", path));
    QVERIFY(!QFileInfo::exists(path));
}

void TestAtomicFile::replacesWholeFile_data() {
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("new file") << false << QByteArray("新的\r\n");
    QTest::newRow("over an old file") << true << QByteArray("新的\r\n");
    QTest::newRow("empty over an old file") << true << QByteArray();
    QTest::newRow("larger than Qt's write buffer") << true << bytesOfSize(100000);
}

void TestAtomicFile::replacesWholeFile() {
    QFETCH(bool, existing);
    QFETCH(QByteArray, bytes);
    const QString target = path(QStringLiteral("file.ini"));
    if (existing)
        QVERIFY(writeBytes(target, kOld + kOld + kOld));
    const quint64 before = testfiles::inodeOf(target);
    QString why = QStringLiteral("untouched");
    QVERIFY(atomicfile::write(target, bytes, &why));
    QCOMPARE(readBytes(target), bytes);
    QCOMPARE(why, QStringLiteral("untouched"));
    // A new file took the name: no moment at which the name held a half-written file.
    if (existing)
        QVERIFY(testfiles::inodeOf(target) != before);
    QCOMPARE(entriesOf(m_dir->path()), QStringList{QStringLiteral("file.ini")});
}

void TestAtomicFile::writesThroughLinkToRegularFile() {
    const QString real = path(QStringLiteral("real.ini"));
    const QString link = path(QStringLiteral("link.ini"));
    QVERIFY(writeBytes(real, kOld));
    QVERIFY(QFile::link(real, link));
    QVERIFY(atomicfile::write(link, "neu"));
    QCOMPARE(kindOf(link), 'l');
    QCOMPARE(readBytes(real), QByteArray("neu"));
}

void TestAtomicFile::refusesWhatIsNoRegularFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<char>("lstatKind");
    QTest::newRow("folder") << "folder" << 'd';
    QTest::newRow("FIFO") << "fifo" << 'p';
    QTest::newRow("link to a device") << "link-device" << 'l';
    QTest::newRow("link to a folder") << "link-folder" << 'l';
    QTest::newRow("link to nothing") << "link-dangling" << 'l';
}

void TestAtomicFile::refusesWhatIsNoRegularFile() {
    QFETCH(QString, kind);
    QFETCH(char, lstatKind);
    const QString target = path(QStringLiteral("name"));
    if (kind == "folder")
        QVERIFY(QDir().mkpath(target + "/inside"));
    else if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(target));
    else if (kind == "link-device")
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), target));
    else if (kind == "link-folder")
        QVERIFY(QFile::link(m_dir->path(), target));
    else
        QVERIFY(QFile::link(path(QStringLiteral("nowhere")), target));

    QString why;
    QVERIFY(!atomicfile::write(target, "data", &why));
    QVERIFY2(why.contains(QStringLiteral("普通文件")), qPrintable(why));
    QCOMPARE(kindOf(target), lstatKind);
    QCOMPARE(kindOf(path(QStringLiteral("nowhere"))), '-');
    if (kind == "folder")
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("inside")});
}

void TestAtomicFile::fullDiskKeepsOldFile_data() {
    QTest::addColumn<qsizetype>("newSize");
    QTest::addColumn<int>("freePages");
    // Qt buffers 16 KiB: small content fails only at the flush, large content in write().
    QTest::newRow("a few bytes, no page free") << qsizetype(20) << 0;
    QTest::newRow("one byte more than the free page") << qsizetype(FullDisk::kPage + 1) << 1;
    QTest::newRow("past the write buffer, two pages free") << qsizetype(40000) << 2;
}

void TestAtomicFile::fullDiskKeepsOldFile() {
    QFETCH(qsizetype, newSize);
    QFETCH(int, freePages);
    FullDisk disk;
    QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
    const QString target = disk.filePath(QStringLiteral("file.ini"));
    QVERIFY(writeBytes(target, kOld));
    QVERIFY(disk.fill(freePages));

    const QByteArray bytes = bytesOfSize(newSize);
    QString why;
    QVERIFY(!atomicfile::write(target, bytes, &why));
    QCOMPARE(why, kNoSpace);
    QCOMPARE(readBytes(target), kOld);
    QCOMPARE(entriesOf(disk.path()), QStringList{QStringLiteral("file.ini")});

    // The disk, nothing else, was the cause: with room again the same save goes through.
    disk.release();
    QVERIFY(atomicfile::write(target, bytes, &why));
    QCOMPARE(readBytes(target), bytes);
}

void TestAtomicFile::fullDiskMakesNoNewFile() {
    FullDisk disk;
    QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
    QVERIFY(disk.fill(0));
    const QString target = disk.filePath(QStringLiteral("new.ini"));
    QVERIFY(!atomicfile::write(target, "some text"));
    QCOMPARE(kindOf(target), '-');
    QCOMPARE(entriesOf(disk.path()), QStringList());
}

// The seam that stands in for a disk where none can be mounted behaves like the real one.
void TestAtomicFile::injectedFullDiskKeepsOldFile() {
    const QString target = path(QStringLiteral("file.ini"));
    QVERIFY(writeBytes(target, kOld));
    atomicfile::limitSpaceForTesting(10);
    QString why;
    QVERIFY(!atomicfile::write(target, bytesOfSize(11), &why));
    QCOMPARE(why, kNoSpace);
    QCOMPARE(readBytes(target), kOld);
    QCOMPARE(entriesOf(m_dir->path()), QStringList{QStringLiteral("file.ini")});
    QVERIFY(atomicfile::write(target, bytesOfSize(10), &why));
    QCOMPARE(readBytes(target), bytesOfSize(10));
}

void TestAtomicFile::reasonsInChinese_data() {
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("reason");
    QTest::newRow("full") << "full" << kNoSpace;
    QTest::newRow("no file left") << "no-files" << kNoSpace;
    QTest::newRow("read-only") << "read-only" << QStringLiteral("磁盘是只读的");
    QTest::newRow("folder gone") << "no-folder" << QStringLiteral("文件夹不存在");
}

// The reasons a save meets are told in Chinese even where the system speaks English.
void TestAtomicFile::reasonsInChinese() {
    QFETCH(QString, disk);
    QFETCH(QString, reason);
    FullDisk fs;
    QVERIFY2(fs.isUsable(), qPrintable(fs.problem()));
    // The writer's stand-in for a disk knows only bytes. Never skipped as the superuser (as in
    // CI), where a disk that cannot be mounted fails isUsable above.
    if (!fs.isReal() && (disk == "no-files" || disk == "read-only"))
        QSKIP("no tmpfs can be mounted by this user here");
    QString target = fs.filePath(QStringLiteral("file.ini"));
    QVERIFY(writeBytes(target, kOld));
    if (disk == "full")
        QVERIFY(fs.fill(0));
    else if (disk == "no-files")
        QVERIFY(fs.fill(0) && fs.fillFiles());
    else if (disk == "read-only")
        QVERIFY(fs.makeReadOnly());
    else
        target = fs.filePath(QStringLiteral("gone/file.ini"));
    QString why;
    QVERIFY(!atomicfile::write(target, "new text", &why));
    QCOMPARE(why, reason);
    if (disk != "no-folder")
        QCOMPARE(readBytes(target), kOld);
}

void TestAtomicFile::writersOnFullDisk_data() {
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("file");
    QTest::newRow("settings store") << "store"
                                    << "Dalvenor.ini";
    QTest::newRow("custom countdown") << "countdown"
                                      << "countdown.ini";
    QTest::newRow("reminder settings") << "reminder"
                                       << "settings.ini";
    QTest::newRow("autostart entry") << "autostart"
                                     << "Dalvenor.desktop";
}

// Each writer on a full disk: false, a Chinese message that names the file, the old file
// byte for byte.
void TestAtomicFile::writersOnFullDisk() {
    QFETCH(QString, writer);
    QFETCH(QString, file);
    FullDisk disk;
    QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
    const QString target = disk.filePath(file);
    const QByteArray old = writer == "store" ? QByteArray("[frmMain]\nForeColor=255\n")
                           : writer == "autostart"
                               ? desktop_entry::autostartEntry(QStringLiteral("/old/dalvenor"))
                               : kOld;
    QVERIFY(writeBytes(target, old));

    SettingsStore store(target);
    QVERIFY(disk.fill(0));
    bool ok = true;
    QString error;
    if (writer == "store") {
        store.writeInteger(QStringLiteral("frmMain"), QStringLiteral("ForeColor"), 65280);
        ok = store.sync(&error);
    } else if (writer == "countdown") {
        ok = writeCountdownFile(target, {"距离高考", "还有：", "6/7/2027", "9:00:00 AM"}, &error);
    } else if (writer == "reminder") {
        ok = textfile::writeLines(target, {"休息", "起来走走", "30"}, &error);
    } else {
        ok = XdgAutostart(QStringLiteral("/new/dalvenor"), disk.path()).enable(&error);
    }
    QVERIFY(!ok);
    QVERIFY2(error.contains(kNoSpace), qPrintable(error));
    QVERIFY2(error.contains(target), qPrintable(error));
    QCOMPARE(readBytes(target), old);
    QCOMPARE(entriesOf(disk.path()), QStringList{file});

    if (writer == "store") {
        // The value stays pending: the next save with room writes it.
        disk.release();
        QVERIFY(store.sync());
        QCOMPARE(SettingsStore(target).readInteger(QStringLiteral("frmMain"),
                                                   QStringLiteral("ForeColor"), 0),
                 65280);
    }
}

// The first start of an installed program copies the shipped countdown; on a full disk it
// must leave no empty or cut "countdown.ini" that later starts would take for the user's own.
void TestAtomicFile::seedOnFullDiskLeavesNoCutCountdown() {
    FullDisk disk;
    QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
    const QString program = path(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    const QByteArray shipped = "距离高考\r\n还有：\r\n6/7/2027\r\n9:00:00 AM\r\n";
    QVERIFY(writeBytes(QDir(program).filePath(QStringLiteral("countdown.ini")), shipped));
    const QString perUser = disk.filePath(QStringLiteral("user"));
    QVERIFY(QDir().mkpath(perUser));
    QVERIFY(disk.fill(0));

    const DataPaths paths =
        DataPaths::resolve(program, perUser, [](const QString&) { return true; });
    QCOMPARE(kindOf(QDir(perUser).filePath(QStringLiteral("countdown.ini"))), '-');
    QVERIFY(
        QDir(perUser).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    // The shipped values are read where they lie instead.
    QVERIFY(!paths.dataDirWritable());
    QCOMPARE(readBytes(paths.dataFile(QStringLiteral("countdown.ini"))), shipped);

    // With room, the next start copies it whole.
    disk.release();
    const DataPaths later =
        DataPaths::resolve(program, perUser, [](const QString&) { return true; });
    QVERIFY(later.dataDirWritable());
    QCOMPARE(readBytes(QDir(perUser).filePath(QStringLiteral("countdown.ini"))), shipped);
}

// The re-centre marker is an empty file: it needs no page, only a file of its own.
void TestAtomicFile::markerWithNoFileLeft() {
    FullDisk disk;
    QVERIFY2(disk.isUsable(), qPrintable(disk.problem()));
    // The writer's seam limits bytes, not files. Never taken as the superuser (as in CI),
    // where a disk that cannot be mounted fails isUsable above.
    if (!disk.isReal())
        QSKIP("no tmpfs can be mounted by this user here: the no-file case needs one");
    QVERIFY(disk.fill(0));
    QVERIFY(disk.fillFiles());
    QString error;
    QVERIFY(!placeRecentreMarker(disk.path(), &error));
    QVERIFY2(error.contains(kNoSpace) && error.contains(QStringLiteral("setting.ini")),
             qPrintable(error));
    QCOMPARE(kindOf(disk.filePath(QStringLiteral("setting.ini"))), '-');
    disk.release();
    QVERIFY(placeRecentreMarker(disk.path(), &error));
    QCOMPARE(kindOf(disk.filePath(QStringLiteral("setting.ini"))), 'f');
}

int main(int argc, char* argv[]) {
    FullDisk::enterPrivateMounts();
    QCoreApplication app(argc, argv);
    TestAtomicFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_atomic_file.moc"
