#include "forms/window_registry.h"

#include "forms/form.h"
#include "forms/form_names.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcRegistry, "dalvenor.registry")
} // namespace

WindowRegistry::~WindowRegistry() {
    for (auto& window : m_loaded)
        delete window.data();
}

void WindowRegistry::checkName(const QString& name) {
    for (QLatin1String known : FormName::All) {
        if (known == name)
            return;
    }
    qCWarning(lcRegistry, "no window of the program is named \"%s\"", qUtf8Printable(name));
}

void WindowRegistry::registerForm(const QString& name, Factory factory) {
    checkName(name);
    m_factories.insert(name, std::move(factory));
}

Form* WindowRegistry::load(const QString& name) {
    if (Form* existing = form(name))
        return existing;
    auto factory = m_factories.constFind(name);
    if (factory == m_factories.cend())
        return nullptr;
    Form* window = (*factory)();
    if (!window)
        return nullptr;
    // Registered before Form_Load so that the load sequence may already refer to the window.
    m_loaded.insert(name, window);
    window->Form_Load();
    return form(name);
}

Form* WindowRegistry::show(const QString& name) {
    Form* window = load(name);
    if (!window)
        return nullptr;
    window->show();
    window->raise();
    return window;
}

bool WindowRegistry::unload(const QString& name) {
    Form* window = form(name);
    if (!window)
        return true;
    bool cancel = false;
    window->Form_Unload(cancel);
    if (cancel)
        return false;
    m_loaded.remove(name);
    window->hide();
    // Deferred: the unload is often requested from one of the window's own handlers.
    window->deleteLater();
    return true;
}

bool WindowRegistry::isLoaded(const QString& name) const {
    return form(name) != nullptr;
}

Form* WindowRegistry::form(const QString& name) const {
    checkName(name);
    auto it = m_loaded.constFind(name);
    return it == m_loaded.cend() ? nullptr : it->data();
}
