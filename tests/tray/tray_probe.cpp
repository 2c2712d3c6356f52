// A small program that loads frmTray (and frmAbout) through a registry, as the countdown
// window does, so that the tray can be tried on a real X server without the whole program.
// It prints "ready" once the icon was added and "exit" when "退出(&E)" ends it.
#include "about/about_window.h"
#include "test_context.h"
#include "tray/autostart.h"
#include "tray/tray_window.h"

#include <QApplication>
#include <QDir>
#include <QSystemTrayIcon>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setQuitOnLastWindowClosed(false);

    TestContext test;
    WindowRegistry& registry = test.registry;
    AppContext& context = test.context;
    std::unique_ptr<Autostart> autostart = createAutostart();

    registry.registerForm(TrayWindow::kName, [&context, &autostart] {
        return new TrayWindow(context, *autostart, [] {
            std::puts("exit");
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
    registry.registerForm(AboutWindow::kName, [&context] { return new AboutWindow(context); });

    auto* tray = static_cast<TrayWindow*>(registry.load(TrayWindow::kName));
    QApplication::setWindowIcon(tray->windowIcon());
    std::printf("ready tray-available=%d\n", QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0);
    std::fflush(stdout);
    return QApplication::exec();
}
