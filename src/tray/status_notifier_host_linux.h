#pragma once

#include "tray/tray_host.h"

#include <QDBusConnection>

class QDBusServiceWatcher;

// A StatusNotifierItem host (Plasma, LXQt, UKUI, Deepin, GNOME's AppIndicator extension):
// the org.kde.StatusNotifierWatcher service on the session bus that says a host is registered
// with it. That is also what Qt asks when it makes a tray icon, so the two agree.
class StatusNotifierHost final : public TrayHostProbe {
    Q_OBJECT
public:
    static constexpr QLatin1String kService{"org.kde.StatusNotifierWatcher"};
    static constexpr QLatin1String kPath{"/StatusNotifierWatcher"};

    explicit StatusNotifierHost(const QDBusConnection& bus, QObject* parent = nullptr);
    ~StatusNotifierHost() override;

    bool isPresent() const override { return m_present; }

private slots:
    // The watcher's StatusNotifierHostRegistered signal (QtDBus connects by slot name).
    void hostRegistered();

private:
    void ask();
    void setPresent(bool present);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_present = false;
    // An answer to an older question (the watcher went and came back meanwhile) is dropped.
    quint64 m_question = 0;
};
