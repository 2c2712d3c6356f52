#include "winutil/device_pixels.h"

#include <cmath>

namespace devicepixels {
namespace {

// Scaling leaves a little floating-point noise (601 / 1.5 * 1.5): an edge that lands within
// this of a whole pixel is taken to be on it, so that no extra row creeps in.
constexpr double kEpsilon = 1e-6;

int floorEdge(double value) {
    return int(std::floor(value + kEpsilon));
}

int ceilEdge(double value) {
    return int(std::ceil(value - kEpsilon));
}

QRect scaledOutwards(const QRect& rect, double factor) {
    if (rect.isEmpty() || !(factor > 0))
        return {};
    const int left = floorEdge(rect.left() * factor);
    const int top = floorEdge(rect.top() * factor);
    const int right = ceilEdge((rect.left() + rect.width()) * factor);
    const int bottom = ceilEdge((rect.top() + rect.height()) * factor);
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

QRect nativeGeometry(const QRect& logical, QPoint screenOrigin, qreal ratio) {
    const QPointF offset = QPointF(logical.topLeft() - screenOrigin) * ratio;
    return QRect(screenOrigin + offset.toPoint(),
                 QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio)));
}

QRect covering(const QRect& logical, qreal ratio) {
    return scaledOutwards(logical, ratio);
}

QRect coveringLogical(const QRect& device, qreal ratio) {
    return ratio > 0 ? scaledOutwards(device, 1.0 / ratio) : QRect();
}

} // namespace devicepixels
