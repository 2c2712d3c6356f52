#include "winutil/os_version.h"
#include "winutil/twips.h"
#include "winutil/window_utils.h"

#include <QBitmap>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace {

// A surface that drags its window the way every draggable window of the program does.
class DragSurface : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void mousePressEvent(QMouseEvent*) override { DragWindow(this); }
};

// The countdown window in miniature: a frameless top-level with three labels.
struct Overlay {
    QWidget window;
    QLabel* labels[3];

    Overlay() {
        window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        window.setGeometry(40, 40, 240, 150);
        for (int i = 0; i < 3; ++i) {
            labels[i] = new QLabel(&window);
            labels[i]->setGeometry(0, i * 50, 240, 40);
            labels[i]->setAlignment(Qt::AlignCenter);
            QFont font = labels[i]->font();
            font.setPointSize(14);
            font.setBold(true);
            labels[i]->setFont(font);
            setTextColor(i, colorFromBgr(0xA00000));
        }
    }

    void setTextColor(int label, const QColor& color) {
        QPalette palette = labels[label]->palette();
        palette.setColor(QPalette::WindowText, color);
        labels[label]->setPalette(palette);
    }
};

int setBits(const QImage& mono) {
    int count = 0;
    for (int y = 0; y < mono.height(); ++y)
        for (int x = 0; x < mono.width(); ++x)
            count += mono.pixelIndex(x, y) == 1 ? 1 : 0;
    return count;
}

} // namespace

class TestWindowUtils : public QObject {
    Q_OBJECT

private slots:
    // The program must not leave a session bus of its own running after it ends.
    void sessionBusIsNeverAutolaunched_data() {
        QTest::addColumn<QString>("given");   // DBUS_SESSION_BUS_ADDRESS at start
        QTest::addColumn<bool>("runtimeBus"); // whether $XDG_RUNTIME_DIR/bus exists
        QTest::addColumn<bool>("keepsGiven"); // the address stays as given
        QTest::newRow("none given, no runtime bus") << QString() << false << false;
        QTest::newRow("none given, runtime bus") << QString() << true << true;
        QTest::newRow("given") << QStringLiteral("unix:path=/run/user/1/bus") << false << true;
    }
    void sessionBusIsNeverAutolaunched() {
        QFETCH(QString, given);
        QFETCH(bool, runtimeBus);
        QFETCH(bool, keepsGiven);
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        if (runtimeBus) {
            QFile bus(runtime.filePath(QStringLiteral("bus")));
            QVERIFY(bus.open(QIODevice::WriteOnly));
        }
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        if (given.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", given.toLocal8Bit());

        AvoidSessionBusAutolaunch();
        const QString after = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");

        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("DBUS_SESSION_BUS_ADDRESS", savedAddress);
        if (keepsGiven) {
            QCOMPARE(after, given);
        } else {
            // Something the bus library will try and fail at once, never "autolaunch:".
            QVERIFY2(after.startsWith(QLatin1String("unix:path=")), qPrintable(after));
            QVERIFY(!QFileInfo::exists(after.mid(10)));
        }
    }

    void vistaOrLaterDecidesOnTheVersionRecord_data();
    void vistaOrLaterDecidesOnTheVersionRecord();
    void thisDesktopCountsAsVista();

    void twipsToPixels_data();
    void twipsToPixels();
    void pixelsToTwips_data();
    void pixelsToTwips();
    void widgetConversionsUseTheScreenDpi();

    void coloursAreStoredBlueGreenRed_data();
    void coloursAreStoredBlueGreenRed();

    void maskKeepsExactlyTheNonKeyPixels_data();
    void maskKeepsExactlyTheNonKeyPixels();
    void maskMarksEverySinglePixel();

    void overlayGetsFlagsAndKeyBackground();
    void overlayShapeFollowsTheText();
    void overlayReshapesByItselfWhenALabelChanges();
    void textInTheKeyColourLeavesNothingVisible();
    void overlayAppliedToAVisibleWindowStaysVisible();
    void updateShapeLeavesOrdinaryWindowsAlone();

    void dragFollowsTheMouseWithoutAWindowManager();
    void topmostKeepsAVisibleWindowVisible();
};

void TestWindowUtils::vistaOrLaterDecidesOnTheVersionRecord_data() {
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<quint32>("platformId");
    QTest::addColumn<quint32>("major");
    QTest::addColumn<quint32>("minor");
    QTest::addColumn<bool>("expected");

    QTest::newRow("Windows 95") << true << 1u << 4u << 0u << false;
    QTest::newRow("Windows 98") << true << 1u << 4u << 10u << false;
    QTest::newRow("9x family claiming 6.0") << true << 1u << 6u << 0u << false;
    QTest::newRow("9x family claiming 10.0") << true << 1u << 10u << 0u << false;
    QTest::newRow("Win32s") << true << 0u << 6u << 0u << false;
    QTest::newRow("NT 4.0") << true << 2u << 4u << 0u << false;
    QTest::newRow("2000") << true << 2u << 5u << 0u << false;
    QTest::newRow("XP") << true << 2u << 5u << 1u << false;
    QTest::newRow("Server 2003") << true << 2u << 5u << 2u << false;
    QTest::newRow("Vista") << true << 2u << 6u << 0u << true;
    QTest::newRow("7") << true << 2u << 6u << 1u << true;
    QTest::newRow("8.1") << true << 2u << 6u << 3u << true;
    QTest::newRow("10") << true << 2u << 10u << 0u << true;
    QTest::newRow("failed call with a Vista record") << false << 2u << 6u << 0u << false;
    QTest::newRow("failed call, record left zero") << false << 0u << 0u << 0u << false;
}

void TestWindowUtils::vistaOrLaterDecidesOnTheVersionRecord() {
    QFETCH(bool, succeeded);
    QFETCH(quint32, platformId);
    QFETCH(quint32, major);
    QFETCH(quint32, minor);
    QFETCH(bool, expected);
    const OsVersionInfo info{.callSucceeded = succeeded,
                             .platformId = platformId,
                             .majorVersion = major,
                             .minorVersion = minor};
    QCOMPARE(isVistaOrLater(info), expected);
}

void TestWindowUtils::thisDesktopCountsAsVista() {
    QVERIFY(IsVistaSystem());
}

void TestWindowUtils::twipsToPixels_data() {
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");

    QTest::newRow("one pixel") << 15.0 << 96.0 << 1;
    QTest::newRow("design width") << 6045.0 << 96.0 << 403;
    QTest::newRow("design height") << 3000.0 << 96.0 << 200;
    QTest::newRow("default height") << 3240.0 << 96.0 << 216;
    QTest::newRow("default left") << 7770.0 << 96.0 << 518;
    QTest::newRow("default top") << 5325.0 << 96.0 << 355;
    QTest::newRow("just under half a pixel") << 7.0 << 96.0 << 0;
    QTest::newRow("just over half a pixel") << 8.0 << 96.0 << 1;
    QTest::newRow("half a pixel rounds up") << 7.5 << 96.0 << 1;
    QTest::newRow("negative") << -15.0 << 96.0 << -1;
    QTest::newRow("zero") << 0.0 << 96.0 << 0;
    QTest::newRow("one inch at 120 dpi") << 1440.0 << 120.0 << 120;
    QTest::newRow("design width at 120 dpi") << 6045.0 << 120.0 << 504;
    QTest::newRow("one pixel at 144 dpi rounds up") << 15.0 << 144.0 << 2;
}

void TestWindowUtils::twipsToPixels() {
    QFETCH(double, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QCOMPARE(twips::pixelsAtDpi(twips, dpi), pixels);
}

void TestWindowUtils::pixelsToTwips_data() {
    QTest::addColumn<int>("pixels");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("twips");

    QTest::newRow("one pixel") << 1 << 96.0 << 15.0;
    QTest::newRow("design width") << 403 << 96.0 << 6045.0;
    QTest::newRow("at 120 dpi") << 120 << 120.0 << 1440.0;
    QTest::newRow("negative") << -2 << 96.0 << -30.0;
}

void TestWindowUtils::pixelsToTwips() {
    QFETCH(int, pixels);
    QFETCH(double, dpi);
    QFETCH(double, twips);
    QCOMPARE(twips::twipsAtDpi(pixels, dpi), twips);
}

void TestWindowUtils::widgetConversionsUseTheScreenDpi() {
    QWidget widget;
    const QScreen* screen = widget.screen();
    QVERIFY(screen);
    const double dpiX = screen->logicalDotsPerInchX();
    const double dpiY = screen->logicalDotsPerInchY();
    // One inch in each direction is the screen's logical DPI in pixels, whatever it is.
    QCOMPARE(twips::toPixelsX(1440, &widget), qRound(dpiX));
    QCOMPARE(twips::toPixelsY(1440, &widget), qRound(dpiY));
    QCOMPARE(twips::toPixelsX(1440), qRound(dpiX));
    QCOMPARE(twips::fromPixelsX(qRound(dpiX), &widget), 1440.0 * qRound(dpiX) / dpiX);
    if (!qFuzzyCompare(dpiX, 96.0) || !qFuzzyCompare(dpiY, 96.0))
        QSKIP("the screen is not at 96 dpi");
    QCOMPARE(twips::toPixels(7770, 5325, 6045, 3240, &widget), QRect(518, 355, 403, 216));
    QCOMPARE(twips::fromPixelsY(216, &widget), 3240.0);
}

void TestWindowUtils::coloursAreStoredBlueGreenRed_data() {
    QTest::addColumn<quint32>("bgr");
    QTest::addColumn<QColor>("color");

    QTest::newRow("default text colour") << 10485760u << QColor(0, 0, 160);
    QTest::newRow("transparency key") << kTransparencyKey << QColor(0, 0, 255);
    QTest::newRow("one step from the key") << 0xFE0000u << QColor(0, 0, 254);
    QTest::newRow("red") << 0x0000FFu << QColor(255, 0, 0);
    QTest::newRow("green") << 0x00FF00u << QColor(0, 255, 0);
    QTest::newRow("black") << 0u << QColor(0, 0, 0);
    QTest::newRow("white") << 0xFFFFFFu << QColor(255, 255, 255);
    QTest::newRow("every channel different") << 0x123456u << QColor(0x56, 0x34, 0x12);
}

void TestWindowUtils::coloursAreStoredBlueGreenRed() {
    QFETCH(quint32, bgr);
    QFETCH(QColor, color);
    QCOMPARE(colorFromBgr(bgr), color);
    QCOMPARE(bgrFromColor(color), bgr);
}

void TestWindowUtils::maskKeepsExactlyTheNonKeyPixels_data() {
    QTest::addColumn<quint32>("textBgr");
    QTest::addColumn<bool>("visible");

    QTest::newRow("one step from the key stays") << 0xFE0000u << true;
    QTest::newRow("green one step off stays") << 0xFF0100u << true;
    QTest::newRow("red one step off stays") << 0xFF0001u << true;
    QTest::newRow("default text colour stays") << 10485760u << true;
    QTest::newRow("exactly the key disappears") << kTransparencyKey << false;
}

void TestWindowUtils::maskKeepsExactlyTheNonKeyPixels() {
    QFETCH(quint32, textBgr);
    QFETCH(bool, visible);

    QImage content(200, 60, QImage::Format_RGB32);
    content.fill(colorFromBgr(kTransparencyKey));
    {
        QPainter painter(&content);
        QFont font = painter.font();
        font.setPixelSize(30);
        painter.setFont(font);
        painter.setPen(colorFromBgr(textBgr));
        painter.drawText(content.rect(), Qt::AlignCenter, QStringLiteral("距高考 123"));
    }
    const QImage mask = colorKeyMask(content);
    QCOMPARE(mask.size(), content.size());
    QCOMPARE(mask.depth(), 1);
    for (int y = 0; y < content.height(); ++y) {
        for (int x = 0; x < content.width(); ++x) {
            const bool isKey = content.pixel(x, y) == colorFromBgr(kTransparencyKey).rgb();
            if ((mask.pixelIndex(x, y) == 1) == isKey)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is masked wrongly").arg(x).arg(y)));
        }
    }
    QCOMPARE(setBits(mask) > 50, visible);
    if (!visible)
        QCOMPARE(setBits(mask), 0);
}

void TestWindowUtils::maskMarksEverySinglePixel() {
    // Alpha must not matter: a key pixel with an alpha channel is still the key.
    QImage content(7, 5, QImage::Format_ARGB32);
    content.fill(qRgba(0, 0, 255, 255));
    content.setPixel(3, 2, qRgba(0, 0, 254, 255));
    content.setPixel(6, 4, qRgba(1, 0, 255, 255));
    const QImage mask = colorKeyMask(content);
    QCOMPARE(setBits(mask), 2);
    QCOMPARE(mask.pixelIndex(3, 2), 1);
    QCOMPARE(mask.pixelIndex(6, 4), 1);
    // The mask selects what QWidget::setMask shows.
    const QRegion shown(QBitmap::fromImage(mask));
    QCOMPARE(shown, QRegion(3, 2, 1, 1) + QRegion(6, 4, 1, 1));
}

void TestWindowUtils::overlayGetsFlagsAndKeyBackground() {
    Overlay overlay;
    ApplyColorKeyTransparency(&overlay.window);

    const Qt::WindowFlags flags = overlay.window.windowFlags();
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTransparentForInput));
    QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(flags.testFlag(Qt::X11BypassWindowManagerHint));
    QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(overlay.window.isWindow());
    QVERIFY(overlay.window.testAttribute(Qt::WA_ShowWithoutActivating));

    const QColor key(0, 0, 255);
    QCOMPARE(overlay.window.palette().color(QPalette::Window), key);
    QVERIFY(overlay.window.autoFillBackground());
    for (QLabel* label : overlay.labels) {
        QCOMPARE(label->palette().color(QPalette::Window), key);
        QVERIFY(label->autoFillBackground());
        // The text colour chosen before stays.
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 160));
    }
}

void TestWindowUtils::overlayShapeFollowsTheText() {
    Overlay overlay;
    overlay.labels[1]->setText(QStringLiteral("1"));
    ApplyColorKeyTransparency(&overlay.window);
    overlay.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay.window));

    // Only the short text in the middle label is shown.
    const QRect narrow = overlay.window.mask().boundingRect();
    QVERIFY(!narrow.isEmpty());
    QVERIFY(overlay.labels[1]->geometry().contains(narrow));
    QVERIFY(narrow.width() < 40);
    QVERIFY(!overlay.window.mask().contains(QPoint(0, 0)));
    QVERIFY(
        !overlay.window.mask().contains(overlay.labels[1]->geometry().center() - QPoint(60, 0)));

    overlay.labels[0]->setText(QStringLiteral("高考倒计时 ABCDEFGH"));
    UpdateColorKeyShape(&overlay.window);
    const QRect wide = overlay.window.mask().boundingRect();
    QVERIFY(wide.width() > 150);
    QVERIFY(wide.top() < overlay.labels[0]->geometry().bottom());

    overlay.labels[0]->clear();
    overlay.labels[1]->clear();
    UpdateColorKeyShape(&overlay.window);
    // Nothing to show must not mean "no mask", which would show the whole window.
    QVERIFY(overlay.window.mask().intersected(overlay.window.rect()).isEmpty());
    QVERIFY(!overlay.window.mask().isEmpty());
}

void TestWindowUtils::overlayReshapesByItselfWhenALabelChanges() {
    Overlay overlay;
    overlay.labels[2]->setText(QStringLiteral("x"));
    ApplyColorKeyTransparency(&overlay.window);
    overlay.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay.window));
    const QRect before = overlay.window.mask().boundingRect();
    QVERIFY(overlay.labels[2]->geometry().contains(before));

    overlay.labels[0]->setText(QStringLiteral("距离高考还有"));
    QTRY_VERIFY(overlay.window.mask().boundingRect().top() <
                overlay.labels[0]->geometry().bottom());
}

void TestWindowUtils::textInTheKeyColourLeavesNothingVisible() {
    Overlay overlay;
    for (int i = 0; i < 3; ++i) {
        overlay.setTextColor(i, colorFromBgr(kTransparencyKey));
        overlay.labels[i]->setText(QStringLiteral("看不见 %1").arg(i));
    }
    ApplyColorKeyTransparency(&overlay.window);
    overlay.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay.window));
    QVERIFY(overlay.window.mask().intersected(overlay.window.rect()).isEmpty());

    overlay.setTextColor(1, colorFromBgr(0xFE0000));
    UpdateColorKeyShape(&overlay.window);
    const QRect shown = overlay.window.mask().boundingRect();
    QVERIFY(shown.width() > 20);
    QVERIFY(overlay.labels[1]->geometry().contains(shown));
}

void TestWindowUtils::overlayAppliedToAVisibleWindowStaysVisible() {
    Overlay overlay;
    overlay.labels[0]->setText(QStringLiteral("可见"));
    overlay.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay.window));
    ApplyColorKeyTransparency(&overlay.window);
    QVERIFY(overlay.window.isVisible());
    QVERIFY(overlay.window.windowFlags().testFlag(Qt::WindowTransparentForInput));
    QVERIFY(!overlay.window.mask().isEmpty());
    QVERIFY(overlay.labels[0]->geometry().contains(overlay.window.mask().boundingRect()));
}

void TestWindowUtils::updateShapeLeavesOrdinaryWindowsAlone() {
    UpdateColorKeyShape(nullptr);
    ApplyColorKeyTransparency(nullptr);
    DragWindow(nullptr);
    MakeTopmost(nullptr);

    Overlay plain;
    plain.labels[0]->setText(QStringLiteral("普通窗口"));
    plain.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain.window));
    UpdateColorKeyShape(&plain.window);
    QVERIFY(plain.window.mask().isEmpty());
    QVERIFY(!plain.window.windowFlags().testFlag(Qt::WindowTransparentForInput));
}

void TestWindowUtils::dragFollowsTheMouseWithoutAWindowManager() {
    QWidget window;
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(100, 120, 200, 100);
    auto* surface = new DragSurface(&window);
    surface->setGeometry(20, 20, 100, 50);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    const QPoint grab(10, 10);

    QTest::mouseMove(surface, grab); // puts the cursor there
    QTest::mousePress(surface, Qt::LeftButton, {}, grab);
    QTest::mouseMove(surface, grab + QPoint(30, 15));
    QCOMPARE(window.pos(), start + QPoint(30, 15));
    QTest::mouseMove(surface, grab + QPoint(-5, 40));
    QCOMPARE(window.pos(), start + QPoint(25, 55));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, grab);
    QCOMPARE(window.pos(), start + QPoint(25, 55));

    // Once released, the window stays put whatever the mouse does.
    QCoreApplication::processEvents();
    const QPoint released = window.pos();
    QMouseEvent stray(QEvent::MouseMove, QPointF(grab), surface->mapToGlobal(QPointF(80, 80)),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(surface, &stray);
    QCOMPARE(window.pos(), released);
}

void TestWindowUtils::topmostKeepsAVisibleWindowVisible() {
    QWidget window;
    window.resize(100, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    MakeTopmost(&window);
    QVERIFY(window.isVisible());
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

QTEST_MAIN(TestWindowUtils)
#include "tst_window_utils.moc"
