#include "tray/xembed_tray_host_x11.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, std::uint16_t(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

XEmbedTrayHost::XEmbedTrayHost(const QByteArray& display, QObject* parent) : TrayHostProbe(parent) {
    int screenNumber = 0;
    m_connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(m_connection)) {
        // No X server: there is no XEmbed tray to wait for.
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_root = screens.data->root;
    m_selection = internAtom(m_connection, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));
    m_manager = internAtom(m_connection, "MANAGER");
    // MANAGER is sent to the root window with the structure-notify mask.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    findOwner();
    m_notifier =
        new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XEmbedTrayHost::readEvents);
    QMetaObject::invokeMethod(this, &XEmbedTrayHost::readEvents, Qt::QueuedConnection);
}

XEmbedTrayHost::~XEmbedTrayHost() {
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XEmbedTrayHost::findOwner() {
    const std::uint32_t before = m_owner;
    m_owner = 0;
    // The owner may end between the question and the watch on its window; the checked watch
    // then fails and the question is asked again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr));
        if (!reply || reply->owner == XCB_WINDOW_NONE)
            break;
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        const Reply<xcb_generic_error_t> error(xcb_request_check(
            m_connection, xcb_change_window_attributes_checked(m_connection, reply->owner,
                                                               XCB_CW_EVENT_MASK, &mask)));
        if (!error) {
            m_owner = reply->owner;
            break;
        }
    }
    xcb_flush(m_connection);
    if (m_owner != before && (m_owner == 0 || before == 0))
        emit presenceChanged();
}

void XEmbedTrayHost::readEvents() {
    // Replies read while finding the owner may have queued events that the socket no longer
    // announces: read until nothing asks for another look.
    for (;;) {
        bool recheck = false;
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
            const Reply<xcb_generic_event_t> event(raw);
            switch (event->response_type & 0x7f) {
            case XCB_CLIENT_MESSAGE: {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(raw);
                if (message->type == m_manager && message->data.data32[1] == m_selection)
                    recheck = true;
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(raw);
                if (destroyed->window == m_owner)
                    recheck = true;
                break;
            }
            default:
                break;
            }
        }
        if (xcb_connection_has_error(m_connection)) {
            // The X server went away: nothing more will come on this connection.
            m_notifier->setEnabled(false);
            if (m_owner) {
                m_owner = 0;
                emit presenceChanged();
            }
            return;
        }
        if (!recheck)
            return;
        findOwner();
    }
}
