// The command line and the platform choice, as functions and through the real executable:
// --version and --help answer without a display, other arguments are ignored, and a missing
// X display ends the program with a message and status 1 instead of Qt's abort.
#include "app/startup_options.h"

#include <QProcess>
#include <QTest>

namespace {

QString program() {
    return qEnvironmentVariable("DALVENOR_BIN_DIR") + QStringLiteral("/dalvenor");
}

struct Run {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

// Runs the program with the display variables replaced; a program that should have ended by
// itself and did not is killed and fails the caller's checks.
Run runProgram(const QStringList& arguments, const QMap<QString, QString>& environment) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program(), arguments);
    Run run;
    if (!process.waitForStarted(30000))
        return run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestStartupOptions : public QObject {
    Q_OBJECT
private slots:
    void commandFromArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("command");
        const int run = int(startup::Command::Run);
        const int version = int(startup::Command::PrintVersion);
        const int help = int(startup::Command::PrintHelp);
        QTest::newRow("none") << QStringList() << run;
        QTest::newRow("unknown ignored") << QStringList{"--frobnicate", "x.ini"} << run;
        QTest::newRow("version") << QStringList{"--version"} << version;
        QTest::newRow("short version") << QStringList{"-v"} << version;
        QTest::newRow("help") << QStringList{"--help"} << help;
        QTest::newRow("short help") << QStringList{"-h"} << help;
        QTest::newRow("after an unknown one") << QStringList{"--frobnicate", "--help"} << help;
        QTest::newRow("first of the two wins") << QStringList{"--version", "--help"} << version;
        QTest::newRow("not a prefix match") << QStringList{"--versions", "--helpme"} << run;
        QTest::newRow("case matters") << QStringList{"--VERSION"} << run;
    }

    void commandFromArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(int, command);
        QCOMPARE(int(startup::commandFromArguments(arguments)), command);
    }

    void choosePlatform_data() {
        QTest::addColumn<QByteArray>("qtPlatform");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<int>("platform");
        QTest::addColumn<bool>("asksX");
        const int user = int(startup::Platform::AsTheUserSet);
        const int xcb = int(startup::Platform::Xcb);
        const int none = int(startup::Platform::NoXDisplay);
        QTest::newRow("X11 session")
            << QByteArray() << QByteArray() << QByteArray(":0") << true << xcb << true;
        QTest::newRow("Wayland with XWayland")
            << QByteArray() << QByteArray("wayland-0") << QByteArray(":1") << true << xcb << true;
        QTest::newRow("Wayland, X display set but gone")
            << QByteArray() << QByteArray("wayland-0") << QByteArray(":1") << false << none << true;
        QTest::newRow("Wayland without XWayland")
            << QByteArray() << QByteArray("wayland-0") << QByteArray() << true << none << false;
        QTest::newRow("no display at all")
            << QByteArray() << QByteArray() << QByteArray() << true << none << false;
        QTest::newRow("blank DISPLAY")
            << QByteArray() << QByteArray() << QByteArray("  ") << true << none << false;
        QTest::newRow("user chose wayland") << QByteArray("wayland") << QByteArray("wayland-0")
                                            << QByteArray(":1") << true << user << false;
        QTest::newRow("user chose offscreen, no display")
            << QByteArray("offscreen") << QByteArray() << QByteArray() << false << user << false;
        QTest::newRow("blank QT_QPA_PLATFORM is no choice")
            << QByteArray(" ") << QByteArray("wayland-0") << QByteArray(":1") << true << xcb
            << true;
    }

    void choosePlatform() {
        QFETCH(QByteArray, qtPlatform);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, display);
        QFETCH(bool, reachable);
        QFETCH(int, platform);
        QFETCH(bool, asksX);
        QList<QByteArray> asked;
        const auto connectTest = [&](const QByteArray& value) {
            asked << value;
            return reachable;
        };
        QCOMPARE(int(startup::choosePlatform({qtPlatform, wayland, display}, connectTest)),
                 platform);
        // The connection is tried only when it decides something, and on DISPLAY itself.
        QCOMPARE(asked, asksX ? QList<QByteArray>{display} : QList<QByteArray>{});
    }

    void noXDisplayMessageIsBilingualAndNamesTheEnvironment() {
        const QString message = startup::noXDisplayMessage({{}, "wayland-7", ":42"});
        QVERIFY(message.contains(QStringLiteral("无法连接 X 显示")));
        QVERIFY(message.contains(QStringLiteral("cannot connect to an X display")));
        QVERIFY(message.contains(QStringLiteral("DISPLAY=:42")));
        QVERIFY(message.contains(QStringLiteral("WAYLAND_DISPLAY=wayland-7")));
        QVERIFY(startup::noXDisplayMessage({}).contains(QStringLiteral("DISPLAY is not set")));
    }

    // The real executable: these run without any display, as from a shell over ssh.
    void versionAndHelpOfTheProgram_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString version = QStringLiteral("dalvenor " DALVENOR_PROJECT_VERSION "\n");
        QTest::newRow("--version") << QStringList{"--version"} << version;
        QTest::newRow("unknown, then --version") << QStringList{"--bogus", "--version"} << version;
        QTest::newRow("--help") << QStringList{"--help"} << startup::helpText();
    }

    void versionAndHelpOfTheProgram() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const Run run = runProgram(arguments, {});
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
        QCOMPARE(run.err, QString());
    }

    void programWithoutAnXDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("display");
        QTest::newRow("Wayland session without XWayland") << QStringList() << "wayland-none"
                                                          << "";
        QTest::newRow("DISPLAY names no server") << QStringList{"--ignored"} << "wayland-none"
                                                 << ":31999";
        QTest::newRow("nothing at all") << QStringList() << ""
                                        << "";
    }

    void programWithoutAnXDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, wayland);
        QFETCH(QString, display);
        QMap<QString, QString> environment;
        if (!wayland.isEmpty())
            environment.insert("WAYLAND_DISPLAY", wayland);
        if (!display.isEmpty())
            environment.insert("DISPLAY", display);
        const Run run = runProgram(arguments, environment);
        // Ended by itself with the status, not by Qt's abort (a signal) nor left hanging.
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, startup::kNoDisplayExitCode);
        QVERIFY2(run.err.contains(QStringLiteral("无法连接 X 显示")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("cannot connect to an X display")),
                 qPrintable(run.err));
        QCOMPARE(run.out, QString());
    }
};

QTEST_GUILESS_MAIN(TestStartupOptions)
#include "tst_startup_options.moc"
