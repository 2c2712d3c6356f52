#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace noticeplacement {

// Where a window of outer size `size` goes inside the screen's `available` area so that it
// leaves `avoid` (the countdown) uncovered: the first of the corners top right, top left,
// bottom left, bottom right, `margin` in from the edges, whose rectangle does not meet
// `avoid`; when every corner meets it, the corner that covers the least of it. The bottom
// right comes last because the study reminder rises there. A window larger than the area
// starts at its top left.
QPoint place(const QRect& available, const QSize& size, const QRect& avoid, int margin);

} // namespace noticeplacement
