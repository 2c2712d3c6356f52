#include "tray/notice_placement.h"

#include <algorithm>
#include <array>
#include <limits>

namespace noticeplacement {

QPoint place(const QRect& available, const QSize& size, const QRect& avoid, int margin) {
    const int left = available.left() + margin;
    const int top = available.top() + margin;
    // Never beyond the far edge, and never before the near one when the window is too big.
    const int right = std::max(left, available.left() + available.width() - margin - size.width());
    const int bottom = std::max(top, available.top() + available.height() - margin - size.height());
    const std::array<QPoint, 4> corners = {QPoint(right, top), QPoint(left, top),
                                           QPoint(left, bottom), QPoint(right, bottom)};
    QPoint best = corners.front();
    qint64 leastCovered = std::numeric_limits<qint64>::max();
    for (const QPoint& corner : corners) {
        const QRect covered = QRect(corner, size).intersected(avoid);
        const qint64 area = covered.isEmpty() ? 0 : qint64(covered.width()) * covered.height();
        if (area == 0)
            return corner;
        if (area < leastCovered) {
            leastCovered = area;
            best = corner;
        }
    }
    return best;
}

} // namespace noticeplacement
