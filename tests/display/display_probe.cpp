// The program's own windows, started as the program starts them, in the current folder (which
// the desktop test fills with a countdown and a tip). Prints "ready" once the countdown is
// shown; the line "show" on its input opens the display settings, as "显示设置...(&W)" does,
// and it answers "shown"; "colour BGR" and "font FACE SIZE" change the countdown's style as the
// display settings do, and it answers "styled". Ends when its input closes.
#include "app/application.h"
#include "forms/countdown_style.h"
#include "forms/form_names.h"
#include "forms/window_registry.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setOrganizationName(QStringLiteral("Dalvenor"));
    QApplication::setQuitOnLastWindowClosed(false);

    Application app(QDir::currentPath());
    app.start();
    std::puts("ready");
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &qtApp, [&app, &input] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (got <= 0) {
            input.setEnabled(false);
            QCoreApplication::exit(0);
            return;
        }
        buffer[got] = '\0';
        const QList<QByteArray> words = QByteArray(buffer).trimmed().split(' ');
        CountdownStyle& style = app.context().style;
        if (words.size() == 2 && words[0] == "colour") {
            style.setForeColor(words[1].toUInt());
            std::puts("styled");
            std::fflush(stdout);
        } else if (words.size() == 3 && words[0] == "font") {
            TextStyle next = style.text();
            next.fontName = QString::fromUtf8(words[1]);
            next.fontSize = words[2].toDouble();
            style.setText(next);
            std::puts("styled");
            std::fflush(stdout);
        } else if (QByteArray(buffer).trimmed() == "show") {
            WindowRegistry& registry = app.context().registry;
            registry.unload(FormName::Addins);
            registry.show(FormName::Windows);
            std::puts("shown");
            std::fflush(stdout);
        }
    });
    return QApplication::exec();
}
