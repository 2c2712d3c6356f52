#include "application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setOrganizationName(QStringLiteral("Dalvenor"));
    // The program lives in the tray: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    Application app(QCoreApplication::applicationDirPath());
    app.start();
    return QApplication::exec();
}
