#pragma once

#include "forms/form.h"
#include "forms/form_names.h"
#include "forms/tray_notifier.h"
#include "tray/tray_presence.h"

#include <QPointer>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class Autostart;

// frmTray: the hidden window that owns the notification-area icon and the pop-up menu from
// which the user reaches every other window. It is never shown; loading it adds the icon and
// unloading it removes the icon.
class TrayWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Tray;
    // How "退出(&E)" ends the process once the icon is gone; tests record it instead.
    using EndProcess = std::function<void()>;
    // Tells of a failure on the way out: a box from the menu, a line on stderr at the end of
    // a session, when nobody can answer a box.
    using Report = std::function<void(const QString& message)>;
    // Stores what the exit stores (the countdown's style), telling of a failure through report.
    using StoreAtExit = std::function<void(const Report& report)>;

    // autostart carries out "开机启动"; endProcess how "退出(&E)" ends the process.
    TrayWindow(AppContext& context, Autostart& autostart, EndProcess endProcess = {},
               QWidget* parent = nullptr);
    ~TrayWindow() override;

    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

    void mnuAbout_Click();
    void mnuWindows_Click();
    void mnuChangeskins_Click();
    void mnuAddins_Click();
    void mnuExit_Click();
    // The exit of "退出(&E)": stores, removes the icon and ends the process. The end of the
    // desktop session takes this same way, telling of a failed store through its own report.
    void exitProgram(const Report& report);
    // How the exit stores; by default the countdown's style, when the countdown is loaded.
    void setStoreAtExit(StoreAtExit store);
    void mnuOpen_Click();
    void mnuClose_Click();

    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    // Where the program learns that a notification area exists. Qt picks its tray protocol
    // once, when the first icon is made, so with a presence the icon is made only once a
    // host is there; without one, at load.
    void setTrayPresence(TrayPresence* presence) { m_presence = presence; }
    // At the program's start the icon is made at the first turn of the event loop, once the
    // countdown window is on the screen: the icon's window and the tray handshake then do not
    // hold back the countdown. An unload before that turn leaves no icon behind.
    void setIconDeferredToEventLoop(bool deferred) { m_deferIcon = deferred; }
    // Whether the load has asked for the icon and that turn has not come yet.
    bool isIconPending() const { return m_iconPending; }

    // The icon's tooltip, kept for an icon not shown yet.
    void setIconToolTip(const QString& text);
    // A balloon beside the icon; false when the desktop cannot show one now (no icon shown,
    // no notification area), so the caller can say it another way.
    bool showIconMessage(const QString& title, const QString& text);
    QMenu* mnuFile() const { return m_mnuFile; }

    // Opens mnuFile at the pointer, as a right click on the icon does: how a second start of
    // the program reaches the menu, with or without a notification area.
    void popupMenuAtPointer();
    // What the program says once at start when the desktop has no notification area.
    static QString noTrayNotice();

private:
    void createIcon();
    // What the load does for the icon: made now when a host is there (or nothing tells), else
    // when one appears.
    void showIconWhenHosted();
    void buildMenu();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut, void (TrayWindow::*handler)());

    Autostart& m_autostart;
    EndProcess m_endProcess;
    StoreAtExit m_storeAtExit;
    QMenu* m_mnuFile = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QPointer<TrayPresence> m_presence;
    QString m_toolTip = QStringLiteral("Dalvenor");
    bool m_deferIcon = false;
    bool m_iconPending = false;
};

// The program's TrayNotifier: forwards to frmTray while it exists and keeps the tooltip for a
// tray window created later (frmTray is loaded by the countdown's start-up and may be unloaded
// and loaded again). A message that no balloon can carry is shown in a box that neither waits
// nor takes the focus.
class TrayNotices final : public TrayNotifier {
public:
    TrayNotices() = default;
    TrayNotices(const TrayNotices&) = delete;
    TrayNotices& operator=(const TrayNotices&) = delete;

    // The tray window to speak through; given the tooltip set so far.
    void attach(TrayWindow* tray);

    void setToolTip(const QString& text) override;
    void showMessage(const QString& title, const QString& text) override;

    QString toolTip() const { return m_toolTip; }

private:
    QPointer<TrayWindow> m_tray;
    QString m_toolTip = QStringLiteral("Dalvenor");
};
