#include "winutil/device_pixels.h"

#include <QTest>

#include <cmath>

class TestDevicePixels : public QObject {
    Q_OBJECT

private slots:
    void nativeGeometryScalesAboutTheScreen_data() {
        QTest::addColumn<QRect>("logical");
        QTest::addColumn<QPoint>("screenOrigin");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("native");
        const QRect countdown(518, 355, 403, 216);
        QTest::newRow("unscaled") << countdown << QPoint() << 1.0 << countdown;
        QTest::newRow("2") << countdown << QPoint() << 2.0 << QRect(1036, 710, 806, 432);
        // 532.5 and 604.5 round away from zero, as Qt rounds its own windows.
        QTest::newRow("1.5") << countdown << QPoint() << 1.5 << QRect(777, 533, 605, 324);
        QTest::newRow("1.25") << countdown << QPoint() << 1.25 << QRect(648, 444, 504, 270);
        // A second screen's corner keeps its coordinates; only the offset from it scales.
        QTest::newRow("right-hand screen")
            << QRect(1380, 50, 10, 10) << QPoint(1280, 0) << 2.0 << QRect(1480, 100, 20, 20);
        QTest::newRow("left of the screen")
            << QRect(-10, -4, 10, 10) << QPoint() << 1.5 << QRect(-15, -6, 15, 15);
    }
    void nativeGeometryScalesAboutTheScreen() {
        QFETCH(QRect, logical);
        QFETCH(QPoint, screenOrigin);
        QFETCH(qreal, ratio);
        QFETCH(QRect, native);
        QCOMPARE(devicepixels::nativeGeometry(logical, screenOrigin, ratio), native);
    }

    void coveringTakesEveryTouchedPixel_data() {
        QTest::addColumn<QRect>("logical");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("device");
        QTest::newRow("unscaled") << QRect(3, 4, 5, 6) << 1.0 << QRect(3, 4, 5, 6);
        QTest::newRow("2") << QRect(3, 4, 5, 6) << 2.0 << QRect(6, 8, 10, 12);
        // Logical pixel 1 is device pixels 1.5 to 3: the half-covered pixel 1 comes along.
        QTest::newRow("1.5 odd start") << QRect(1, 1, 1, 1) << 1.5 << QRect(1, 1, 2, 2);
        QTest::newRow("1.5 even start") << QRect(2, 2, 2, 2) << 1.5 << QRect(3, 3, 3, 3);
        // The whole countdown: 604.5 device pixels wide, so 605 of them.
        QTest::newRow("1.5 window") << QRect(0, 0, 403, 216) << 1.5 << QRect(0, 0, 605, 324);
        // 1 / 3 of a pixel is not exact in floating point; no extra pixel may creep in.
        QTest::newRow("1/3 noise") << QRect(3, 6, 3, 3) << 1.0 / 3 << QRect(1, 2, 1, 1);
        QTest::newRow("empty") << QRect() << 2.0 << QRect();
    }
    void coveringTakesEveryTouchedPixel() {
        QFETCH(QRect, logical);
        QFETCH(qreal, ratio);
        QFETCH(QRect, device);
        QCOMPARE(devicepixels::covering(logical, ratio), device);
    }

    void coveringLogicalHoldsTheDevicePixels_data() {
        QTest::addColumn<QRect>("device");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("logical");
        QTest::newRow("2, whole pixels") << QRect(2, 2, 4, 4) << 2.0 << QRect(1, 1, 2, 2);
        QTest::newRow("2, split pixels") << QRect(3, 3, 2, 2) << 2.0 << QRect(1, 1, 2, 2);
        QTest::newRow("1.5") << QRect(1, 1, 2, 2) << 1.5 << QRect(0, 0, 2, 2);
        // 603 / 1.5 is 402 up to rounding: still 402.
        QTest::newRow("1.5 noise") << QRect(0, 601, 1, 2) << 1.5 << QRect(0, 400, 1, 2);
    }
    void coveringLogicalHoldsTheDevicePixels() {
        QFETCH(QRect, device);
        QFETCH(qreal, ratio);
        QFETCH(QRect, logical);
        QCOMPARE(devicepixels::coveringLogical(device, ratio), logical);
    }

    // The overlay draws a window band by band: together the bands must reach every device
    // pixel of the window, whatever the scale, and each band's source must hold its pixels.
    void bandsTileTheWindow_data() {
        QTest::addColumn<qreal>("ratio");
        for (const qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0})
            QTest::addRow("%g", ratio) << ratio;
    }
    void bandsTileTheWindow() {
        QFETCH(qreal, ratio);
        const QRect window(0, 0, 403, 216);
        const QRect all = devicepixels::covering(window, ratio);
        QCOMPARE(all.height(), int(std::ceil(216 * ratio - 1e-9)));
        const int rows = qMax(1, int(64 / ratio));
        int reached = 0;
        for (int top = 0; top < window.height(); top += rows) {
            const QRect band(0, top, window.width(), qMin(rows, window.height() - top));
            const QRect device = devicepixels::covering(band, ratio);
            QVERIFY2(device.top() <= reached,
                     qPrintable(QStringLiteral("a gap at row %1").arg(reached)));
            QVERIFY(device.bottom() + 1 > reached);
            reached = device.bottom() + 1;
            const QRect source = devicepixels::coveringLogical(device, ratio);
            QVERIFY(source.contains(band));
            QVERIFY(devicepixels::covering(source, ratio).contains(device));
        }
        QCOMPARE(reached, all.height());
    }
};

QTEST_APPLESS_MAIN(TestDevicePixels)
#include "tst_device_pixels.moc"
