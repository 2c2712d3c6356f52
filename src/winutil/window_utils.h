#pragma once

#include <QtGlobal>

class QWidget;
class QColor;

// Small window services shared by every window. Each has one implementation per platform
// (window_utils_x11.cpp here), chosen by the build.

// Moves the window with the mouse until the button is released; called from a mouse-press
// handler of any surface that drags its window.
void DragWindow(QWidget* window);

// Whether the system counts as Windows Vista or later; it picks the default font and the
// start-at-login mechanism. Always true on this desktop.
bool IsVistaSystem();

// Turns a top-level window into a colour-keyed, click-through overlay: exactly the pixels of
// the key colour become transparent, everything else stays opaque; every click passes
// through; no taskbar or pager entry; the window never takes the focus. Call before the
// window is first shown.
void ApplyColorKeyTransparency(QWidget* window);

// Reshapes an overlay made by ApplyColorKeyTransparency after its content changed.
void UpdateColorKeyShape(QWidget* window);

// Keeps the window above ordinary windows.
void MakeTopmost(QWidget* window);

// The transparency key as stored (&H00BBGGRR): pure blue.
inline constexpr quint32 kTransparencyKey = 0xFF0000;

// Colours are stored as &H00BBGGRR (red in the low byte).
QColor colorFromBgr(quint32 bgr);
quint32 bgrFromColor(const QColor& color);
