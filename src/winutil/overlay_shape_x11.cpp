#include "winutil/overlay_shape_x11.h"

#include <QImage>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

struct Run {
    int left;
    int right; // one past the last visible pixel
    bool operator==(const Run&) const = default;
};

// Gathers the runs of visible pixels row by row into YX-banded rectangles: rows whose runs
// repeat the band's make it taller, any other row starts a band of its own.
class Bands {
public:
    Bands(std::vector<QRect>& rects, QPoint origin) : m_rects(rects), m_origin(origin) {}

    // The runs of row y (rows in ascending order); runs may be taken over.
    void addRow(int y, std::vector<Run>& runs) {
        if (y > 0 && runs == m_band)
            return;
        close(y);
        m_band.swap(runs);
        m_top = y;
    }
    void finish(int height) { close(height); }

private:
    void close(int bottom) { // one past the band's last row
        for (const Run& run : m_band)
            m_rects.emplace_back(m_origin.x() + run.left, m_origin.y() + m_top,
                                 run.right - run.left, bottom - m_top);
    }

    std::vector<QRect>& m_rects;
    QPoint m_origin;
    std::vector<Run> m_band;
    int m_top = 0;
};

template <typename Visible>
void runsOf(const QRgb* row, int width, Visible visible, std::vector<Run>& runs) {
    runs.clear();
    int x = 0;
    while (x < width) {
        while (x < width && !visible(row[x]))
            ++x;
        if (x == width)
            break;
        const int left = x;
        while (x < width && visible(row[x]))
            ++x;
        runs.push_back({left, x});
    }
}

template <typename Visible>
std::vector<QRect> visibleRects(const QImage& content, QImage::Format wanted,
                                QImage::Format alsoTaken, const QRect& area, QPoint offset,
                                Visible visible) {
    std::vector<QRect> rects;
    const QRect scanned = area.isEmpty() ? content.rect() : area & content.rect();
    if (scanned.isEmpty())
        return rects;
    const QImage* image = &content;
    QImage converted;
    if (content.format() != wanted && content.format() != alsoTaken) {
        converted = content.convertToFormat(wanted);
        image = &converted;
    }
    const int width = scanned.width();
    const size_t rowBytes = size_t(width) * sizeof(QRgb);
    Bands bands(rects, offset + scanned.topLeft());
    std::vector<Run> runs;
    const QRgb* previous = nullptr;
    for (int y = 0; y < scanned.height(); ++y) {
        const QRgb* row =
            reinterpret_cast<const QRgb*>(image->constScanLine(scanned.top() + y)) + scanned.left();
        // Most rows repeat the one above byte for byte (empty rows above all); they cannot
        // start a new band, so they need no scan.
        if (previous && std::memcmp(row, previous, rowBytes) == 0)
            continue;
        previous = row;
        runsOf(row, width, visible, runs);
        bands.addRow(y, runs);
    }
    bands.finish(scanned.height());
    return rects;
}

constexpr int kBits = 64;

} // namespace

std::vector<QRect> colorKeyVisibleRects(const QImage& content, QRgb key, const QRect& area,
                                        QPoint offset) {
    return visibleRects(content, QImage::Format_RGB32, QImage::Format_ARGB32, area, offset,
                        [key](QRgb pixel) { return ((pixel ^ key) & 0x00FFFFFF) != 0; });
}

std::vector<QRect> alphaVisibleRects(const QImage& content, const QRect& area, QPoint offset) {
    return visibleRects(content, QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32, area,
                        offset, [](QRgb pixel) { return qAlpha(pixel) != 0; });
}

QRect boundsOf(const std::vector<QRect>& rects) {
    QRect bounds;
    for (const QRect& r : rects)
        bounds |= r;
    return bounds;
}

void VisiblePixels::reset(QSize size) {
    m_size = size.expandedTo(QSize(0, 0));
    m_wordsPerRow = (m_size.width() + kBits - 1) / kBits;
    m_bits.assign(size_t(m_wordsPerRow) * size_t(m_size.height()), 0);
}

bool VisiblePixels::isVisible(QPoint pixel) const {
    if (!QRect(QPoint(), m_size).contains(pixel))
        return false;
    const std::uint64_t word =
        m_bits[size_t(pixel.y()) * size_t(m_wordsPerRow) + size_t(pixel.x() / kBits)];
    return (word >> (pixel.x() % kBits)) & 1;
}

int VisiblePixels::nextWithBit(const std::uint64_t* row, int x, int end, bool on) const {
    if (x >= end)
        return end;
    int index = x / kBits;
    std::uint64_t word = (on ? row[index] : ~row[index]) & (~std::uint64_t(0) << (x % kBits));
    while (word == 0) {
        if (++index * kBits >= end)
            return end;
        word = on ? row[index] : ~row[index];
    }
    return std::min(end, index * kBits + std::countr_zero(word));
}

std::vector<QRect> VisiblePixels::rects(const QRect& area) const {
    std::vector<QRect> rects;
    const QRect scanned = area & QRect(QPoint(), m_size);
    if (scanned.isEmpty())
        return rects;
    Bands bands(rects, scanned.topLeft());
    std::vector<Run> runs;
    const int left = scanned.left();
    const int end = scanned.right() + 1;
    for (int y = 0; y < scanned.height(); ++y) {
        const std::uint64_t* row =
            m_bits.data() + size_t(scanned.top() + y) * size_t(m_wordsPerRow);
        runs.clear();
        for (int x = nextWithBit(row, left, end, true); x < end;
             x = nextWithBit(row, x, end, true)) {
            const int right = nextWithBit(row, x, end, false);
            runs.push_back({x - left, right - left});
            x = right;
        }
        bands.addRow(y, runs);
    }
    bands.finish(scanned.height());
    return rects;
}

void VisiblePixels::setBits(int row, int left, int right, bool on) {
    std::uint64_t* bits = m_bits.data() + size_t(row) * size_t(m_wordsPerRow);
    while (left < right) {
        const int index = left / kBits;
        const int from = left % kBits;
        const int to = std::min(kBits, from + (right - left)); // one past, within this word
        const std::uint64_t ones = to - from == kBits
                                       ? ~std::uint64_t(0)
                                       : ((std::uint64_t(1) << (to - from)) - 1) << from;
        bits[index] = on ? bits[index] | ones : bits[index] & ~ones;
        left += to - from;
    }
}

void VisiblePixels::assign(const QRect& area, const std::vector<QRect>& visible) {
    const QRect all(QPoint(), m_size);
    const QRect cleared = area & all;
    for (int y = cleared.top(); y <= cleared.bottom(); ++y)
        setBits(y, cleared.left(), cleared.right() + 1, false);
    for (const QRect& r : visible) {
        const QRect set = r & cleared;
        for (int y = set.top(); y <= set.bottom(); ++y)
            setBits(y, set.left(), set.right() + 1, true);
    }
}
