#include "addins/version_notes.h"
#include "addins/version_notes_scroll.h"

#include <QTest>

namespace {

// A box of Picmain's size (6375 × 2655 twips) and a text 300 pixels high.
constexpr int kBoxWidth = 425;
constexpr int kBoxHeight = 177;
constexpr int kTextHeight = 300;

VersionNotesScroll runningScroll() {
    VersionNotesScroll scroll;
    scroll.setBox(kBoxWidth, kBoxHeight);
    scroll.setTextHeight(kTextHeight);
    scroll.restart();
    return scroll;
}

} // namespace

class TestVersionNotes : public QObject {
    Q_OBJECT

private slots:
    void eighteenLinesJoinedByCrLf();
    void exactLines_data();
    void exactLines();
    void faceLinesAreCentred_data();
    void faceLinesAreCentred();
    void thanksParagraphIsThreeLines();

    void stepNeedsMoreThan24ms_data();
    void stepNeedsMoreThan24ms();
    void firstStepComesAtOnce();
    void startsBelowTheBoxAndMovesOnePixel();
    void wrapsBelowTheBoxWhenTextHasLeft();
    void restartStartsFromBelow();
    void stopFreezes();
};

void TestVersionNotes::eighteenLinesJoinedByCrLf() {
    QCOMPARE(versionnotes::lines().size(), 18);
    const QString text = versionnotes::text();
    QCOMPARE(text.count(QStringLiteral("\r\n")), 17);
    QCOMPARE(text.count(QLatin1Char('\n')), 17);
    QCOMPARE(text.count(QLatin1Char('\r')), 17);
    QVERIFY(!text.endsWith(QLatin1Char('\n')));
    QCOMPARE(text.split(QStringLiteral("\r\n")), versionnotes::lines());
}

void TestVersionNotes::exactLines_data() {
    QTest::addColumn<int>("line"); // 1-based
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "Dalvenor";
    QTest::newRow("2") << 2 << "";
    QTest::newRow("3") << 3 << "";
    QTest::newRow("4") << 4 << QString::fromUtf8("软件作者：Tesmar");
    QTest::newRow("5") << 5 << "";
    QTest::newRow("9") << 9 << "";
    QTest::newRow("12") << 12 << "---------------oOOo-(_)-oOOo--------------";
    QTest::newRow("13") << 13 << "";
    QTest::newRow("14 with two trailing spaces")
        << 14 << QString::fromUtf8("Dalvenor V1.2 Beta（2010-09-12）  ");
    QTest::newRow("15") << 15 << "";
    QTest::newRow("16 with two trailing spaces")
        << 16 << QString::fromUtf8("Dalvenor V1.1 Beta（2010-08-30）  ");
    QTest::newRow("17") << 17 << "";
    QTest::newRow("18 without") << 18 << QString::fromUtf8("Dalvenor V1.0 Alpha（2010-08-21）");
}

void TestVersionNotes::exactLines() {
    QFETCH(int, line);
    QFETCH(QString, text);
    QCOMPARE(versionnotes::lines().at(line - 1), text);
}

void TestVersionNotes::faceLinesAreCentred_data() {
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("core");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("forehead") << 10 << "\\./" << 20 << 19;
    QTest::newRow("eyes") << 11 << "(o o)" << 19 << 18;
    QTest::newRow("hands") << 12 << "---------------oOOo-(_)-oOOo--------------" << 0 << 0;
}

void TestVersionNotes::faceLinesAreCentred() {
    QFETCH(int, line);
    QFETCH(QString, core);
    QFETCH(int, before);
    QFETCH(int, after);
    const QString text = versionnotes::lines().at(line - 1);
    QCOMPARE(text.size(), 42);
    QCOMPARE(text, QString(before, ' ') + core + QString(after, ' '));
}

void TestVersionNotes::thanksParagraphIsThreeLines() {
    const QStringList lines = versionnotes::lines();
    for (int i = 6; i <= 8; ++i)
        QVERIFY2(!lines.at(i - 1).trimmed().isEmpty(), qPrintable(QString::number(i)));
    const QString thanks = lines.mid(5, 3).join(QString());
    QVERIFY(thanks.contains(QStringLiteral("Qt")));
    QVERIFY(thanks.contains(QStringLiteral("ICU")));
    QVERIFY(thanks.contains(QString::fromUtf8("感谢")));
}

void TestVersionNotes::stepNeedsMoreThan24ms_data() {
    QTest::addColumn<qint64>("gap");
    QTest::addColumn<bool>("moves");
    QTest::newRow("0 ms") << qint64(0) << false;
    QTest::newRow("10 ms") << qint64(10) << false;
    QTest::newRow("exactly 24 ms") << qint64(24) << false;
    QTest::newRow("25 ms") << qint64(25) << true;
    QTest::newRow("a second late") << qint64(1000) << true;
}

void TestVersionNotes::stepNeedsMoreThan24ms() {
    QFETCH(qint64, gap);
    QFETCH(bool, moves);
    VersionNotesScroll scroll = runningScroll();
    const qint64 t0 = 5000;
    QVERIFY(scroll.step(t0));
    const int top = scroll.nextRect().top();
    QCOMPARE(scroll.step(t0 + gap), moves);
    // One pixel a step, however late the step comes.
    QCOMPARE(scroll.nextRect().top(), moves ? top - 1 : top);
    QCOMPARE(scroll.msUntilNextStep(t0 + gap), moves ? 25 : 25 - gap);
}

void TestVersionNotes::firstStepComesAtOnce() {
    VersionNotesScroll scroll = runningScroll();
    QCOMPARE(scroll.msUntilNextStep(0), 0);
    QVERIFY(scroll.step(0));
    // The gap counts from the last step, not from the restart or a skipped call.
    QVERIFY(!scroll.step(20));
    QVERIFY(!scroll.step(24));
    QVERIFY(scroll.step(25));
    QVERIFY(!scroll.step(49));
    QVERIFY(scroll.step(50));
}

void TestVersionNotes::startsBelowTheBoxAndMovesOnePixel() {
    VersionNotesScroll scroll = runningScroll();
    QCOMPARE(scroll.nextRect(), QRect(0, kBoxHeight, kBoxWidth, kTextHeight));
    qint64 t = 0;
    for (int i = 1; i <= 40; ++i, t += 25) {
        QVERIFY(scroll.step(t));
        // The frame is drawn where the rectangle stood, then it moves up for the next frame.
        QCOMPARE(scroll.frameRect().top(), kBoxHeight - (i - 1));
        QCOMPARE(scroll.nextRect().top(), kBoxHeight - i);
        QCOMPARE(scroll.frameRect().height(), kTextHeight);
        QCOMPARE(scroll.frameRect().width(), kBoxWidth);
    }
}

void TestVersionNotes::wrapsBelowTheBoxWhenTextHasLeft() {
    VersionNotesScroll scroll = runningScroll();
    // From the box height down to -H takes H + box height steps; the next one wraps.
    const int toMinusH = kBoxHeight + kTextHeight;
    qint64 t = 0;
    for (int i = 0; i < toMinusH; ++i, t += 25)
        QVERIFY(scroll.step(t));
    QCOMPARE(scroll.nextRect().top(), -kTextHeight); // not yet less than -H
    QVERIFY(scroll.step(t));
    QCOMPARE(scroll.frameRect().top(), -kTextHeight);
    QCOMPARE(scroll.nextRect().top(), kBoxHeight);
    QVERIFY(scroll.step(t + 25));
    QCOMPARE(scroll.frameRect().top(), kBoxHeight);
    QCOMPARE(scroll.nextRect().top(), kBoxHeight - 1);
}

void TestVersionNotes::restartStartsFromBelow() {
    VersionNotesScroll scroll = runningScroll();
    qint64 t = 0;
    for (int i = 0; i < 100; ++i, t += 25)
        scroll.step(t);
    QCOMPARE(scroll.nextRect().top(), kBoxHeight - 100);
    // Becoming active again: from below the box, and the first step at once.
    scroll.restart();
    QCOMPARE(scroll.nextRect().top(), kBoxHeight);
    QVERIFY(scroll.step(t - 25 + 1));
    QCOMPARE(scroll.nextRect().top(), kBoxHeight - 1);
}

void TestVersionNotes::stopFreezes() {
    VersionNotesScroll scroll = runningScroll();
    qint64 t = 0;
    for (int i = 0; i < 10; ++i, t += 25)
        scroll.step(t);
    const QRect frame = scroll.frameRect();
    scroll.stop();
    QVERIFY(scroll.isStopped());
    QCOMPARE(scroll.msUntilNextStep(t), -1);
    for (int i = 0; i < 10; ++i, t += 1000)
        QVERIFY(!scroll.step(t));
    QCOMPARE(scroll.frameRect(), frame);
    // "重新开始": from below the box again.
    scroll.restart();
    QVERIFY(!scroll.isStopped());
    QVERIFY(scroll.step(t));
    QCOMPARE(scroll.frameRect().top(), kBoxHeight);
}

QTEST_APPLESS_MAIN(TestVersionNotes)
#include "tst_version_notes.moc"
