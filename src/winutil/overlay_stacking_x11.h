#pragma once

#include <QAbstractNativeEventFilter>
#include <QtGlobal>

struct xcb_connection_t;

// Gives the overlay's unmanaged window the stacking of an ordinary window that never takes
// the focus: it appears above the windows present when it is shown, and a window the user
// activates afterwards comes above it.
//
// The window manager never stacks its windows above an override-redirect window, so this
// follows the root window's _NET_ACTIVE_WINDOW: when a window that lies beneath the overlay
// becomes active, the overlay goes directly below that window's top-level frame. Windows that
// are not activated keep their place relative to it, and a desktop window (a file manager's
// icons) never covers it. The round trips happen only when the active window changes; the
// root's property events arrive whether or not anyone watches them.
class X11OverlayStacking final : public QAbstractNativeEventFilter {
public:
    struct Atoms {
        quint32 activeWindow = 0;      // _NET_ACTIVE_WINDOW
        quint32 windowType = 0;        // _NET_WM_WINDOW_TYPE
        quint32 windowTypeDesktop = 0; // _NET_WM_WINDOW_TYPE_DESKTOP
    };

    // Installs itself as a native event filter of the application until destroyed.
    X11OverlayStacking(xcb_connection_t* connection, quint32 root, quint32 window,
                       const Atoms& atoms);
    ~X11OverlayStacking() override;
    X11OverlayStacking(const X11OverlayStacking&) = delete;
    X11OverlayStacking& operator=(const X11OverlayStacking&) = delete;

    // Only a mapped overlay follows the active window: showing puts it on top anyway.
    void setFollowing(bool following) { m_following = following; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void activeWindowChanged();

    xcb_connection_t* m_connection;
    quint32 m_root;
    quint32 m_window;
    Atoms m_atoms;
    bool m_following = false;
};
