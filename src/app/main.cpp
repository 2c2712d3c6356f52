#include "application.h"
#include "single_instance.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setOrganizationName(QStringLiteral("Dalvenor"));
    // The program lives in the tray: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start hands over to the running program and leaves quietly.
    SingleInstance instance;
    if (!instance.acquire())
        return 0;

    Application app(QCoreApplication::applicationDirPath());
    app.start();
    return QApplication::exec();
}
