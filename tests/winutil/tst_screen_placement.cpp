#include "winutil/screen_placement.h"

#include <QTest>

using Screens = QList<QRect>;
using StoredRect = std::optional<QRect>;
Q_DECLARE_METATYPE(StoredRect)

namespace {

const QRect kLeft(0, 0, 1280, 800);
const QRect kRight(1280, 0, 1280, 800);
const QRect kOnRight(1580, 150, 403, 216);
const QRect kCentredLeft(438, 300, 403, 200);

} // namespace

class TestScreenPlacement : public QObject {
    Q_OBJECT

private slots:
    void placeOnScreens_data() {
        QTest::addColumn<QRect>("current");
        QTest::addColumn<bool>("displaced");
        QTest::addColumn<StoredRect>("stored");
        QTest::addColumn<Screens>("screens");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<bool>("expectedDisplaced");

        QTest::newRow("its monitor is there: it stays")
            << kOnRight << false << StoredRect(kOnRight) << Screens{kLeft, kRight} << kOnRight
            << false;
        QTest::newRow("its monitor went: centred on the one left")
            << kOnRight << false << StoredRect(kOnRight) << Screens{kLeft} << kCentredLeft << true;
        QTest::newRow("still displaced while its monitor is away")
            << kCentredLeft << true << StoredRect(kOnRight) << Screens{kLeft} << kCentredLeft
            << true;
        QTest::newRow("its monitor came back: its stored place again")
            << kCentredLeft << true << StoredRect(kOnRight) << Screens{kLeft, kRight} << kOnRight
            << false;
        QTest::newRow("a place for this run that a screen shows stays")
            << QRect(100, 100, 403, 216) << false << StoredRect(kOnRight) << Screens{kLeft, kRight}
            << QRect(100, 100, 403, 216) << false;
        QTest::newRow("partly on a screen is on it")
            << QRect(1200, 700, 403, 216) << false << StoredRect(kOnRight) << Screens{kLeft}
            << QRect(1200, 700, 403, 216) << false;
        QTest::newRow("touching a screen's edge is not on it")
            << QRect(1280, 0, 403, 216) << false << StoredRect(QRect(1280, 0, 403, 216))
            << Screens{kLeft} << kCentredLeft << true;
        QTest::newRow("a degenerate stored rectangle never comes back")
            << kCentredLeft << true << StoredRect() << Screens{kLeft, kRight} << kCentredLeft
            << true;
        QTest::newRow("no screen shows the stored place: not taken back")
            << kCentredLeft << true << StoredRect(QRect(5000, 5000, 403, 216))
            << Screens{kLeft, kRight} << kCentredLeft << true;
        QTest::newRow("the centred place itself went: centred again")
            << QRect(1718, 300, 403, 200) << true << StoredRect(kOnRight) << Screens{kLeft}
            << kCentredLeft << true;
        QTest::newRow("a monitor rearranged under it")
            << kOnRight << false << StoredRect(kOnRight) << Screens{kLeft, QRect(1280, 0, 280, 800)}
            << kCentredLeft << true;
    }

    void placeOnScreens() {
        QFETCH(QRect, current);
        QFETCH(bool, displaced);
        QFETCH(StoredRect, stored);
        QFETCH(Screens, screens);
        QFETCH(QRect, expected);
        QFETCH(bool, expectedDisplaced);
        const ScreenPlacement placement =
            ::placeOnScreens(current, displaced, stored, screens, kCentredLeft);
        QCOMPARE(placement.geometry, expected);
        QCOMPARE(placement.displaced, expectedDisplaced);
    }

    // Monitors going one after another and coming back in another order end where they began.
    void roundTripEndsAtTheStoredPlace() {
        ScreenPlacement placement{kOnRight, false};
        const QList<Screens> steps = {{kLeft}, {}, {kRight}, {kLeft, kRight}};
        for (const Screens& screens : steps)
            placement = ::placeOnScreens(placement.geometry, placement.displaced, kOnRight, screens,
                                         kCentredLeft);
        QCOMPARE(placement.geometry, kOnRight);
        QVERIFY(!placement.displaced);
    }

    void onScreen_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("expected");
        const QRect design(521, 384, 397, 168);
        QTest::newRow("primary at the origin") << kLeft << design;
        QTest::newRow("primary to the right") << kRight << design.translated(1280, 0);
        QTest::newRow("primary above and left of the origin")
            << QRect(-1920, -200, 1920, 1080) << design.translated(-1920, -200);
        QTest::newRow("no screen") << QRect() << design;
    }

    void onScreen() {
        QFETCH(QRect, screen);
        QFETCH(QRect, expected);
        QCOMPARE(::onScreen(QRect(521, 384, 397, 168), screen), expected);
    }
};

QTEST_APPLESS_MAIN(TestScreenPlacement)
#include "tst_screen_placement.moc"
