// The few requests the file layer makes of the system itself, on real files in a temporary
// folder. Runs as an unprivileged user (the runner sees to it under the superuser), so that
// permission bits mean what they say.
#include "settings/file_system.h"
#include "test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

class TestFileSystem : public QObject {
    Q_OBJECT
private slots:
    // A fresh folder for every test function and data row.
    void init() {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        // Permission cases below would pass for the wrong reason as the superuser.
        QVERIFY2(testfiles::permissionsApply(), "run through the runner as an unprivileged user");
    }

    void hardLinkNamesTheSameFile() {
        const QString first = m_folder->filePath("Dalvenor.ini");
        const QString second = m_folder->filePath("Dalvenor.ini.damaged");
        QVERIFY(testfiles::writeBytes(first, "[frmMain]\r\n"));
        QVERIFY(filesystem::addHardLink(first, second));
        QCOMPARE(testfiles::inodeOf(second), testfiles::inodeOf(first));
        QCOMPARE(testfiles::readBytes(second), QByteArray("[frmMain]\r\n"));
    }

    void hardLinkNeverReplacesAName_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("file") << "file";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("folder") << "folder";
    }
    void hardLinkNeverReplacesAName() {
        QFETCH(QString, kind);
        const QString first = m_folder->filePath("a.ini");
        const QString taken = m_folder->filePath("b.ini");
        QVERIFY(testfiles::writeBytes(first, "new"));
        if (kind == "file")
            QVERIFY(testfiles::writeBytes(taken, "kept"));
        else if (kind == "dangling")
            QVERIFY(QFile::link(m_folder->filePath("nowhere"), taken));
        else
            QVERIFY(QDir(m_folder->path()).mkdir("b.ini"));
        const char before = testfiles::kindOf(taken);
        QVERIFY(!filesystem::addHardLink(first, taken));
        QCOMPARE(testfiles::kindOf(taken), before);
        if (kind == "file")
            QCOMPARE(testfiles::readBytes(taken), QByteArray("kept"));
    }

    void hardLinkOfNothingFails() {
        QVERIFY(!filesystem::addHardLink(m_folder->filePath("none"), m_folder->filePath("copy")));
        QCOMPARE(testfiles::kindOf(m_folder->filePath("copy")), '-');
    }

    void writeRefusal_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("nothing there") << "none" << 0;
        QTest::newRow("writable file") << "file" << 0;
        QTest::newRow("read-only file") << "read-only" << EACCES;
        QTest::newRow("file in a folder that may not be entered") << "sealed" << 0;
    }
    void writeRefusal() {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QString file = m_folder->filePath("countdown.ini");
        if (kind == "file" || kind == "read-only")
            QVERIFY(testfiles::writeBytes(file, "x"));
        if (kind == "read-only")
            QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
        if (kind == "sealed") {
            // Whether the file is there cannot even be asked: no refusal of the file itself.
            QVERIFY(QDir(m_folder->path()).mkdir("sealed"));
            file = m_folder->filePath("sealed/countdown.ini");
            QVERIFY(testfiles::writeBytes(file, "x"));
            QVERIFY(QFile::setPermissions(m_folder->filePath("sealed"), QFileDevice::ReadOwner));
        }
        QCOMPARE(filesystem::writeRefusal(file), code);
    }

    void freeBytesOfARealFolderAndOfNone() {
        QVERIFY(filesystem::freeBytesAt(m_folder->path()) >= 0);
        QCOMPARE(filesystem::freeBytesAt(m_folder->filePath("no/such/folder")), qint64(-1));
    }

    // The sealed folder is opened again, or the temporary folder could not be removed.
    void cleanup() {
        const QString sealed = m_folder->filePath("sealed");
        if (QFileInfo(sealed).isDir())
            QVERIFY(QFile::setPermissions(sealed, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner));
        m_folder.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_file_system.moc"
