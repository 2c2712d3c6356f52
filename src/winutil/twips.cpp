#include "winutil/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace twips {
namespace {

// Without a screen (no GUI application yet) the classic 96 dpi keeps the numbers sane.
constexpr double kFallbackDpi = 96.0;

const QScreen* screenOf(const QWidget* on) {
    if (on) {
        if (const QScreen* screen = on->screen())
            return screen;
    }
    return qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
}

double dpiX(const QWidget* on) {
    const QScreen* screen = screenOf(on);
    return screen ? screen->logicalDotsPerInchX() : kFallbackDpi;
}

double dpiY(const QWidget* on) {
    const QScreen* screen = screenOf(on);
    return screen ? screen->logicalDotsPerInchY() : kFallbackDpi;
}

} // namespace

int pixelsAtDpi(double twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double twipsAtDpi(int pixels, double dpi) {
    return dpi > 0 ? pixels * kTwipsPerInch / dpi : 0.0;
}

int toPixelsX(double twips, const QWidget* on) {
    return pixelsAtDpi(twips, dpiX(on));
}
int toPixelsY(double twips, const QWidget* on) {
    return pixelsAtDpi(twips, dpiY(on));
}
double fromPixelsX(int pixels, const QWidget* on) {
    return twipsAtDpi(pixels, dpiX(on));
}
double fromPixelsY(int pixels, const QWidget* on) {
    return twipsAtDpi(pixels, dpiY(on));
}

QRect toPixels(double left, double top, double width, double height, const QWidget* on) {
    return QRect(toPixelsX(left, on), toPixelsY(top, on), toPixelsX(width, on),
                 toPixelsY(height, on));
}

} // namespace twips
