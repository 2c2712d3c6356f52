#include "application.h"
#include "single_instance.h"
#include "window_utils.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The program runs all day: freed memory should go back to the system, not stay in the heap.
    LimitHeapRetention();
    AvoidSessionBusAutolaunch();
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setOrganizationName(QStringLiteral("Dalvenor"));
    // The program lives in the tray: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start hands over to the running program and leaves quietly.
    SingleInstance instance;
    if (!instance.acquire())
        return 0;

    Application app(QCoreApplication::applicationDirPath(), &instance);
    app.start();
    return QApplication::exec();
}
