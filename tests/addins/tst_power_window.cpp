// Tab "定时关机" through the real frmAddins: arming and disarming by its controls, both trigger
// modes on the program's heartbeat (ticked by hand, with a wall clock and a monotonic clock
// that only move when told to), the key filter, refused input, the window hidden or closed,
// and what reaches the tray icon. The power service is a fake that records requests: nothing
// here can touch the machine.
#include "addins/addins_window.h"
#include "addins/fake_power_backend.h"
#include "addins/power_action_page.h"
#include "find_control.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "test_context.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

const QString kStart = QStringLiteral("开始执行");
const QString kStop = QStringLiteral("停止执行");

// Types each character as a key press that carries it, as a keyboard or an input method
// would; non-ASCII characters have no key code of their own.
void typeKeys(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

} // namespace

class TstPowerWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void createdDisarmedWithMode1Inputs();
    void optionsSwitchTheInputs();
    void countdownArming_data();
    void countdownArming();
    void countdownOfTenSecondsFiresOnTheEleventhTickThenSaysSo();
    void timeOfDayFiresOnEveryMatchingTick_data();
    void timeOfDayFiresOnEveryMatchingTick();
    void disarmClearsLabelAndRestoresInputs_data();
    void disarmClearsLabelAndRestoresInputs();
    void skippedSecondCatchUp_data();
    void skippedSecondCatchUp();
    void countdownCountsSecondsThatReallyPassed_data();
    void countdownCountsSecondsThatReallyPassed();
    void keyFilter_data();
    void keyFilter();
    void refusedInputArmsNothing_data();
    void refusedInputArmsNothing();
    void hiddenOrClosedWindowStillFires_data();
    void hiddenOrClosedWindowStillFires();
    void toolTipFollowsThePlan();
    void lastMinuteWarningComesOnce_data();
    void lastMinuteWarningComesOnce();
    void failureAtFiringIsToldAndPlanStaysArmed();
    void availabilityAtArmingIsShown_data();
    void availabilityAtArmingIsShown();
    void lateAvailabilityAnswerAfterDisarmIsIgnored();
    void withoutPowerServiceArmingAndFiringSayItCannotHappen();

private:
    AddinsWindow* window();
    // One second of the program: the wall clock and the monotonic clock move, then the
    // heartbeat ticks as its timer would.
    void tick(int count = 1);
    void armCountdown(const QString& h, const QString& m, const QString& s,
                      const QString& word = QStringLiteral("关机"));
    void armTimeOfDay(const QString& h, const QString& m, const QString& s,
                      const QString& word = QStringLiteral("关机"));
    static void setComboText(QComboBox* combo, const QString& text);

    std::unique_ptr<TestContext> m_test;
    FakePowerBackend* m_fake = nullptr;
    bool m_withBackend = true;
    qint64 m_ms = 0;
};

void TstPowerWindow::initTestCase() {
    installFontSubstitutions();
    MessageBox::setAnswerAll(true);
}

void TstPowerWindow::init() {
    MessageBox::clearShownBoxes();
    m_test = std::make_unique<TestContext>();
    m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(8, 0, 0)));
    m_ms = 50000;
    m_fake = nullptr;
    m_withBackend = true;
    m_test->registry.registerForm(QStringLiteral("frmAddins"), [this] {
        auto* w = new AddinsWindow(m_test->context);
        w->setMonotonicClock([this] { return m_ms; });
        w->setDragHandler([](QWidget*) {});
        if (m_withBackend) {
            auto fake = std::make_unique<FakePowerBackend>();
            m_fake = fake.get();
            w->setPowerBackend(std::move(fake));
        }
        return w;
    });
}

void TstPowerWindow::cleanup() {
    m_test.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

AddinsWindow* TstPowerWindow::window() {
    return qobject_cast<AddinsWindow*>(m_test->registry.show(QStringLiteral("frmAddins")));
}

void TstPowerWindow::tick(int count) {
    for (int i = 0; i < count; ++i) {
        m_test->clock.advanceSeconds(1);
        m_ms += 1000;
        m_test->heartbeat().tick();
    }
}

void TstPowerWindow::setComboText(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    if (index >= 0)
        combo->setCurrentIndex(index);
    else
        combo->setEditText(text); // typed into the editable combo
}

void TstPowerWindow::armCountdown(const QString& h, const QString& m, const QString& s,
                                  const QString& word) {
    AddinsWindow* w = window();
    control<QRadioButton>(w, "Option2")->click();
    control<QLineEdit>(w, "TextHour")->setText(h);
    control<QLineEdit>(w, "TextMin")->setText(m);
    control<QLineEdit>(w, "TextSec")->setText(s);
    setComboText(control<QComboBox>(w, "Combo5"), word);
    control<QPushButton>(w, "CmdStart")->click();
}

void TstPowerWindow::armTimeOfDay(const QString& h, const QString& m, const QString& s,
                                  const QString& word) {
    AddinsWindow* w = window();
    control<QRadioButton>(w, "Option1")->click();
    setComboText(control<QComboBox>(w, "CBoxHour"), h);
    setComboText(control<QComboBox>(w, "CBoxMin"), m);
    setComboText(control<QComboBox>(w, "CBoxSec"), s);
    setComboText(control<QComboBox>(w, "Combo4"), word);
    control<QPushButton>(w, "CmdStart")->click();
}

void TstPowerWindow::createdDisarmedWithMode1Inputs() {
    AddinsWindow* w = window();
    QVERIFY(control<QRadioButton>(w, "Option1")->isChecked());
    QVERIFY(!control<QComboBox>(w, "Combo5")->isEnabled());
    QVERIFY(control<QComboBox>(w, "Combo4")->isEnabled());
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStart);
    QVERIFY(control<QLabel>(w, "LabInformation")->text().isEmpty());
    QVERIFY(!w->powerAction().powerPlan().isArmed());
    // Nothing is armed: the heartbeat asks for nothing, even at the hours a plan might hold.
    tick(3);
    QVERIFY(m_fake->requests().isEmpty());
    QVERIFY(m_fake->queries().isEmpty());
    QVERIFY(m_test->notifier.toolTips.isEmpty());
}

void TstPowerWindow::optionsSwitchTheInputs() {
    AddinsWindow* w = window();
    const QList<QWidget*> mode1 = {
        control<QComboBox>(w, "CBoxHour"), control<QComboBox>(w, "CBoxMin"),
        control<QComboBox>(w, "CBoxSec"), control<QComboBox>(w, "Combo4")};
    const QList<QWidget*> mode2 = {
        control<QLineEdit>(w, "TextHour"), control<QLineEdit>(w, "TextMin"),
        control<QLineEdit>(w, "TextSec"), control<QComboBox>(w, "Combo5")};

    control<QRadioButton>(w, "Option2")->click();
    for (QWidget* input : mode1)
        QVERIFY2(!input->isEnabled(), qPrintable(input->objectName()));
    for (QWidget* input : mode2)
        QVERIFY2(input->isEnabled(), qPrintable(input->objectName()));
    control<QComboBox>(w, "Combo5")
        ->setCurrentIndex(control<QComboBox>(w, "Combo5")->findText(QStringLiteral("重启")));

    control<QRadioButton>(w, "Option1")->click();
    for (QWidget* input : mode1)
        QVERIFY2(input->isEnabled(), qPrintable(input->objectName()));
    for (QWidget* input : mode2)
        QVERIFY2(!input->isEnabled(), qPrintable(input->objectName()));
    // Disabled, Combo5 keeps what was chosen.
    QCOMPARE(control<QComboBox>(w, "Combo5")->currentText(), QStringLiteral("重启"));
    control<QRadioButton>(w, "Option2")->click();
    QVERIFY(control<QComboBox>(w, "Combo5")->isEnabled());
    QCOMPARE(control<QComboBox>(w, "Combo5")->currentText(), QStringLiteral("重启"));
}

void TstPowerWindow::countdownArming_data() {
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QStringList>("normalised");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("firesOnTick"); // 0: not within the first few ticks
    QTest::addColumn<PowerAction>("action");

    QTest::newRow("0 0 0 fires on the first tick")
        << QStringList{"0", "0", "0"} << "关机" << QStringList{"0", "0", "0"}
        << "倒计时 0时0分0秒 为您关机" << 1 << PowerAction::Shutdown;
    QTest::newRow("empty boxes become 0")
        << QStringList{"", "", ""} << "注销" << QStringList{"0", "0", "0"}
        << "倒计时 0时0分0秒 为您注销" << 1 << PowerAction::Logoff;
    QTest::newRow("0 90 75 normalised")
        << QStringList{"0", "90", "75"} << "重启" << QStringList{"1", "31", "15"}
        << "倒计时 1时31分15秒 为您重启" << 0 << PowerAction::Reboot;
    // The hours box then holds three digits, though typing allows two.
    QTest::newRow("99 99 99 gives three-digit hours")
        << QStringList{"99", "99", "99"} << "关机" << QStringList{"100", "40", "39"}
        << "倒计时 100时40分39秒 为您关机" << 0 << PowerAction::Shutdown;
    QTest::newRow("0 0 3 fires on the fourth tick")
        << QStringList{"0", "0", "3"} << "重启" << QStringList{"0", "0", "3"}
        << "倒计时 0时0分3秒 为您重启" << 4 << PowerAction::Reboot;
    // Typed into the editable combo: shown as armed, but no action is asked for.
    QTest::newRow("word not in the table")
        << QStringList{"0", "0", "1"} << "待机" << QStringList{"0", "0", "1"}
        << "倒计时 0时0分1秒 为您待机" << 0 << PowerAction::None;
}

void TstPowerWindow::countdownArming() {
    QFETCH(QStringList, typed);
    QFETCH(QString, word);
    QFETCH(QStringList, normalised);
    QFETCH(QString, status);
    QFETCH(int, firesOnTick);
    QFETCH(PowerAction, action);

    armCountdown(typed[0], typed[1], typed[2], word);
    AddinsWindow* w = window();
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStop);
    QVERIFY(!control<QGroupBox>(w, "Frame1")->isEnabled());
    QCOMPARE(control<QLineEdit>(w, "TextHour")->text(), normalised[0]);
    QCOMPARE(control<QLineEdit>(w, "TextMin")->text(), normalised[1]);
    QCOMPARE(control<QLineEdit>(w, "TextSec")->text(), normalised[2]);
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), status);
    QCOMPARE(w->powerAction().powerPlan().planHour(), qint16(normalised[0].toInt()));
    QCOMPARE(w->powerAction().powerPlan().planMinute(), qint16(normalised[1].toInt()));
    QCOMPARE(w->powerAction().powerPlan().planSecond(), qint16(normalised[2].toInt()));

    const int ticks = firesOnTick ? firesOnTick + 2 : 5;
    for (int i = 1; i <= ticks; ++i) {
        tick();
        const int expected = (firesOnTick && i >= firesOnTick) ? 1 : 0;
        QVERIFY2(m_fake->requests().size() == expected, qPrintable(QString::number(i)));
    }
    if (firesOnTick) {
        QCOMPARE(m_fake->requestedActions(), QList<PowerAction>{action});
        QVERIFY(m_fake->requests().constFirst().force);
    }
    QCOMPARE(m_fake->queries(),
             action == PowerAction::None ? QList<PowerAction>{} : QList<PowerAction>{action});
}

void TstPowerWindow::countdownOfTenSecondsFiresOnTheEleventhTickThenSaysSo() {
    armCountdown(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("10"));
    AddinsWindow* w = window();
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(),
             QStringLiteral("倒计时 0时0分10秒 为您关机"));
    for (int i = 1; i <= 10; ++i) {
        tick();
        QCOMPARE(control<QLabel>(w, "LabInformation")->text(),
                 QStringLiteral("倒计时 0时0分%1秒 为您关机").arg(10 - i));
        QCOMPARE(w->powerAction().powerPlan().planSecond(), qint16(10 - i));
    }
    QVERIFY(m_fake->requests().isEmpty());
    tick();
    QCOMPARE(m_fake->requestedActions(), QList<PowerAction>{PowerAction::Shutdown});
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), QStringLiteral("已到时间，已请求关机"));
    QCOMPARE(w->powerAction().powerPlan().planHour(), qint16(-1));
    tick(120);
    QCOMPARE(m_fake->requests().size(), 1);
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), QStringLiteral("已到时间，已请求关机"));
    // Still armed: only 停止执行 ends it.
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStop);
}

void TstPowerWindow::timeOfDayFiresOnEveryMatchingTick_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<QList<PowerAction>>("expected");
    QTest::newRow("关机") << "关机"
                          << QList<PowerAction>{PowerAction::Shutdown, PowerAction::Shutdown};
    QTest::newRow("注销") << "注销" << QList<PowerAction>{PowerAction::Logoff, PowerAction::Logoff};
    QTest::newRow("not in the table") << "重启吧" << QList<PowerAction>{};
}

void TstPowerWindow::timeOfDayFiresOnEveryMatchingTick() {
    QFETCH(QString, word);
    QFETCH(QList<PowerAction>, expected);

    armTimeOfDay(QStringLiteral("8"), QStringLiteral("0"), QStringLiteral("3"), word);
    AddinsWindow* w = window();
    const QString status = QStringLiteral("当时间为 8:0:3 时，为您") + word;
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), status);
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStop);
    tick(2);
    QVERIFY(m_fake->requests().isEmpty());
    tick(); // 08:00:03
    QCOMPARE(m_fake->requests().size(), expected.isEmpty() ? 0 : 1);
    tick(5);
    QCOMPARE(m_fake->requests().size(), expected.isEmpty() ? 0 : 1);
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), status);

    // The next day at the same second, while still armed.
    m_test->clock.set(QDateTime(QDate(2011, 6, 6), QTime(8, 0, 1)));
    m_test->heartbeat().tick();
    tick(2);
    QCOMPARE(m_fake->requestedActions(), expected);
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), status);
    for (const FakePowerBackend::Request& request : m_fake->requests())
        QVERIFY(request.force);
}

void TstPowerWindow::disarmClearsLabelAndRestoresInputs_data() {
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("方式二 keeps normalised values")
        << true << QStringList{"0", "90", "75"} << QStringList{"1", "31", "15"};
    QTest::newRow("方式二 keeps three-digit hours")
        << true << QStringList{"99", "99", "99"} << QStringList{"100", "40", "39"};
    QTest::newRow("方式一 keeps the combos")
        << false << QStringList{"23", "5", "7"} << QStringList{"23", "5", "7"};
}

void TstPowerWindow::disarmClearsLabelAndRestoresInputs() {
    QFETCH(bool, countdown);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, kept);

    if (countdown)
        armCountdown(typed[0], typed[1], typed[2]);
    else
        armTimeOfDay(typed[0], typed[1], typed[2]);
    AddinsWindow* w = window();
    tick();
    control<QPushButton>(w, "CmdStart")->click();

    QVERIFY(control<QLabel>(w, "LabInformation")->text().isEmpty());
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStart);
    QVERIFY(control<QGroupBox>(w, "Frame1")->isEnabled());
    QVERIFY(!w->powerAction().powerPlan().isArmed());
    QCOMPARE(m_test->notifier.toolTip, QStringLiteral("Dalvenor"));
    if (countdown) {
        QVERIFY(control<QRadioButton>(w, "Option2")->isChecked());
        QCOMPARE((QStringList{control<QLineEdit>(w, "TextHour")->text(),
                              control<QLineEdit>(w, "TextMin")->text(),
                              control<QLineEdit>(w, "TextSec")->text()}),
                 kept);
        QVERIFY(control<QLineEdit>(w, "TextHour")->isEnabled());
    } else {
        QVERIFY(control<QRadioButton>(w, "Option1")->isChecked());
        QCOMPARE((QStringList{control<QComboBox>(w, "CBoxHour")->currentText(),
                              control<QComboBox>(w, "CBoxMin")->currentText(),
                              control<QComboBox>(w, "CBoxSec")->currentText()}),
                 kept);
        QVERIFY(control<QComboBox>(w, "CBoxHour")->isEnabled());
    }
    // Disarmed: nothing more happens, whatever the time.
    tick(100);
    m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(23, 5, 7)));
    m_test->heartbeat().tick();
    QVERIFY(m_fake->requests().isEmpty());
    QVERIFY(control<QLabel>(w, "LabInformation")->text().isEmpty());

    // Armed again from the kept values.
    control<QPushButton>(w, "CmdStart")->click();
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStop);
    if (countdown)
        QCOMPARE(w->powerAction().powerPlan().planHour(), qint16(kept[0].toInt()));
}

void TstPowerWindow::skippedSecondCatchUp_data() {
    QTest::addColumn<QTime>("lateTick");
    QTest::addColumn<bool>("fires");
    // Target 08:00:05; ticks came at :01 to :04, the next one only at lateTick.
    QTest::newRow("2 s late fires") << QTime(8, 0, 7) << true;
    QTest::newRow("5 s late fires") << QTime(8, 0, 10) << true;
    QTest::newRow("6 s late waits for tomorrow") << QTime(8, 0, 11) << false;
    QTest::newRow("an hour later waits for tomorrow") << QTime(9, 0, 7) << false;
}

void TstPowerWindow::skippedSecondCatchUp() {
    QFETCH(QTime, lateTick);
    QFETCH(bool, fires);
    armTimeOfDay(QStringLiteral("8"), QStringLiteral("0"), QStringLiteral("5"));
    tick(4);
    m_test->clock.set(QDateTime(QDate(2011, 6, 5), lateTick));
    m_test->heartbeat().tick();
    QCOMPARE(m_fake->requests().size(), fires ? 1 : 0);
    tick(3);
    QCOMPARE(m_fake->requests().size(), fires ? 1 : 0);
}

void TstPowerWindow::countdownCountsSecondsThatReallyPassed_data() {
    QTest::addColumn<int>("wallStep");        // seconds the wall clock moves at each tick
    QTest::addColumn<QList<int>>("tickAtMs"); // monotonic times of the ticks after arming
    QTest::addColumn<int>("firesAt");         // index of the tick that fires
    // Armed at 08:00:00.000 with 0,0,3: tick 1 is due 1 s later, the request 4 s later.
    QTest::newRow("ticks on time") << 1 << QList<int>{1000, 2000, 3000, 4000, 5000} << 3;
    QTest::newRow("dropped tick") << 1 << QList<int>{1000, 3000, 4000, 5000} << 2;
    QTest::newRow("late ticks") << 1 << QList<int>{1000, 2900, 4200, 5000} << 2;
    // The user sets the clock back an hour at each tick: the countdown does not care.
    QTest::newRow("wall clock jumps back") << -3600 << QList<int>{1000, 2000, 3000, 4000} << 3;
}

void TstPowerWindow::countdownCountsSecondsThatReallyPassed() {
    QFETCH(int, wallStep);
    QFETCH(QList<int>, tickAtMs);
    QFETCH(int, firesAt);
    const qint64 armedAt = m_ms;
    armCountdown(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("3"));
    for (int i = 0; i < tickAtMs.size(); ++i) {
        m_ms = armedAt + tickAtMs[i];
        m_test->clock.advanceSeconds(wallStep);
        m_test->heartbeat().tick();
        QVERIFY2(m_fake->requests().size() == (i >= firesAt ? 1 : 0),
                 qPrintable(QString::number(i)));
    }
}

void TstPowerWindow::keyFilter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys"); // pressed after typing
    QTest::addColumn<QString>("result");
    QTest::newRow("digits") << "12" << QList<int>{} << "12";
    QTest::newRow("at most two characters") << "123" << QList<int>{} << "12";
    QTest::newRow("letters and signs dropped") << "a1-b+" << QList<int>{} << "1";
    QTest::newRow("space and point dropped") << " 4.5" << QList<int>{} << "45";
    QTest::newRow("full-width digit dropped") << "１7" << QList<int>{} << "7";
    QTest::newRow("backspace kept") << "12" << QList<int>{Qt::Key_Backspace} << "1";
    // Keys that type no character pass: the caret moves left, Delete removes the "2".
    QTest::newRow("arrows and delete pass")
        << "12" << QList<int>{Qt::Key_Left, Qt::Key_Delete} << "1";
    QTest::newRow("home then a digit") << "5" << QList<int>{Qt::Key_Home, Qt::Key_3} << "35";
}

void TstPowerWindow::keyFilter() {
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    QFETCH(QString, result);
    AddinsWindow* w = window();
    control<QRadioButton>(w, "Option2")->click();
    for (QLineEdit* box : {control<QLineEdit>(w, "TextHour"), control<QLineEdit>(w, "TextMin"),
                           control<QLineEdit>(w, "TextSec")}) {
        box->clear();
        box->setFocus();
        typeKeys(box, typed);
        for (int key : keys)
            QTest::keyClick(box, Qt::Key(key));
        QCOMPARE(box->text(), result);
    }
}

void TstPowerWindow::refusedInputArmsNothing_data() {
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("field");
    QTest::newRow("hour combo with letters") << false << QStringList{"abc", "0", "0"} << "时";
    QTest::newRow("minute combo out of range") << false << QStringList{"8", "60", "0"} << "分";
    QTest::newRow("second combo negative") << false << QStringList{"8", "0", "-1"} << "秒";
    QTest::newRow("pasted letters in minutes") << true << QStringList{"0", "1x", "0"} << "分";
    QTest::newRow("pasted fraction in seconds") << true << QStringList{"0", "0", "2.5"} << "秒";
    QTest::newRow("pasted negative hours") << true << QStringList{"-1", "0", "0"} << "时";
}

void TstPowerWindow::refusedInputArmsNothing() {
    QFETCH(bool, countdown);
    QFETCH(QStringList, texts);
    QFETCH(QString, field);
    if (countdown)
        armCountdown(texts[0], texts[1], texts[2]);
    else
        armTimeOfDay(texts[0], texts[1], texts[2]);
    AddinsWindow* w = window();

    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    const MessageBox::Shown box = MessageBox::shownBoxes().constFirst();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(QStringLiteral("“") + field + QStringLiteral("”")),
             qPrintable(box.text));
    QVERIFY(!w->powerAction().powerPlan().isArmed());
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStart);
    QVERIFY(control<QGroupBox>(w, "Frame1")->isEnabled());
    QVERIFY(control<QLabel>(w, "LabInformation")->text().isEmpty());
    // What was typed stays, to be put right.
    if (countdown)
        QCOMPARE(control<QLineEdit>(w, "TextMin")->text(), texts[1]);
    tick(5);
    QVERIFY(m_fake->requests().isEmpty());
    QVERIFY(m_fake->queries().isEmpty());
    QVERIFY(m_test->notifier.toolTips.isEmpty());
}

void TstPowerWindow::hiddenOrClosedWindowStillFires_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("hidden") << "hide";
    QTest::newRow("title-bar close") << "close";
    QTest::newRow("unloaded by the tray") << "unload";
}

void TstPowerWindow::hiddenOrClosedWindowStillFires() {
    QFETCH(QString, how);
    armCountdown(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("2"),
                 QStringLiteral("重启"));
    AddinsWindow* w = window();
    if (how == QLatin1String("hide"))
        w->hide();
    else if (how == QLatin1String("close"))
        QVERIFY(!w->close());
    else
        QVERIFY(!m_test->registry.unload(QStringLiteral("frmAddins")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_test->registry.isLoaded(QStringLiteral("frmAddins")));
    QVERIFY(!w->isVisible());
    tick(3);
    QCOMPARE(m_fake->requestedActions(), QList<PowerAction>{PowerAction::Reboot});
}

void TstPowerWindow::toolTipFollowsThePlan() {
    armTimeOfDay(QStringLiteral("23"), QStringLiteral("0"), QStringLiteral("0"));
    QCOMPARE(m_test->notifier.toolTip, QStringLiteral("Dalvenor — 23:00:00 关机"));
    tick(3);
    // Set once, not again at every second.
    QCOMPARE(m_test->notifier.toolTips.size(), 1);
    control<QPushButton>(window(), "CmdStart")->click();
    QCOMPARE(m_test->notifier.toolTip, QStringLiteral("Dalvenor"));

    armCountdown(QStringLiteral("1"), QStringLiteral("30"), QStringLiteral("0"),
                 QStringLiteral("重启"));
    QCOMPARE(m_test->notifier.toolTip, QStringLiteral("Dalvenor — 1时30分0秒后重启"));
    tick();
    QCOMPARE(m_test->notifier.toolTip, QStringLiteral("Dalvenor — 1时29分59秒后重启"));
    control<QPushButton>(window(), "CmdStart")->click();
    QCOMPARE(m_test->notifier.toolTip, QStringLiteral("Dalvenor"));
    // The countdown's messages had nothing to say: more than a minute was left.
    QVERIFY(m_test->notifier.messages.isEmpty());
}

void TstPowerWindow::lastMinuteWarningComesOnce_data() {
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<int>("ticksBeforeWarning"); // -1: at arming
    QTest::addColumn<QString>("text");
    QTest::newRow("方式二 65 s") << true << QStringList{"0", "1", "5"} << 5
                                 << "1 分钟后将为您关机，请保存工作。";
    QTest::newRow("方式二 30 s, at arming")
        << true << QStringList{"0", "0", "30"} << -1 << "30 秒后将为您关机，请保存工作。";
    // 08:00:00 now; the target comes in 90 s.
    QTest::newRow("方式一 in 90 s")
        << false << QStringList{"8", "1", "30"} << 30 << "1 分钟后将为您关机，请保存工作。";
    QTest::newRow("方式一 in 20 s, at arming")
        << false << QStringList{"8", "0", "20"} << -1 << "20 秒后将为您关机，请保存工作。";
}

void TstPowerWindow::lastMinuteWarningComesOnce() {
    QFETCH(bool, countdown);
    QFETCH(QStringList, plan);
    QFETCH(int, ticksBeforeWarning);
    QFETCH(QString, text);
    if (countdown)
        armCountdown(plan[0], plan[1], plan[2]);
    else
        armTimeOfDay(plan[0], plan[1], plan[2]);
    if (ticksBeforeWarning > 0) {
        tick(ticksBeforeWarning - 1);
        QVERIFY(m_test->notifier.messages.isEmpty());
        tick();
    }
    QCOMPARE(m_test->notifier.messages.size(), 1);
    QCOMPARE(m_test->notifier.messages.constFirst().text, text);
    QVERIFY(m_fake->requests().isEmpty());
    // Never again for this moment, and the action still comes on time.
    tick(100);
    QCOMPARE(m_test->notifier.messages.size(), 1);
    QCOMPARE(m_fake->requests().size(), 1);
}

void TstPowerWindow::failureAtFiringIsToldAndPlanStaysArmed() {
    const QString refusal =
        requestErrorText(PowerAction::Shutdown,
                         QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), QString());
    AddinsWindow* w = window();
    m_fake->setRequestError(refusal);
    armCountdown(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"));
    m_test->notifier.messages.clear(); // the at-arming warning ("即将…")
    tick();
    QCOMPARE(m_fake->requests().size(), 1);
    // The answer comes later; the tick did not wait for it.
    QVERIFY(m_test->notifier.messages.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_test->notifier.messages.size(), 1, 10000);
    QCOMPARE(m_test->notifier.messages.constFirst().text, refusal);
    QVERIFY(refusal.contains(QStringLiteral("未能为您关机")));
    QVERIFY(w->powerAction().powerPlan().isArmed());
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), kStop);

    // An accepted request says nothing.
    control<QPushButton>(w, "CmdStart")->click();
    m_fake->setRequestError(QString());
    armCountdown(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"));
    m_test->notifier.messages.clear();
    tick();
    QCOMPARE(m_fake->requests().size(), 2);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    QVERIFY(m_test->notifier.messages.isEmpty());
}

void TstPowerWindow::availabilityAtArmingIsShown_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<PowerAction>("action");
    QTest::addColumn<QString>("word");
    QTest::newRow("yes") << "yes" << PowerAction::Shutdown << "关机";
    QTest::newRow("no") << "no" << PowerAction::Shutdown << "关机";
    QTest::newRow("challenge") << "challenge" << PowerAction::Reboot << "重启";
    QTest::newRow("na") << "na" << PowerAction::Logoff << "注销";
}

void TstPowerWindow::availabilityAtArmingIsShown() {
    QFETCH(QString, answer);
    QFETCH(PowerAction, action);
    QFETCH(QString, word);
    AddinsWindow* w = window();
    const QString note = availabilityNote(action, answer);
    m_fake->setQueryNote(action, note);
    armCountdown(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"), word);
    QCOMPARE(m_fake->queries(), QList<PowerAction>{action});
    const QString status = QStringLiteral("倒计时 1时0分0秒 为您") + word;
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(), status);
    if (note.isEmpty()) {
        QCoreApplication::processEvents();
        QCOMPARE(control<QLabel>(w, "LabInformation")->text(), status);
        return;
    }
    QVERIFY(note.contains(word));
    QTRY_COMPARE_WITH_TIMEOUT(control<QLabel>(w, "LabInformation")->text(),
                              status + QLatin1Char('\n') + note, 10000);
    // The note stays under the live count; still armed.
    tick();
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(),
             QStringLiteral("倒计时 0时59分59秒 为您") + word + QLatin1Char('\n') + note);
    QVERIFY(w->powerAction().powerPlan().isArmed());
}

void TstPowerWindow::lateAvailabilityAnswerAfterDisarmIsIgnored() {
    AddinsWindow* w = window();
    m_fake->setAnswerAutomatically(false);
    m_fake->setQueryNote(PowerAction::Shutdown, availabilityNote(PowerAction::Shutdown, "no"));
    armTimeOfDay(QStringLiteral("23"), QStringLiteral("0"), QStringLiteral("0"));
    control<QPushButton>(w, "CmdStart")->click();
    m_fake->answerAll();
    QVERIFY(control<QLabel>(w, "LabInformation")->text().isEmpty());

    // Re-armed for another action: the earlier question's answer does not belong to it.
    m_fake->setQueryNote(PowerAction::Logoff, QString());
    armTimeOfDay(QStringLiteral("23"), QStringLiteral("0"), QStringLiteral("0"),
                 QStringLiteral("注销"));
    m_fake->answerAll();
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(),
             QStringLiteral("当时间为 23:0:0 时，为您注销"));
}

void TstPowerWindow::withoutPowerServiceArmingAndFiringSayItCannotHappen() {
    m_withBackend = false;
    AddinsWindow* w = window();
    armCountdown(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"));
    QCOMPARE(control<QLabel>(w, "LabInformation")->text(),
             QStringLiteral("倒计时 0时0分1秒 为您关机\n") +
                 availabilityNote(PowerAction::Shutdown, QStringLiteral("na")));
    m_test->notifier.messages.clear();
    tick(2);
    QCOMPARE(m_test->notifier.messages.size(), 1);
    QVERIFY2(m_test->notifier.messages.constFirst().text.startsWith(QStringLiteral("未能为您关机")),
             qPrintable(m_test->notifier.messages.constFirst().text));
    QVERIFY(w->powerAction().powerPlan().isArmed());
}

QTEST_MAIN(TstPowerWindow)
#include "tst_power_window.moc"
