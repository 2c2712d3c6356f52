#pragma once

#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>

class Form;

// Windows refer to each other by name through this registry, which breaks the cycle between
// the countdown window, the tray and the windows that reload the countdown.
//
// A name that is not one of the program's windows (FormName::All) is a mistake in the
// program and is logged as a warning wherever it is used; a known name without a factory is
// a window this build does not have, and showing it does nothing.
class WindowRegistry {
public:
    using Factory = std::function<Form*()>;

    WindowRegistry() = default;
    ~WindowRegistry();
    WindowRegistry(const WindowRegistry&) = delete;
    WindowRegistry& operator=(const WindowRegistry&) = delete;

    void registerForm(const QString& name, Factory factory);
    bool isRegistered(const QString& name) const { return m_factories.contains(name); }

    // Loads the window if needed (running its Form_Load) without showing it.
    Form* load(const QString& name);
    // Loads if needed, then makes the window visible (modeless) and brings it forward.
    Form* show(const QString& name);
    // Runs the window's Form_Unload; unless it cancels, the window is destroyed.
    // Returns false only when the window cancelled. Unloading a window not loaded does nothing.
    bool unload(const QString& name);
    bool isLoaded(const QString& name) const;
    Form* form(const QString& name) const;

    // Typed access, keyed on the window class's own name (T::kName).
    template <class T> T* form() const { return qobject_cast<T*>(form(QString(T::kName))); }
    template <class T> T* load() { return qobject_cast<T*>(load(QString(T::kName))); }
    template <class T> T* show() { return qobject_cast<T*>(show(QString(T::kName))); }

private:
    // Warns about a name that is not one of the program's windows.
    static void checkName(const QString& name);

    QHash<QString, Factory> m_factories;
    QHash<QString, QPointer<Form>> m_loaded;
};
