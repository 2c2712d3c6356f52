// The tray on a real X server: Xvfb, openbox and tint2 (the virtual desktop script), with the
// program under test started on it. Checks the icon inside tint2's notification area, the menu
// a right click opens (six items, read from the screen), "关于...(&A)", the icon coming back
// after tint2 restarts or appears late, and "退出(&E)".
// Built twice: against tests/tray/tray_probe and against the real program, which makes the
// whole test skip (exit code 77) while it has not been built; so does a missing tool. With
// DALVENOR_REQUIRE_DESKTOP=1 (the test script sets it) a skip is a failure instead.
// Every X client here (the program, tint2, xdotool, the test itself) has a connection of its own
// and the server keeps no order between them: every check of something another client did polls
// until it holds, with a generous limit.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "desktop_kit.h"

#include <csignal>
#include <memory>
#include <optional>

#ifndef TRAY_DESKTOP_PROGRAM
#error "TRAY_DESKTOP_PROGRAM names the program under test"
#endif

namespace {

using desktopkit::kWaitMs;
using desktopkit::waitFor;
using XWindow = desktopkit::Window;
// One right click waits this long for its menu before clicking again.
constexpr int kMenuWaitMs = 10000;

QString programPath() {
    const QString name = QStringLiteral(TRAY_DESKTOP_PROGRAM);
    if (name == QLatin1String("dalvenor"))
        return qEnvironmentVariable("DALVENOR_BIN_DIR") + QStringLiteral("/dalvenor");
    return QCoreApplication::applicationDirPath() + u'/' + name;
}

QString programName() {
    return QFileInfo(programPath()).fileName();
}

} // namespace

class TstTrayDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void iconSitsInTheTrayHost();
    void rightClickOpensTheSixItemMenu();
    void aboutItemOpensAboutWindow();
    void iconComesBackWhenTrayHostRestarts();
    void exitRemovesIconAndEndsProcess();
    void iconAppearsWhenTrayHostStartsLate();

private:
    QString run(const QString& tool, const QStringList& arguments) {
        return desktopkit::run(m_env, tool, arguments);
    }
    QList<XWindow> tree() { return m_x->tree(); }
    std::optional<XWindow> dockedIcon() { return desktopkit::dockedIcon(tree(), programName()); }
    std::optional<XWindow> openMenu() {
        return desktopkit::newMenu(tree(), programName(), m_viewableBeforeClick, 6);
    }
    QImage screenshot() { return m_x->screenshot(); }
    void startProgram();
    void startTint2();
    void stopTint2();
    bool rightClickIcon(XWindow* menu);
    void clickMenuItem(const XWindow& menu, int index, int count);
    int iconColours(const QRect& rect);
    int menuLines(const QImage& before, const XWindow& menu);
    bool aboutWindowShown(QString* id = nullptr);

    QTemporaryDir m_dir;
    QString m_stateFile;
    QString m_display;
    qint64 m_tint2Pid = 0;
    QProcessEnvironment m_env;
    std::unique_ptr<desktopkit::XConnection> m_x;
    std::unique_ptr<QProcess> m_program;
    QString m_programCopy; // what runs: the probe, or a portable copy of the program
    // A tint2 this test started again; a child of the test, so that it ends with the test.
    std::unique_ptr<QProcess> m_tint2;
    quint32 m_lastMenuId = 0;
    bool m_started = false;
    bool m_iconMissing = false;
    QSet<quint32> m_viewableBeforeClick;
};

void TstTrayDesktop::initTestCase() {
    QVERIFY2(QFile::exists(virtualdesktop::script()), qPrintable(virtualdesktop::script()));
    QVERIFY(m_dir.isValid());
    m_stateFile = m_dir.filePath(QStringLiteral("desktop.state"));
    QString error;
    m_display = virtualdesktop::start(m_stateFile, &error);
    m_started = true;
    QVERIFY2(!m_display.isEmpty(), qPrintable(error));
    m_tint2Pid = virtualdesktop::stateValue(m_stateFile, "TINT2_PID").toLongLong();
    QVERIFY(m_tint2Pid > 0);
    m_env = virtualdesktop::environmentFor(m_display);
    m_x = std::make_unique<desktopkit::XConnection>(m_display);
    QVERIFY2(m_x->connected(), "no X connection to the virtual desktop");
    m_programCopy = programPath();
    if (QLatin1String(TRAY_DESKTOP_PROGRAM) == QLatin1String("dalvenor")) {
        // A portable copy in the test's folder: whatever the program writes stays there.
        QString error;
        m_programCopy = virtualdesktop::portableCopy(
            programPath(), m_dir.filePath(QStringLiteral("program")), &error);
        QVERIFY2(!m_programCopy.isEmpty(), qPrintable(error));
    }
    startProgram();
}

void TstTrayDesktop::cleanupTestCase() {
    if (m_program && m_program->state() != QProcess::NotRunning) {
        m_program->kill();
        m_program->waitForFinished(5000);
    }
    m_x.reset();
    // The state file names the tint2 started last, so that stop ends it too.
    if (m_started)
        virtualdesktop::stop(m_stateFile);
}

void TstTrayDesktop::init() {
    // Without the icon every later step would only wait out its time.
    if (m_iconMissing)
        QFAIL("the program never showed its icon in the tray");
}

void TstTrayDesktop::startProgram() {
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(m_env);
    m_program->setWorkingDirectory(QFileInfo(m_programCopy).absolutePath());
    m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program->start(m_programCopy, {});
    QVERIFY2(m_program->waitForStarted(kWaitMs), qPrintable(m_program->errorString()));
}

bool TstTrayDesktop::rightClickIcon(XWindow* menu) {
    const std::optional<XWindow> icon = waitFor([this] { return dockedIcon(); });
    if (!icon)
        return false;
    // The popup window is kept and shown again: while the last one still closes, it would
    // count as a window that was there before the click.
    if (m_lastMenuId != 0 && !waitFor([this] { return !m_x->isViewable(m_lastMenuId); }))
        return false;
    const QPoint centre = icon->rect.center();
    m_viewableBeforeClick = desktopkit::ids(desktopkit::viewableOfClass(tree(), programName()));
    // A click that lands while the previous popup is still closing can be swallowed by it:
    // try again a few times, each time waiting for the menu to appear.
    for (int attempt = 0; attempt < 3; ++attempt) {
        desktopkit::click(m_env, centre, 3);
        if (const std::optional<XWindow> found =
                waitFor([this] { return openMenu(); }, kMenuWaitMs)) {
            m_lastMenuId = found->id;
            if (menu)
                *menu = *found;
            return true;
        }
    }
    return false;
}

void TstTrayDesktop::clickMenuItem(const XWindow& menu, int index, int count) {
    desktopkit::click(m_env, desktopkit::menuItemPoint(menu.rect, index, count));
}

void TstTrayDesktop::startTint2() {
    // Not detached: a detached process leaves the test's process group, and a test that is
    // killed at its time limit would leave it running.
    m_tint2 = std::make_unique<QProcess>();
    m_tint2->setProcessEnvironment(m_env);
    m_tint2->setProgram(QStringLiteral("tint2"));
    m_tint2->setStandardOutputFile(QProcess::nullDevice());
    m_tint2->setStandardErrorFile(QProcess::nullDevice());
    m_tint2->start();
    QVERIFY2(m_tint2->waitForStarted(kWaitMs), qPrintable(m_tint2->errorString()));
    const qint64 pid = m_tint2->processId();
    m_tint2Pid = pid;
    QFile state(m_stateFile);
    QVERIFY(state.open(QIODevice::ReadOnly));
    QByteArray text = state.readAll();
    state.close();
    QStringList lines = QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& l) { return l.startsWith(QStringLiteral("TINT2_PID=")); });
    lines << QStringLiteral("TINT2_PID=%1").arg(pid);
    QVERIFY(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
    state.write((lines.join(u'\n') + u'\n').toUtf8());
}

void TstTrayDesktop::stopTint2() {
    ::kill(pid_t(m_tint2Pid), SIGTERM);
    const bool gone = waitFor([this] {
        for (const XWindow& w : tree()) {
            if (w.instance == QLatin1String("tint2"))
                return false;
        }
        return true;
    });
    QVERIFY2(gone, "tint2 did not go away");
    if (m_tint2)
        m_tint2->waitForFinished(kWaitMs); // ours: reaped here
}

// The number of colours in rect of the screen.
int TstTrayDesktop::iconColours(const QRect& rect) {
    const QImage shot = screenshot();
    if (shot.isNull())
        return 0;
    const QImage image = shot.copy(rect);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

// The caption lines drawn in the open menu: bands of rows with dark pixels in the caption
// column. -1 while the menu's area does not show the popup yet (mapped is not yet painted).
int TstTrayDesktop::menuLines(const QImage& before, const XWindow& menu) {
    const QImage after = screenshot();
    if (after.isNull())
        return -1;
    int changed = 0;
    for (int y = menu.rect.top(); y <= menu.rect.bottom(); ++y) {
        for (int x = menu.rect.left(); x <= menu.rect.right(); ++x)
            changed += before.pixel(x, y) != after.pixel(x, y) ? 1 : 0;
    }
    if (changed <= menu.rect.width() * menu.rect.height() / 3)
        return -1;

    const QImage image = after.copy(menu.rect);
    int bands = 0;
    int gap = 99;
    for (int y = 0; y < image.height(); ++y) {
        bool dark = false;
        for (int x = image.width() / 8; x < image.width() / 2 && !dark; ++x)
            dark = qGray(image.pixel(x, y)) < 110;
        if (dark && gap >= 4)
            bands++;
        gap = dark ? 0 : gap + 1;
    }
    return bands;
}

bool TstTrayDesktop::aboutWindowShown(QString* id) {
    const QList<XWindow> shown = desktopkit::viewableNamed(tree(), QStringLiteral("关于 Dalvenor"));
    if (id)
        *id = shown.isEmpty() ? QString() : shown.first().idText();
    return !shown.isEmpty();
}

void TstTrayDesktop::iconSitsInTheTrayHost() {
    const std::optional<XWindow> icon = waitFor([this] { return dockedIcon(); });
    m_iconMissing = !icon;
    if (!icon)
        for (const XWindow& w : tree())
            qWarning().noquote() << QString(w.depth, u' ') << w.id << w.name << w.instance
                                 << w.wmClass << w.rect << w.viewable;
    QVERIFY2(icon, "no icon of the program inside tint2");
    QVERIFY(icon->rect.width() >= 16 && icon->rect.width() <= 64);
    // The icon shows an image, not an empty square of the panel's colour. It is mapped before
    // the program paints it.
    QVERIFY2(waitFor([this, &icon] { return iconColours(icon->rect) >= 3; }),
             "the icon area is blank");
}

void TstTrayDesktop::rightClickOpensTheSixItemMenu() {
    const QImage before = screenshot();
    QVERIFY(!before.isNull());
    XWindow menu;
    QVERIFY2(rightClickIcon(&menu), "no menu after a right click on the icon");

    // The popup really was drawn (most of its area changed), with six lines of captions.
    int lines = -1;
    waitFor([&] {
        lines = menuLines(before, menu);
        return lines == 6;
    });
    QVERIFY2(lines >= 0, "the menu's area does not show the popup");
    QCOMPARE(lines, 6);

    // A click outside closes the popup without choosing anything.
    desktopkit::click(m_env, QPoint(5, 5));
    QVERIFY(waitFor([this] { return !openMenu().has_value(); }));
}

void TstTrayDesktop::aboutItemOpensAboutWindow() {
    XWindow menu;
    QVERIFY(rightClickIcon(&menu));
    clickMenuItem(menu, 0, 6);
    QString about;
    QVERIFY2(waitFor([this, &about] { return aboutWindowShown(&about); }),
             "no window named 关于 Dalvenor");
    // Like every dialog of the program, it has no taskbar entry: tint2 lists no window that
    // carries the skip-taskbar state.
    QVERIFY(waitFor([this, &about] {
        return m_x->hasState(desktopkit::windowId(about), "_NET_WM_STATE_SKIP_TASKBAR");
    }));
    // Esc closes it again. The key goes to whichever window has the focus when the server
    // reads it; should the dialog not have it yet, the key is pressed again.
    bool closed = false;
    for (int attempt = 0; attempt < 3 && !closed; ++attempt) {
        run(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), about});
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
        closed = waitFor([this] { return !aboutWindowShown(); }, kMenuWaitMs);
    }
    QVERIFY2(closed, "Esc did not close the about window");
}

void TstTrayDesktop::iconComesBackWhenTrayHostRestarts() {
    QVERIFY(waitFor([this] { return dockedIcon(); }));
    stopTint2();
    startTint2();
    QVERIFY2(waitFor([this] { return dockedIcon(); }), "the icon did not come back");
    QVERIFY(m_program->state() == QProcess::Running);
}

void TstTrayDesktop::exitRemovesIconAndEndsProcess() {
    XWindow menu;
    QVERIFY(rightClickIcon(&menu));
    clickMenuItem(menu, 5, 6);
    QVERIFY(m_program->waitForFinished(kWaitMs));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);
    // The server removes the icon when it has read the end of the program's connection.
    QVERIFY2(waitFor([this] { return !dockedIcon().has_value(); }), "the icon stayed");
}

void TstTrayDesktop::iconAppearsWhenTrayHostStartsLate() {
    stopTint2();
    startProgram();
    // The program runs without a host for a while: wait until it has its windows.
    QVERIFY(waitFor([this] {
        for (const XWindow& w : tree()) {
            if (w.ofClass(programName()) || w.name.contains(programName()))
                return true;
        }
        return false;
    }));
    QVERIFY(!dockedIcon().has_value());
    startTint2();
    QVERIFY2(waitFor([this] { return dockedIcon(); }), "the icon did not dock in the late host");
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (!QFileInfo(programPath()).isExecutable())
        return desktopkit::skip(QStringLiteral("%1 has not been built").arg(programPath()));
    const QString missing = desktopkit::missingTool({"Xvfb", "openbox", "tint2", "xdotool"});
    if (!missing.isEmpty())
        return desktopkit::skip(QStringLiteral("%1 is not installed").arg(missing));
    TstTrayDesktop test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tray_desktop.moc"
