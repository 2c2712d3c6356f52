#pragma once

#include <QRect>

class QWidget;

// Stored and design geometry is in twips (1/1440 inch): 15 twips per pixel at 96 dpi.
// Conversions use the logical DPI of the screen the widget is on (the primary screen when
// it has none), and are the only place where twips meet pixels.
namespace twips {

int toPixelsX(double twips, const QWidget* on = nullptr);
int toPixelsY(double twips, const QWidget* on = nullptr);
double fromPixelsX(int pixels, const QWidget* on = nullptr);
double fromPixelsY(int pixels, const QWidget* on = nullptr);
QRect toPixels(double left, double top, double width, double height, const QWidget* on = nullptr);

} // namespace twips
