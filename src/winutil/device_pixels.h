#pragma once

#include <QPoint>
#include <QRect>

// Logical (device-independent) pixels against the device pixels of a scaled screen, the way
// Qt maps its own windows, so that a window of ours lands exactly where a Qt window with the
// same logical geometry would.
namespace devicepixels {

// Where a window with the logical geometry logical sits on the X screen: its position scales
// about the top-left of the screen it is on (that corner has the same coordinates in both
// systems), its size scales; both round to the nearest pixel.
QRect nativeGeometry(const QRect& logical, QPoint screenOrigin, qreal ratio);

// Every device pixel that the logical rectangle covers, partly covered ones included.
QRect covering(const QRect& logical, qreal ratio);

// The logical rectangle that covers every logical pixel the device rectangle touches.
QRect coveringLogical(const QRect& device, qreal ratio);

} // namespace devicepixels
