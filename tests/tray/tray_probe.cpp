// A small program that loads frmTray (and frmAbout) through a registry, as the countdown
// window does, so that the tray can be tried on a real X server without the whole program.
// It prints "ready" once the icon was added and "exit" when "退出(&E)" ends it.
#include "about_window.h"
#include "app_context.h"
#include "autostart.h"
#include "settings_store.h"
#include "tray_window.h"
#include "window_registry.h"

#include <QApplication>
#include <QDir>
#include <QSystemTrayIcon>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setQuitOnLastWindowClosed(false);

    WindowRegistry registry;
    SettingsStore settings(QDir::temp().filePath(QStringLiteral("tray-probe.ini")));
    std::unique_ptr<Autostart> autostart = createAutostart();
    AppContext context;
    context.registry = &registry;
    context.settings = &settings;
    context.autostart = autostart.get();

    registry.registerForm(QString::fromLatin1(TrayWindow::kName), [&context] {
        return new TrayWindow(context, [] {
            std::puts("exit");
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
    registry.registerForm(QString::fromLatin1(AboutWindow::kName),
                          [&context] { return new AboutWindow(context); });

    auto* tray = static_cast<TrayWindow*>(registry.load(QString::fromLatin1(TrayWindow::kName)));
    QApplication::setWindowIcon(tray->windowIcon());
    std::printf("ready tray-available=%d\n", QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0);
    std::fflush(stdout);
    return QApplication::exec();
}
