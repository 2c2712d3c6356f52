// The reminder pop-up on a real X server (Xvfb, openbox and tint2 from the virtual desktop
// script) with the real program: the reminder is confirmed through the tray menu and the
// "提醒窗口" tab, a window the user types in is focused, and then the pop-up must rise at the
// bottom right above the other windows, leave the keyboard where it was and close by itself.
// The program runs under libfaketime's speed-up, so its minute passes in a few real seconds;
// nothing in the program knows about it.
// Skips (exit code 77) while the program, libfaketime or a tool is missing; with
// DALVENOR_REQUIRE_DESKTOP=1 a skip is a failure instead. Every check of something another X
// client did is polled with a generous limit.
#include "desktop_kit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

namespace {

using desktopkit::kWaitMs;
// The program's clock runs this many times faster: its minute takes 12 s, the slide about 8 s.
constexpr int kSpeedUp = 5;
const QString kTitle = QStringLiteral("学习提醒");
const QString kProbeTitle = QStringLiteral("caution-typing-probe");

const char* const kFakeTimeLibraries[] = {
    "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
    "/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1",
    "/usr/lib/faketime/libfaketime.so.1",
};

using desktopkit::waitFor;
using desktopkit::Window;

} // namespace

class TstCautionDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void popupRisesAboveWithoutTakingTheKeyboardAndCloses();

private:
    void skip(const char* why);
    QString run(const QStringList& command, int* exitCode = nullptr, int timeoutMs = kWaitMs);
    static QString atspiKit();
    static QString pythonForAtspi();
    QStringList visibleWindows(const QString& nameOrClass, bool byClass = false);
    QString activeWindowName();
    QString trayIconCentre();
    bool confirmReminder();

    QTemporaryDir m_dir;
    QString m_stateFile;
    QString m_typedFile;
    QProcessEnvironment m_env;
    std::unique_ptr<desktopkit::XConnection> m_x;
    std::unique_ptr<QProcess> m_program;
    std::unique_ptr<QProcess> m_probe;
    // The session bus with the accessibility bus on it (atspi_kit.py buses), and its address.
    std::unique_ptr<QProcess> m_buses;
    QString m_sessionBus;
    bool m_started = false;
};

void TstCautionDesktop::skip(const char* why) {
    if (qEnvironmentVariableIntValue("DALVENOR_REQUIRE_DESKTOP") == 1)
        QFAIL(why);
    qWarning("skipped: %s", why);
    std::exit(77);
}

QString TstCautionDesktop::run(const QStringList& command, int* exitCode, int timeoutMs) {
    return desktopkit::run(m_env, command.first(), command.mid(1), exitCode, timeoutMs);
}

QString TstCautionDesktop::atspiKit() {
    return qEnvironmentVariable("DALVENOR_SOURCE_DIR") +
           QStringLiteral("/tests/support/atspi_kit.py");
}

// Debian's python3-pyatspi lives beside the system's interpreter.
QString TstCautionDesktop::pythonForAtspi() {
    const QString system = QStringLiteral("/usr/bin/python3");
    return QFileInfo(system).isExecutable() ? system : QStringLiteral("python3");
}

// The ids (as xdotool takes them) of the viewable windows of this name or WM_CLASS.
QStringList TstCautionDesktop::visibleWindows(const QString& nameOrClass, bool byClass) {
    const QList<Window> tree = m_x->tree();
    QStringList ids;
    for (const Window& w : byClass ? desktopkit::viewableOfClass(tree, nameOrClass)
                                   : desktopkit::viewableNamed(tree, nameOrClass))
        ids.append(w.idText());
    return ids;
}

QString TstCautionDesktop::activeWindowName() {
    return run({QStringLiteral("xdotool"), QStringLiteral("getactivewindow"),
                QStringLiteral("getwindowname")});
}

// The program's icon inside tint2's notification area (the panel is at the bottom).
QString TstCautionDesktop::trayIconCentre() {
    const std::optional<Window> icon =
        desktopkit::dockedIcon(m_x->tree(), QStringLiteral("dalvenor"));
    if (!icon || icon->rect.width() > 64 || icon->rect.height() > 64 || icon->rect.top() <= 600)
        return {};
    return QStringLiteral("%1 %2").arg(icon->rect.center().x()).arg(icon->rect.center().y());
}

// Tray menu "附加功能...(&D)", tab "提醒窗口" (the file gave its boxes), "确认".
bool TstCautionDesktop::confirmReminder() {
    const QString icon = waitFor([&] { return trayIconCentre(); });
    if (icon.isEmpty()) {
        qWarning("no tray icon");
        return false;
    }
    const QPoint iconCentre(icon.section(u' ', 0, 0).toInt(), icon.section(u' ', 1, 1).toInt());
    QSet<quint32> before =
        desktopkit::ids(desktopkit::viewableOfClass(m_x->tree(), QStringLiteral("dalvenor")));
    // A click the menu did not take yet (it opens while the pointer arrives) is tried again,
    // the menu closed with Escape first.
    QString addins;
    const auto openMenu = [&] {
        return desktopkit::newMenu(m_x->tree(), QStringLiteral("dalvenor"), before, 6);
    };
    for (int attempt = 0; attempt < 4 && addins.isEmpty(); ++attempt) {
        // A menu still open from the attempt before is closed first; a click on the icon
        // would only close it. A window of a menu's size that Escape does not close is no
        // menu (a tooltip, a notice): it is left out of the search from then on.
        if (const std::optional<Window> open = openMenu()) {
            run({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Escape")});
            if (!waitFor([&] { return !openMenu(); }, 5000)) {
                qInfo("attempt %d: 0x%x \"%s\" at %d,%d %dx%d stays after Escape; not a menu",
                      attempt + 1, open->id, qPrintable(open->name), open->rect.x(), open->rect.y(),
                      open->rect.width(), open->rect.height());
                before.insert(open->id);
            }
        }
        desktopkit::click(m_env, iconCentre, 3);
        // The menu where it stays: found twice at the same place.
        std::optional<QRect> last;
        const std::optional<Window> menu = waitFor(
            [&]() -> std::optional<Window> {
                const std::optional<Window> found = openMenu();
                const bool settled = found && last && *last == found->rect;
                last = found ? std::optional<QRect>(found->rect) : std::nullopt;
                return settled ? found : std::nullopt;
            },
            kWaitMs / 3);
        if (!menu) {
            qInfo("attempt %d: no tray menu", attempt + 1);
            continue;
        }
        // "附加功能...(&D)", the fifth of six items. Its first opening makes the whole window,
        // which takes a while on a busy machine.
        desktopkit::click(m_env, desktopkit::menuItemPoint(menu->rect, 4, 6));
        addins = waitFor([&] { return visibleWindows(QStringLiteral("附加功能")).value(0); });
        if (addins.isEmpty())
            qInfo("attempt %d: the menu at %d,%d %dx%d gave no 附加功能 window", attempt + 1,
                  menu->rect.x(), menu->rect.y(), menu->rect.width(), menu->rect.height());
    }
    if (addins.isEmpty()) {
        qWarning("no 附加功能 window from the tray menu");
        return false;
    }
    // Found by name over AT-SPI, never by a point on the screen: the tab "提醒窗口" is selected
    // and, once its own label shows, its own "确认" pressed, or nothing is; a lost key or a
    // shifted layout can never reach the power tab's "开始执行" instead.
    int pressed = -1;
    const QString said =
        run({pythonForAtspi(), atspiKit(), QStringLiteral("press"), m_sessionBus,
             QString::number(m_program->processId()), QStringLiteral("附加功能"),
             QStringLiteral("提醒窗口"), QStringLiteral("提醒窗口标题"), QStringLiteral("确认")},
            &pressed, 2 * kWaitMs);
    if (pressed != 0) {
        qWarning("\"确认\" on \"提醒窗口\" was not pressed: %s", qPrintable(said));
        return false;
    }
    // "确认" hides the window.
    if (waitFor([&] { return visibleWindows(QStringLiteral("附加功能")).isEmpty(); }))
        return true;
    for (const QString& id : visibleWindows(QStringLiteral("dalvenor"), true)) {
        qWarning("still showing: %s %s", qPrintable(id),
                 qPrintable(run({QStringLiteral("xdotool"), QStringLiteral("getwindowname"), id})));
    }
    return false;
}

void TstCautionDesktop::initTestCase() {
    const QString program = qEnvironmentVariable("DALVENOR_BIN_DIR") + QStringLiteral("/dalvenor");
    if (!QFileInfo(program).isExecutable())
        skip("the program is not built");
    QString fakeTime;
    for (const char* candidate : kFakeTimeLibraries) {
        if (QFileInfo::exists(QString::fromLatin1(candidate)))
            fakeTime = QString::fromLatin1(candidate);
    }
    if (fakeTime.isEmpty())
        skip("libfaketime (package faketime) is not installed");
    for (const char* tool : {"xdotool", "Xvfb", "openbox", "tint2", "dbus-daemon", "dbus-send"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            skip("a tool of the virtual desktop is missing");
    }
    if (!QFileInfo(QStringLiteral("/usr/libexec/at-spi-bus-launcher")).isExecutable())
        skip("the accessibility bus (package at-spi2-core) is not installed");
    {
        QProcess probe;
        probe.start(pythonForAtspi(), {QStringLiteral("-c"), QStringLiteral("import pyatspi")});
        if (!probe.waitForFinished(kWaitMs) || probe.exitStatus() != QProcess::NormalExit ||
            probe.exitCode() != 0)
            skip("python3-pyatspi is not installed");
    }

    QVERIFY(m_dir.isValid());
    m_stateFile = m_dir.filePath(QStringLiteral("desktop.state"));
    QString error;
    const QString display = virtualdesktop::start(m_stateFile, &error);
    m_started = true;
    QVERIFY2(!display.isEmpty(), qPrintable(error));
    m_env = virtualdesktop::environmentFor(display);

    m_x = std::make_unique<desktopkit::XConnection>(display);
    QVERIFY2(m_x->connected(), "no X connection to the virtual desktop");

    // A portable copy, without the build's data files: its own folder is its data folder,
    // where settings.ini is read and its files are written.
    const QString folder = m_dir.filePath(QStringLiteral("program"));
    const QString copy = virtualdesktop::portableCopy(program, folder, &error, {});
    QVERIFY2(!copy.isEmpty(), qPrintable(error));
    QFile settings(folder + QStringLiteral("/settings.ini"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    QStringEncoder gbk("GBK");
    settings.write(QByteArray(gbk.encode(kTitle)) + "\r\nstudy now\r\n1\r\n");
    settings.close();

    // A session bus of the test's own, with the accessibility bus through which "确认" is found.
    m_buses = std::make_unique<QProcess>();
    m_buses->setProcessEnvironment(m_env);
    m_buses->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_buses->start(pythonForAtspi(), {atspiKit(), QStringLiteral("buses")});
    QVERIFY(m_buses->waitForStarted(kWaitMs));
    QVERIFY2(waitFor([&] { return m_buses->canReadLine(); }, 2 * kWaitMs),
             "the session and accessibility buses did not start");
    const QString busLine = QString::fromUtf8(m_buses->readLine()).trimmed();
    QVERIFY2(busLine.startsWith(QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:")),
             qPrintable(busLine));
    m_sessionBus = busLine.section(u'=', 1);

    QProcessEnvironment programEnv = m_env;
    programEnv.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionBus);
    programEnv.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    programEnv.insert(QStringLiteral("LD_PRELOAD"), fakeTime);
    programEnv.insert(QStringLiteral("FAKETIME"), QStringLiteral("+0 x%1").arg(kSpeedUp));
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(programEnv);
    m_program->setWorkingDirectory(folder);
    m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program->start(copy, {});
    QVERIFY2(m_program->waitForStarted(kWaitMs), qPrintable(m_program->errorString()));
}

void TstCautionDesktop::cleanupTestCase() {
    for (auto* process : {m_probe.get(), m_program.get()}) {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    if (m_buses && m_buses->state() != QProcess::NotRunning) {
        m_buses->closeWriteChannel(); // it stops both buses when its input closes
        if (!m_buses->waitForFinished(kWaitMs)) {
            m_buses->kill();
            m_buses->waitForFinished(5000);
        }
    }
    m_x.reset();
    if (m_started)
        virtualdesktop::stop(m_stateFile);
}

void TstCautionDesktop::popupRisesAboveWithoutTakingTheKeyboardAndCloses() {
    QVERIFY2(confirmReminder(), "could not confirm the reminder on \"提醒窗口\"");

    // The window the user types in, focused before the pop-up comes.
    m_typedFile = m_dir.filePath(QStringLiteral("typed.txt"));
    m_probe = std::make_unique<QProcess>();
    m_probe->setProcessEnvironment(m_env);
    m_probe->start(QCoreApplication::applicationDirPath() + QStringLiteral("/caution_typing_probe"),
                   {m_typedFile});
    QVERIFY(m_probe->waitForStarted(kWaitMs));
    const QString probe = waitFor([&] { return visibleWindows(kProbeTitle).value(0); });
    QVERIFY(!probe.isEmpty());
    run({QStringLiteral("xdotool"), QStringLiteral("windowactivate"), QStringLiteral("--sync"),
         probe});
    QVERIFY(waitFor([&] { return activeWindowName() == kProbeTitle; }));

    // One minute of the program's clock (12 s here), counted from "确认".
    const QString popup = waitFor([&] { return visibleWindows(kTitle).value(0); }, 90000);
    QVERIFY2(!popup.isEmpty(), "the reminder never popped up");

    // Typing goes on in the focused window while the pop-up is up.
    run({QStringLiteral("xdotool"), QStringLiteral("type"), QStringLiteral("--delay"),
         QStringLiteral("20"), QStringLiteral("still typing")});
    QVERIFY(waitFor([&] {
        QFile typed(m_typedFile);
        return typed.open(QIODevice::ReadOnly) && typed.readAll() == "still typing";
    }));
    QCOMPARE(activeWindowName(), kProbeTitle);

    // Risen at the bottom right: 200 twips (13 px) from the right edge, its bottom at least 450
    // twips (30 px) above the bottom of the 1280 x 800 screen.
    const std::optional<QRect> frame = waitFor([&]() -> std::optional<QRect> {
        const std::optional<QRect> r = m_x->frame(desktopkit::windowId(popup));
        if (r && r->bottom() + 1 <= 800 - 30)
            return r;
        return std::nullopt;
    });
    QVERIFY2(frame, "the pop-up did not rise");
    QVERIFY(visibleWindows(kTitle).contains(popup)); // still up while it is checked
    QVERIFY2(qAbs(frame->right() + 1 - (1280 - 13)) <= 1,
             qPrintable(QStringLiteral("right edge at %1").arg(frame->right() + 1)));
    QVERIFY2(frame->bottom() + 1 >= 800 - 30 - 16,
             qPrintable(QStringLiteral("bottom edge at %1").arg(frame->bottom() + 1)));
    // Above the other windows: marked so, and stacked over the focused window.
    QVERIFY(m_x->hasState(desktopkit::windowId(popup), "_NET_WM_STATE_ABOVE"));
    const QList<quint32> stacking = m_x->property32(m_x->root(), "_NET_CLIENT_LIST_STACKING");
    const qsizetype above = stacking.indexOf(desktopkit::windowId(popup));
    const qsizetype below = stacking.indexOf(desktopkit::windowId(probe));
    QVERIFY2(above > below && below >= 0, qPrintable(QStringLiteral("stacked at %1 and %2 of %3")
                                                         .arg(above)
                                                         .arg(below)
                                                         .arg(stacking.size())));
    QCOMPARE(activeWindowName(), kProbeTitle);

    // It sinks and closes by itself (about 42 s of the program's clock), and the program lives on.
    QVERIFY2(waitFor([&] { return visibleWindows(kTitle).isEmpty(); }, 120000),
             "the pop-up did not close by itself");
    QCOMPARE(m_program->state(), QProcess::Running);
    QCOMPARE(activeWindowName(), kProbeTitle);
}

QTEST_GUILESS_MAIN(TstCautionDesktop)
#include "tst_caution_desktop.moc"
