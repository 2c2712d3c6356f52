#include "app/application.h"

#include "about/about_window.h"
#include "addins/addins_window.h"
#include "addins/caution_window.h"
#include "addins/exit_window.h"
#include "app/countdown_window.h"
#include "app/session_end.h"
#include "app/single_instance.h"
#include "display/display_window.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "forms/program_icon.h"
#include "forms/skin_library.h"
#include "forms/translations.h"
#include "settings/settings_store.h"
#include "skins/skin_folders.h"
#include "skins/skin_window.h"
#include "skins/style_sheet_skin.h"
#include "tray/autostart.h"
#include "tray/no_tray_notice.h"
#include "tray/tray_host.h"
#include "tray/tray_presence.h"
#include "tray/tray_window.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSessionManager>

Application::Application(const QString& programDir, SingleInstance* instance)
    : m_paths(DataPaths::resolve(programDir)), m_settings(std::make_unique<SettingsStore>()),
      m_skin(std::make_unique<SkinLibrary>(m_paths.dataFile(QStringLiteral("skinh.she")),
                                           std::make_unique<StyleSheetSkinEngine>())),
      m_autostart(createAutostart()), m_heartbeat(m_clock),
      m_notices(std::make_unique<TrayNotices>()),
      // The watch for a tray host is set up once the countdown window shows (start()).
      m_trayPresence(std::make_unique<TrayPresence>(
          TrayPresence::ProbeFactory(&createTrayHostProbe),
          TrayPresence::gracePeriodFrom(qgetenv(TrayPresence::kGraceVariable)))),
      m_instance(instance), m_context{m_registry,  *m_settings, m_paths,    m_clock, *m_skin,
                                      m_heartbeat, m_style,     *m_notices, *this} {
    // Every window of the program carries the program icon.
    QApplication::setWindowIcon(programIcon());
    installFontSubstitutions();
    installToolkitTranslations();
    // A user's own skins go here; the skin manager lists them beside the built-in ones.
    SkinFolders::forProgram(m_paths).createUserDir();
    m_noTrayNotice = std::make_unique<NoTrayNotice>(*m_trayPresence, m_registry);
    watchSessionEnd();
    registerForms();
}

Application::~Application() {
    QObject::disconnect(m_activation);
    // The signals go back to their default first: nothing may reach a half-destroyed program.
    m_endSignals.reset();
}

void Application::watchSessionEnd() {
    m_sessionEnd = std::make_unique<SessionEnd>(
        [this](QString* error) {
            // The style is the countdown window's: without it there is nothing new to store.
            if (!m_registry.isLoaded(CountdownWindow::kName))
                return true;
            return m_style.storeText(*m_settings, error);
        },
        [this](const SessionEnd::Report& report) { exitThroughTray(report); });
    QObject::connect(&m_style, &CountdownStyle::textChanged, m_sessionEnd.get(),
                     &SessionEnd::styleChanged);
    // A log-out sends SIGTERM (SIGHUP when the session's terminal goes): the style picked in
    // this session must not be lost with it.
    m_endSignals = SessionEndSignals::create();
    if (!m_endSignals)
        SessionEnd::reportToStderr(
            QStringLiteral("无法接收结束信号，注销时倒计时的字体和颜色不会保存。"));
    m_sessionEnd->watch(m_endSignals.get());
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(gui, &QGuiApplication::commitDataRequest, m_sessionEnd.get(),
                         [this](QSessionManager&) { m_sessionEnd->commitDataRequested(); });
        QObject::connect(gui, &QCoreApplication::aboutToQuit, m_sessionEnd.get(),
                         &SessionEnd::aboutToQuit);
    }
}

void Application::exitThroughTray(const std::function<void(const QString&)>& report) {
    if (auto* tray = m_registry.form<TrayWindow>()) {
        tray->exitProgram(report);
        return;
    }
    m_sessionEnd->storeOnce(report);
    QCoreApplication::exit(0);
}

bool Application::restart() {
    // The guard stops answering first: a new start must wait for this process to end, not hand
    // over to it.
    if (m_instance)
        m_instance->releaseForRestart();
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), {},
                                   QDir::currentPath());
}

void Application::exit() {
    QCoreApplication::exit(0);
}

void Application::start() {
    m_registry.show(CountdownWindow::kName);
    if (m_instance)
        m_activation = QObject::connect(m_instance, &SingleInstance::activationRequested,
                                        m_instance, [this] { openMenuAtPointer(); });
    // The icon comes whenever a tray host appears; the notice only if none has come within
    // the grace period. Until then the menu is reached by starting the program again.
    m_trayPresence->start();
    // A settings file that could not be read whole is kept aside before anything is written
    // over it, and the user is told where.
    if (m_settings->isDamaged()) {
        QString error;
        const QString notice = m_settings->keepDamagedFile(&error) ? m_settings->takeDamageNotice()
                                                                   : m_settings->loadProblem();
        if (!notice.isEmpty())
            MessageBox::notify(QMessageBox::Warning, QStringLiteral("Dalvenor"), notice);
    }
    m_heartbeat.start();
}

void Application::openMenuAtPointer() {
    if (auto* tray = m_registry.load<TrayWindow>())
        tray->popupMenuAtPointer();
}

void Application::registerForms() {
    m_registry.registerForm(CountdownWindow::kName,
                            [this] { return new CountdownWindow(m_context); });
    // "退出(&E)" ends the process at once: no other window is unloaded on the way.
    m_registry.registerForm(TrayWindow::kName, [this] {
        auto* tray = new TrayWindow(m_context, *m_autostart, [] { QCoreApplication::exit(0); });
        tray->setTrayPresence(m_trayPresence.get());
        // The countdown is what the user waits for at start; the icon follows it on the
        // screen by one turn of the event loop.
        tray->setIconDeferredToEventLoop(true);
        // The menu's exit and the session's end store through the same once-only path.
        tray->setStoreAtExit(
            [this](const TrayWindow::Report& report) { m_sessionEnd->storeOnce(report); });
        // The other windows speak through the icon of whichever frmTray exists.
        m_notices->attach(tray);
        return tray;
    });
    m_registry.registerForm(AboutWindow::kName, [this] { return new AboutWindow(m_context); });
    m_registry.registerForm(SkinWindow::kName, [this] { return new SkinWindow(m_context); });
    m_registry.registerForm(CautionWindow::kName, [this] { return new CautionWindow(m_context); });
    m_registry.registerForm(DisplayWindow::kName, [this] { return new DisplayWindow(m_context); });
    m_registry.registerForm(AddinsWindow::kName, [this] {
        auto* addins = new AddinsWindow(m_context);
        // The scheduled power action goes to the system's power service (logind here).
        addins->setPowerBackend(createPowerBackend());
        return addins;
    });
}
