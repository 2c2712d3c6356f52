#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <vector>

// What the server holds of the overlay's pixmap, kept as a hash of every run of kSegment pixels
// of a row rather than as a copy: an eighth of the memory of a copy at one bit in 2^64 of
// missing a change, and enough to tell which rows and which columns of a new rendering differ
// from what is shown.
class KeptPixels {
public:
    static constexpr int kSegment = 16;

    // Every pixel of size is fill.
    void reset(QSize size, QRgb fill);
    QSize size() const { return m_size; }

    // rect widened to whole segments (and clipped to the size): a rendering compared or kept
    // must cover the segments it touches whole.
    QRect aligned(const QRect& rect) const;

    // The smallest rectangle (in image's coordinates) of whole segments in which image, placed
    // at at (at.x() on a segment's start; image ends on one or at the right edge), differs
    // from what is kept; empty when nothing does.
    QRect differingPart(const QImage& image, QPoint at) const;

    // The part of image (in its coordinates, whole segments) is now what the server holds.
    void keep(const QImage& image, QPoint at, const QRect& part);

private:
    quint64 hashAt(const QImage& image, int y, int x, int count) const;
    int segmentWidth(int segment) const;
    quint64& kept(int y, int segment) { return m_hashes[size_t(y) * size_t(m_columns) + size_t(segment)]; }
    quint64 kept(int y, int segment) const {
        return m_hashes[size_t(y) * size_t(m_columns) + size_t(segment)];
    }

    QSize m_size;
    int m_columns = 0;
    std::vector<quint64> m_hashes;
};
