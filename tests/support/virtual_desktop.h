#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// The virtual desktop of scripts/virtual_desktop.sh (Xvfb, openbox, tint2), for C++ desktop
// tests. Its state file names every process it started, so that stop() ends them all.
namespace virtualdesktop {

inline QString script() {
    return qEnvironmentVariable("DALVENOR_SOURCE_DIR") +
           QStringLiteral("/scripts/virtual_desktop.sh");
}

// Starts it; the name of its X display, or empty with the reason in error.
inline QString start(const QString& stateFile, QString* error) {
    QProcess start;
    start.start(QStringLiteral("sh"), {script(), QStringLiteral("start"), stateFile});
    if (!start.waitForFinished(120000) || start.exitCode() != 0) {
        *error = QStringLiteral("the virtual desktop did not start: ") +
                 QString::fromLocal8Bit(start.readAllStandardError());
        return {};
    }
    QFile state(stateFile);
    if (!state.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no state file ") + stateFile;
        return {};
    }
    for (const QByteArray& line : state.readAll().split('\n')) {
        if (line.startsWith("DISPLAY="))
            return QString::fromLatin1(line.mid(8));
    }
    *error = QStringLiteral("the state file names no display");
    return {};
}

inline void stop(const QString& stateFile) {
    QProcess stop;
    stop.start(QStringLiteral("sh"), {script(), QStringLiteral("stop"), stateFile});
    stop.waitForFinished(60000);
}

// What a program on that display is started with: Qt's X11 platform, and no session bus, so
// that the tray uses the X11 protocol tint2 speaks.
inline QProcessEnvironment environmentFor(const QString& display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return env;
}

} // namespace virtualdesktop
