#include "tray/tray_window.h"

#include "forms/app_context.h"
#include "forms/countdown_style.h"
#include "forms/message_box.h"
#include "forms/program_icon.h"
#include "forms/window_registry.h"
#include "settings/settings_store.h"
#include "tray/autostart.h"
#include "tray/tray_presence.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>

TrayWindow::TrayWindow(AppContext& context, Autostart& autostart, EndProcess endProcess,
                       QWidget* parent)
    : Form(context, kName, parent), m_autostart(autostart), m_endProcess(std::move(endProcess)) {
    if (!m_endProcess)
        m_endProcess = [] { QCoreApplication::exit(0); };
    setWindowTitle(QStringLiteral("Form1"));
    // The other windows take this window's icon as their own: the program icon, which the
    // application already carries (one set of images for every window).
    if (QGuiApplication::windowIcon().isNull())
        setWindowIcon(programIcon());
    buildMenu();
}

TrayWindow::~TrayWindow() = default;

void TrayWindow::buildMenu() {
    // The menu and its actions belong to this window, which lives as long as the icon.
    m_mnuFile = new QMenu(QStringLiteral("文件(&F)"), this);
    m_mnuFile->setObjectName(QStringLiteral("mnuFile"));

    addItem(m_mnuFile, "mnuAbout", QStringLiteral("关于...(&A)"),
            QKeySequence(Qt::CTRL | Qt::Key_A), &TrayWindow::mnuAbout_Click);
    addItem(m_mnuFile, "mnuWindows", QStringLiteral("显示设置...(&W)"),
            QKeySequence(Qt::CTRL | Qt::Key_W), &TrayWindow::mnuWindows_Click);

    auto* startWith = new QMenu(QStringLiteral("开机启动(&S)"), m_mnuFile);
    startWith->setObjectName(QStringLiteral("mnuStartwith"));
    startWith->menuAction()->setObjectName(QStringLiteral("mnuStartwith"));
    addItem(startWith, "mnuOpen", QStringLiteral("开启(&O)"), {}, &TrayWindow::mnuOpen_Click);
    addItem(startWith, "mnuClose", QStringLiteral("关闭(&C)"), {}, &TrayWindow::mnuClose_Click);
    m_mnuFile->addMenu(startWith);

    addItem(m_mnuFile, "mnuChangeskins", QStringLiteral("更换皮肤...(&S)"), {},
            &TrayWindow::mnuChangeskins_Click);
    addItem(m_mnuFile, "mnuAddins", QStringLiteral("附加功能...(&D)"), {},
            &TrayWindow::mnuAddins_Click);
    addItem(m_mnuFile, "mnuExit", QStringLiteral("退出(&E)"), QKeySequence(Qt::CTRL | Qt::Key_E),
            &TrayWindow::mnuExit_Click);
}

QAction* TrayWindow::addItem(QMenu* menu, const char* name, const QString& caption,
                             const QKeySequence& shortcut, void (TrayWindow::*handler)()) {
    auto* action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        // Shown beside the caption only: they belong to a window that never has the focus,
        // so they must not act anywhere else in the program.
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
    }
    connect(action, &QAction::triggered, this, handler);
    menu->addAction(action);
    return action;
}

void TrayWindow::Form_Load() {
    if (m_trayIcon || m_iconPending)
        return;
    if (m_deferIcon) {
        m_iconPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                // Unloaded before this turn came: the window is going, and so is its icon.
                if (!m_iconPending)
                    return;
                m_iconPending = false;
                showIconWhenHosted();
            },
            Qt::QueuedConnection);
        return;
    }
    showIconWhenHosted();
}

void TrayWindow::showIconWhenHosted() {
    if (m_trayIcon)
        return;
    if (!m_presence || m_presence->hostPresent()) {
        createIcon();
        return;
    }
    // Qt decides between the D-Bus and the XEmbed tray at its first icon, for the whole
    // process: made now, with no host yet, the icon would never reach a StatusNotifierItem
    // panel that starts later.
    connect(m_presence, &TrayPresence::hostAppeared, this, &TrayWindow::createIcon,
            Qt::UniqueConnection);
}

void TrayWindow::createIcon() {
    if (m_trayIcon)
        return;
    if (m_presence)
        disconnect(m_presence, &TrayPresence::hostAppeared, this, &TrayWindow::createIcon);
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setObjectName(QStringLiteral("trayIcon"));
    // The image first: an icon shown without one never appears.
    m_trayIcon->setIcon(windowIcon());
    m_trayIcon->setToolTip(m_toolTip);
    // Only the context request (the right button) opens anything, and that is the menu.
    m_trayIcon->setContextMenu(m_mnuFile);
    // Both of Qt's trays follow their host from here on: the XEmbed one docks again when the
    // _NET_SYSTEM_TRAY_S0 owner is replaced, the D-Bus one registers again with a new
    // StatusNotifierWatcher (the desktop tests restart both kinds of panel).
    m_trayIcon->show();
}

void TrayWindow::Form_Unload(bool& cancel) {
    Q_UNUSED(cancel)
    m_iconPending = false;
    if (m_presence)
        disconnect(m_presence, &TrayPresence::hostAppeared, this, &TrayWindow::createIcon);
    if (!m_trayIcon)
        return;
    m_trayIcon->hide();
    // The icon's window goes away only once the display server has seen the request, and the
    // process may end right after this.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TrayWindow::mnuAbout_Click() {
    m_context.registry.unload(FormName::Addins);
    m_context.registry.show(FormName::About);
}

void TrayWindow::mnuWindows_Click() {
    m_context.registry.unload(FormName::Addins);
    m_context.registry.show(FormName::Windows);
}

void TrayWindow::mnuChangeskins_Click() {
    m_context.registry.unload(FormName::Addins);
    m_context.registry.show(FormName::Skins);
}

void TrayWindow::mnuAddins_Click() {
    m_context.registry.unload(FormName::About);
    m_context.registry.unload(FormName::Skins);
    m_context.registry.unload(FormName::Windows);
    m_context.registry.show(FormName::Addins);
}

void TrayWindow::mnuExit_Click() {
    // A style that cannot be stored is said, then the exit goes on.
    exitProgram([](const QString& message) {
        MessageBox::warning(nullptr, QStringLiteral("Dalvenor"), message);
    });
}

void TrayWindow::exitProgram(const Report& report) {
    // Exit ends the process without unloading the countdown window, so its style is stored
    // here as its unload would store it.
    if (m_storeAtExit) {
        m_storeAtExit(report);
    } else if (m_context.registry.isLoaded(FormName::Main)) {
        QString error;
        if (!m_context.style.storeText(m_context.settings, &error) && report)
            report(QStringLiteral("无法保存倒计时的字体和颜色：") + error);
    }
    // This window is destroyed later by the registry; keep what is needed after the unload.
    const EndProcess endProcess = m_endProcess;
    m_context.registry.unload(formName());
    endProcess();
}

void TrayWindow::setStoreAtExit(StoreAtExit store) {
    m_storeAtExit = std::move(store);
}

void TrayWindow::mnuOpen_Click() {
    QString error;
    if (!m_autostart.enable(&error))
        MessageBox::warning(nullptr, QStringLiteral("Dalvenor"), error);
}

void TrayWindow::mnuClose_Click() {
    QString error;
    if (!m_autostart.disable(&error))
        MessageBox::warning(nullptr, QStringLiteral("Dalvenor"), error);
}

void TrayWindow::setIconToolTip(const QString& text) {
    m_toolTip = text;
    if (m_trayIcon)
        m_trayIcon->setToolTip(text);
}

bool TrayWindow::showIconMessage(const QString& title, const QString& text) {
    // A message asked for before the icon's turn came is not put off into a box for it.
    if (m_iconPending) {
        m_iconPending = false;
        showIconWhenHosted();
    }
    // Qt drops the message silently when no notification area holds the icon.
    if (!m_trayIcon || !m_trayIcon->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable() ||
        !QSystemTrayIcon::supportsMessages())
        return false;
    m_trayIcon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
    return true;
}

void TrayWindow::popupMenuAtPointer() {
    // Shown again where the pointer is now, also when it is open already elsewhere.
    if (m_mnuFile->isVisible())
        m_mnuFile->hide();
    m_mnuFile->popup(QCursor::pos());
}

QString TrayWindow::noTrayNotice() {
    return QStringLiteral(
        "这个桌面没有通知区域（系统托盘），Dalvenor 的图标无法显示。\n\n"
        "倒计时照常显示。要打开菜单（设置、附加功能、退出等），请从应用程序菜单"
        "再次启动 Dalvenor（或在终端中再次运行 dalvenor）：菜单会出现在鼠标指针处。");
}

void TrayNotices::attach(TrayWindow* tray) {
    m_tray = tray;
    if (m_tray)
        m_tray->setIconToolTip(m_toolTip);
}

void TrayNotices::setToolTip(const QString& text) {
    m_toolTip = text;
    if (m_tray)
        m_tray->setIconToolTip(text);
}

void TrayNotices::showMessage(const QString& title, const QString& text) {
    if (m_tray && m_tray->showIconMessage(title, text))
        return;
    // Not modal and not activated: the user may be typing elsewhere, and nothing may wait.
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("trayNoticeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
