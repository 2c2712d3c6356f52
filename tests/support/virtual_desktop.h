#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

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

// One value the state file holds (DISPLAY, TINT2_PID, ...), or empty.
inline QString stateValue(const QString& stateFile, const QByteArray& key) {
    QFile state(stateFile);
    if (!state.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : state.read(1 << 16).split('\n')) {
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1)).trimmed();
    }
    return {};
}

inline void stop(const QString& stateFile) {
    QProcess stop;
    stop.start(QStringLiteral("sh"), {script(), QStringLiteral("stop"), stateFile});
    stop.waitForFinished(60000);
}

// The system bus address a test and what it starts get: the test runner's stand-in, which
// answers nobody and notes each connection, or outside the runner a socket that does not exist.
inline QString sandboxSystemBus() {
    const QString sandbox = qEnvironmentVariable("DALVENOR_TEST_SANDBOX");
    if (!sandbox.isEmpty())
        return QStringLiteral("unix:path=") + sandbox + QStringLiteral("/system-bus");
    return QStringLiteral("unix:path=") + QDir::tempPath() +
           QStringLiteral("/dalvenor-no-system-bus-%1").arg(QCoreApplication::applicationPid());
}

// A session bus address that reaches nothing (a socket of the sandbox that does not exist):
// set rather than left out, since with an X display and no address libdbus would start a
// session bus of its own that outlives the test.
inline QString sandboxSessionBus() {
    const QString sandbox = qEnvironmentVariable("DALVENOR_TEST_SANDBOX");
    if (!sandbox.isEmpty())
        return QStringLiteral("unix:path=") + sandbox + QStringLiteral("/no-session-bus");
    return QStringLiteral("unix:path=") + QDir::tempPath() +
           QStringLiteral("/dalvenor-no-session-bus-%1").arg(QCoreApplication::applicationPid());
}

// What connected to the sandbox's system bus so far, one line per connection naming the
// process; empty when nothing did.
inline QStringList systemBusConnections() {
    const QString log = qEnvironmentVariable("DALVENOR_SYSTEM_BUS_LOG");
    if (log.isEmpty() || !QFileInfo(log).isFile())
        return {};
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("unreadable connection log ") + log};
    return QString::fromUtf8(file.read(1 << 20)).split(u'\n', Qt::SkipEmptyParts);
}

// What a program on that display is started with: Qt's X11 platform, the sandbox's system
// bus, and a session bus that reaches nothing, so that the tray uses the X11 protocol tint2
// speaks.
inline QProcessEnvironment environmentFor(const QString& display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sandboxSessionBus());
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), sandboxSystemBus());
    return env;
}

// A copy of the program in folder (created) with its portable marker and the given data files
// of the build beside it, so that it reads and writes its files there, never beside the build's
// binary. The copy's path, or empty with the reason in error.
inline QString portableCopy(const QString& program, const QString& folder, QString* error,
                            const QStringList& files = {QStringLiteral("countdown.ini"),
                                                        QStringLiteral("ral.txt")}) {
    const QDir source = QFileInfo(program).dir();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make ") + folder;
        return {};
    }
    const QString copy = folder + u'/' + QFileInfo(program).fileName();
    if (!QFile::copy(program, copy)) {
        *error = QStringLiteral("cannot copy ") + program;
        return {};
    }
    if (!QFile::copy(source.filePath(QStringLiteral("dalvenor.portable")),
                     folder + QStringLiteral("/dalvenor.portable"))) {
        *error = QStringLiteral("no portable marker beside ") + program;
        return {};
    }
    for (const QString& file : files) {
        if (QFileInfo(source.filePath(file)).isFile())
            QFile::copy(source.filePath(file), folder + u'/' + file);
    }
    return copy;
}

} // namespace virtualdesktop
