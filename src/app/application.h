#pragma once

#include "forms/app_context.h"
#include "forms/clock.h"
#include "forms/countdown_style.h"
#include "forms/heartbeat.h"
#include "forms/program_control.h"
#include "forms/window_registry.h"
#include "settings/data_paths.h"

#include <QMetaObject>
#include <QString>

#include <functional>
#include <memory>

class SettingsStore;
class SkinLibrary;
class Autostart;
class TrayNotices;
class TrayPresence;
class NoTrayNotice;
class SingleInstance;
class SessionEnd;
class SessionEndSignals;

// Owns the shared services and the window registry, and knows every window by name.
class Application final : public ProgramControl {
public:
    // instance: the one-instance guard this process holds, let go of by a restart.
    explicit Application(const QString& programDir, SingleInstance* instance = nullptr);
    ~Application() override;

    // Starts this executable again, detached, once the guard no longer answers a new start;
    // the new instance waits until this process has ended.
    bool restart() override;
    // Ends the event loop, as the tray's "退出(&E)" does.
    void exit() override;

    // Shows the countdown window; its load sequence is the program's start-up. Without a
    // notification area the user is told once how to reach the menu.
    void start();

    // A later start of the program handed over to this one: the tray menu opens at the
    // pointer, the one way to the menu on a desktop without a notification area.
    void openMenuAtPointer();

    AppContext& context() { return m_context; }
    // Every way out of the program, the tray's exit and the end of the desktop session.
    SessionEnd& sessionEnd() { return *m_sessionEnd; }

private:
    void registerForms();
    void watchSessionEnd();
    // The tray's exit path, also for the session's end; without a tray window it stores and
    // ends the event loop the same way.
    void exitThroughTray(const std::function<void(const QString&)>& report);

    DataPaths m_paths;
    SystemClock m_clock;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<SkinLibrary> m_skin;
    std::unique_ptr<Autostart> m_autostart;
    Heartbeat m_heartbeat;
    CountdownStyle m_style;
    std::unique_ptr<TrayNotices> m_notices;
    std::unique_ptr<TrayPresence> m_trayPresence;
    SingleInstance* m_instance = nullptr;
    QMetaObject::Connection m_activation;
    std::unique_ptr<SessionEnd> m_sessionEnd;
    std::unique_ptr<SessionEndSignals> m_endSignals;
    WindowRegistry m_registry;
    AppContext m_context;
    // After the registry: it looks at the countdown window while it is open.
    std::unique_ptr<NoTrayNotice> m_noTrayNotice;
};
