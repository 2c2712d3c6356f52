#include "winutil/overlay_argb_x11.h"
#include "winutil/window_utils.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const QColor kText(0, 0, 160);

// A window set up as the colour-keyed overlay has it: the window and its label fill their
// background with the key colour.
struct KeyedWindow {
    KeyedWindow() {
        window.resize(300, 90);
        label = new QLabel(QStringLiteral("距离高考还有 WWW 98天"), &window);
        label->setGeometry(0, 20, 300, 40);
        label->setAlignment(Qt::AlignCenter);
        QFont font = label->font();
        font.setPixelSize(24);
        label->setFont(font);
        for (QWidget* widget : {&window, static_cast<QWidget*>(label)}) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Window, colorFromBgr(kTransparencyKey));
            palette.setColor(QPalette::WindowText, kText);
            widget->setPalette(palette);
            widget->setAutoFillBackground(true);
        }
    }
    QWidget window;
    QLabel* label = nullptr;
};

// A screen with the given depths, each with its visuals, laid out as the X server sends them:
// the screen, then each depth followed by its visuals.
class FakeScreen {
public:
    struct Visual {
        quint32 id;
        quint8 visualClass;
        quint32 red, green, blue;
    };
    struct Depth {
        quint8 depth;
        std::vector<Visual> visuals;
    };

    explicit FakeScreen(const std::vector<Depth>& depths) {
        xcb_screen_t screen{};
        screen.allowed_depths_len = quint8(depths.size());
        append(&screen, sizeof screen);
        for (const Depth& depth : depths) {
            xcb_depth_t header{};
            header.depth = depth.depth;
            header.visuals_len = quint16(depth.visuals.size());
            append(&header, sizeof header);
            for (const Visual& v : depth.visuals) {
                xcb_visualtype_t visual{};
                visual.visual_id = v.id;
                visual._class = v.visualClass;
                visual.bits_per_rgb_value = 8;
                visual.colormap_entries = 256;
                visual.red_mask = v.red;
                visual.green_mask = v.green;
                visual.blue_mask = v.blue;
                append(&visual, sizeof visual);
            }
        }
    }

    const xcb_screen_t* screen() const {
        return reinterpret_cast<const xcb_screen_t*>(m_bytes.data());
    }

private:
    void append(const void* data, size_t size) {
        const auto* bytes = static_cast<const char*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
    }
    // xcb_screen_t and its followers are 4-byte aligned on the wire; the vector's storage
    // comes from operator new, aligned for any type.
    std::vector<char> m_bytes;
};

using Depths = std::vector<FakeScreen::Depth>;

constexpr quint8 kTrue = XCB_VISUAL_CLASS_TRUE_COLOR;
constexpr quint8 kDirect = XCB_VISUAL_CLASS_DIRECT_COLOR;
const FakeScreen::Visual kRgb24{0x21, kTrue, 0xFF0000, 0x00FF00, 0x0000FF};
const FakeScreen::Visual kArgb{0x5E, kTrue, 0xFF0000, 0x00FF00, 0x0000FF};

bool hostIsLsbFirst() {
    return Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
}

} // namespace

Q_DECLARE_METATYPE(Depths)

class TestOverlayArgb : public QObject {
    Q_OBJECT

private slots:
    void findArgbVisual_data() {
        QTest::addColumn<Depths>("depths");
        QTest::addColumn<bool>("sameByteOrder");
        QTest::addColumn<quint32>("expected");

        QTest::newRow("no depth 32") << Depths{{24, {kRgb24}}} << true << 0u;
        QTest::newRow("depth 32 TrueColor ARGB")
            << Depths{{24, {kRgb24}}, {32, {kArgb}}} << true << 0x5Eu;
        QTest::newRow("depth 32 listed first")
            << Depths{{32, {kArgb}}, {24, {kRgb24}}} << true << 0x5Eu;
        QTest::newRow("DirectColor is not taken")
            << Depths{{32, {{0x60, kDirect, 0xFF0000, 0x00FF00, 0x0000FF}}}} << true << 0u;
        QTest::newRow("blue and red swapped is not taken")
            << Depths{{32, {{0x61, kTrue, 0x0000FF, 0x00FF00, 0xFF0000}}}} << true << 0u;
        QTest::newRow("the first fitting visual of several")
            << Depths{{32, {{0x62, kTrue, 0x0000FF, 0x00FF00, 0xFF0000}, kArgb}}} << true << 0x5Eu;
        QTest::newRow("a depth-24 visual with ARGB masks is not taken")
            << Depths{{24, {kArgb}}} << true << 0u;
        QTest::newRow("server of the other byte order")
            << Depths{{24, {kRgb24}}, {32, {kArgb}}} << false << 0u;
        QTest::newRow("depth 32 without visuals") << Depths{{32, {}}, {24, {kRgb24}}} << true << 0u;
    }

    void findArgbVisual() {
        QFETCH(Depths, depths);
        QFETCH(bool, sameByteOrder);
        QFETCH(quint32, expected);
        const FakeScreen screen(depths);
        const bool lsbFirst = sameByteOrder ? hostIsLsbFirst() : !hostIsLsbFirst();
        QCOMPARE(::findArgbVisual(screen.screen(), lsbFirst), expected);
    }

    void noScreenNoVisual() { QCOMPARE(::findArgbVisual(nullptr, hostIsLsbFirst()), 0u); }

    // Around the text nothing is drawn at all, and the text's edges are the text's colour at
    // part coverage: nothing of the key colour the widgets fill with.
    void textIsBlendedOverNothing() {
        KeyedWindow keyed;
        const QRect all = keyed.window.rect();
        const QImage image = renderTransparent(&keyed.window, all, all, 1.0);
        QCOMPARE(image.size(), all.size());
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);

        int opaque = 0;
        int partial = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                const int alpha = qAlpha(pixel);
                if (alpha == 0) {
                    QCOMPARE(pixel, QRgb(0)); // premultiplied: fully transparent is all zero
                    continue;
                }
                alpha == 255 ? ++opaque : ++partial;
                // Premultiplied, an edge of the text is the text's colour scaled by its
                // coverage; blended with the key its blue would exceed that.
                const int expectedBlue = (kText.blue() * alpha + 127) / 255;
                QVERIFY2(qRed(pixel) <= 1 && qGreen(pixel) <= 1 &&
                             qAbs(qBlue(pixel) - expectedBlue) <= 2,
                         qPrintable(QStringLiteral("pixel %1,%2 is %3")
                                        .arg(x)
                                        .arg(y)
                                        .arg(pixel, 8, 16, QLatin1Char('0'))));
            }
        }
        QVERIFY2(opaque + partial > 100, "no text drawn");
        QVERIFY2(partial > 20, "the text's edges are not smoothed");
        // Outside the label's rows nothing at all.
        for (int x = 0; x < image.width(); ++x) {
            QCOMPARE(qAlpha(image.pixel(x, 0)), 0);
            QCOMPARE(qAlpha(image.pixel(x, image.height() - 1)), 0);
        }
    }

    // The colour-keyed window needs its fill: the render for the compositor leaves it as it was.
    void fillIsKept() {
        KeyedWindow keyed;
        renderTransparent(&keyed.window, keyed.window.rect(), keyed.window.rect(), 1.0);
        QVERIFY(keyed.window.autoFillBackground());
        QVERIFY(keyed.label->autoFillBackground());

        keyed.label->setAutoFillBackground(false);
        renderTransparent(&keyed.window, keyed.window.rect(), keyed.window.rect(), 1.0);
        QVERIFY(!keyed.label->autoFillBackground());
    }

    // A band rendered alone is exactly that part of the whole, at any scale: the countdown's
    // tick sends only the band that changed.
    // Also when the window's content painter draws it: that painter works in the window's
    // coordinates, wherever the band lies.
    void bandMatchesWhole_data() {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("logicalBand");
        QTest::addColumn<bool>("content");
        for (const bool content : {false, true}) {
            const char* by = content ? ", content painter" : "";
            QTest::addRow("scale 1, middle rows%s", by) << 1.0 << QRect(0, 25, 300, 30) << content;
            QTest::addRow("scale 1, a piece of a row%s", by)
                << 1.0 << QRect(40, 30, 120, 20) << content;
            QTest::addRow("scale 2, middle rows%s", by) << 2.0 << QRect(0, 25, 300, 30) << content;
            QTest::addRow("scale 2, a piece of a row%s", by)
                << 2.0 << QRect(37, 31, 101, 17) << content;
        }
    }

    void bandMatchesWhole() {
        QFETCH(qreal, ratio);
        QFETCH(QRect, logicalBand);
        QFETCH(bool, content);
        KeyedWindow keyed;
        ColorKeyContentPainter painter;
        if (content) {
            // Declines what is not inside the label, as the countdown does for other lines.
            painter = [&keyed](QPainter& p, const QRect& area) {
                if (!keyed.label->geometry().contains(area))
                    return false;
                p.fillRect(QRect(60, 28, 50, 20), Qt::red);
                p.setFont(keyed.label->font());
                p.setPen(kText);
                p.drawText(keyed.label->geometry(), Qt::AlignCenter, keyed.label->text());
                return true;
            };
        }
        const QRect all = keyed.window.rect();
        const QRect deviceAll(QPoint(0, 0), all.size() * ratio);
        QImage whole;
        if (content) {
            // The painter's own drawing of the label, onto the whole window.
            whole = QImage(deviceAll.size(), QImage::Format_ARGB32_Premultiplied);
            whole.fill(Qt::transparent);
            whole.setDevicePixelRatio(ratio);
            QPainter p(&whole);
            QVERIFY(painter(p, keyed.label->geometry()));
            p.end();
            whole.setDevicePixelRatio(1.0);
        } else {
            whole = renderTransparent(&keyed.window, all, deviceAll, ratio);
        }
        const QRect deviceBand(logicalBand.topLeft() * ratio, logicalBand.size() * ratio);
        const QImage band =
            renderTransparent(&keyed.window, logicalBand, deviceBand, ratio, painter);
        QCOMPARE(band, whole.copy(deviceBand));
        QImage nothing(band.size(), band.format());
        nothing.fill(Qt::transparent);
        QVERIFY2(band != nothing, "the band holds no text");
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestOverlayArgb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_overlay_argb.moc"
