#include "winutil/overlay_shape_x11.h"

#include <QImage>

#include <cstring>

namespace {

struct Run {
    int left;
    int right; // one past the last visible pixel
    bool operator==(const Run&) const = default;
};

void runsOf(const QRgb* row, int width, QRgb key, std::vector<Run>& runs) {
    runs.clear();
    int x = 0;
    while (x < width) {
        while (x < width && ((row[x] ^ key) & 0x00FFFFFF) == 0)
            ++x;
        if (x == width)
            break;
        const int left = x;
        while (x < width && ((row[x] ^ key) & 0x00FFFFFF) != 0)
            ++x;
        runs.push_back({left, x});
    }
}

} // namespace

std::vector<QRect> colorKeyVisibleRects(const QImage& content, QRgb key, const QRect& area,
                                        QPoint offset) {
    std::vector<QRect> rects;
    const QRect scanned = area.isEmpty() ? content.rect() : area & content.rect();
    if (scanned.isEmpty())
        return rects;
    const QImage* image = &content;
    QImage converted;
    if (content.format() != QImage::Format_RGB32 && content.format() != QImage::Format_ARGB32) {
        converted = content.convertToFormat(QImage::Format_RGB32);
        image = &converted;
    }
    const int width = scanned.width();
    const size_t rowBytes = size_t(width) * sizeof(QRgb);
    const QPoint origin = offset + scanned.topLeft();

    std::vector<Run> band; // the runs of the rows from bandTop on
    std::vector<Run> runs;
    int bandTop = 0;
    const QRgb* previous = nullptr;
    auto closeBand = [&](int bottom) { // one past the band's last row
        for (const Run& run : band)
            rects.emplace_back(origin.x() + run.left, origin.y() + bandTop, run.right - run.left,
                               bottom - bandTop);
    };
    for (int y = 0; y < scanned.height(); ++y) {
        const QRgb* row =
            reinterpret_cast<const QRgb*>(image->constScanLine(scanned.top() + y)) + scanned.left();
        // Most rows repeat the one above byte for byte (empty rows above all); they cannot
        // start a new band, so they need no scan.
        if (previous && std::memcmp(row, previous, rowBytes) == 0)
            continue;
        previous = row;
        runsOf(row, width, key, runs);
        if (y > 0 && runs == band)
            continue;
        closeBand(y);
        band.swap(runs);
        bandTop = y;
    }
    closeBand(scanned.height());
    return rects;
}
