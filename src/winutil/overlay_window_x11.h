#pragma once

#include "winutil/overlay_shape_x11.h"
#include "winutil/window_utils.h"

#include <QImage>
#include <QObject>
#include <QPainter>
#include <QRect>

#include <memory>

class QScreen;
class QWidget;
class X11CompositorWatch;
class X11OverlayStacking;
struct xcb_connection_t;

// Shows a colour-keyed overlay widget on the X server through a window of its own, so that
// Qt never paints, flushes or maps the widget itself.
//
// The widget stays the model (its children's texts, fonts and colours, its geometry and
// visibility) but is marked WA_DontShowOnScreen and its update requests are swallowed. This
// object keeps an unmanaged (override-redirect) X window in step with it: the content lives
// in a server-side pixmap set as the window's background, so the server repaints whatever
// gets uncovered by itself; the bounding shape holds exactly the pixels that differ from the
// key colour; the input shape is empty, so every click passes through. The window selects no
// events: nothing the server does ever wakes the program. Every change is a handful of
// one-way requests, never a round trip.
//
// What changed is rendered band by band (X11Overlay::update with the changed rectangle); of
// a band only the part that shows now or showed before is sent, with the shape's difference
// there. What showed is kept one bit a pixel, not as a copy of the pixels: a band that
// showed nothing and shows nothing sends nothing.
// A band is drawn by the window's content painter where it has one and can (see
// SetColorKeyContentPainter), else by rendering the widget tree there.
// A child that changes without such a call is noticed through the layout request it posts to
// the window and shown by a full render; an explicit update takes back the requests posted
// before it (the countdown changes a label and names its rectangle at once). A change that
// posts no layout request (a palette only, or a text of a child of fixed size) shows at the
// next update covering it, or at the next show.
//
// While a compositing manager runs, the window is made on a depth-32 ARGB visual instead and
// drawn with per-pixel alpha (overlay_argb_x11.h): no key colour and no bounding shape, the
// text's edges blended with whatever lies below; it is made again on the other visual
// whenever a compositor starts or stops.
//
// An unmanaged window would float above every other window; X11OverlayStacking gives it the
// stacking of an ordinary window that never takes the focus.
class X11Overlay final : public QObject {
    Q_OBJECT

public:
    // Takes over the display of window, or returns nullptr where this server cannot show it
    // this way (no SHAPE extension, a root visual other than 24-bit TrueColor in 32-bit
    // pixels); the caller then falls back to Qt's own window. On a scaled screen
    // (QT_SCALE_FACTOR, Xft.dpi) the window sits where Qt would put the widget's, and its
    // content is drawn at the screen's resolution.
    static X11Overlay* attach(QWidget* window);
    static X11Overlay* of(const QWidget* window);
    ~X11Overlay() override;

    // Renders area (window coordinates; empty = the whole window) and shows it.
    void update(const QRect& area);
    // Tried before the widget tree for every band rendered (see SetColorKeyContentPainter).
    void setContentPainter(ColorKeyContentPainter painter) { m_contentPainter = std::move(painter); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    X11Overlay(QWidget* window, xcb_connection_t* connection, quint32 root, quint8 depth);

    void compositorChanged(bool running);
    // The depth of the window and its pixmap: 32 under a compositor, else the root's.
    quint8 depth() const;
    void createNative();
    void destroyNative();
    void createPixmap();
    void clearPixmap();
    void setNames();
    void show();
    void hide();
    void moveNative();
    qreal currentRatio() const;
    const QScreen* screenUnder() const;
    // The widget's geometry in the X screen's pixels.
    QRect nativeGeometry() const;
    void resizeNative();
    void renderAll();
    bool renderBand(const QRect& area);
    bool renderTransparentBand(const QRect& rect, const QRect& source);
    // Fills the kept band with background and draws its content with the painter kept on
    // it; false when image is not the kept band or the content is left to the widgets.
    bool paintKeptBand(QImage& image, const QRect& rect, const QRect& source, QRgb background);
    // An image for a band of size: the kept one for a small band, else scratch.
    QImage& bandImage(const QSize& size, QImage::Format format, QImage& scratch);
    // Sends what of image (rendered for rect, in device pixels) shows now or showed before;
    // false when nothing was sent.
    bool send(const QImage& image, const QRect& rect);
    void putImage(const QImage& image, QPoint at);
    void reshape(const VisibleChange& change);
    void queueFullRender();
    void fullRenderIfQueued();

    QWidget* m_widget; // our parent, so it outlives us
    ColorKeyContentPainter m_contentPainter;
    xcb_connection_t* m_connection;
    quint32 m_root;
    quint8 m_depth;
    quint32 m_window = 0;
    quint32 m_pixmap = 0;
    quint32 m_gc = 0;
    quint32 m_colormap = 0; // only for the ARGB visual
    quint32 m_argbVisual = 0;
    X11CompositorWatch* m_compositor = nullptr; // our child; none without an ARGB visual
    // Drawn with per-pixel alpha for a compositor, not cut out of a key colour.
    bool m_argb = false;
    std::unique_ptr<X11OverlayStacking> m_stacking; // lives as long as m_window
    // Device pixels per logical pixel where the window is.
    qreal m_ratio = 1.0;
    bool m_ratioChanged = false;
    // Which pixels of the pixmap show (device pixels): without a compositor, the window's
    // bounding shape.
    VisiblePixels m_visible;
    // The last small band's image: a tick's band has the same size second after second, and
    // the image keeps its paint engine, which would otherwise be made anew for each band.
    QImage m_band;
    // Begun on m_band once and kept: beginning a painter costs as much as drawing the
    // digits of a tick. Declared after m_band, so that it ends before the image goes.
    QPainter m_bandPainter;
    bool m_mapped = false;
    bool m_rendering = false;
    bool m_fullRenderQueued = false;
    bool m_shownOnce = false;
};
