#pragma once

#include <QRect>

class QWidget;

// Stored and design geometry is in twips (1/1440 inch): 15 twips per pixel at 96 dpi.
// Conversions use the logical DPI of the screen the widget is on (the primary screen when
// it has none), and are the only place where twips meet pixels. On a scaled screen
// (QT_SCALE_FACTOR, Xft.dpi) Qt reports 96 logical dpi and maps each logical pixel to the
// scale's device pixels, so twips count logical pixels at every scale: a rectangle placed at
// a scale comes back at the same place, and at 200 % a twip spans twice the device pixels it
// spans at 100 %, as on Windows at that DPI setting.
namespace twips {

inline constexpr double kTwipsPerInch = 1440.0;

int toPixelsX(double twips, const QWidget* on = nullptr);
int toPixelsY(double twips, const QWidget* on = nullptr);
double fromPixelsX(int pixels, const QWidget* on = nullptr);
double fromPixelsY(int pixels, const QWidget* on = nullptr);
QRect toPixels(double left, double top, double width, double height, const QWidget* on = nullptr);

// The same conversions at a given DPI, rounded to the nearest pixel.
int pixelsAtDpi(double twips, double dpi);
double twipsAtDpi(int pixels, double dpi);

} // namespace twips
