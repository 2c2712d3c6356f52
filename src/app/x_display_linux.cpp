#include "app/x_display.h"

#include <xcb/xcb.h>

bool xDisplayReachable(const QByteArray& display) {
    // The same connection Qt's xcb platform would make (authority included), closed at once.
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool reachable = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return reachable;
}
