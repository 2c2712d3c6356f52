#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The signals with which a desktop session, a terminal or a service manager ends a program:
// SIGTERM (a log-out), SIGHUP (the terminal or session went away) and SIGINT (Ctrl+C). The
// platform's watcher turns them into endRequested on the event loop, so that the program ends
// through its ordinary exit instead of dying where it stands. One watcher at a time; its
// destruction gives the signals back their earlier handling.
class SessionEndSignals : public QObject {
    Q_OBJECT
public:
    ~SessionEndSignals() override = default;

    // The platform's watcher, already watching; null when the signals could not be caught
    // (the program then ends as it did before, without storing).
    static std::unique_ptr<SessionEndSignals> create();

signals:
    // Emitted on the event loop, once for each signal received.
    void endRequested(int signalNumber);

protected:
    SessionEndSignals() = default;
};

// The end of the program, however it comes: the tray's "退出(&E)", a signal, the session
// manager's request to save, or the event loop's end. What the tray's exit stores (the
// countdown's style) is stored on every one of these ways, and once: a log-out that sends
// SIGTERM and then ends the event loop writes the file one time. A change of the style after
// a store (the session manager asked to save, then the log-out was cancelled) is stored again.
class SessionEnd final : public QObject {
    Q_OBJECT
public:
    // Stores what the exit stores; false with a Chinese reason.
    using Store = std::function<bool(QString* error)>;
    // Tells of a store that failed. A log-out cannot wait for a box, so the session's ways end
    // with a line on stderr; the menu's exit shows a box.
    using Report = std::function<void(const QString& message)>;
    // The tray's exit path, given how its failure is to be told.
    using ExitPath = std::function<void(const Report& report)>;

    SessionEnd(Store store, ExitPath exitPath, QObject* parent = nullptr);

    // The store of every way out; true when stored now, or already stored and unchanged since.
    bool storeOnce(const Report& report);
    // The style changed: the next storeOnce writes again.
    void styleChanged();

    // A signal arrived: ends the program as the tray's exit does (a second signal while ending
    // changes nothing).
    void signalReceived(int signalNumber);
    // The session manager asks the program to save (it may still cancel the log-out).
    void commitDataRequested();
    // The event loop is ending (after the exit path, or a quit from anywhere else).
    void aboutToQuit();

    // Watches these signals from now on; they stay owned by the caller.
    void watch(SessionEndSignals* signalSource);

    // A store failure at the end of a session: one line on stderr.
    static void reportToStderr(const QString& message);
    void setSessionReport(Report report);

    bool isEnding() const { return m_ending; }

private:
    Store m_store;
    ExitPath m_exitPath;
    Report m_sessionReport;
    bool m_stored = false;
    bool m_ending = false;
};
