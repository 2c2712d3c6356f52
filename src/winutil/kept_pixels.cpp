#include "winutil/kept_pixels.h"

#include <cstring>

namespace {

quint64 hashPixels(const QRgb* pixels, int count) {
    // A multiply-and-fold over the 32-bit pixels, two at a time; any pixel that changes
    // changes the hash, short of a 64-bit coincidence.
    quint64 h = 0x9e3779b97f4a7c15ULL ^ quint64(count);
    int i = 0;
    for (; i + 1 < count; i += 2) {
        quint64 word;
        std::memcpy(&word, pixels + i, sizeof word);
        h = (h ^ word) * 0xff51afd7ed558ccdULL;
        h ^= h >> 29;
    }
    if (i < count) {
        h = (h ^ pixels[i]) * 0xc4ceb9fe1a85ec53ULL;
        h ^= h >> 29;
    }
    h *= 0xff51afd7ed558ccdULL;
    return h ^ (h >> 32);
}

} // namespace

void KeptPixels::reset(QSize size, QRgb fill) {
    m_size = size;
    m_columns = (size.width() + kSegment - 1) / kSegment;
    m_hashes.assign(size_t(qMax(0, size.height())) * size_t(m_columns), 0);
    QRgb row[kSegment];
    std::fill(std::begin(row), std::end(row), fill);
    for (int segment = 0; segment < m_columns; ++segment) {
        const quint64 hash = hashPixels(row, segmentWidth(segment));
        for (int y = 0; y < size.height(); ++y)
            kept(y, segment) = hash;
    }
}

int KeptPixels::segmentWidth(int segment) const {
    return qMin(kSegment, m_size.width() - segment * kSegment);
}

QRect KeptPixels::aligned(const QRect& rect) const {
    const QRect inside = rect & QRect(QPoint(0, 0), m_size);
    if (inside.isEmpty())
        return {};
    const int left = inside.left() / kSegment * kSegment;
    const int right = qMin(m_size.width(), (inside.right() / kSegment + 1) * kSegment) - 1;
    return QRect(QPoint(left, inside.top()), QPoint(right, inside.bottom()));
}

quint64 KeptPixels::hashAt(const QImage& image, int y, int x, int count) const {
    return hashPixels(reinterpret_cast<const QRgb*>(image.constScanLine(y)) + x, count);
}

QRect KeptPixels::differingPart(const QImage& image, QPoint at) const {
    const int first = at.x() / kSegment;
    const int last = (at.x() + image.width() - 1) / kSegment;
    int top = -1;
    int bottom = -1;
    int left = m_columns;
    int right = -1;
    for (int y = 0; y < image.height(); ++y) {
        bool rowDiffers = false;
        for (int segment = first; segment <= last; ++segment) {
            const int x = segment * kSegment - at.x();
            if (hashAt(image, y, x, segmentWidth(segment)) != kept(at.y() + y, segment)) {
                rowDiffers = true;
                left = qMin(left, segment);
                right = qMax(right, segment);
            }
        }
        if (rowDiffers) {
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    if (top < 0)
        return {};
    const int x0 = left * kSegment - at.x();
    const int x1 = qMin(at.x() + image.width(), (right + 1) * kSegment) - at.x() - 1;
    return QRect(QPoint(x0, top), QPoint(x1, bottom));
}

void KeptPixels::keep(const QImage& image, QPoint at, const QRect& part) {
    if (part.isEmpty())
        return;
    const int first = (at.x() + part.left()) / kSegment;
    const int last = (at.x() + part.right()) / kSegment;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int segment = first; segment <= last; ++segment)
            kept(at.y() + y, segment) =
                hashAt(image, y, segment * kSegment - at.x(), segmentWidth(segment));
}
