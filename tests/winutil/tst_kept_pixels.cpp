#include "winutil/kept_pixels.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr QRgb kKey = 0xff0000ff;

// The exact bounding rectangle of the pixels in which after differs from before's part at at.
QRect exactDifference(const QImage& before, QPoint at, const QImage& after) {
    QRect bounds;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (before.pixel(at.x() + x, at.y() + y) != after.pixel(x, y))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace

class TestKeptPixels : public QObject {
    Q_OBJECT
private slots:
    void alignedCoversWholeSegments_data();
    void alignedCoversWholeSegments();
    void aChangedPixelIsFound_data();
    void aChangedPixelIsFound();
    void keptMatchesTheServerAfterEveryChange();
};

void TestKeptPixels::alignedCoversWholeSegments_data() {
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QRect>("aligned");
    // The kept size is 403 x 216: the last segment is 3 pixels wide.
    QTest::newRow("inside one segment") << QRect(20, 5, 3, 2) << QRect(16, 5, 16, 2);
    QTest::newRow("across two") << QRect(15, 0, 2, 1) << QRect(0, 0, 32, 1);
    QTest::newRow("the last, narrow one") << QRect(401, 10, 50, 3) << QRect(400, 10, 3, 3);
    QTest::newRow("the whole width") << QRect(-5, 0, 500, 216) << QRect(0, 0, 403, 216);
    QTest::newRow("outside") << QRect(500, 0, 10, 10) << QRect();
}

void TestKeptPixels::alignedCoversWholeSegments() {
    QFETCH(QRect, rect);
    QFETCH(QRect, aligned);
    KeptPixels kept;
    kept.reset(QSize(403, 216), kKey);
    QCOMPARE(kept.aligned(rect), aligned);
}

void TestKeptPixels::aChangedPixelIsFound_data() {
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<QRect>("differing"); // in the band's coordinates (the band is at y 64)
    QTest::newRow("first pixel") << QPoint(0, 64) << QRect(0, 0, 16, 1);
    QTest::newRow("last of a segment") << QPoint(31, 70) << QRect(16, 6, 16, 1);
    QTest::newRow("in the narrow last segment") << QPoint(402, 127) << QRect(400, 63, 3, 1);
}

void TestKeptPixels::aChangedPixelIsFound() {
    QFETCH(QPoint, pixel);
    QFETCH(QRect, differing);
    KeptPixels kept;
    kept.reset(QSize(403, 216), kKey);
    QImage band(403, 64, QImage::Format_RGB32);
    band.fill(kKey);
    QCOMPARE(kept.differingPart(band, QPoint(0, 64)), QRect());
    // A change in the lowest bit of one channel is a change.
    band.setPixel(pixel - QPoint(0, 64), kKey ^ 0x00000100);
    QCOMPARE(kept.differingPart(band, QPoint(0, 64)), differing);
    kept.keep(band, QPoint(0, 64), differing);
    QCOMPARE(kept.differingPart(band, QPoint(0, 64)), QRect());
    // What is kept now is the changed pixel: the key again is a change back.
    band.fill(kKey);
    QCOMPARE(kept.differingPart(band, QPoint(0, 64)), differing);
}

// Random renderings of random aligned bands, against a real copy of what was sent: every
// changed pixel lies inside the part found, whose rows are exactly the changed ones and whose
// columns reach at most a segment beyond them.
void TestKeptPixels::keptMatchesTheServerAfterEveryChange() {
    QRandomGenerator random(20261209);
    const QSize size(403, 216);
    KeptPixels kept;
    kept.reset(size, kKey);
    QImage server(size, QImage::Format_RGB32);
    server.fill(kKey);
    for (int round = 0; round < 300; ++round) {
        const QRect area = kept.aligned(QRect(random.bounded(size.width()),
                                              random.bounded(size.height()),
                                              1 + random.bounded(120), 1 + random.bounded(40)));
        QImage band = server.copy(area);
        const int changes = random.bounded(4);
        for (int i = 0; i < changes; ++i) {
            const QPoint p(random.bounded(band.width()), random.bounded(band.height()));
            band.setPixel(p, random.generate() | 0xff000000);
        }
        const QRect exact = exactDifference(server, area.topLeft(), band);
        const QRect found = kept.differingPart(band, area.topLeft());
        if (exact.isEmpty()) {
            QCOMPARE(found, QRect());
            continue;
        }
        QVERIFY2(found.contains(exact), qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(found.top(), exact.top());
        QCOMPARE(found.bottom(), exact.bottom());
        QVERIFY(exact.left() - found.left() < KeptPixels::kSegment);
        QVERIFY(found.right() - exact.right() < KeptPixels::kSegment);
        kept.keep(band, area.topLeft(), found);
        for (int y = found.top(); y <= found.bottom(); ++y)
            for (int x = found.left(); x <= found.right(); ++x)
                server.setPixel(area.topLeft() + QPoint(x, y), band.pixel(x, y));
        QCOMPARE(kept.differingPart(server.copy(area), area.topLeft()), QRect());
    }
}

QTEST_GUILESS_MAIN(TestKeptPixels)
#include "tst_kept_pixels.moc"
