#include "fake_tray_host.h"
#include "forms/form.h"
#include "forms/message_box.h"
#include "test_context.h"
#include "tray/autostart_linux.h"
#include "tray/tray_presence.h"
#include "tray/tray_window.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A window of the registry that writes what happens to it into a shared log.
class RecordingForm : public Form {
    Q_OBJECT
public:
    RecordingForm(AppContext& context, const QString& name, QStringList& log,
                  bool cancelUnload = false)
        : Form(context, name), m_log(log), m_cancelUnload(cancelUnload) {}

    void Form_Load() override { m_log << QStringLiteral("load ") + formName(); }
    void Form_Unload(bool& cancel) override {
        m_log << QStringLiteral("unload ") + formName();
        if (m_cancelUnload) {
            // As frmAddins does: stay loaded, only disappear.
            cancel = true;
            hide();
        }
    }

protected:
    void showEvent(QShowEvent* event) override {
        m_log << QStringLiteral("show ") + formName();
        Form::showEvent(event);
    }

private:
    QStringList& m_log;
    bool m_cancelUnload;
};

class RecordingAutostart : public Autostart {
public:
    bool enable(QString* error) override {
        calls << QStringLiteral("enable");
        if (fail && error)
            *error = QStringLiteral("无法设置开机启动");
        return !fail;
    }
    bool disable(QString* error) override {
        calls << QStringLiteral("disable");
        if (fail && error)
            *error = QStringLiteral("无法取消开机启动");
        return !fail;
    }
    QStringList calls;
    bool fail = false;
};

const QStringList kSideWindows = {QStringLiteral("frmAbout"), QStringLiteral("frmWindows"),
                                  QStringLiteral("frmSkins"), QStringLiteral("frmAddins")};

} // namespace

// Counts the children an object is given, as they are given.
class ChildCounter final : public QObject {
public:
    int added = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded)
            ++added;
        return QObject::eventFilter(watched, event);
    }
};

class TstTrayWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuItemsInOrder();
    void startWithSubmenu();
    void iconCarriesMenuTooltipAndImage();
    void commandsUnloadThenShow_data();
    void commandsUnloadThenShow();
    void windowWithoutFactoryOpensNothing();
    void exitStoresStyleRemovesIconAndEnds();
    void exitWithAStoreThatCannotBeWrittenSaysSoAndStillEnds();
    void reloadAddsNoSecondIcon();
    void iconWaitsForANotificationArea();
    void iconAtOnceWhenANotificationAreaIsThere();
    void deferredIconComesAtTheNextTurn_data();
    void deferredIconComesAtTheNextTurn();
    void deferredIconNeverComesAfterAnUnload();
    void startWithCommandsReachAutostart();
    void autostartFailureIsShownInChinese();
    void noticesReachTheIconOfWhicheverTrayExists();
    void messageWithoutNotificationAreaIsABoxThatDoesNotWait();

private:
    TrayWindow* loadTray();
    void attachTraysTo(TrayNotices& notices);
    // frmTray made with presence watching for a tray host, its icon deferred or not.
    void registerTrayWatching(TrayPresence& presence, bool deferIcon = false);
    void registerSideWindows(const QStringList& names);

    std::unique_ptr<TestContext> m_test;
    WindowRegistry* m_registry = nullptr;
    RecordingAutostart m_recordingAutostart;
    Autostart* m_autostart = &m_recordingAutostart;
    QStringList m_log;
    int m_endCalls = 0;
    std::function<void()> m_onEnd;
};

void TstTrayWindow::init() {
    m_test = std::make_unique<TestContext>();
    m_registry = &m_test->registry;
    m_recordingAutostart.calls.clear();
    m_autostart = &m_recordingAutostart;
    m_log.clear();
    m_endCalls = 0;
    m_onEnd = nullptr;
    m_registry->registerForm(QStringLiteral("frmTray"), [this] {
        return new TrayWindow(m_test->context, *m_autostart, [this] {
            m_endCalls++;
            if (m_onEnd)
                m_onEnd();
        });
    });
    MessageBox::setAnswerAll(true);
    MessageBox::clearShownBoxes();
}

void TstTrayWindow::cleanup() {
    m_test.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MessageBox::setAnswerAll(false);
}

TrayWindow* TstTrayWindow::loadTray() {
    return qobject_cast<TrayWindow*>(m_registry->load(QStringLiteral("frmTray")));
}

void TstTrayWindow::attachTraysTo(TrayNotices& notices) {
    // As the application does: every frmTray created speaks for the notices.
    m_registry->registerForm(QStringLiteral("frmTray"), [this, &notices] {
        auto* tray = new TrayWindow(m_test->context, *m_autostart, [this] { m_endCalls++; });
        notices.attach(tray);
        return tray;
    });
}

void TstTrayWindow::registerTrayWatching(TrayPresence& presence, bool deferIcon) {
    m_registry->registerForm(QStringLiteral("frmTray"), [this, &presence, deferIcon] {
        auto* tray = new TrayWindow(m_test->context, *m_autostart, [this] { m_endCalls++; });
        tray->setTrayPresence(&presence);
        tray->setIconDeferredToEventLoop(deferIcon);
        return tray;
    });
}

void TstTrayWindow::registerSideWindows(const QStringList& names) {
    for (const QString& name : names) {
        const bool cancels = name == QLatin1String("frmAddins");
        m_registry->registerForm(name, [this, name, cancels] {
            return new RecordingForm(m_test->context, name, m_log, cancels);
        });
    }
}

void TstTrayWindow::menuItemsInOrder() {
    TrayWindow* tray = loadTray();
    QVERIFY(tray);
    QCOMPARE(tray->mnuFile()->objectName(), QStringLiteral("mnuFile"));
    QCOMPARE(tray->mnuFile()->title(), QStringLiteral("文件(&F)"));

    struct Item {
        const char* name;
        const char* caption;
        QKeySequence shortcut;
    };
    const Item expected[] = {
        {"mnuAbout", "关于...(&A)", QKeySequence(QStringLiteral("Ctrl+A"))},
        {"mnuWindows", "显示设置...(&W)", QKeySequence(QStringLiteral("Ctrl+W"))},
        {"mnuStartwith", "开机启动(&S)", QKeySequence()},
        {"mnuChangeskins", "更换皮肤...(&S)", QKeySequence()},
        {"mnuAddins", "附加功能...(&D)", QKeySequence()},
        {"mnuExit", "退出(&E)", QKeySequence(QStringLiteral("Ctrl+E"))},
    };
    const QList<QAction*> actions = tray->mnuFile()->actions();
    QCOMPARE(actions.size(), int(std::size(expected)));
    for (int i = 0; i < actions.size(); ++i) {
        QAction* action = actions.at(i);
        QCOMPARE(action->objectName(), QString::fromLatin1(expected[i].name));
        QCOMPARE(action->text(), QString::fromUtf8(expected[i].caption));
        QVERIFY(!action->isSeparator());
        QVERIFY(!action->isCheckable());
        QVERIFY(action->isEnabled());
        QVERIFY(action->isVisible());
        QCOMPARE(action->shortcut(), expected[i].shortcut);
        if (!expected[i].shortcut.isEmpty()) {
            QVERIFY(action->isShortcutVisibleInContextMenu());
            // Never a shortcut of the whole program.
            QCOMPARE(action->shortcutContext(), Qt::WidgetShortcut);
        }
    }
}

void TstTrayWindow::startWithSubmenu() {
    TrayWindow* tray = loadTray();
    QAction* startWith = tray->mnuFile()->actions().at(2);
    QMenu* submenu = startWith->menu();
    QVERIFY(submenu);
    QCOMPARE(submenu->objectName(), QStringLiteral("mnuStartwith"));
    const QList<QAction*> items = submenu->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0)->objectName(), QStringLiteral("mnuOpen"));
    QCOMPARE(items.at(0)->text(), QStringLiteral("开启(&O)"));
    QCOMPARE(items.at(1)->objectName(), QStringLiteral("mnuClose"));
    QCOMPARE(items.at(1)->text(), QStringLiteral("关闭(&C)"));
    for (QAction* item : items) {
        QVERIFY(!item->isCheckable());
        QVERIFY(!item->isSeparator());
        QVERIFY(item->shortcut().isEmpty());
    }
}

void TstTrayWindow::iconCarriesMenuTooltipAndImage() {
    TrayWindow* tray = loadTray();
    QVERIFY(!tray->isVisible());
    QSystemTrayIcon* icon = tray->trayIcon();
    QVERIFY(icon);
    QVERIFY(icon->isVisible());
    QVERIFY(!icon->icon().isNull());
    QCOMPARE(icon->toolTip(), QStringLiteral("Dalvenor"));
    QCOMPARE(icon->contextMenu(), tray->mnuFile());
    QVERIFY(!tray->windowIcon().isNull());
}

void TstTrayWindow::commandsUnloadThenShow_data() {
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("loadedBefore");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<QStringList>("loadedAfter");
    QTest::addColumn<QStringList>("visibleAfter");

    const QStringList withAddins{QStringLiteral("frmAddins")};
    const QStringList three{QStringLiteral("frmAbout"), QStringLiteral("frmSkins"),
                            QStringLiteral("frmWindows")};
    // frmAddins cancels its unload and hides: it stays loaded behind the new window.
    QTest::newRow("about hides addins")
        << QStringList{"mnuAbout"} << withAddins
        << QStringList{"unload frmAddins", "load frmAbout", "show frmAbout"}
        << QStringList{"frmAddins", "frmAbout"} << QStringList{"frmAbout"};
    QTest::newRow("display hides addins")
        << QStringList{"mnuWindows"} << withAddins
        << QStringList{"unload frmAddins", "load frmWindows", "show frmWindows"}
        << QStringList{"frmAddins", "frmWindows"} << QStringList{"frmWindows"};
    QTest::newRow("skins hide addins")
        << QStringList{"mnuChangeskins"} << withAddins
        << QStringList{"unload frmAddins", "load frmSkins", "show frmSkins"}
        << QStringList{"frmAddins", "frmSkins"} << QStringList{"frmSkins"};
    QTest::newRow("about without addins")
        << QStringList{"mnuAbout"} << QStringList{} << QStringList{"load frmAbout", "show frmAbout"}
        << QStringList{"frmAbout"} << QStringList{"frmAbout"};
    QTest::newRow("addins closes the other three")
        << QStringList{"mnuAddins"} << three
        << QStringList{"unload frmAbout", "unload frmSkins", "unload frmWindows", "load frmAddins",
                       "show frmAddins"}
        << QStringList{"frmAddins"} << QStringList{"frmAddins"};
    // Hidden by "关于", then shown again without being loaded afresh.
    QTest::newRow("addins comes back loaded")
        << QStringList{"mnuAbout", "mnuAddins"} << withAddins
        << QStringList{"unload frmAddins", "load frmAbout", "show frmAbout", "unload frmAbout",
                       "show frmAddins"}
        << QStringList{"frmAddins"} << QStringList{"frmAddins"};
}

void TstTrayWindow::commandsUnloadThenShow() {
    QFETCH(QStringList, commands);
    QFETCH(QStringList, loadedBefore);
    QFETCH(QStringList, expectedLog);
    QFETCH(QStringList, loadedAfter);
    QFETCH(QStringList, visibleAfter);

    registerSideWindows(kSideWindows);
    TrayWindow* tray = loadTray();
    for (const QString& name : loadedBefore)
        m_registry->show(name);
    m_log.clear();

    for (const QString& command : commands) {
        QAction* action = tray->findChild<QAction*>(command);
        QVERIFY(action);
        action->trigger();
    }

    QCOMPARE(m_log, expectedLog);
    for (const QString& name : kSideWindows) {
        QCOMPARE(m_registry->isLoaded(name), loadedAfter.contains(name));
        if (Form* window = m_registry->form(name))
            QCOMPARE(window->isVisible(), visibleAfter.contains(name));
    }
    QVERIFY(m_registry->isLoaded(QStringLiteral("frmTray")));
}

void TstTrayWindow::windowWithoutFactoryOpensNothing() {
    // A build with only the additional functions window: the other commands open nothing.
    registerSideWindows({QStringLiteral("frmAddins")});
    TrayWindow* tray = loadTray();
    const int topLevelsBefore = QApplication::topLevelWidgets().size();
    for (const char* name : {"mnuAbout", "mnuWindows", "mnuChangeskins"})
        tray->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevelsBefore);
    for (const char* name : {"frmAbout", "frmWindows", "frmSkins"})
        QVERIFY(!m_registry->isLoaded(QString::fromLatin1(name)));
    QVERIFY(m_log.isEmpty());

    tray->findChild<QAction*>(QStringLiteral("mnuAddins"))->trigger();
    QCOMPARE(m_log, (QStringList{"load frmAddins", "show frmAddins"}));
}

void TstTrayWindow::exitStoresStyleRemovesIconAndEnds() {
    registerSideWindows(QStringList{QStringLiteral("frmMain")} + kSideWindows);
    QVERIFY(m_registry->load(QStringLiteral("frmMain")));
    m_registry->show(QStringLiteral("frmAddins"));
    TrayWindow* tray = loadTray();
    QPointer<QSystemTrayIcon> icon = tray->trayIcon();
    QVERIFY(icon->isVisible());
    // Another window (the display settings) changed the countdown's style.
    m_test->style.setText({.fontName = QStringLiteral("黑体"),
                           .fontSize = 21,
                           .italic = true,
                           .foreColor = m_test->style.text().foreColor});
    m_log.clear();

    bool iconGoneAtEnd = false;
    QString storedAtEnd;
    bool italicAtEnd = false;
    m_onEnd = [&] {
        iconGoneAtEnd = !icon || !icon->isVisible();
        // What was stored is on disk before the process ends.
        SettingsStore reread(m_test->settings().fileName());
        storedAtEnd = reread.readText(QStringLiteral("frmMain"), QStringLiteral("FontName"), {});
        italicAtEnd =
            reread.readBool(QStringLiteral("frmMain"), QStringLiteral("FontItalic"), false);
    };
    tray->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();

    QCOMPARE(m_endCalls, 1);
    QCOMPARE(storedAtEnd, QStringLiteral("黑体"));
    QVERIFY(italicAtEnd);
    QVERIFY(iconGoneAtEnd);
    QVERIFY(MessageBox::shownBoxes().isEmpty());
    QVERIFY(!m_registry->isLoaded(QStringLiteral("frmTray")));
    // No other window is unloaded on the way out.
    QVERIFY(m_log.isEmpty());
    QVERIFY(m_registry->isLoaded(QStringLiteral("frmMain")));
    QVERIFY(m_registry->isLoaded(QStringLiteral("frmAddins")));
}

void TstTrayWindow::exitWithAStoreThatCannotBeWrittenSaysSoAndStillEnds() {
    // A folder stands where the settings file must be written.
    QVERIFY(QDir().mkpath(m_test->settings().fileName()));
    registerSideWindows({QStringLiteral("frmMain")});
    QVERIFY(m_registry->load(QStringLiteral("frmMain")));
    TrayWindow* tray = loadTray();
    m_test->style.setForeColor(255);
    tray->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    QCOMPARE(m_endCalls, 1);
    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    QVERIFY2(MessageBox::shownBoxes().constFirst().text.contains(QStringLiteral("无法保存")),
             qPrintable(MessageBox::shownBoxes().constFirst().text));
}

void TstTrayWindow::reloadAddsNoSecondIcon() {
    TrayWindow* first = loadTray();
    // The countdown window's load sequence loads the tray at every reload.
    TrayWindow* second = loadTray();
    QCOMPARE(second, first);
    second->Form_Load();
    QCOMPARE(first->findChildren<QSystemTrayIcon*>().size(), 1);
    QVERIFY(first->trayIcon()->isVisible());
}

void TstTrayWindow::iconWaitsForANotificationArea() {
    auto host = std::make_unique<FakeTrayHost>(false);
    FakeTrayHost* fake = host.get();
    TrayPresence presence(std::move(host));
    registerTrayWatching(presence);
    TrayWindow* tray = loadTray();
    // No icon yet: made now, Qt would settle for the protocol of no host for the whole run.
    QVERIFY(!tray->trayIcon());
    QVERIFY(tray->findChildren<QSystemTrayIcon*>().isEmpty());
    // The menu is there all the same, for a second start of the program.
    QVERIFY(tray->mnuFile());
    tray->setIconToolTip(QStringLiteral("Dalvenor — 10秒后关机"));

    fake->setPresent(true);
    QSystemTrayIcon* icon = tray->trayIcon();
    QVERIFY(icon);
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->contextMenu(), tray->mnuFile());
    QCOMPARE(icon->toolTip(), QStringLiteral("Dalvenor — 10秒后关机"));
    QVERIFY(!icon->icon().isNull());

    // A panel restart: Qt's icon follows the host by itself, so no second icon is made.
    fake->setPresent(false);
    fake->setPresent(true);
    QCOMPARE(tray->findChildren<QSystemTrayIcon*>().size(), 1);
    QCOMPARE(tray->trayIcon(), icon);
}

void TstTrayWindow::iconAtOnceWhenANotificationAreaIsThere() {
    TrayPresence presence(std::make_unique<FakeTrayHost>(true));
    registerTrayWatching(presence);
    TrayWindow* tray = loadTray();
    QVERIFY(tray->trayIcon());
    QVERIFY(tray->trayIcon()->isVisible());
}

void TstTrayWindow::deferredIconComesAtTheNextTurn_data() {
    QTest::addColumn<bool>("hostAtLoad");
    QTest::addColumn<bool>("hostBeforeTurn");
    QTest::addColumn<bool>("iconAfterTurn");
    QTest::newRow("host there") << true << true << true;
    // The host appears after the load asked and before the icon's turn: it is not missed.
    QTest::newRow("host between load and turn") << false << true << true;
    QTest::newRow("no host") << false << false << false;
}

void TstTrayWindow::deferredIconComesAtTheNextTurn() {
    QFETCH(bool, hostAtLoad);
    QFETCH(bool, hostBeforeTurn);
    QFETCH(bool, iconAfterTurn);
    auto host = std::make_unique<FakeTrayHost>(hostAtLoad);
    FakeTrayHost* fake = host.get();
    int probesMade = 0;
    TrayPresence presence(TrayPresence::ProbeFactory([&] {
        ++probesMade;
        return std::unique_ptr<TrayHostProbe>(std::move(host));
    }));
    registerTrayWatching(presence, true);
    TrayWindow* tray = loadTray();
    // Nothing of the icon, nor of the watch for a host, before the countdown is on the screen.
    QVERIFY(!tray->trayIcon());
    QVERIFY(tray->isIconPending());
    QCOMPARE(probesMade, 0);
    // A reload of the countdown loads the tray again: still one icon to come.
    QCOMPARE(loadTray(), tray);

    presence.start();
    QCOMPARE(probesMade, 1);
    if (hostBeforeTurn != hostAtLoad)
        fake->setPresent(hostBeforeTurn);
    QCoreApplication::processEvents();
    QVERIFY(!tray->isIconPending());
    QCOMPARE(bool(tray->trayIcon()), iconAfterTurn);
    if (!iconAfterTurn) {
        // Still waiting for a host, as a load without the deferral does.
        fake->setPresent(true);
        QVERIFY(tray->trayIcon());
    }
    QVERIFY(tray->trayIcon()->isVisible());
    QCOMPARE(tray->findChildren<QSystemTrayIcon*>().size(), 1);
    QCOMPARE(probesMade, 1);
}

void TstTrayWindow::deferredIconNeverComesAfterAnUnload() {
    auto host = std::make_unique<FakeTrayHost>(false);
    FakeTrayHost* fake = host.get();
    TrayPresence presence(std::move(host));
    registerTrayWatching(presence, true);
    QPointer<TrayWindow> tray = loadTray();
    QVERIFY(tray);
    QVERIFY(m_registry->unload(QStringLiteral("frmTray")));
    QVERIFY(!m_registry->isLoaded(QStringLiteral("frmTray")));
    // The window lives on until it is deleted at a later turn; neither its own turn nor a host
    // that comes now may give it an icon in that time (an icon is a child it would make).
    ChildCounter children;
    if (tray)
        tray->installEventFilter(&children);
    fake->setPresent(true);
    QCoreApplication::processEvents();
    fake->setPresent(false);
    fake->setPresent(true);
    QCOMPARE(children.added, 0);
}

void TstTrayWindow::startWithCommandsReachAutostart() {
    RecordingAutostart& autostart = m_recordingAutostart;
    TrayWindow* tray = loadTray();
    tray->findChild<QAction*>(QStringLiteral("mnuOpen"))->trigger();
    tray->findChild<QAction*>(QStringLiteral("mnuOpen"))->trigger();
    tray->findChild<QAction*>(QStringLiteral("mnuClose"))->trigger();
    QCOMPARE(autostart.calls, (QStringList{"enable", "enable", "disable"}));
    // Fire-and-forget: nothing is said when it works, and no check mark appears.
    QVERIFY(MessageBox::shownBoxes().isEmpty());
    QVERIFY(!tray->findChild<QAction*>(QStringLiteral("mnuOpen"))->isChecked());
}

void TstTrayWindow::autostartFailureIsShownInChinese() {
    // A regular file where the autostart folder should be: the entry cannot be written.
    const QString blocker = m_test->path(QStringLiteral("autostart"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    XdgAutostart autostart(QStringLiteral("/opt/dalvenor/dalvenor"), blocker);
    m_autostart = &autostart;
    TrayWindow* tray = loadTray();

    tray->findChild<QAction*>(QStringLiteral("mnuOpen"))->trigger();
    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    const MessageBox::Shown box = MessageBox::shownBoxes().constFirst();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(QStringLiteral("开机启动")), qPrintable(box.text));
    QVERIFY(box.text.contains(blocker));
    // The program keeps running with its icon.
    QCOMPARE(m_endCalls, 0);
    QVERIFY(tray->trayIcon()->isVisible());
}

void TstTrayWindow::noticesReachTheIconOfWhicheverTrayExists() {
    TrayNotices notices;
    attachTraysTo(notices);
    // Set before any tray window exists: the icon shows it once loaded.
    notices.setToolTip(QStringLiteral("Dalvenor — 23:00:00 关机"));
    TrayWindow* tray = loadTray();
    QCOMPARE(tray->trayIcon()->toolTip(), QStringLiteral("Dalvenor — 23:00:00 关机"));

    notices.setToolTip(QStringLiteral("Dalvenor — 1时29分59秒后重启"));
    QCOMPARE(tray->trayIcon()->toolTip(), QStringLiteral("Dalvenor — 1时29分59秒后重启"));

    // Unloaded and loaded again: the new icon carries the text of the moment.
    m_registry->unload(QStringLiteral("frmTray"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_registry->isLoaded(QStringLiteral("frmTray")));
    notices.setToolTip(QStringLiteral("Dalvenor"));
    notices.setToolTip(QStringLiteral("Dalvenor — 10秒后关机"));
    tray = loadTray();
    QCOMPARE(tray->trayIcon()->toolTip(), QStringLiteral("Dalvenor — 10秒后关机"));
    QCOMPARE(notices.toolTip(), QStringLiteral("Dalvenor — 10秒后关机"));
}

void TstTrayWindow::messageWithoutNotificationAreaIsABoxThatDoesNotWait() {
    QVERIFY2(!QSystemTrayIcon::isSystemTrayAvailable(),
             "this test needs a display without a notification area");
    TrayNotices notices;
    attachTraysTo(notices);
    TrayWindow* tray = loadTray();
    // The icon exists but nothing can show a balloon: Qt would drop the message silently.
    QVERIFY(!tray->showIconMessage(QStringLiteral("Dalvenor"), QStringLiteral("x")));

    // Returns at once (a modal box would not return here), and the box is left open.
    notices.showMessage(QStringLiteral("Dalvenor"),
                        QStringLiteral("1 分钟后将为您关机，请保存工作。"));
    QMessageBox* box = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("trayNoticeBox"))
            box = qobject_cast<QMessageBox*>(widget);
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowModality(), Qt::NonModal);
    QVERIFY(box->testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(box->windowTitle(), QStringLiteral("Dalvenor"));
    QCOMPARE(box->text(), QStringLiteral("1 分钟后将为您关机，请保存工作。"));
    QPointer<QMessageBox> watched = box;
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!watched);

    // Without any tray window at all, the message still reaches the user.
    m_registry->unload(QStringLiteral("frmTray"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    notices.showMessage(QStringLiteral("Dalvenor"), QStringLiteral("无法关机"));
    QMessageBox* second = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("trayNoticeBox"))
            second = qobject_cast<QMessageBox*>(widget);
    QVERIFY(second);
    QCOMPARE(second->text(), QStringLiteral("无法关机"));
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TstTrayWindow)
#include "tst_tray_window.moc"
