// Placing a control at its design rectangle: name, parent, constructor arguments and the
// twips-to-pixels rounding, at the default scale and (the same numbers) scaled by 1.5, where
// twips still count logical pixels.
#include "forms/twips_layout.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestTwipsLayout : public QObject {
    Q_OBJECT
private slots:
    void placesAtTheDesignRectangle_data();
    void placesAtTheDesignRectangle();
    void addMakesANamedChildWithItsArguments();
    void placeMovesAnExistingControl();
};

void TestTwipsLayout::placesAtTheDesignRectangle_data() {
    QTest::addColumn<QRectF>("twips"); // left, top, width, height
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("an inch square") << QRectF(1440, 1440, 1440, 1440) << QRect(96, 96, 96, 96);
    QTest::newRow("fifteen twips a pixel") << QRectF(15, 30, 45, 60) << QRect(1, 2, 3, 4);
    QTest::newRow("at the corner") << QRectF(0, 0, 735, 300) << QRect(0, 0, 49, 20);
    // Half a pixel and more rounds up, less rounds down: a control never drifts by a pixel
    // because its design numbers are not multiples of 15.
    QTest::newRow("rounding") << QRectF(7, 8, 1163, 697) << QRect(0, 1, 78, 46);
    QTest::newRow("a design control") << QRectF(2408, 2760, 1575, 495) << QRect(161, 184, 105, 33);
    QTest::newRow("empty") << QRectF(360, 2400, 0, 0) << QRect(24, 160, 0, 0);
}

void TestTwipsLayout::placesAtTheDesignRectangle() {
    QFETCH(QRectF, twips);
    QFETCH(QRect, pixels);
    QWidget parent;
    auto* box = twipslayout::add<QWidget>(&parent, "Box", twips.left(), twips.top(), twips.width(),
                                          twips.height());
    QCOMPARE(box->geometry(), pixels);
}

void TestTwipsLayout::addMakesANamedChildWithItsArguments() {
    QWidget parent;
    auto* button = twipslayout::add<QPushButton>(&parent, "CmdStart", 2408, 2760, 1575, 495,
                                                 QStringLiteral("开始执行"));
    auto* label =
        twipslayout::add<QLabel>(&parent, "Label13", 908, 480, 4575, 495, QStringLiteral("提醒"));
    QCOMPARE(button->parentWidget(), &parent);
    QCOMPARE(button->objectName(), QStringLiteral("CmdStart"));
    QCOMPARE(button->text(), QStringLiteral("开始执行"));
    QCOMPARE(label->objectName(), QStringLiteral("Label13"));
    QCOMPARE(label->text(), QStringLiteral("提醒"));
    QCOMPARE(parent.findChild<QPushButton*>(QStringLiteral("CmdStart")), button);
    QCOMPARE(parent.findChild<QLabel*>(QStringLiteral("Label13")), label);
}

void TestTwipsLayout::placeMovesAnExistingControl() {
    QWidget parent;
    auto* label = new QLabel(&parent);
    label->setGeometry(5, 5, 5, 5);
    twipslayout::place(label, "Label1", 488, 240, 5055, 1935, &parent);
    QCOMPARE(label->objectName(), QStringLiteral("Label1"));
    QCOMPARE(label->geometry(), QRect(33, 16, 337, 129));
}

QTEST_MAIN(TestTwipsLayout)
#include "tst_twips_layout.moc"
