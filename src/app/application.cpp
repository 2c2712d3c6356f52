#include "application.h"

#include "about_window.h"
#include "autostart.h"
#include "countdown_window.h"
#include "program_icon.h"
#include "settings_store.h"
#include "skin_library.h"
#include "tray_window.h"

#include <QApplication>
#include <QFont>

Application::Application(const QString& programDir)
    : m_paths(DataPaths::resolve(programDir)), m_settings(std::make_unique<SettingsStore>()),
      m_skin(std::make_unique<SkinLibrary>(m_paths.dataFile(QStringLiteral("skinh.she")))),
      m_autostart(createAutostart()) {
    m_context.registry = &m_registry;
    m_context.settings = m_settings.get();
    m_context.paths = &m_paths;
    m_context.clock = &m_clock;
    m_context.skin = m_skin.get();
    m_context.autostart = m_autostart.get();
    // Every window of the program carries the program icon.
    QApplication::setWindowIcon(programIcon());
    installFontSubstitutions();
    registerForms();
}

Application::~Application() = default;

void Application::start() {
    m_registry.show(QString::fromLatin1(CountdownWindow::kName));
}

void Application::installFontSubstitutions() {
    const QStringList kai = {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
                             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK")};
    const QStringList song = {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                              QStringLiteral("Noto Serif CJK SC"),
                              QStringLiteral("Noto Sans CJK SC")};
    for (const char* name : {"楷体", "楷体_GB2312", "KaiTi", "KaiTi_GB2312"})
        QFont::insertSubstitutions(QString::fromUtf8(name), kai);
    for (const char* name : {"宋体", "新宋体", "SimSun", "NSimSun"})
        QFont::insertSubstitutions(QString::fromUtf8(name), song);
    // Menus and dialogs: a plain sans CJK face for the Chinese captions rather than whatever
    // the font configuration falls back to first (often a brush-script Kai face).
    const QString uiFamily = QApplication::font().family();
    QFont::insertSubstitutions(
        uiFamily, {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("AR PL UMing CN")});
}

void Application::registerForms() {
    m_registry.registerForm(QString::fromLatin1(CountdownWindow::kName),
                            [this] { return new CountdownWindow(m_context); });
    // "退出(&E)" ends the process at once: no other window is unloaded on the way.
    m_registry.registerForm(QString::fromLatin1(TrayWindow::kName), [this] {
        return new TrayWindow(m_context, [] { QCoreApplication::exit(0); });
    });
    m_registry.registerForm(QString::fromLatin1(AboutWindow::kName),
                            [this] { return new AboutWindow(m_context); });
}
