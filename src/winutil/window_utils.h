#pragma once

#include <QtGlobal>

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
// before the window is first shown (a visible window is shown again). From then on the
// shape follows the window's content by itself whenever it repaints or resizes.
void ApplyColorKeyTransparency(QWidget* window);

// Reshapes an overlay made by ApplyColorKeyTransparency now, after its content changed.
// Cheap when nothing moved: the window is only reshaped when its visible pixels changed.
// Does nothing for a window that is not such an overlay.
void UpdateColorKeyShape(QWidget* window);

// Keeps the window above ordinary windows (a visible window is shown again).
void MakeTopmost(QWidget* window);

// The transparency key as stored (&H00BBGGRR): pure blue.
inline constexpr quint32 kTransparencyKey = 0xFF0000;

// Colours are stored as &H00BBGGRR (red in the low byte).
QColor colorFromBgr(quint32 bgr);
quint32 bgrFromColor(const QColor& color);

// Which pixels of a window drawn over the key colour stay visible: a mono image of the same
// size (QImage::Format_MonoLSB) with 1 where the pixel differs from the key colour and 0 where
// it is exactly the key. Ready for QBitmap::fromImage and QWidget::setMask.
QImage colorKeyMask(const QImage& content, quint32 keyBgr = kTransparencyKey);
