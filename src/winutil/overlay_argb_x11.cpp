#include "winutil/overlay_argb_x11.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <vector>

quint32 findArgbVisual(const xcb_screen_t* screen, bool serverIsLsbFirst) {
    // The image's bytes go to the server as they are: its byte order must be the host's.
    if (!screen || serverIsLsbFirst != (Q_BYTE_ORDER == Q_LITTLE_ENDIAN))
        return 0;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t* visual = visuals.data;
            if (visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR && visual->red_mask == 0xFF0000 &&
                visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF)
                return visual->visual_id;
        }
    }
    return 0;
}

X11CompositorWatch::X11CompositorWatch(xcb_connection_t* connection, quint32 root, int screenNumber,
                                       QObject* parent)
    : QObject(parent), m_connection(connection) {
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return;
    m_firstEvent = xfixes->first_event;

    // All requests first, then the replies: one round trip. The version must be negotiated
    // on a connection before XFixes takes requests; Qt has done so, asking again is harmless.
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
    const auto version =
        xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION);
    const auto atomCookie = xcb_intern_atom(connection, 0, quint16(name.size()), name.constData());
    std::free(xcb_xfixes_query_version_reply(connection, version, nullptr));
    if (auto* reply = xcb_intern_atom_reply(connection, atomCookie, nullptr)) {
        m_selection = reply->atom;
        std::free(reply);
    }
    if (m_selection == XCB_NONE)
        return;

    // Selected before the owner is asked, so that a change in between is not lost. Qt
    // selects the same on the root for its own needs; the mask is the same.
    xcb_xfixes_select_selection_input(connection, root, m_selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    const auto owner = xcb_get_selection_owner(connection, m_selection);
    if (auto* reply = xcb_get_selection_owner_reply(connection, owner, nullptr)) {
        m_running = reply->owner != XCB_NONE;
        std::free(reply);
    }
    m_usable = true;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11CompositorWatch::~X11CompositorWatch() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool X11CompositorWatch::nativeEventFilter(const QByteArray& eventType, void* message,
                                           qintptr* /*result*/) {
    if (!m_usable || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != m_firstEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notify->selection != m_selection)
        return false;
    // A new owner (one compositor replacing another keeps it running), or the owner's window
    // or client gone.
    const bool running = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                         notify->owner != XCB_NONE;
    if (running != m_running) {
        m_running = running;
        emit runningChanged(running);
    }
    return false; // Qt follows the same selection for its own needs
}

void setUnshadowedHints(xcb_connection_t* connection, quint32 window) {
    // Asked when a window is made, which happens at start and when a compositor comes or
    // goes: one round trip then, none while the countdown runs.
    const char* names[] = {"_COMPTON_SHADOW", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP"};
    xcb_intern_atom_cookie_t cookies[3];
    for (int i = 0; i < 3; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, quint16(std::strlen(names[i])), names[i]);
    xcb_atom_t atoms[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (auto* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr)) {
            atoms[i] = reply->atom;
            std::free(reply);
        }
    }
    if (atoms[0] != XCB_NONE) {
        const quint32 noShadow = 0;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atoms[0], XCB_ATOM_CARDINAL,
                            32, 1, &noShadow);
    }
    if (atoms[1] != XCB_NONE && atoms[2] != XCB_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atoms[1], XCB_ATOM_ATOM, 32,
                            1, &atoms[2]);
}

QImage renderTransparent(QWidget* window, const QRect& source, const QRect& deviceRect,
                         qreal ratio, const ColorKeyContentPainter& contentPainter) {
    QImage image(deviceRect.size(), QImage::Format_ARGB32_Premultiplied);
    renderTransparentInto(image, window, source, deviceRect, ratio, contentPainter);
    return image;
}

bool paintContentAt(QPainter& painter, const QRect& source,
                    const ColorKeyContentPainter& contentPainter) {
    if (!contentPainter)
        return false;
    painter.translate(-QPointF(source.topLeft()));
    if (contentPainter(painter, source))
        return true;
    painter.translate(QPointF(source.topLeft()));
    return false;
}

void renderTransparentInto(QImage& image, QWidget* window, const QRect& source,
                           const QRect& deviceRect, qreal ratio,
                           const ColorKeyContentPainter& contentPainter) {
    image.fill(Qt::transparent);
    if (!window || image.isNull())
        return;
    image.setDevicePixelRatio(ratio);

    QPainter painter(&image);
    // The source's corner lands where it lies among the device pixels, a fraction of a
    // pixel into the image at a fractional scale.
    painter.translate(QPointF(source.topLeft()) - QPointF(deviceRect.topLeft()) / ratio);
    if (!paintContentAt(painter, source, contentPainter)) {
        // The colour-keyed window and its labels fill their background with the key
        // (render() paints a widget's fill even where the window's background is not asked
        // for). Here they must not: for the length of this render the fill is off. Switching
        // it costs no paint, since Qt never paints the overlay widget itself.
        std::vector<QWidget*> filled;
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* child : widgets) {
            if (child->autoFillBackground()) {
                child->setAutoFillBackground(false);
                filled.push_back(child);
            }
        }
        window->render(&painter, QPoint(), QRegion(source), QWidget::DrawChildren);
        for (QWidget* child : filled)
            child->setAutoFillBackground(true);
    }
    painter.end();
    image.setDevicePixelRatio(1.0);
}
