#include "app/line_fitting.h"

#include <QFont>
#include <QFontMetricsF>
#include <QTest>

#include <cmath>

using fitting::LineMeasure;

// The countdown's line is measured from advances kept for its face, character by character,
// where that gives what shaping the whole line gives; where it may not (marks, joiners, pairs
// of surrogates), the line is shaped whole.
class TestLineFitting : public QObject {
    Q_OBJECT

private slots:
    void widthIsTheShapedWidth_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QStringList>("counts");
        QTest::newRow("digits and units") << QStringLiteral("距离高考还有")
                                          << QStringList{QStringLiteral("180天 0小时0分钟0秒"),
                                                         QStringLiteral("179天 23小时59分钟59秒")};
        // Each count keeps the length of the one before it, so that a kept sum would be taken
        // for it unless its characters are looked at.
        QTest::newRow("a joiner at the same length")
            << QStringLiteral("还有") << QStringList{QStringLiteral("a1b"), QStringLiteral("a\u200Db")};
        QTest::newRow("a surrogate pair at the same length")
            << QString() << QStringList{QStringLiteral("12秒"), QString::fromUtf8("\xF0\xA0\x80\x80秒")};
    }
    void widthIsTheShapedWidth() {
        QFETCH(QString, prefix);
        QFETCH(QStringList, counts);
        QFont font(QStringLiteral("AR PL UKai CN"));
        font.setPointSize(18);
        const QFontMetricsF metrics(font);
        LineMeasure measure;
        measure.setLine(font, prefix);
        QCOMPARE(measure.ascent(), metrics.ascent());
        QCOMPARE(measure.height(), metrics.height());
        for (const QString& count : counts) {
            const qreal shaped = metrics.horizontalAdvance(prefix + count);
            // Twice: the second comes from what the first kept.
            for (int time = 0; time < 2; ++time) {
                const qreal measured = measure.width(count);
                QVERIFY2(std::abs(measured - shaped) <= 1.0 / 64,
                         qPrintable(QStringLiteral("%1: %2, shaped %3")
                                        .arg(count)
                                        .arg(measured)
                                        .arg(shaped)));
            }
        }
    }
};

QTEST_MAIN(TestLineFitting)
#include "tst_line_fitting.moc"
