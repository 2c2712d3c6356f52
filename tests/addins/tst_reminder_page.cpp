// "确认" on the reminder page while the re-centre marker still holds the earlier settings: the
// save must survive the marker being taken, and the re-centre must still happen.
#include "addins/reminder_page.h"
#include "settings/data_files.h"
#include "settings/regular_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes, qint64 secondsFromNow) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    namespace fs = std::filesystem;
    const fs::path p = QFileInfo(path).filesystemFilePath();
    fs::last_write_time(p, fs::file_time_type::clock::now() + std::chrono::seconds(secondsFromNow));
}

} // namespace

class TstReminderPage : public QObject {
    Q_OBJECT
private slots:
    void savedSettingsSurviveTheMarker_data();
    void savedSettingsSurviveTheMarker();
    void unreadFileIsNotReplacedUnasked_data();
    void unreadFileIsNotReplacedUnasked();
};

void TstReminderPage::savedSettingsSurviveTheMarker_data() {
    QTest::addColumn<QByteArray>("marker"); // content of "setting.ini"; empty: none
    QTest::addColumn<bool>("emptyMarker");  // an empty marker of our own
    QTest::addColumn<qint64>("markerAge");  // seconds the marker is dated from now
    QTest::addColumn<bool>("centred");

    const QByteArray old("old title\r\nold message\r\n30\r\n");
    QTest::newRow("no marker") << QByteArray() << false << qint64(0) << false;
    QTest::newRow("marker from an earlier reset") << old << false << qint64(-3600) << true;
    QTest::newRow("marker dated the same second") << old << false << qint64(0) << true;
    QTest::newRow("marker dated in the future") << old << false << qint64(86400) << true;
    QTest::newRow("empty marker of our own") << QByteArray() << true << qint64(86400) << true;
}

void TstReminderPage::savedSettingsSurviveTheMarker() {
    QFETCH(QByteArray, marker);
    QFETCH(bool, emptyMarker);
    QFETCH(qint64, markerAge);
    QFETCH(bool, centred);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString markerPath = dir.filePath(QStringLiteral("setting.ini"));
    const QString reminderPath = dir.filePath(QStringLiteral("settings.ini"));
    if (!marker.isEmpty() || emptyMarker)
        writeFile(markerPath, marker, markerAge);

    // The save of "确认".
    const QStringList saved = {QStringLiteral("新标题"), QStringLiteral("新内容"),
                               QStringLiteral("10")};
    QVERIFY(textfile::writeLines(reminderPath, saved));
    const QByteArray savedBytes = readAll(reminderPath);

    QVERIFY(reminderpage::keepSavedSettingsOverMarker(dir.path()));
    // Nothing is lost before the marker is taken: both files keep their content.
    QCOMPARE(readAll(reminderPath), savedBytes);
    if (!marker.isEmpty() || emptyMarker)
        QCOMPARE(readAll(markerPath), marker);

    // The countdown window's next load takes the marker.
    QCOMPARE(takeRecentreMarker(dir.path()), centred);
    QCOMPARE(readAll(reminderPath), savedBytes);
    QVERIFY(!QFileInfo::exists(markerPath));
    QCOMPARE(readReminderFile(reminderPath).lines, saved);
}

void TstReminderPage::unreadFileIsNotReplacedUnasked_data() {
    using reminderpage::SaveDecision;
    using textfile::ReadStatus;
    QTest::addColumn<ReadStatus>("atLoad");
    QTest::addColumn<ReadStatus>("now");
    QTest::addColumn<SaveDecision>("decision");

    QTest::newRow("read at load, readable now")
        << ReadStatus::Ok << ReadStatus::Ok << SaveDecision::Save;
    QTest::newRow("no file") << ReadStatus::Missing << ReadStatus::Missing << SaveDecision::Save;
    QTest::newRow("made since the load")
        << ReadStatus::Missing << ReadStatus::Ok << SaveDecision::Save;
    QTest::newRow("unreadable since the load")
        << ReadStatus::Ok << ReadStatus::Unreadable << SaveDecision::AskFirst;
    QTest::newRow("unreadable at load, gone now")
        << ReadStatus::Unreadable << ReadStatus::Missing << SaveDecision::Save;
    QTest::newRow("unreadable at load, readable now")
        << ReadStatus::Unreadable << ReadStatus::Ok << SaveDecision::AskFirst;
    QTest::newRow("still unreadable")
        << ReadStatus::Unreadable << ReadStatus::Unreadable << SaveDecision::AskFirst;
    QTest::newRow("too large") << ReadStatus::TooLarge << ReadStatus::TooLarge
                               << SaveDecision::AskFirst;
    QTest::newRow("not a file") << ReadStatus::NotRegularFile << ReadStatus::NotRegularFile
                                << SaveDecision::Refuse;
    QTest::newRow("became a folder since the load")
        << ReadStatus::Ok << ReadStatus::NotRegularFile << SaveDecision::Refuse;
    QTest::newRow("was a folder, a file now")
        << ReadStatus::NotRegularFile << ReadStatus::Ok << SaveDecision::AskFirst;
}

void TstReminderPage::unreadFileIsNotReplacedUnasked() {
    QFETCH(textfile::ReadStatus, atLoad);
    QFETCH(textfile::ReadStatus, now);
    QFETCH(reminderpage::SaveDecision, decision);
    QCOMPARE(reminderpage::saveDecision(atLoad, now), decision);
}

QTEST_GUILESS_MAIN(TstReminderPage)
#include "tst_reminder_page.moc"
