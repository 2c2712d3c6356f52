#pragma once

#include <QRect>
#include <QtGlobal>

#include <functional>

class QPainter;
class QWidget;
class QColor;
class QImage;

// Small window services shared by every window. Each has one implementation per platform
// (window_utils_x11.cpp here), chosen by the build.

// Moves the window with the mouse until the button is released; called from a mouse-press
// handler of any surface that drags its window (a child surface drags its top-level window).
// Uses the window manager's move and follows the mouse itself where there is none.
void DragWindow(QWidget* window);

// Whether the system counts as Windows Vista or later; it picks the default font and the
// start-at-login mechanism. Always true on this desktop.
bool IsVistaSystem();

// Turns a top-level window into a colour-keyed, click-through overlay: exactly the pixels of
// the key colour become transparent, everything else stays opaque; every click passes
// through; no taskbar or pager entry; the window never takes the focus. The window and all
// its children get the key colour as background. Call once, after the children exist and
// before the window is first shown (a visible window is shown again).
//
// The widget stays what the program works with: its children's texts, fonts and colours,
// its geometry and show/hide. On X11 it is shown by an unmanaged window of its own that
// holds its content on the server (Qt no longer maps or paints the widget; its windowHandle
// stays unmapped): showing, moving or resizing renders everything; a change of the content
// shows by UpdateColorKeyShape, or by itself after a child's text or font changed without
// such a call. Elsewhere Qt's own window is cut out with a mask that follows every repaint.
void ApplyColorKeyTransparency(QWidget* window);

// Shows a change of an overlay's content made by ApplyColorKeyTransparency now: changed is
// the part that changed, in the window's coordinates (a child's geometry), or empty for the
// whole window. Only that part is drawn again, and nothing is sent to the display when it
// looks exactly as before. Does nothing for a window that is not such an overlay.
void UpdateColorKeyShape(QWidget* window, const QRect& changed = QRect());

// Draws the part area (the window's coordinates) of an overlay's content onto painter, which
// is set up for those coordinates and holds the window's own background there already (the
// key colour, or nothing at all under a compositor). Returns false, having drawn nothing,
// where only the window's widgets can draw that part.
using ColorKeyContentPainter = std::function<bool(QPainter& painter, const QRect& area)>;

// Has an overlay made by ApplyColorKeyTransparency try painter first for every part it draws
// again, before the window's widgets: a window that changes a few characters every second
// draws just those, without the widget tree's painting. Does nothing for a window that is
// not such an overlay.
void SetColorKeyContentPainter(QWidget* window, ColorKeyContentPainter painter);

// Keeps the window above ordinary windows (a visible window is shown again).
void MakeTopmost(QWidget* window);

// Has large allocations returned to the system as soon as they are freed instead of kept in
// the heap, and the program's threads share one heap. Call first thing in main, before
// anything large is allocated and before any thread starts.
void LimitHeapRetention();

// Gives freed heap memory back to the system (a no-op where the allocator cannot). The overlay
// calls it once it is first shown, when start-up's temporary allocations are over.
void ReleaseFreedMemory();

// With no session bus given, keeps the desktop's bus library from starting one of its own that
// would outlive the program. Call first thing in main, before anything uses the bus.
void AvoidSessionBusAutolaunch();

// The transparency key as stored (&H00BBGGRR): pure blue.
inline constexpr quint32 kTransparencyKey = 0xFF0000;

// Colours are stored as &H00BBGGRR (red in the low byte).
QColor colorFromBgr(quint32 bgr);
quint32 bgrFromColor(const QColor& color);

// Which pixels of a window drawn over the key colour stay visible: a mono image of the same
// size (QImage::Format_MonoLSB) with 1 where the pixel differs from the key colour and 0 where
// it is exactly the key. Ready for QBitmap::fromImage and QWidget::setMask.
QImage colorKeyMask(const QImage& content, quint32 keyBgr = kTransparencyKey);
