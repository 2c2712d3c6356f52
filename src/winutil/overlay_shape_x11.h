#pragma once

#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <cstdint>
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

// The same for an image with an alpha channel (Format_ARGB32_Premultiplied or Format_ARGB32;
// others are converted): the pixels whose alpha is not 0.
std::vector<QRect> alphaVisibleRects(const QImage& content, const QRect& area = {},
                                     QPoint offset = {});

// The smallest rectangle holding all of rects; empty for none.
QRect boundsOf(const std::vector<QRect>& rects);

// Which pixels of an area of size() show, one bit a pixel: what the overlay needs to know of
// the pixels the server holds (which are in the shape, and where an earlier rendering left
// something that a new one has to clear), at a thirty-second of the memory of a copy.
class VisiblePixels {
public:
    // size pixels, none of them visible.
    void reset(QSize size);
    QSize size() const { return m_size; }
    bool isVisible(QPoint pixel) const;
    // The visible pixels of area, in the banded order of colorKeyVisibleRects.
    std::vector<QRect> rects(const QRect& area) const;
    // From now on area shows exactly visible (rectangles inside area; the rest of area shows
    // nothing).
    void assign(const QRect& area, const std::vector<QRect>& visible);

private:
    void setBits(int row, int left, int right, bool on);
    // The first pixel from x on, before end, whose bit is on (or off); end when there is none.
    int nextWithBit(const std::uint64_t* row, int x, int end, bool on) const;

    QSize m_size;
    int m_wordsPerRow = 0;
    std::vector<std::uint64_t> m_bits;
};
