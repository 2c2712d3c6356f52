#pragma once

#include <QObject>

#include <memory>
#include <vector>

// Whether the desktop has a notification area that can take our icon right now: a
// StatusNotifierItem host on the session bus, or an XEmbed tray (the owner of
// _NET_SYSTEM_TRAY_S<n>). Panels start when they like (at login together with the autostart
// programs) and may restart, so this is watched for the whole run, not asked once.
class TrayHostProbe : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isPresent() const = 0;

signals:
    // isPresent() may have changed.
    void presenceChanged();
};

// Present while any of its probes is.
class AnyTrayHost final : public TrayHostProbe {
    Q_OBJECT
public:
    explicit AnyTrayHost(std::vector<std::unique_ptr<TrayHostProbe>> probes,
                         QObject* parent = nullptr);
    ~AnyTrayHost() override;

    bool isPresent() const override { return m_present; }

private:
    void update();

    std::vector<std::unique_ptr<TrayHostProbe>> m_probes;
    bool m_present = false;
};

// The probe of this platform's notification areas (both kinds on X11).
std::unique_ptr<TrayHostProbe> createTrayHostProbe();
