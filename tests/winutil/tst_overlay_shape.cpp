#include "winutil/overlay_shape_x11.h"
#include "winutil/window_utils.h"

#include <QBitmap>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegion>
#include <QTest>

#include <map>
#include <optional>

namespace {

const QRgb kKey = qRgb(0, 0, 255);

QImage keyImage(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(kKey);
    return image;
}

// The pixels that a rendering of image shows where nothing showed before.
std::vector<QRect> shownOnEmpty(const QImage& image, std::optional<QRgb> key = kKey) {
    VisiblePixels visible;
    visible.reset(image.size());
    return visible.replace(image.rect(), image, key).shown;
}

QRegion regionOf(const std::vector<QRect>& rects) {
    QRegion region;
    for (const QRect& r : rects)
        region += r;
    return region;
}

// What the mask of the mask-based overlay shows: the reference for which pixels are visible.
QRegion visibleByMask(const QImage& image) {
    return QRegion(QBitmap::fromImage(colorKeyMask(image)));
}

// Whether two regions cover the same pixels (QRegion's == compares how they are split).
bool samePixels(const QRegion& a, const QRegion& b) {
    return a.xored(b).isEmpty();
}

// The X server refuses a YX-banded list that breaks the rules, so they are checked one by one.
void verifyYxBanded(const std::vector<QRect>& rects) {
    std::map<int, int> heightOfBand;
    for (size_t i = 0; i < rects.size(); ++i) {
        const QRect& r = rects[i];
        QVERIFY2(!r.isEmpty(), "an empty rectangle");
        auto [band, fresh] = heightOfBand.emplace(r.top(), r.height());
        QVERIFY2(band->second == r.height(), "rectangles of one band differ in height");
        if (i == 0)
            continue;
        const QRect& p = rects[i - 1];
        QVERIFY2(p.top() < r.top() || (p.top() == r.top() && p.right() + 1 < r.left()),
                 qPrintable(QStringLiteral("out of order, touching or overlapping at %1,%2")
                                .arg(r.left())
                                .arg(r.top())));
        if (p.top() != r.top())
            QVERIFY2(p.bottom() < r.top(), "bands overlap");
    }
}

} // namespace

class TestOverlayShape : public QObject {
    Q_OBJECT

private slots:
    void rectanglesOfSmallPictures_data();
    void rectanglesOfSmallPictures();
    void onlyTheGivenAreaIsScannedAndMoved();
    void textGivesExactlyTheVisiblePixelsInBands_data();
    void textGivesExactlyTheVisiblePixelsInBands();
    void randomPixelsMatchTheMask();
    void alphaGivesThePixelsThatAreNotTransparent_data();
    void alphaGivesThePixelsThatAreNotTransparent();
    void visiblePixelsKeepWhatEachRenderingShowed_data();
    void visiblePixelsKeepWhatEachRenderingShowed();
};

void TestOverlayShape::rectanglesOfSmallPictures_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QList<QRect>>("expected");

    QTest::newRow("all key") << keyImage(9, 4) << QList<QRect>{};

    QImage one = keyImage(9, 4);
    one.setPixel(3, 2, qRgb(0, 0, 254));
    QTest::newRow("one pixel one step from the key") << one << QList<QRect>{QRect(3, 2, 1, 1)};

    QImage column = keyImage(5, 6);
    for (int y = 1; y < 5; ++y)
        column.setPixel(2, y, qRgb(y * 40, 0, 0)); // other colours, the same run
    QTest::newRow("repeated runs merge into one rectangle")
        << column << QList<QRect>{QRect(2, 1, 1, 4)};

    QImage twoRuns = keyImage(10, 3);
    for (int x : {0, 1, 2, 6, 7, 8, 9})
        twoRuns.setPixel(x, 1, qRgb(0, 0, 0));
    QTest::newRow("two runs in a row, to both edges")
        << twoRuns << QList<QRect>{QRect(0, 1, 3, 1), QRect(6, 1, 4, 1)};

    QImage step = keyImage(6, 3);
    step.setPixel(1, 0, qRgb(0, 0, 0));
    step.setPixel(1, 1, qRgb(0, 0, 0));
    step.setPixel(2, 1, qRgb(0, 0, 0));
    step.setPixel(1, 2, qRgb(0, 0, 0));
    QTest::newRow("a changed row starts a new band")
        << step << QList<QRect>{QRect(1, 0, 1, 1), QRect(1, 1, 2, 1), QRect(1, 2, 1, 1)};

    QImage full(4, 2, QImage::Format_RGB32);
    full.fill(qRgb(255, 255, 255));
    QTest::newRow("nothing of the key") << full << QList<QRect>{QRect(0, 0, 4, 2)};

    QImage alpha = keyImage(4, 2, QImage::Format_ARGB32);
    alpha.setPixel(0, 0, qRgba(0, 0, 255, 0));   // the key, transparent: still the key
    alpha.setPixel(3, 1, qRgba(0, 1, 255, 255)); // one step away in green
    QTest::newRow("alpha is ignored") << alpha << QList<QRect>{QRect(3, 1, 1, 1)};

    QImage indexed = keyImage(4, 2).convertToFormat(QImage::Format_Indexed8);
    indexed.setColor(0, kKey);
    indexed.setColorCount(2);
    indexed.setColor(1, qRgb(9, 9, 9));
    indexed.setPixel(2, 0, 1);
    QTest::newRow("other formats are converted") << indexed << QList<QRect>{QRect(2, 0, 1, 1)};
}

void TestOverlayShape::rectanglesOfSmallPictures() {
    QFETCH(QImage, image);
    QFETCH(QList<QRect>, expected);
    const std::vector<QRect> rects = shownOnEmpty(image);
    QCOMPARE(QList<QRect>(rects.begin(), rects.end()), expected);
}

void TestOverlayShape::onlyTheGivenAreaIsScannedAndMoved() {
    VisiblePixels visible;
    visible.reset(QSize(120, 210));
    QImage image = keyImage(20, 10);
    image.setPixel(2, 2, qRgb(0, 0, 0));  // inside the area
    image.setPixel(9, 4, qRgb(0, 0, 0));  // on the area's far corner
    image.setPixel(12, 6, qRgb(0, 0, 0)); // beyond the area
    const VisibleChange change = visible.replace(QRect(100, 200, 10, 5), image, kKey);
    QCOMPARE(QList<QRect>(change.shown.begin(), change.shown.end()),
             (QList<QRect>{QRect(102, 202, 1, 1), QRect(109, 204, 1, 1)}));
    QVERIFY(change.hidden.empty());
    QCOMPARE(change.touched, QRect(102, 202, 8, 3));
    // An area reaching past the pixels kept, or past the image, is clipped to them.
    QImage large = keyImage(50, 50);
    large.setPixel(2, 2, qRgb(0, 0, 0));
    large.setPixel(10, 10, qRgb(0, 0, 0));
    QCOMPARE(visible.replace(QRect(115, 205, 50, 50), large, kKey).shown,
             std::vector<QRect>{QRect(117, 207, 1, 1)});
    QCOMPARE(visible.replace(QRect(0, 0, 100, 100), keyImage(1, 1), kKey).touched, QRect());
    const VisibleChange outside = visible.replace(QRect(130, 0, 5, 5), large, kKey);
    QVERIFY(outside.shown.empty() && outside.touched.isEmpty());
}

void TestOverlayShape::textGivesExactlyTheVisiblePixelsInBands_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("bgr");
    QTest::addColumn<bool>("antialiased");

    QTest::newRow("countdown line")
        << QStringLiteral("距离高考还有 88 天 7小时6分钟5秒") << 0xA00000u << true;
    QTest::newRow("one step from the key") << QStringLiteral("一步之差 ABC") << 0xFE0000u << true;
    QTest::newRow("without antialiasing") << QStringLiteral("WWW 高考") << 0u << false;
    QTest::newRow("exactly the key") << QStringLiteral("看不见") << kTransparencyKey << true;
}

void TestOverlayShape::textGivesExactlyTheVisiblePixelsInBands() {
    QFETCH(QString, text);
    QFETCH(quint32, bgr);
    QFETCH(bool, antialiased);

    QImage image = keyImage(401, 49);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing, antialiased);
        QFont font = painter.font();
        font.setPixelSize(22);
        font.setBold(true);
        font.setStyleStrategy(antialiased ? QFont::PreferAntialias : QFont::NoAntialias);
        painter.setFont(font);
        painter.setPen(colorFromBgr(bgr));
        painter.drawText(image.rect(), Qt::AlignCenter, text);
    }
    const std::vector<QRect> rects = shownOnEmpty(image);
    verifyYxBanded(rects);
    QVERIFY(samePixels(regionOf(rects), visibleByMask(image)));
    QCOMPARE(rects.empty(), bgr == kTransparencyKey);
    // QRegion accepts the list as it is, which is how the overlay builds its regions.
    if (!rects.empty()) {
        QRegion fast;
        fast.setRects(rects.data(), int(rects.size()));
        QVERIFY(samePixels(fast, regionOf(rects)));
    }
}

void TestOverlayShape::randomPixelsMatchTheMask() {
    QRandomGenerator random(20110607);
    for (int round = 0; round < 50; ++round) {
        QImage image = keyImage(1 + random.bounded(40), 1 + random.bounded(30));
        // Sparse noise with runs of repeated rows, the two cases that take shortcuts.
        for (int y = 0; y < image.height(); ++y) {
            if (y > 0 && random.bounded(3) == 0) {
                std::memcpy(image.scanLine(y), image.constScanLine(y - 1),
                            size_t(image.bytesPerLine()));
                continue;
            }
            for (int x = 0; x < image.width(); ++x)
                if (random.bounded(4) == 0)
                    image.setPixel(x, y, qRgb(0, random.bounded(2), 255 - random.bounded(2)));
        }
        const std::vector<QRect> rects = shownOnEmpty(image);
        verifyYxBanded(rects);
        QVERIFY(samePixels(regionOf(rects), visibleByMask(image)));
    }
}

void TestOverlayShape::alphaGivesThePixelsThatAreNotTransparent_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QList<QRect>>("expected");

    QImage clear(7, 3, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    QTest::newRow("all transparent") << clear << QList<QRect>{};

    QImage faint = clear;
    faint.setPixel(2, 1, qRgba(0, 0, 0, 1));
    faint.setPixel(3, 1, qRgba(1, 1, 1, 1));
    QTest::newRow("the faintest edge counts") << faint << QList<QRect>{QRect(2, 1, 2, 1)};

    // Colour without alpha is nothing in a premultiplied image; in a straight one too.
    QImage straight(7, 3, QImage::Format_ARGB32);
    straight.fill(qRgba(255, 255, 255, 0));
    straight.setPixel(6, 2, qRgba(0, 0, 255, 128));
    QTest::newRow("straight alpha") << straight << QList<QRect>{QRect(6, 2, 1, 1)};

    QImage opaque(4, 2, QImage::Format_RGB32);
    opaque.fill(Qt::black);
    QTest::newRow("no alpha channel: all opaque") << opaque << QList<QRect>{QRect(0, 0, 4, 2)};
}

void TestOverlayShape::alphaGivesThePixelsThatAreNotTransparent() {
    QFETCH(QImage, image);
    QFETCH(QList<QRect>, expected);
    const std::vector<QRect> rects = shownOnEmpty(image, std::nullopt);
    QCOMPARE(QList<QRect>(rects.begin(), rects.end()), expected);
}

void TestOverlayShape::visiblePixelsKeepWhatEachRenderingShowed_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // Widths around the 64 pixels of one word of the mask, where its bit arithmetic turns.
    QTest::newRow("one pixel") << 1 << 1;
    QTest::newRow("one word less one") << 63 << 5;
    QTest::newRow("one word") << 64 << 5;
    QTest::newRow("one word and one") << 65 << 5;
    QTest::newRow("two words and two") << 130 << 9;
    QTest::newRow("the countdown's window") << 403 << 40;
}

void TestOverlayShape::visiblePixelsKeepWhatEachRenderingShowed() {
    QFETCH(int, width);
    QFETCH(int, height);
    // The reference is a copy of the pixels the server holds: after every rendering of a
    // band, what turned visible and what turned invisible must be exactly the difference of
    // the copy's visible pixels, and every pixel must be told as the copy shows it.
    QImage shown = keyImage(width, height);
    VisiblePixels visible;
    visible.reset(shown.size());
    QRandomGenerator random(quint32(width * 1000 + height));
    for (int round = 0; round < 60; ++round) {
        const int left = random.bounded(width);
        const int top = random.bounded(height);
        const QRect area(left, top, 1 + random.bounded(width - left),
                         1 + random.bounded(height - top));
        QImage band = keyImage(area.width(), area.height());
        const int density = 1 + random.bounded(5); // from all visible to sparse
        for (int y = 0; y < band.height(); ++y) {
            if (y > 0 && random.bounded(3) == 0) { // repeated rows take a shortcut
                std::memcpy(band.scanLine(y), band.constScanLine(y - 1),
                            size_t(band.bytesPerLine()));
                continue;
            }
            for (int x = 0; x < band.width(); ++x)
                if (random.bounded(density) == 0)
                    band.setPixel(x, y, qRgb(200, 10, 10));
        }
        const QRegion before = visibleByMask(shown) & area;
        for (int y = 0; y < band.height(); ++y)
            std::memcpy(shown.scanLine(area.top() + y) + area.left() * sizeof(QRgb),
                        band.constScanLine(y), size_t(band.width()) * sizeof(QRgb));
        const QRegion after = visibleByMask(shown) & area;

        const VisibleChange change = visible.replace(area, band, kKey);
        verifyYxBanded(change.shown);
        verifyYxBanded(change.hidden);
        QVERIFY(samePixels(regionOf(change.shown), after.subtracted(before)));
        QVERIFY(samePixels(regionOf(change.hidden), before.subtracted(after)));
        QCOMPARE(change.touched, before.united(after).boundingRect());
        // Outside the area too, what the bits hold is what the copy shows: clearing all
        // of it hides exactly the copy's visible pixels.
        VisiblePixels cleared = visible;
        const VisibleChange all = cleared.replace(shown.rect(), keyImage(width, height), kKey);
        QVERIFY(all.shown.empty());
        QVERIFY(samePixels(regionOf(all.hidden), visibleByMask(shown)));
    }
}

QTEST_MAIN(TestOverlayShape)
#include "tst_overlay_shape.moc"
