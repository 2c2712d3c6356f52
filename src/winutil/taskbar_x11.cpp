#include "winutil/taskbar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// The window manager reads _NET_WM_STATE when the window is mapped and drops it when the
// window is withdrawn, so the states are put back before every showing. Qt keeps the atoms it
// does not know when it writes its own states at mapping.
class SkipTaskbarState : public QObject {
public:
    explicit SkipTaskbarState(QWidget* window) : QObject(window), m_window(window) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::Show)
            apply();
        return false;
    }

private:
    void apply() {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            return;
        xcb_connection_t* connection = x11->connection();
        const auto window = xcb_window_t(m_window->winId());
        const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
        const xcb_atom_t skip[] = {internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                   internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
        if (state == XCB_ATOM_NONE || skip[0] == XCB_ATOM_NONE || skip[1] == XCB_ATOM_NONE)
            return;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32, 2,
                            skip);
        xcb_flush(connection);
    }

    QWidget* m_window;
};

} // namespace

void HideFromTaskbar(QWidget* window) {
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    new SkipTaskbarState(window);
}
