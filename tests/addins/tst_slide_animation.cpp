#include "addins/slide_animation.h"

#include <QTest>

#include <vector>

namespace {

// A 1024 × 768 pixel screen in twips.
const QRect kScreen(0, 0, 1024 * 15, 768 * 15);
const QSize kOuter(6150, 2900); // the worked example's outer height

struct Record {
    SlideAnimation::State phase; // before the tick
    SlideAnimation::State state; // after it
    qint32 offset;
    QPoint position;
    bool finished;
};

// Runs a whole slide from its start, the window following every tick; record[0] is tick 1.
std::vector<Record> runSlide(SlideAnimation& slide, const QRect& screen, const QSize& outer) {
    std::vector<Record> records;
    QPoint pos = *slide.start(screen, outer);
    while (slide.isRunning() && records.size() < 100000) {
        const SlideAnimation::State phase = slide.state();
        const SlideAnimation::Tick t = slide.tick(screen, outer, pos);
        pos = t.position;
        records.push_back({phase, slide.state(), slide.offset(), pos, t.finished});
    }
    return records;
}

int ticksIn(const std::vector<Record>& records, SlideAnimation::State phase) {
    int n = 0;
    for (const Record& r : records)
        n += r.phase == phase;
    return n;
}

QPoint rightEdge(const QRect& screen, const QSize& outer, int aboveBottom) {
    return {screen.x() + screen.width() - outer.width() - 200,
            screen.y() + screen.height() - aboveBottom};
}

} // namespace

class TestSlideAnimation : public QObject {
    Q_OBJECT

private slots:
    void startsFlushRightBelowTheScreen();
    void workedExampleAtPhaseBoundaries_data();
    void workedExampleAtPhaseBoundaries();
    void phaseLengthsFollowOuterHeight_data();
    void phaseLengthsFollowOuterHeight();
    void dragDuringHoldingStaysUntilSinking();
    void dragDuringRisingOrSinkingIsOverridden_data();
    void dragDuringRisingOrSinkingIsOverridden();
    void closeDuringHoldingNextShowingStartsFromBottom();
    void showingWhileVisibleDoesNotRestart();
    void noTickOutsideASlide();
};

void TestSlideAnimation::startsFlushRightBelowTheScreen() {
    SlideAnimation slide;
    const auto start = slide.start(kScreen, kOuter);
    QVERIFY(start);
    QCOMPARE(*start, QPoint(kScreen.width() - kOuter.width(), kScreen.height()));
    QCOMPARE(slide.state(), SlideAnimation::Rising);
    QCOMPARE(slide.offset(), 0);
    // A primary screen that does not start at the origin of the desktop.
    SlideAnimation other;
    const QRect shifted(1920 * 15, 300, 1024 * 15, 768 * 15);
    QCOMPARE(*other.start(shifted, kOuter),
             QPoint(shifted.x() + shifted.width() - kOuter.width(), 300 + shifted.height()));
}

void TestSlideAnimation::workedExampleAtPhaseBoundaries_data() {
    QTest::addColumn<int>("tick"); // 1-based
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("aboveBottom"); // where the window's top is, -1: it did not move
    QTest::addColumn<bool>("finished");
    const int H = SlideAnimation::Holding, R = SlideAnimation::Rising, S = SlideAnimation::Sinking;
    QTest::newRow("first rising tick at the bottom") << 1 << R << 120 << 0 << false;
    QTest::newRow("second rising tick") << 2 << R << 240 << 120 << false;
    QTest::newRow("28th still rising") << 28 << R << 3360 << 3240 << false;
    QTest::newRow("29th moves and ends rising") << 29 << H << 3480 << 3360 << false;
    QTest::newRow("first holding tick") << 30 << H << 3481 << -1 << false;
    QTest::newRow("2019th holding tick") << 29 + 2019 << H << 5499 << -1 << false;
    QTest::newRow("2020th holding tick turns to sinking") << 29 + 2020 << S << 4200 << -1 << false;
    QTest::newRow("first sinking tick jumps to 4200") << 2050 << S << 4080 << 4200 << false;
    QTest::newRow("35th sinking tick") << 2049 + 35 << S << 0 << 120 << false;
    QTest::newRow("36th sinking tick closes") << 2049 + 36 << S << 0 << -1 << true;
}

void TestSlideAnimation::workedExampleAtPhaseBoundaries() {
    QFETCH(int, tick);
    QFETCH(int, state);
    QFETCH(int, offset);
    QFETCH(int, aboveBottom);
    QFETCH(bool, finished);
    SlideAnimation slide;
    const std::vector<Record> records = runSlide(slide, kScreen, kOuter);
    QCOMPARE(int(records.size()), 29 + 2020 + 36);
    // About 42 s at 20 ms a tick.
    QCOMPARE(int(records.size()) * SlideAnimation::kIntervalMs, 41700);
    const Record& r = records[tick - 1];
    QCOMPARE(int(r.state), state);
    QCOMPARE(r.offset, offset);
    QCOMPARE(r.finished, finished);
    const QPoint before = tick > 1 ? records[tick - 2].position : QPoint(-1, -1);
    if (aboveBottom < 0)
        QCOMPARE(r.position, before);
    else
        QCOMPARE(r.position, rightEdge(kScreen, kOuter, aboveBottom));
}

void TestSlideAnimation::phaseLengthsFollowOuterHeight_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("rising");
    QTest::addColumn<int>("holding");
    QTest::newRow("worked example") << 2900 << 29 << 2020;
    QTest::newRow("reaches the mark exactly") << 2910 << 29 << 2020;
    QTest::newRow("one twip more rises once more") << 2911 << 30 << 1900;
    QTest::newRow("a short window") << 450 << 9 << 4420;
    QTest::newRow("taller than the holding mark") << 6000 << 55 << 1;
}

void TestSlideAnimation::phaseLengthsFollowOuterHeight() {
    QFETCH(int, height);
    QFETCH(int, rising);
    QFETCH(int, holding);
    SlideAnimation slide;
    const std::vector<Record> records = runSlide(slide, kScreen, QSize(6150, height));
    QCOMPARE(ticksIn(records, SlideAnimation::Rising), rising);
    QCOMPARE(ticksIn(records, SlideAnimation::Holding), holding);
    // Sinking always starts at 4200 twips: 35 moves and the closing tick.
    QCOMPARE(ticksIn(records, SlideAnimation::Sinking), 36);
    QVERIFY(records.back().finished);
    QCOMPARE(slide.offset(), 0);
}

void TestSlideAnimation::dragDuringHoldingStaysUntilSinking() {
    SlideAnimation slide;
    QPoint pos = *slide.start(kScreen, kOuter);
    for (int i = 0; i < 100; ++i)
        pos = slide.tick(kScreen, kOuter, pos).position;
    QCOMPARE(slide.state(), SlideAnimation::Holding);
    const QPoint dragged(321, 654);
    pos = dragged;
    while (slide.state() == SlideAnimation::Holding) {
        pos = slide.tick(kScreen, kOuter, pos).position;
        QCOMPARE(pos, dragged);
    }
    pos = slide.tick(kScreen, kOuter, pos).position;
    QCOMPARE(pos, rightEdge(kScreen, kOuter, 4200));
}

void TestSlideAnimation::dragDuringRisingOrSinkingIsOverridden_data() {
    QTest::addColumn<int>("ticksBefore");
    QTest::addColumn<int>("aboveBottom"); // of the tick after the drag
    QTest::newRow("rising") << 10 << 10 * 120;
    QTest::newRow("sinking") << 2049 + 5 << 4200 - 5 * 120;
}

void TestSlideAnimation::dragDuringRisingOrSinkingIsOverridden() {
    QFETCH(int, ticksBefore);
    QFETCH(int, aboveBottom);
    SlideAnimation slide;
    QPoint pos = *slide.start(kScreen, kOuter);
    for (int i = 0; i < ticksBefore; ++i)
        pos = slide.tick(kScreen, kOuter, pos).position;
    const SlideAnimation::Tick t = slide.tick(kScreen, kOuter, QPoint(10, 20));
    QCOMPARE(t.position, rightEdge(kScreen, kOuter, aboveBottom));
    QVERIFY(!t.finished);
}

void TestSlideAnimation::closeDuringHoldingNextShowingStartsFromBottom() {
    SlideAnimation slide;
    QPoint pos = *slide.start(kScreen, kOuter);
    for (int i = 0; i < 500; ++i)
        pos = slide.tick(kScreen, kOuter, pos).position;
    QCOMPARE(slide.state(), SlideAnimation::Holding);
    slide.stop(); // the close button
    QVERIFY(!slide.isRunning());
    QCOMPARE(slide.offset(), 0);
    // The next showing rises from the bottom edge and lasts the whole slide again.
    const std::vector<Record> again = runSlide(slide, kScreen, kOuter);
    QCOMPARE(again.front().position, rightEdge(kScreen, kOuter, 0));
    QCOMPARE(int(again.size()), 29 + 2020 + 36);
}

void TestSlideAnimation::showingWhileVisibleDoesNotRestart() {
    SlideAnimation slide;
    QPoint pos = *slide.start(kScreen, kOuter);
    for (int i = 0; i < 40; ++i)
        pos = slide.tick(kScreen, kOuter, pos).position;
    const qint32 offset = slide.offset();
    QCOMPARE(slide.state(), SlideAnimation::Holding);
    QVERIFY(!slide.start(kScreen, kOuter));
    QCOMPARE(slide.state(), SlideAnimation::Holding);
    QCOMPARE(slide.offset(), offset);
    // The running slide goes on to its end: 2020 - 11 holding ticks and 36 sinking ones.
    int ticks = 0;
    while (slide.isRunning())
        slide.tick(kScreen, kOuter, pos), ++ticks;
    QCOMPARE(ticks, 2020 - 11 + 36);
}

void TestSlideAnimation::noTickOutsideASlide() {
    SlideAnimation slide;
    const QPoint here(77, 88);
    const SlideAnimation::Tick before = slide.tick(kScreen, kOuter, here);
    QCOMPARE(before.position, here);
    QVERIFY(!before.finished);
    runSlide(slide, kScreen, kOuter);
    QVERIFY(!slide.isRunning());
    const SlideAnimation::Tick after = slide.tick(kScreen, kOuter, here);
    QCOMPARE(after.position, here);
    QVERIFY(!after.finished);
}

QTEST_APPLESS_MAIN(TestSlideAnimation)
#include "tst_slide_animation.moc"
