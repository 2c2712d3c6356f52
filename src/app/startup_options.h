#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the program does before any window exists: the command line (only --version and
// --help mean something; any other argument is ignored) and the choice of Qt's platform.
namespace startup {

enum class Command { Run, PrintVersion, PrintHelp };

// arguments without the program name. The first of --version / --help wins.
Command commandFromArguments(const QStringList& arguments);

// "dalvenor 1.2" and the usage text, each ending in a newline.
QString versionText();
QString helpText();

// The environment the platform choice depends on.
struct Environment {
    QByteArray qtPlatform;     // QT_QPA_PLATFORM, as the user set it
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray display;        // DISPLAY
};

enum class Platform {
    // The user chose a platform: theirs is left alone, whatever it is.
    AsTheUserSet,
    // Qt's X11 platform (directly or through XWayland): the overlay's colour key, its place,
    // the unmanaged window and the taskbar state all need X11.
    Xcb,
    // No X display can be reached: the program cannot show its countdown and says so.
    NoXDisplay,
};

// xDisplayReachable: whether a connection to environment.display succeeded (asked only when
// needed; the caller passes a function that really connects).
template <typename ConnectTest>
Platform choosePlatform(const Environment& environment, ConnectTest xDisplayReachable) {
    if (!environment.qtPlatform.trimmed().isEmpty())
        return Platform::AsTheUserSet;
    if (environment.display.trimmed().isEmpty() || !xDisplayReachable(environment.display))
        return Platform::NoXDisplay;
    return Platform::Xcb;
}

// The message printed before exiting when no X display can be reached, in Chinese and in
// English; it names what was found in the environment.
QString noXDisplayMessage(const Environment& environment);

// The exit status then: not 0, so that a launcher or a script sees the failure.
constexpr int kNoDisplayExitCode = 1;

} // namespace startup
