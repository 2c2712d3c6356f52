#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QtGlobal>

#include "winutil/window_utils.h"

class QImage;
class QRect;
class QWidget;
struct xcb_connection_t;
struct xcb_screen_t;

// What the overlay needs once a compositing manager runs: there the X server keeps every
// window's pixels off screen and the compositor blends them, so a window on a visual with an
// alpha channel shows real per-pixel transparency. The overlay then draws its text with
// antialiased edges over nothing at all (alpha 0 everywhere else) instead of cutting a key
// colour out with a shape, whose smoothed edges carry the key's blue.

// The depth-32 TrueColor visual whose pixels have the byte layout of
// QImage::Format_ARGB32_Premultiplied on this host (alpha, red, green, blue from the high byte
// down), 0 where the screen has none.
// serverIsLsbFirst is the server's image byte order.
quint32 findArgbVisual(const xcb_screen_t* screen, bool serverIsLsbFirst);

// Watches whether a compositing manager runs on one screen: the owner of the selection
// _NET_WM_CM_S<screen>, followed through XFixes selection events. The X server sends one when
// a compositor takes the selection and when its owner goes away, so nothing polls: the
// program does not wake up for this while nothing changes.
class X11CompositorWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Asks the server once (one round trip) who owns the selection now; without the XFixes
    // extension it reports no compositor and never changes its mind.
    X11CompositorWatch(xcb_connection_t* connection, quint32 root, int screenNumber,
                       QObject* parent = nullptr);
    ~X11CompositorWatch() override;

    bool isRunning() const { return m_running; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void runningChanged(bool running);

private:
    xcb_connection_t* m_connection;
    quint32 m_selection = 0;
    quint8 m_firstEvent = 0;
    bool m_usable = false;
    bool m_running = false;
};

// Asks compositors to draw no shadow around the window: _COMPTON_SHADOW = 0, read by picom
// and its forerunner compton, and the desktop window type, which picom leaves unshadowed by
// default and other compositors treat as the background they draw nothing around. The
// window is override-redirect, so no window manager places, stacks or lists it by its type.
void setUnshadowedHints(xcb_connection_t* connection, quint32 window);

// Has contentPainter draw the part source onto painter, which is set up as the widgets' render
// takes it: source's corner at the painter's origin. The content painter draws in the window's
// coordinates, so it is handed the painter moved back by that corner, and on false the
// painter is as it was.
bool paintContentAt(QPainter& painter, const QRect& source,
                    const ColorKeyContentPainter& contentPainter);

// Renders the part source (logical coordinates of window) of the overlay for the compositor:
// an image of deviceSize device pixels, format ARGB32_Premultiplied, fully transparent
// wherever no child draws, the children's text blended over nothing. The children's own
// background fill (the key colour of the colour-keyed window) is left out. contentPainter,
// where given, is tried first.
QImage renderTransparent(QWidget* window, const QRect& source, const QRect& deviceRect,
                         qreal ratio, const ColorKeyContentPainter& contentPainter = {});
// The same into image, already of the device rectangle's size and that format.
void renderTransparentInto(QImage& image, QWidget* window, const QRect& source,
                           const QRect& deviceRect, qreal ratio,
                           const ColorKeyContentPainter& contentPainter = {});
