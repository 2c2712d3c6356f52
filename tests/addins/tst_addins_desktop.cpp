// "附加功能" on a real X server (Xvfb, openbox and tint2 from the virtual desktop script) with
// the real program: opened from the tray icon's menu by the mouse, its five tab captions read
// from the screen, closed by the window manager's close, and opened again the same way.
// Skips (77) while the program or a tool is missing, unless DALVENOR_REQUIRE_DESKTOP=1.
// Every check of something another X client did is polled with a generous limit.
#include "desktop_kit.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

namespace {

using desktopkit::kWaitMs;
using desktopkit::waitFor;
using desktopkit::Window;
constexpr int kMenuWaitMs = 10000;
constexpr int kMenuItems = 6;
constexpr int kAddinsItem = 4;
const QString kProgramClass = QStringLiteral("dalvenor");

QString programPath() {
    return qEnvironmentVariable("DALVENOR_BIN_DIR") + QStringLiteral("/dalvenor");
}

// Horizontal runs of columns holding dark pixels, merged across gaps narrower than minGap:
// the captions of a row of tabs, one run per caption.
QList<QPair<int, int>> textRuns(const QImage& band, int minGap) {
    QList<QPair<int, int>> runs;
    int gap = minGap;
    for (int x = 0; x < band.width(); ++x) {
        bool dark = false;
        for (int y = 0; y < band.height() && !dark; ++y)
            dark = qGray(band.pixel(x, y)) < 100;
        if (dark) {
            if (gap >= minGap || runs.isEmpty())
                runs.append({x, x});
            else
                runs.last().second = x;
            gap = 0;
        } else {
            ++gap;
        }
    }
    return runs;
}

} // namespace

class TstAddinsDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void menuOpensTheWindowWithFiveTabs();
    void closeHidesAndMenuBringsItBack();

private:
    QString run(const QString& tool, const QStringList& arguments) {
        return desktopkit::run(m_env, tool, arguments);
    }
    std::optional<Window> dockedIcon() {
        return desktopkit::dockedIcon(m_x->tree(), kProgramClass);
    }
    bool chooseAddins();
    QString addinsWindow();
    QImage clientArea(const QString& id);
    QList<QPair<int, int>> tabCaptions(const QString& id);

    QTemporaryDir m_dir;
    QString m_stateFile;
    QProcessEnvironment m_env;
    std::unique_ptr<desktopkit::XConnection> m_x;
    std::unique_ptr<QProcess> m_program;
    bool m_started = false;
    QList<QPair<int, int>> m_firstCaptions;
    QImage m_firstLook; // the window's client area at its first showing
};

void TstAddinsDesktop::initTestCase() {
    QVERIFY(QFile::exists(virtualdesktop::script()));
    QVERIFY(m_dir.isValid());
    m_stateFile = m_dir.filePath(QStringLiteral("desktop.state"));
    QString error;
    const QString display = virtualdesktop::start(m_stateFile, &error);
    m_started = true;
    QVERIFY2(!display.isEmpty(), qPrintable(error));
    m_env = virtualdesktop::environmentFor(display);
    m_x = std::make_unique<desktopkit::XConnection>(display);
    QVERIFY2(m_x->connected(), "no X connection to the virtual desktop");
    // A portable copy in the test's folder: whatever it writes stays there.
    const QString copy = virtualdesktop::portableCopy(
        programPath(), m_dir.filePath(QStringLiteral("program")), &error);
    QVERIFY2(!copy.isEmpty(), qPrintable(error));
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(m_env);
    m_program->setWorkingDirectory(m_dir.path());
    m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program->start(copy, {});
    QVERIFY2(m_program->waitForStarted(kWaitMs), qPrintable(m_program->errorString()));
    QVERIFY2(waitFor([this] { return dockedIcon(); }), "no icon of the program in the tray");
}

void TstAddinsDesktop::cleanupTestCase() {
    if (m_program && m_program->state() != QProcess::NotRunning) {
        m_program->kill();
        m_program->waitForFinished(5000);
    }
    m_x.reset();
    if (m_started)
        virtualdesktop::stop(m_stateFile);
}

// Right-clicks the icon and chooses "附加功能...(&D)".
bool TstAddinsDesktop::chooseAddins() {
    const std::optional<Window> icon = waitFor([this] { return dockedIcon(); });
    if (!icon)
        return false;
    const QSet<quint32> before =
        desktopkit::ids(desktopkit::viewableOfClass(m_x->tree(), kProgramClass));
    for (int attempt = 0; attempt < 3; ++attempt) {
        desktopkit::click(m_env, icon->rect.center(), 3);
        const std::optional<Window> menu = waitFor(
            [&] { return desktopkit::newMenu(m_x->tree(), kProgramClass, before, kMenuItems); },
            kMenuWaitMs);
        if (!menu)
            continue;
        desktopkit::click(m_env, desktopkit::menuItemPoint(menu->rect, kAddinsItem, kMenuItems));
        return true;
    }
    return false;
}

QImage TstAddinsDesktop::clientArea(const QString& id) {
    const QRect window = m_x->geometry(desktopkit::windowId(id)).value_or(QRect());
    const QImage shot = m_x->screenshot();
    if (shot.isNull() || window.isEmpty())
        return {};
    return shot.copy(window).convertToFormat(QImage::Format_RGB32);
}

// Pixels that differ between two images of the same size (all of them when the sizes differ).
static int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return a.width() * a.height() + 1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

QString TstAddinsDesktop::addinsWindow() {
    const QList<Window> shown = desktopkit::viewableNamed(m_x->tree(), QStringLiteral("附加功能"));
    return shown.isEmpty() ? QString() : shown.first().idText();
}

// The caption runs in the window's tab row, once the window shows them (mapped is not yet
// painted): five runs, or nothing yet.
QList<QPair<int, int>> TstAddinsDesktop::tabCaptions(const QString& id) {
    const QRect window = m_x->geometry(desktopkit::windowId(id)).value_or(QRect());
    const QImage shot = m_x->screenshot();
    if (shot.isNull() || window.isEmpty())
        return {};
    // The tab row: the top 24 pixels of the client area, without its rounded ends.
    const QImage band = shot.copy(window.left(), window.top() + 4, window.width(), 16);
    const QList<QPair<int, int>> runs = textRuns(band, 12);
    return runs.size() == 5 ? runs : QList<QPair<int, int>>{};
}

void TstAddinsDesktop::menuOpensTheWindowWithFiveTabs() {
    QVERIFY2(chooseAddins(), "no menu after a right click on the icon");
    QString id;
    QVERIFY2(waitFor([&] {
                 id = addinsWindow();
                 return !id.isEmpty();
             }),
             "no visible window named 附加功能");
    // Neither the start nor the window with the power tab asked the system bus anything: it is
    // connected only once an action is armed. A connection is noted before the program may go
    // on (the stand-in answers by closing it), so one made by now is listed.
    const QStringList asked = virtualdesktop::systemBusConnections();
    QVERIFY2(asked.isEmpty(), qPrintable(asked.join(u'\n')));
    const QRect geometry = m_x->geometry(desktopkit::windowId(id)).value_or(QRect());
    QCOMPARE(geometry.size(), QSize(426, 241));
    // "小日历", "定时关机", "版本说明", "提醒窗口", "自定义倒计时": three, four, four, four and
    // six characters of about 12 pixels.
    QList<QPair<int, int>> runs;
    QVERIFY2(waitFor([&] {
                 runs = tabCaptions(id);
                 return !runs.isEmpty();
             }),
             "the tab row does not show five captions");
    const int expectedChars[5] = {3, 4, 4, 4, 6};
    for (int i = 0; i < 5; ++i) {
        const int width = runs[i].second - runs[i].first + 1;
        QVERIFY2(qAbs(width - expectedChars[i] * 12) <= expectedChars[i] * 3,
                 qPrintable(QStringLiteral("tab %1 caption is %2 pixels wide").arg(i).arg(width)));
    }
    m_firstCaptions = runs;
    m_firstLook = clientArea(id);
    QVERIFY(!m_firstLook.isNull());
}

void TstAddinsDesktop::closeHidesAndMenuBringsItBack() {
    QString id = addinsWindow();
    QVERIFY(!id.isEmpty());
    // The window manager's close (Alt+F4 in openbox), which the window answers by hiding.
    bool closed = false;
    for (int attempt = 0; attempt < 3 && !closed; ++attempt) {
        run(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+F4")});
        closed = waitFor([this] { return addinsWindow().isEmpty(); }, kMenuWaitMs);
    }
    QVERIFY2(closed, "the window did not go away");
    QCOMPARE(m_program->state(), QProcess::Running);

    QVERIFY(chooseAddins());
    QVERIFY2(waitFor([&] {
                 id = addinsWindow();
                 return !id.isEmpty();
             }),
             "the window did not come back");
    QList<QPair<int, int>> runs;
    QVERIFY(waitFor([&] {
        runs = tabCaptions(id);
        return !runs.isEmpty();
    }));
    QCOMPARE(runs.size(), m_firstCaptions.size());
    for (int i = 0; i < runs.size(); ++i)
        QCOMPARE(runs[i].second - runs[i].first,
                 m_firstCaptions[i].second - m_firstCaptions[i].first);
    // Hidden, the window let go of its backing store; shown again it is painted whole, as the
    // first time (a focus frame or a caret may differ, never a page left unpainted).
    const int allowed = m_firstLook.width() * m_firstLook.height() / 50;
    int differing = 0;
    QVERIFY2(waitFor([&] {
                 differing = differingPixels(clientArea(id), m_firstLook);
                 return differing <= allowed;
             }),
             qPrintable(QStringLiteral("%1 of %2 pixels differ from the first showing")
                            .arg(differing)
                            .arg(m_firstLook.width() * m_firstLook.height())));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (!QFileInfo(programPath()).isExecutable())
        return desktopkit::skip(QStringLiteral("%1 has not been built").arg(programPath()));
    const QString missing = desktopkit::missingTool({"Xvfb", "openbox", "tint2", "xdotool"});
    if (!missing.isEmpty())
        return desktopkit::skip(QStringLiteral("%1 is not installed").arg(missing));
    TstAddinsDesktop test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_addins_desktop.moc"
