#pragma once

class WindowRegistry;
class SettingsStore;
class DataPaths;
class Clock;
class SkinLibrary;
class Heartbeat;
class CountdownStyle;
class TrayNotifier;
class ProgramControl;

// What every window is given: the shared services, each replaceable in tests. They outlive
// every window, so windows hold them by reference and never test for their absence.
struct AppContext {
    WindowRegistry& registry;
    SettingsStore& settings;
    const DataPaths& paths;
    const Clock& clock;
    SkinLibrary& skin;
    // The program's one wall-clock second: every once-a-second timer of every window.
    Heartbeat& heartbeat;
    // The countdown's font, colour and rectangle, shown by frmMain, changed by other windows.
    CountdownStyle& style;
    // The tray icon's tooltip and messages, for windows that must not depend on the tray.
    TrayNotifier& notifier;
    // Restarting and ending the program, for windows that must not depend on the application.
    ProgramControl& program;
};
