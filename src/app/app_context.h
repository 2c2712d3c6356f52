#pragma once

class WindowRegistry;
class SettingsStore;
class DataPaths;
class Clock;
class SkinLibrary;
class Autostart;

// What every window is given: the shared services, each replaceable in tests.
struct AppContext {
    WindowRegistry* registry = nullptr;
    SettingsStore* settings = nullptr;
    const DataPaths* paths = nullptr;
    const Clock* clock = nullptr;
    SkinLibrary* skin = nullptr;
    Autostart* autostart = nullptr;
};
