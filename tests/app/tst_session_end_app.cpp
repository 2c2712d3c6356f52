// The whole program's way out at the end of a session: a signal arrives while the event loop
// runs, the tray's exit stores the style picked in this run, removes the icon and ends the
// loop with status 0; a store that fails is told on stderr, never in a box nobody answers.
#include "app/application.h"
#include "app/session_end.h"
#include "forms/countdown_style.h"
#include "forms/form_names.h"
#include "forms/message_box.h"
#include "forms/window_registry.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString storePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Dalvenor/Dalvenor.ini");
}

// stderr into a file for as long as it lives.
class CapturedStderr {
public:
    explicit CapturedStderr(const QString& path) : m_path(path) {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~CapturedStderr() { restore(); }
    QString text() {
        restore();
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QString m_path;
    int m_saved = -1;
};

// Runs the event loop until the program ends it; a loop still running after the deadline is
// ended with 99 so that the test fails instead of waiting for ever.
int runUntilEnded(int signalNumber) {
    QTimer::singleShot(0, [signalNumber] { ::raise(signalNumber); });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    deadline.start(30000);
    return QCoreApplication::exec();
}

} // namespace

class TstSessionEndApp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { MessageBox::setAnswerAll(true); }
    void init() {
        MessageBox::clearShownBoxes();
        QFile::remove(storePath());
        QDir(storePath()).removeRecursively();
    }

    void signalStoresTheStyleThroughTheTrayExit_data();
    void signalStoresTheStyleThroughTheTrayExit();
    void failedStoreAtSessionEndGoesToStderr();
};

void TstSessionEndApp::signalStoresTheStyleThroughTheTrayExit_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<quint32>("colour");
    QTest::newRow("SIGTERM") << int(SIGTERM) << quint32(0x0000FF);
    QTest::newRow("SIGHUP") << int(SIGHUP) << quint32(0x00C000);
    QTest::newRow("SIGINT") << int(SIGINT) << quint32(0xC00000);
}

void TstSessionEndApp::signalStoresTheStyleThroughTheTrayExit() {
    QFETCH(int, signalNumber);
    QFETCH(quint32, colour);

    QTemporaryDir programDir;
    QVERIFY(programDir.isValid());
    Application app(programDir.path());
    app.start();
    MessageBox::clearShownBoxes(); // the start's notice of a desktop without a tray
    WindowRegistry& registry = app.context().registry;
    QVERIFY(registry.isLoaded(FormName::Main));
    QVERIFY(registry.isLoaded(FormName::Tray));
    // As 显示设置 → 字体颜色 does: the countdown shows it, nothing is stored yet.
    app.context().style.setForeColor(colour);
    QVERIFY(SettingsStore(storePath()).readInteger("frmMain", "ForeColor", -1) != colour);

    QCOMPARE(runUntilEnded(signalNumber), 0);
    QCOMPARE(SettingsStore(storePath()).readInteger("frmMain", "ForeColor", -1), qint64(colour));
    // The tray's exit: its icon is gone, the countdown was not unloaded on the way.
    QVERIFY(!registry.isLoaded(FormName::Tray));
    QVERIFY(registry.isLoaded(FormName::Main));
    QVERIFY(app.sessionEnd().isEnding());
    QVERIFY(MessageBox::shownBoxes().isEmpty());
}

void TstSessionEndApp::failedStoreAtSessionEndGoesToStderr() {
    QTemporaryDir programDir;
    QVERIFY(programDir.isValid());
    // A folder where the settings file should be: nothing can be stored.
    QVERIFY(QDir().mkpath(storePath() + QStringLiteral("/inside")));
    Application app(programDir.path());
    app.start();
    MessageBox::clearShownBoxes(); // what the start said about the store is not the test's
    app.context().style.setForeColor(0x0000FF);

    QTemporaryDir logDir;
    QVERIFY(logDir.isValid());
    CapturedStderr captured(logDir.filePath(QStringLiteral("stderr.txt")));
    const int status = runUntilEnded(SIGTERM);
    const QString said = captured.text();
    QCOMPARE(status, 0);
    QVERIFY2(said.contains(QStringLiteral("无法保存倒计时的字体和颜色")), qPrintable(said));
    // Said once, though both the signal and the end of the loop came by.
    QCOMPARE(said.count(QStringLiteral("无法保存倒计时的字体和颜色")), 1);
    QVERIFY(MessageBox::shownBoxes().isEmpty());
    QVERIFY(!app.context().registry.isLoaded(FormName::Tray));
}

QTEST_MAIN(TstSessionEndApp)
#include "tst_session_end_app.moc"
