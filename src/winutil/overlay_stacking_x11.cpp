#include "winutil/overlay_stacking_x11.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

// Replies and errors come from malloc. The error of a request with a reply comes back with
// it; a window that went away in the meantime simply has no answer.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

template <typename T, typename Cookie, typename Fetch>
Reply<T> fetch(xcb_connection_t* connection, Fetch reply, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply<T> result(reply(connection, cookie, &error));
    std::free(error);
    return result;
}

xcb_window_t activeWindowOf(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t atom) {
    const auto reply = fetch<xcb_get_property_reply_t>(
        connection, xcb_get_property_reply,
        xcb_get_property(connection, 0, root, atom, XCB_ATOM_WINDOW, 0, 1));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return XCB_NONE;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

bool hasAtom(const xcb_get_property_reply_t* reply, xcb_atom_t wanted) {
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_ATOM)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == wanted)
            return true;
    }
    return false;
}

// The child of the root that holds window: the window manager's frame around it, or the
// window itself where nobody reparented it. XCB_NONE once window is gone.
xcb_window_t topLevelOf(xcb_connection_t* connection, xcb_window_t window,
                        xcb_query_tree_cookie_t first) {
    xcb_query_tree_cookie_t cookie = first;
    // Frames nest a level or two; a deeper chain is not a window manager's doing.
    for (int depth = 0; depth < 32; ++depth) {
        const auto reply = fetch<xcb_query_tree_reply_t>(connection, xcb_query_tree_reply, cookie);
        if (!reply || reply->parent == XCB_NONE)
            return XCB_NONE;
        if (reply->parent == reply->root)
            return window;
        window = reply->parent;
        cookie = xcb_query_tree(connection, window);
    }
    xcb_discard_reply(connection, cookie.sequence);
    return XCB_NONE;
}

} // namespace

X11OverlayStacking::X11OverlayStacking(xcb_connection_t* connection, quint32 root, quint32 window,
                                       const Atoms& atoms)
    : m_connection(connection), m_root(root), m_window(window), m_atoms(atoms) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11OverlayStacking::~X11OverlayStacking() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool X11OverlayStacking::nativeEventFilter(const QByteArray& eventType, void* message,
                                           qintptr* /*result*/) {
    if (!m_following || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (notify->window == m_root && notify->atom == m_atoms.activeWindow &&
        notify->state == XCB_PROPERTY_NEW_VALUE)
        activeWindowChanged();
    return false; // Qt and other filters see it too
}

void X11OverlayStacking::activeWindowChanged() {
    const xcb_window_t active = activeWindowOf(m_connection, m_root, m_atoms.activeWindow);
    if (active == XCB_NONE || active == m_window)
        return;

    // Everything the decision needs is asked at once; only each further level of frames
    // costs another round trip.
    const auto typeCookie =
        xcb_get_property(m_connection, 0, active, m_atoms.windowType, XCB_ATOM_ATOM, 0, 32);
    const auto parentCookie = xcb_query_tree(m_connection, active);
    const auto stackCookie = xcb_query_tree(m_connection, m_root);

    const auto type =
        fetch<xcb_get_property_reply_t>(m_connection, xcb_get_property_reply, typeCookie);
    const xcb_window_t frame = topLevelOf(m_connection, active, parentCookie);
    const auto stack =
        fetch<xcb_query_tree_reply_t>(m_connection, xcb_query_tree_reply, stackCookie);
    // A desktop window lies beneath everything; following it would bury the overlay.
    if (frame == XCB_NONE || frame == m_window || !stack ||
        hasAtom(type.get(), m_atoms.windowTypeDesktop))
        return;

    // Children come bottom first. Only an overlay above the frame moves: one already below
    // it (a window raised over it) stays where it is, as do the windows in between.
    const xcb_window_t* children = xcb_query_tree_children(stack.get());
    const int count = xcb_query_tree_children_length(stack.get());
    int overlayAt = -1;
    int frameAt = -1;
    for (int i = 0; i < count; ++i) {
        if (children[i] == m_window)
            overlayAt = i;
        else if (children[i] == frame)
            frameAt = i;
    }
    if (overlayAt < 0 || frameAt < 0 || overlayAt < frameAt)
        return;

    const quint32 values[] = {frame, XCB_STACK_MODE_BELOW};
    // Checked: the frame may be gone by now (BadWindow) or no longer a sibling (BadMatch).
    const auto cookie = xcb_configure_window_checked(
        m_connection, m_window, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    std::free(xcb_request_check(m_connection, cookie));
}
