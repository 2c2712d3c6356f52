#include "application.h"

#include "about_window.h"
#include "addins_window.h"
#include "autostart.h"
#include "caution_window.h"
#include "countdown_window.h"
#include "design_font.h"
#include "program_icon.h"
#include "settings_store.h"
#include "skin_library.h"
#include "tray_window.h"

#include <QApplication>

Application::Application(const QString& programDir)
    : m_paths(DataPaths::resolve(programDir)), m_settings(std::make_unique<SettingsStore>()),
      m_skin(std::make_unique<SkinLibrary>(m_paths.dataFile(QStringLiteral("skinh.she")))),
      m_autostart(createAutostart()), m_heartbeat(m_clock),
      m_notices(std::make_unique<TrayNotices>()), m_context{m_registry, *m_settings, m_paths,
                                                            m_clock,    *m_skin,     m_heartbeat,
                                                            m_style,    *m_notices} {
    // Every window of the program carries the program icon.
    QApplication::setWindowIcon(programIcon());
    installFontSubstitutions();
    registerForms();
}

Application::~Application() = default;

void Application::start() {
    m_registry.show(CountdownWindow::kName);
    m_heartbeat.start();
}

void Application::registerForms() {
    m_registry.registerForm(CountdownWindow::kName,
                            [this] { return new CountdownWindow(m_context); });
    // "退出(&E)" ends the process at once: no other window is unloaded on the way.
    m_registry.registerForm(TrayWindow::kName, [this] {
        auto* tray = new TrayWindow(m_context, *m_autostart, [] { QCoreApplication::exit(0); });
        // The other windows speak through the icon of whichever frmTray exists.
        m_notices->attach(tray);
        return tray;
    });
    m_registry.registerForm(AboutWindow::kName, [this] { return new AboutWindow(m_context); });
    m_registry.registerForm(AddinsWindow::kName, [this] { return new AddinsWindow(m_context); });
    m_registry.registerForm(CautionWindow::kName, [this] { return new CautionWindow(m_context); });
}
