#include "app/application.h"
#include "app/single_instance.h"
#include "app/startup_options.h"
#include "app/x_display.h"
#include "winutil/window_utils.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before anything touches the display: they must work over ssh and in scripts.
    switch (startup::commandFromArguments(argumentsOf(argc, argv))) {
    case startup::Command::PrintVersion:
        print(stdout, startup::versionText());
        return 0;
    case startup::Command::PrintHelp:
        print(stdout, startup::helpText());
        return 0;
    case startup::Command::Run:
        break;
    }

    // The overlay (colour key, position, unmanaged window, no taskbar entry) works through
    // X11 only, so in a Wayland session the program goes through XWayland. Qt's own failure
    // to reach a display is an abort, so a missing X display is said here instead.
    const startup::Environment environment{qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"),
                                           qgetenv("DISPLAY")};
    switch (startup::choosePlatform(environment, xDisplayReachable)) {
    case startup::Platform::AsTheUserSet:
        break;
    case startup::Platform::Xcb:
        qputenv("QT_QPA_PLATFORM", "xcb");
        break;
    case startup::Platform::NoXDisplay:
        print(stderr, startup::noXDisplayMessage(environment));
        return startup::kNoDisplayExitCode;
    }

    // The program runs all day: freed memory should go back to the system, not stay in the heap.
    LimitHeapRetention();
    AvoidSessionBusAutolaunch();
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dalvenor"));
    QApplication::setOrganizationName(QStringLiteral("Dalvenor"));
    // The program lives in the tray: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start hands over to the running program, which opens its menu at the pointer,
    // and leaves quietly.
    SingleInstance instance;
    if (!instance.acquire())
        return 0;

    Application app(QCoreApplication::applicationDirPath(), &instance);
    app.start();
    return QApplication::exec();
}
