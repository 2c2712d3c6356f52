#pragma once

#include "tray/tray_host.h"

#include <QByteArray>

#include <cstdint>

class QSocketNotifier;
struct xcb_connection_t;

// An XEmbed notification area (tint2, stalonetray, Xfce's and LXQt's tray plugins): the owner
// of the selection _NET_SYSTEM_TRAY_S<screen>. Watched on an X connection of its own, as the
// freedesktop system tray protocol asks of its clients: a new tray announces itself with a MANAGER
// message to the root window, and a tray that ends destroys its selection window.
class XEmbedTrayHost final : public TrayHostProbe {
    Q_OBJECT
public:
    // display: an X display name; empty for $DISPLAY.
    explicit XEmbedTrayHost(const QByteArray& display = {}, QObject* parent = nullptr);
    ~XEmbedTrayHost() override;

    bool isPresent() const override { return m_owner != 0; }

private:
    void readEvents();
    void findOwner();

    xcb_connection_t* m_connection = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_selection = 0;
    std::uint32_t m_manager = 0;
    std::uint32_t m_owner = 0;
};
