#pragma once

#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <cstdint>
#include <optional>
#include <vector>

class QImage;

// How a new rendering of an area changes which pixels show. Both lists are in the order the
// X shape extension calls YX-banded and QRegion::setRects wants: one run of pixels per
// scanline, runs that repeat on the following rows merged into one taller rectangle; sorted
// by top, then left; all rectangles of one band share top and height; runs never touch.
struct VisibleChange {
    std::vector<QRect> shown;  // visible now, not before
    std::vector<QRect> hidden; // visible before, not now
    // The smallest rectangle holding every pixel visible before or now: what has to be sent
    // of the rendering (a pixel that stays visible may have changed its colour).
    QRect touched;
};

// Which pixels of an area of size() show, one bit a pixel: what the overlay needs to know of
// the pixels the server holds (which are in the shape, and where an earlier rendering left
// something that a new one has to clear), at a thirty-second of the memory of a copy, and
// compared a word of 64 pixels at a time.
class VisiblePixels {
public:
    // size pixels, none of them visible.
    void reset(QSize size);
    QSize size() const { return m_size; }
    // From now on area shows image, whose top left lies at area's; what of area lies outside
    // size() or image is left alone. With a key, the pixels whose colour differs from it are
    // visible (alpha is ignored: a key pixel with any alpha is still the key), in an image of
    // Format_RGB32 or Format_ARGB32; without one, those whose alpha is not 0, in an image of
    // Format_ARGB32_Premultiplied or Format_ARGB32. Other formats are converted.
    VisibleChange replace(const QRect& area, const QImage& image, std::optional<QRgb> key);

private:
    std::uint64_t* row(int y) { return m_bits.data() + size_t(y) * size_t(m_wordsPerRow); }

    QSize m_size;
    int m_wordsPerRow = 0;
    std::vector<std::uint64_t> m_bits;
    // One row of the area before and now, and what turned visible and invisible there, kept
    // so that a warm overlay does not allocate for them.
    std::vector<std::uint64_t> m_before;
    std::vector<std::uint64_t> m_now;
    std::vector<std::uint64_t> m_shown;
    std::vector<std::uint64_t> m_hidden;
};
