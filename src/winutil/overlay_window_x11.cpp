#include "winutil/overlay_window_x11.h"

#include "winutil/device_pixels.h"
#include "winutil/overlay_argb_x11.h"
#include "winutil/overlay_shape_x11.h"
#include "winutil/overlay_stacking_x11.h"
#include "winutil/window_utils.h"

#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QSysInfo>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unistd.h>

// From Xlib, which would otherwise bring its macros (None, Expose, ...) into this file.
extern "C" int XDefaultScreen(Display* display);

namespace {

// Rows rendered at a time by a full render: keeps the temporary image near 100 KB for the
// countdown's width, and each strip fits one PutImage request even without BIG-REQUESTS.
constexpr int kStripRows = 64;

QRgb keyRgb() {
    return colorFromBgr(kTransparencyKey).rgb();
}

// What this server offers, looked up once: the first overlay pays one round trip for the
// atoms and the shape version, later ones nothing.
struct Server {
    bool usable = false;
    xcb_window_t root = 0;
    quint8 depth = 0;
    int screenNumber = 0;
    // For per-pixel alpha under a compositor; 0 where the screen has no such visual.
    quint32 argbVisual = 0;
    quint32 maxRequestBytes = 0;
    xcb_atom_t netWmName = 0;
    xcb_atom_t utf8String = 0;
    xcb_atom_t netWmPid = 0;
    X11OverlayStacking::Atoms stacking;
};

const xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem; xcb_screen_next(&it), ++i) {
        if (i == number)
            return it.data;
    }
    return nullptr;
}

// The pixmap gets the bytes of a QImage::Format_RGB32 as they are: that needs 32-bit pixels
// in the host's byte order with red, green and blue in the usual places.
bool rootTakesRgb32(xcb_connection_t* connection, const xcb_screen_t* screen) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const bool hostIsLsbFirst = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    if (screen->root_depth != 24 ||
        (setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != hostIsLsbFirst)
        return false;
    bool pixelsOk = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == 24)
            pixelsOk = it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    }
    if (!pixelsOk)
        return false;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t* visual = visuals.data;
            if (visual->visual_id == screen->root_visual)
                return visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                       visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
                       visual->blue_mask == 0x0000FF;
        }
    }
    return false;
}

Server lookUpServer(xcb_connection_t* connection, Display* display) {
    Server server;
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(connection, &xcb_shape_id);
    const int screenNumber = display ? XDefaultScreen(display) : 0;
    const xcb_screen_t* screen = screenOf(connection, screenNumber);
    if (!shape || !shape->present || !screen || !rootTakesRgb32(connection, screen))
        return server;

    // All requests first, then all replies: one round trip.
    const auto version = xcb_shape_query_version(connection);
    const auto rootAttributes = xcb_get_window_attributes(connection, screen->root);
    const char* names[] = {"_NET_WM_NAME",        "UTF8_STRING",
                           "_NET_WM_PID",         "_NET_ACTIVE_WINDOW",
                           "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP"};
    constexpr int kAtoms = int(std::size(names));
    xcb_intern_atom_cookie_t cookies[kAtoms];
    for (int i = 0; i < kAtoms; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, quint16(std::strlen(names[i])), names[i]);
    xcb_atom_t atoms[kAtoms] = {};
    for (int i = 0; i < kAtoms; ++i) {
        if (auto* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr)) {
            atoms[i] = reply->atom;
            std::free(reply);
        }
    }
    // The overlay's stacking follows the root's active-window property. Qt selects property
    // events on the root for its own needs; should it ever stop, they are added to its mask,
    // which is this connection's and must keep Qt's bits.
    if (auto* reply = xcb_get_window_attributes_reply(connection, rootAttributes, nullptr)) {
        if (!(reply->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE)) {
            const quint32 mask = reply->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
        }
        std::free(reply);
    }
    bool inputShape = false;
    if (auto* reply = xcb_shape_query_version_reply(connection, version, nullptr)) {
        // Input shapes came with version 1.1.
        inputShape =
            reply->major_version > 1 || (reply->major_version == 1 && reply->minor_version >= 1);
        std::free(reply);
    }
    server.usable = inputShape && std::all_of(std::begin(atoms), std::end(atoms),
                                              [](xcb_atom_t atom) { return atom != 0; });
    server.root = screen->root;
    server.depth = screen->root_depth;
    server.screenNumber = screenNumber;
    server.argbVisual = findArgbVisual(screen, xcb_get_setup(connection)->image_byte_order ==
                                                   XCB_IMAGE_ORDER_LSB_FIRST);
    server.maxRequestBytes = xcb_get_maximum_request_length(connection) * 4;
    server.netWmName = atoms[0];
    server.utf8String = atoms[1];
    server.netWmPid = atoms[2];
    server.stacking = {atoms[3], atoms[4], atoms[5]};
    return server;
}

const Server& serverFor(xcb_connection_t* connection, Display* display) {
    static xcb_connection_t* lookedUp = nullptr;
    static Server server;
    if (lookedUp != connection) {
        server = lookUpServer(connection, display);
        lookedUp = connection;
    }
    return server;
}

xcb_connection_t* currentConnection() {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The class Qt gives its own windows, so that the overlay is found like the others.
QByteArray wmClass() {
    const QString program = QFileInfo(QCoreApplication::arguments().value(0)).fileName();
    QString instance = qEnvironmentVariable("RESOURCE_NAME");
    if (instance.isEmpty())
        instance = program;
    QString className = QCoreApplication::applicationName();
    if (className.isEmpty()) {
        className = program;
        if (!className.isEmpty())
            className[0] = className.at(0).toUpper();
    }
    return instance.toLocal8Bit() + '\0' + className.toLocal8Bit() + '\0';
}

void changeProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                    xcb_atom_t type, quint8 format, const void* data, quint32 count) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, format, count,
                        data);
}

std::vector<xcb_rectangle_t> toXcb(const std::vector<QRect>& region) {
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(region.size());
    for (const QRect& r : region)
        rects.push_back({qint16(r.x()), qint16(r.y()), quint16(r.width()), quint16(r.height())});
    return rects;
}

} // namespace

X11Overlay* X11Overlay::attach(QWidget* window) {
    xcb_connection_t* connection = currentConnection();
    if (!connection || !window)
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const Server& server = serverFor(connection, x11->display());
    if (!server.usable)
        return nullptr;
    return new X11Overlay(window, connection, server.root, server.depth);
}

X11Overlay* X11Overlay::of(const QWidget* window) {
    return window ? window->findChild<X11Overlay*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

X11Overlay::X11Overlay(QWidget* window, xcb_connection_t* connection, quint32 root, quint8 depth)
    : QObject(window), m_widget(window), m_connection(connection), m_root(root), m_depth(depth) {
    // Under a compositor the window is drawn with per-pixel alpha instead of a key colour
    // (overlay_argb_x11.h), switching whenever one starts or stops.
    const Server& server = serverFor(connection, nullptr);
    if (server.argbVisual) {
        m_argbVisual = server.argbVisual;
        m_compositor = new X11CompositorWatch(connection, root, server.screenNumber, this);
        m_argb = m_compositor->isRunning();
        connect(m_compositor, &X11CompositorWatch::runningChanged, this,
                &X11Overlay::compositorChanged);
    }
    // Qt keeps the widget as it is (visible or not, its geometry, its children) but neither
    // maps nor paints it: that is our window's work.
    const bool wasVisible = window->isVisible();
    if (wasVisible)
        window->hide();
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->installEventFilter(this);
    if (wasVisible)
        window->show();
}

X11Overlay::~X11Overlay() {
    destroyNative();
}

void X11Overlay::compositorChanged(bool running) {
    if (running == m_argb)
        return;
    // A window's visual is fixed when it is made: the window is made again, on the other
    // visual, and shown where it was if it was shown.
    const bool wasMapped = m_mapped;
    destroyNative();
    m_argb = running;
    if (wasMapped)
        show();
}

quint8 X11Overlay::depth() const {
    return m_argb ? 32 : m_depth;
}

void X11Overlay::update(const QRect& area) {
    // A layout request that the change posted before this call is explained by it and needs
    // no render of its own. Taken back here, it costs no turn of the event loop either.
    QCoreApplication::removePostedEvents(m_widget, QEvent::LayoutRequest);
    if (!m_mapped)
        return; // showing renders everything
    if (area.isEmpty() || area.contains(m_widget->rect()))
        renderAll();
    else if (renderBand(area))
        xcb_flush(m_connection);
}

bool X11Overlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_widget)
        return false;
    switch (event->type()) {
    case QEvent::UpdateRequest:
        // Qt would paint the widget into a backing store that nobody sees. Swallowed, the
        // repaint manager keeps its dirty state and posts no further request.
        return true;
    case QEvent::LayoutRequest:
        // A child changed its text or font, and no explicit update has taken the request back:
        // the change is shown by a full render once this pass of the event loop is over.
        if (!m_rendering)
            queueFullRender();
        break;
    case QEvent::ChildAdded:
    case QEvent::ChildRemoved:
        queueFullRender();
        break;
    case QEvent::Show:
        show();
        break;
    case QEvent::Hide:
        hide();
        break;
    case QEvent::Move:
        moveNative();
        break;
    case QEvent::Resize:
        resizeNative();
        break;
    case QEvent::WindowTitleChange:
        if (m_window) {
            setNames();
            xcb_flush(m_connection);
        }
        break;
    default:
        break;
    }
    return false;
}

void X11Overlay::createNative() {
    createPixmap();
    m_gc = xcb_generate_id(m_connection);
    const quint32 noExposures = 0; // a PutImage never asks for exposure events anyway
    xcb_create_gc(m_connection, m_gc, m_pixmap, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    clearPixmap();

    m_window = xcb_generate_id(m_connection);
    const QRect geometry = nativeGeometry();
    // In the order of the value mask bits. No event is ever selected: the server repaints
    // from the background pixmap by itself, and a quiet window never wakes the program.
    // A visual other than the root's needs a colormap of its own.
    quint32 visual = XCB_COPY_FROM_PARENT;
    quint32 mask =
        XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
    if (m_argb) {
        visual = m_argbVisual;
        m_colormap = xcb_generate_id(m_connection);
        xcb_create_colormap(m_connection, XCB_COLORMAP_ALLOC_NONE, m_colormap, m_root, visual);
        mask |= XCB_CW_COLORMAP;
    }
    const quint32 values[] = {m_pixmap, 0, 1, 0, m_colormap};
    xcb_create_window(m_connection, depth(), m_window, m_root, qint16(geometry.x()),
                      qint16(geometry.y()), quint16(m_visible.size().width()),
                      quint16(m_visible.size().height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                      mask, values);
    // Nothing shows until the content is rendered (under a compositor the content is all
    // transparent until then); no pixel ever takes a click.
    if (m_argb)
        setUnshadowedHints(m_connection, m_window);
    else
        xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                             XCB_CLIP_ORDERING_YX_BANDED, m_window, 0, 0, 0, nullptr);
    xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                         XCB_CLIP_ORDERING_YX_BANDED, m_window, 0, 0, 0, nullptr);

    setNames();
    const QByteArray windowClass = wmClass();
    changeProperty(m_connection, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                   windowClass.constData(), quint32(windowClass.size()));
    const QByteArray host = QSysInfo::machineHostName().toLocal8Bit();
    changeProperty(m_connection, m_window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                   host.constData(), quint32(host.size()));
    const Server& server = serverFor(m_connection, nullptr);
    const quint32 pid = quint32(::getpid());
    changeProperty(m_connection, m_window, server.netWmPid, XCB_ATOM_CARDINAL, 32, &pid, 1);

    m_stacking =
        std::make_unique<X11OverlayStacking>(m_connection, m_root, m_window, server.stacking);
}

void X11Overlay::createPixmap() {
    const QSize size = nativeGeometry().size().expandedTo(QSize(1, 1));
    m_visible.reset(size);
    m_pixmap = xcb_generate_id(m_connection);
    xcb_create_pixmap(m_connection, depth(), m_pixmap, m_root, quint16(size.width()),
                      quint16(size.height()));
}

void X11Overlay::clearPixmap() {
    // A new pixmap's pixels are undefined: all key colour (or all transparent), nothing is
    // visible, as the empty shape says. Only pixels that show are ever sent after this.
    const quint32 pixel = m_argb ? 0 : keyRgb() & 0x00FFFFFF;
    xcb_change_gc(m_connection, m_gc, XCB_GC_FOREGROUND, &pixel);
    const xcb_rectangle_t all = {0, 0, quint16(m_visible.size().width()),
                                 quint16(m_visible.size().height())};
    xcb_poly_fill_rectangle(m_connection, m_pixmap, m_gc, 1, &all);
}

void X11Overlay::destroyNative() {
    // At the end of the program the connection may be gone before the widget; the server
    // frees what a closed connection left anyway.
    m_stacking.reset();
    if (!m_window || currentConnection() != m_connection)
        return;
    xcb_destroy_window(m_connection, m_window);
    xcb_free_pixmap(m_connection, m_pixmap);
    xcb_free_gc(m_connection, m_gc);
    if (m_colormap)
        xcb_free_colormap(m_connection, m_colormap);
    xcb_flush(m_connection);
    m_window = m_pixmap = m_gc = m_colormap = 0;
    m_mapped = false;
}

void X11Overlay::setNames() {
    const QString title = m_widget->windowTitle();
    const QByteArray utf8 = title.toUtf8();
    const Server& server = serverFor(m_connection, nullptr);
    changeProperty(m_connection, m_window, server.netWmName, server.utf8String, 8, utf8.constData(),
                   quint32(utf8.size()));
    // WM_NAME in Latin-1 where the title allows it, as older tools expect.
    const QByteArray latin1 = title.toLatin1();
    const bool isLatin1 = QString::fromLatin1(latin1) == title;
    changeProperty(m_connection, m_window, XCB_ATOM_WM_NAME,
                   isLatin1 ? xcb_atom_t(XCB_ATOM_STRING) : server.utf8String, 8,
                   isLatin1 ? latin1.constData() : utf8.constData(),
                   quint32(isLatin1 ? latin1.size() : utf8.size()));
}

void X11Overlay::show() {
    m_ratio = currentRatio();
    if (!m_window)
        createNative();
    else
        resizeNative();
    moveNative();
    // Content and shape first, so that the key colour is never seen.
    renderAll();
    // Like a window that is shown, above the windows already there, even when the user
    // had activated one over it before it was hidden.
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_connection, m_window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_map_window(m_connection, m_window);
    xcb_flush(m_connection);
    m_mapped = true;
    m_stacking->setFollowing(true);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Start-up is over once the window is shown: what it left in the heap can go.
        QTimer::singleShot(0, this, [] { ReleaseFreedMemory(); });
    }
}

void X11Overlay::hide() {
    if (!m_mapped)
        return;
    xcb_unmap_window(m_connection, m_window);
    xcb_flush(m_connection);
    m_mapped = false;
    m_stacking->setFollowing(false);
}

qreal X11Overlay::currentRatio() const {
    const QScreen* screen = screenUnder();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    return ratio > 0 ? ratio : 1.0;
}

const QScreen* X11Overlay::screenUnder() const {
    // Qt never maps the widget, so its window's screen stays the one it started on: the
    // screen is the one under the widget's middle.
    if (const QScreen* screen = QGuiApplication::screenAt(m_widget->geometry().center()))
        return screen;
    return m_widget->screen() ? m_widget->screen() : QGuiApplication::primaryScreen();
}

QRect X11Overlay::nativeGeometry() const {
    const QScreen* screen = screenUnder();
    return devicepixels::nativeGeometry(m_widget->geometry(),
                                        screen ? screen->geometry().topLeft() : QPoint(), m_ratio);
}

void X11Overlay::moveNative() {
    if (!m_window)
        return;
    // On a screen of another scale the same logical size takes another number of pixels.
    if (const qreal ratio = currentRatio(); !qFuzzyCompare(ratio, m_ratio)) {
        m_ratio = ratio;
        m_ratioChanged = true;
        resizeNative();
    }
    const QPoint pos = nativeGeometry().topLeft();
    const quint32 values[] = {quint32(pos.x()), quint32(pos.y())};
    xcb_configure_window(m_connection, m_window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    if (m_mapped)
        xcb_flush(m_connection);
}

void X11Overlay::resizeNative() {
    if (!m_window)
        return;
    if (nativeGeometry().size().expandedTo(QSize(1, 1)) == m_visible.size() && !m_ratioChanged)
        return;
    m_ratioChanged = false;
    // Hide everything, then swap in a pixmap of the new size and draw it afresh.
    if (!m_argb)
        xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                             XCB_CLIP_ORDERING_YX_BANDED, m_window, 0, 0, 0, nullptr);
    xcb_free_pixmap(m_connection, m_pixmap);
    createPixmap();
    clearPixmap();
    const quint32 size[] = {quint32(m_visible.size().width()), quint32(m_visible.size().height())};
    xcb_configure_window(m_connection, m_window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         size);
    xcb_change_window_attributes(m_connection, m_window, XCB_CW_BACK_PIXMAP, &m_pixmap);
    if (m_mapped) {
        renderAll();
        xcb_flush(m_connection);
    }
}

void X11Overlay::renderAll() {
    m_fullRenderQueued = false;
    const QRect all = m_widget->rect();
    const int rows = qMax(1, int(kStripRows / m_ratio));
    for (int top = 0; top < all.height(); top += rows)
        renderBand(QRect(0, top, all.width(), qMin(rows, all.height() - top)));
    xcb_flush(m_connection);
}

bool X11Overlay::renderBand(const QRect& area) {
    // Drawn at the screen's resolution: the band's device pixels, every one that the logical
    // area touches, drawn whole (a scale of 1.5 splits pixels between bands), so that the
    // text is as sharp as the screen allows and the shape comes from the very pixels shown.
    const QRect rect = devicepixels::covering(area & m_widget->rect(), m_ratio) &
                       QRect(QPoint(), m_visible.size());
    if (rect.isEmpty())
        return false;
    const QRect source = devicepixels::coveringLogical(rect, m_ratio) & m_widget->rect();
    if (m_argb)
        return renderTransparentBand(rect, source);
    QImage scratch;
    QImage& image = bandImage(rect.size(), QImage::Format_RGB32, scratch);
    m_rendering = true;
    if (!paintKeptBand(image, rect, source, keyRgb())) {
        image.fill(keyRgb());
        image.setDevicePixelRatio(m_ratio);
        {
            QPainter painter(&image);
            // The source's corner lands where it lies among the device pixels, a fraction of
            // a pixel into the image at a fractional scale.
            painter.translate(QPointF(source.topLeft()) - QPointF(rect.topLeft()) / m_ratio);
            // The window's own background is the key, which the image holds already.
            if (!paintContentAt(painter, source, m_contentPainter))
                m_widget->render(&painter, QPoint(), QRegion(source), QWidget::DrawChildren);
        }
        image.setDevicePixelRatio(1.0);
    }
    m_rendering = false;
    return send(image, rect);
}

bool X11Overlay::renderTransparentBand(const QRect& rect, const QRect& source) {
    QImage scratch;
    QImage& image = bandImage(rect.size(), QImage::Format_ARGB32_Premultiplied, scratch);
    m_rendering = true;
    if (!paintKeptBand(image, rect, source, 0))
        renderTransparentInto(image, m_widget, source, rect, m_ratio, m_contentPainter);
    m_rendering = false;
    return send(image, rect);
}

bool X11Overlay::paintKeptBand(QImage& image, const QRect& rect, const QRect& source,
                               QRgb background) {
    if (&image != &m_band || !m_contentPainter)
        return false;
    // The painter stays on the image it began on, at the scale it began with; an image shared
    // with a copy would leave it drawing into the copy's pixels.
    if (m_bandPainter.isActive() &&
        (!m_band.isDetached() || m_band.devicePixelRatio() != m_ratio))
        m_bandPainter.end();
    if (!m_bandPainter.isActive()) {
        m_band.setDevicePixelRatio(m_ratio);
        if (!m_bandPainter.begin(&m_band))
            return false;
    }
    m_band.fill(background);
    m_bandPainter.resetTransform();
    m_bandPainter.translate(QPointF(source.topLeft()) - QPointF(rect.topLeft()) / m_ratio);
    if (paintContentAt(m_bandPainter, source, m_contentPainter))
        return true;
    // What the content painter leaves to the widgets is drawn by a painter of its own.
    m_bandPainter.end();
    return false;
}

QImage& X11Overlay::bandImage(const QSize& size, QImage::Format format, QImage& scratch) {
    // A full render's strips are large and come seldom: they are not kept.
    constexpr qint64 kKeptBytes = 16 * 1024;
    if (qint64(size.width()) * size.height() * 4 > kKeptBytes) {
        scratch = QImage(size, format);
        return scratch;
    }
    if (m_band.size() != size || m_band.format() != format) {
        if (m_bandPainter.isActive())
            m_bandPainter.end();
        m_band = QImage(size, format);
    }
    return m_band;
}

bool X11Overlay::send(const QImage& image, const QRect& rect) {
    // Only what shows now or showed before is sent: a tick of the countdown changes a digit
    // or two, and a band that shows nothing and showed nothing sends nothing. Few bytes also
    // keep the socket writable, so that no request ever waits for the server to read.
    const VisibleChange change =
        m_visible.replace(rect, image, m_argb ? std::nullopt : std::optional<QRgb>(keyRgb()));
    const QRect& target = change.touched;
    if (target.isEmpty())
        return false;
    const QRect changed = target.translated(-rect.topLeft());
    putImage(changed.size() == image.size() ? image : image.copy(changed), target.topLeft());
    // Under a compositor every pixel is blended by its alpha: no shape to keep in step.
    if (!m_argb)
        reshape(change);
    // The protocol leaves open whether a background shows later changes of its pixmap: set
    // it again, then repaint what stayed inside the shape.
    xcb_change_window_attributes(m_connection, m_window, XCB_CW_BACK_PIXMAP, &m_pixmap);
    xcb_clear_area(m_connection, 0, m_window, qint16(target.x()), qint16(target.y()),
                   quint16(target.width()), quint16(target.height()));
    return true;
}

void X11Overlay::putImage(const QImage& image, QPoint at) {
    const Server& server = serverFor(m_connection, nullptr);
    const quint32 stride = quint32(image.bytesPerLine());
    const quint32 room = server.maxRequestBytes - quint32(sizeof(xcb_put_image_request_t));
    const int rowsPerRequest = qMax(1, int(room / stride));
    for (int y = 0; y < image.height(); y += rowsPerRequest) {
        const int rows = qMin(rowsPerRequest, image.height() - y);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_pixmap, m_gc,
                      quint16(image.width()), quint16(rows), qint16(at.x()), qint16(at.y() + y), 0,
                      depth(), stride * quint32(rows), image.constScanLine(y));
    }
}

void X11Overlay::reshape(const VisibleChange& change) {
    // Only the difference travels: what appears first, then what goes, so that no pixel
    // that stays visible is ever uncovered in between.
    const Server& server = serverFor(m_connection, nullptr);
    const size_t perRequest =
        (server.maxRequestBytes - sizeof(xcb_shape_rectangles_request_t)) / sizeof(xcb_rectangle_t);
    auto apply = [&](xcb_shape_op_t op, const std::vector<QRect>& region) {
        const std::vector<xcb_rectangle_t> rects = toXcb(region);
        for (size_t i = 0; i < rects.size(); i += perRequest) {
            const size_t count = std::min(perRequest, rects.size() - i);
            xcb_shape_rectangles(m_connection, op, XCB_SHAPE_SK_BOUNDING,
                                 XCB_CLIP_ORDERING_YX_BANDED, m_window, 0, 0, quint32(count),
                                 rects.data() + i);
        }
    };
    apply(XCB_SHAPE_SO_UNION, change.shown);
    apply(XCB_SHAPE_SO_SUBTRACT, change.hidden);
}

void X11Overlay::queueFullRender() {
    if (m_fullRenderQueued || !m_mapped)
        return;
    m_fullRenderQueued = true;
    QMetaObject::invokeMethod(this, &X11Overlay::fullRenderIfQueued, Qt::QueuedConnection);
}

void X11Overlay::fullRenderIfQueued() {
    if (m_fullRenderQueued && m_mapped)
        renderAll();
    m_fullRenderQueued = false;
}
