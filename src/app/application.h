#pragma once

#include "app_context.h"
#include "clock.h"
#include "countdown_style.h"
#include "data_paths.h"
#include "heartbeat.h"
#include "window_registry.h"

#include <QString>

#include <memory>

class SettingsStore;
class SkinLibrary;
class Autostart;
class TrayNotices;

// Owns the shared services and the window registry, and knows every window by name.
class Application {
public:
    explicit Application(const QString& programDir);
    ~Application();

    // Shows the countdown window; its load sequence is the program's start-up.
    void start();

    AppContext& context() { return m_context; }

private:
    void registerForms();

    DataPaths m_paths;
    SystemClock m_clock;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<SkinLibrary> m_skin;
    std::unique_ptr<Autostart> m_autostart;
    Heartbeat m_heartbeat;
    CountdownStyle m_style;
    std::unique_ptr<TrayNotices> m_notices;
    WindowRegistry m_registry;
    AppContext m_context;
};
