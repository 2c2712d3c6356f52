#pragma once

#include <QPoint>
#include <QRect>
#include <QRgb>

#include <vector>

class QImage;

// The pixels of area (all of content when empty) whose colour differs from key, as
// rectangles in content's coordinates moved by offset: one run of visible pixels per
// scanline, runs that repeat on the following rows merged into one taller rectangle.
// content is Format_RGB32 or Format_ARGB32 (other formats are converted); alpha is ignored,
// so a key pixel with any alpha is still the key. The result is in the order the X shape
// extension calls YX-banded and QRegion::setRects wants: sorted by top, then left; all
// rectangles of one band share top and height; runs never touch.
std::vector<QRect> colorKeyVisibleRects(const QImage& content, QRgb key, const QRect& area = {},
                                        QPoint offset = {});
