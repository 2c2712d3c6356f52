// frmCaution through the real window: its texts from "settings.ini", the slide driven by calling
// Timer1_Timer (no waiting), closing, showing again and dragging. Then the reminder page of
// frmAddins that starts it: "确认" and the heartbeat's minutes.
#include "addins/addins_window.h"
#include "addins/caution_window.h"
#include "addins/reminder_settings_page.h"
#include "find_control.h"
#include "forms/heartbeat.h"
#include "forms/message_box.h"
#include "settings/data_files.h"
#include "test_context.h"
#include "winutil/twips.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringEncoder>
#include <QTest>

namespace {

// Stands in for frmTray, whose icon the pop-up copies.
class IconCarrier : public Form {
    Q_OBJECT
public:
    IconCarrier(AppContext& context, const QIcon& icon) : Form(context, QStringLiteral("frmTray")) {
        setWindowIcon(icon);
    }
};

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// The whole primary screen in pixels, and the pixel where the frame's top-left should be for a
// slide offset (twips above the bottom) at the right margin.
QRect screenPixels() {
    return QGuiApplication::primaryScreen()->geometry();
}

} // namespace

class TstCautionWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void designOfTheWindow();
    void textsFromSettingsFile_data();
    void textsFromSettingsFile();
    void missingFileGivesEmptyTextsAndStillSlides();
    void textsAreReadAgainAtEveryShowing();
    void slidePhasesTickByTick();
    void timerRunsOnlyWhileShown();
    void dragDuringHoldingStaysUntilSinking();
    void dragDuringRisingIsOverridden();
    void closeDuringHoldingStartsNextShowingFromBottom();
    void showingWhileVisibleDoesNotRestart();
    void surfacesDragTheWindow_data();
    void surfacesDragTheWindow();

    // The reminder page of frmAddins.
    void confirmSavesThreeLinesAndHides();
    void confirmWithAnIntervalThatNeverComes_data();
    void confirmWithAnIntervalThatNeverComes();
    void failedSaveSaysSoAndLosesNothing();
    void confirmBesideTheRecentreMarker();
    void heartbeatMinutesShowThePopup();
    void nothingPopsUpBeforeConfirm();

private:
    AddinsWindow* loadAddins();
    // count seconds of the program's heartbeat, the clock moving with them.
    void heartbeatSeconds(int count);
    CautionWindow* showCaution();
    CautionWindow* current() const;
    void writeSettings(const QByteArray& bytes);
    // Where the frame's top-left belongs for a rising or sinking offset.
    QPoint slidAt(const CautionWindow* window, int offsetTwips) const;
    // Ticks until the pop-up is unloaded; the number of ticks, or -1 past the limit.
    int tickUntilClosed(int limit = 10000);

    std::unique_ptr<TestContext> m_test;
};

void TstCautionWindow::initTestCase() {
    MessageBox::setAnswerAll(true);
}

void TstCautionWindow::init() {
    m_test = std::make_unique<TestContext>();
    m_test->registry.registerForm(QStringLiteral("frmCaution"),
                                  [this] { return new CautionWindow(m_test->context); });
    m_test->registry.registerForm(QStringLiteral("frmAddins"),
                                  [this] { return new AddinsWindow(m_test->context); });
    MessageBox::clearShownBoxes();
}

void TstCautionWindow::cleanup() {
    m_test.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

CautionWindow* TstCautionWindow::showCaution() {
    return qobject_cast<CautionWindow*>(m_test->registry.show(QStringLiteral("frmCaution")));
}

CautionWindow* TstCautionWindow::current() const {
    return m_test->registry.form<CautionWindow>();
}

void TstCautionWindow::writeSettings(const QByteArray& bytes) {
    QFile file(m_test->paths().dataFile(QStringLiteral("settings.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QPoint TstCautionWindow::slidAt(const CautionWindow* window, int offsetTwips) const {
    const QRect screen = screenPixels();
    const QSize outer = window->frameGeometry().size();
    return {screen.right() + 1 - outer.width() - twips::toPixelsX(200, window),
            screen.bottom() + 1 - twips::toPixelsY(offsetTwips, window)};
}

int TstCautionWindow::tickUntilClosed(int limit) {
    for (int ticks = 1; ticks <= limit; ++ticks) {
        CautionWindow* window = current();
        if (!window)
            return -1;
        window->Timer1_Timer();
        if (!current())
            return ticks;
    }
    return -1;
}

void TstCautionWindow::designOfTheWindow() {
    const QIcon icon = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor(1, 2, 3));
        return QIcon(pixmap);
    }();
    m_test->registry.registerForm(QStringLiteral("frmTray"),
                                  [this, icon] { return new IconCarrier(m_test->context, icon); });
    m_test->registry.load(QStringLiteral("frmTray"));

    CautionWindow* window = showCaution();
    QVERIFY(window);
    QCOMPARE(window->size(), QSize(402, 161));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->windowType(), Qt::Window); // not a tool or dialog: a taskbar entry
    QVERIFY(window->testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(window->windowIcon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(1, 2, 3));

    QCOMPARE(window->Label1->geometry(), twips::toPixels(488, 240, 5055, 1935, window));
    QCOMPARE(window->Label1->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    QCOMPARE(window->Label1->font().family(), QStringLiteral("宋体"));
    QCOMPARE(window->Label1->font().pointSizeF(), 15.0);
    QVERIFY(window->Label1->wordWrap());
    QCOMPARE(window->Timer1->interval(), 20);
}

void TstCautionWindow::textsFromSettingsFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");

    const QString title = QStringLiteral("学习提醒");
    const QString message = QStringLiteral("是学习的时候了，加油！");
    QStringEncoder gbk("GBK");
    QVERIFY(gbk.isValid());
    const QByteArray gbkBytes =
        QByteArray(gbk.encode(title)) + "\r\n" + QByteArray(gbk.encode(message)) + "\r\n30\r\n";
    QTest::newRow("GBK, CR LF") << gbkBytes << title << message;
    QTest::newRow("UTF-8, LF") << (title + u'\n' + message + QStringLiteral("\n30\n")).toUtf8()
                               << title << message;
    QTest::newRow("UTF-8 with BOM")
        << QByteArray("\xEF\xBB\xBF") + (title + QStringLiteral("\r\n") + message).toUtf8() << title
        << message;
    QTest::newRow("one line only")
        << QByteArray("Only a title\r\n") << QStringLiteral("Only a title") << QString();
    // The message is shown as typed, never as markup.
    QTest::newRow("markup stays text") << QByteArray("t\r\n<b>bold</b>\r\n") << QStringLiteral("t")
                                       << QStringLiteral("<b>bold</b>");
}

void TstCautionWindow::textsFromSettingsFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, title);
    QFETCH(QString, message);
    writeSettings(bytes);
    CautionWindow* window = showCaution();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(window->Label1->text(), message);
    QCOMPARE(window->Label1->textFormat(), Qt::PlainText);
}

void TstCautionWindow::missingFileGivesEmptyTextsAndStillSlides() {
    // The reminder file standing as the re-centre marker counts as missing.
    QFile marker(m_test->paths().dataFile(QStringLiteral("setting.ini")));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.write("title\r\nmessage\r\n1\r\n");
    marker.close();

    CautionWindow* window = showCaution();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QString());
    QCOMPARE(window->Label1->text(), QString());
    QVERIFY(window->slide().isRunning());
    QVERIFY(tickUntilClosed() > 0);
    QVERIFY(!m_test->registry.isLoaded(QStringLiteral("frmCaution")));
}

void TstCautionWindow::textsAreReadAgainAtEveryShowing() {
    writeSettings("first\r\nmessage one\r\n1\r\n");
    QCOMPARE(showCaution()->Label1->text(), QStringLiteral("message one"));
    QVERIFY(tickUntilClosed() > 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    writeSettings("second\r\nmessage two\r\n1\r\n");
    CautionWindow* window = showCaution();
    QCOMPARE(window->windowTitle(), QStringLiteral("second"));
    QCOMPARE(window->Label1->text(), QStringLiteral("message two"));
}

void TstCautionWindow::slidePhasesTickByTick() {
    CautionWindow* window = showCaution();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Loaded flush right, just below the screen (by the client width: the frame is not known
    // before the window is first framed).
    const QRect screen = screenPixels();
    QCOMPARE(window->frameGeometry().top(), screen.bottom() + 1);
    QVERIFY(window->frameGeometry().left() >= screen.right() + 1 - window->frameGeometry().width());
    QVERIFY(window->frameGeometry().left() <= screen.right() + 1 - window->width());

    // Rising lasts until the offset reaches the outer height + 450 twips; that tick still moves.
    const int outerTwips = int(twips::fromPixelsY(window->frameGeometry().height(), window));
    QVERIFY(outerTwips >= 2415);
    const int lastRising = (outerTwips + 450 + 119) / 120 * 120;
    for (int offset = 0; offset <= lastRising; offset += 120) {
        QCOMPARE(window->slide().state(), SlideAnimation::Rising);
        window->Timer1_Timer();
        QCOMPARE(window->frameGeometry().topLeft(), slidAt(window, offset));
    }
    QCOMPARE(window->slide().state(), SlideAnimation::Holding);
    const QPoint risen = window->frameGeometry().topLeft();

    // Holding counts from the last rising offset + 120 up to 5500 without moving.
    const int holdingTicks = 5500 - (lastRising + 120);
    QVERIFY(holdingTicks > 1900); // about forty seconds at 20 ms
    for (int tick = 1; tick < holdingTicks; ++tick)
        window->Timer1_Timer();
    QCOMPARE(window->slide().state(), SlideAnimation::Holding);
    QCOMPARE(window->frameGeometry().topLeft(), risen);
    window->Timer1_Timer();
    QCOMPARE(window->slide().state(), SlideAnimation::Sinking);
    QCOMPARE(window->frameGeometry().topLeft(), risen);

    // Sinking: 4200 down to 120 in 36 moving ticks, then the close.
    for (int offset = 4200; offset > 0; offset -= 120) {
        window->Timer1_Timer();
        QVERIFY(current());
        QCOMPARE(window->frameGeometry().topLeft(), slidAt(window, offset));
    }
    QCOMPARE(window->slide().offset(), 0);
    window->Timer1_Timer();
    QVERIFY(!current());
}

void TstCautionWindow::timerRunsOnlyWhileShown() {
    m_test->registry.load(QStringLiteral("frmCaution"));
    QVERIFY(!current()->Timer1->isActive());
    CautionWindow* window = showCaution();
    QVERIFY(window->Timer1->isActive());
    window->hide();
    QVERIFY(!window->Timer1->isActive());
    window->show();
    QVERIFY(window->Timer1->isActive());

    QPointer<QTimer> timer = window->Timer1;
    QVERIFY(tickUntilClosed() > 0);
    QVERIFY(!timer || !timer->isActive());
}

void TstCautionWindow::dragDuringHoldingStaysUntilSinking() {
    CautionWindow* window = showCaution();
    while (window->slide().state() != SlideAnimation::Holding)
        window->Timer1_Timer();
    const QPoint dragged(37, 55);
    window->move(dragged);
    QTRY_COMPARE(window->frameGeometry().topLeft(), dragged);
    while (window->slide().state() == SlideAnimation::Holding) {
        window->Timer1_Timer();
        QCOMPARE(window->frameGeometry().topLeft(), dragged);
    }
    // The first sinking tick puts it 200 twips from the right, 4200 above the bottom.
    window->Timer1_Timer();
    QCOMPARE(window->frameGeometry().topLeft(), slidAt(window, 4200));
}

void TstCautionWindow::dragDuringRisingIsOverridden() {
    CautionWindow* window = showCaution();
    for (int i = 0; i < 5; ++i)
        window->Timer1_Timer(); // offsets 0 to 480
    window->move(40, 40);
    QTRY_COMPARE(window->frameGeometry().topLeft(), QPoint(40, 40));
    window->Timer1_Timer();
    QCOMPARE(window->frameGeometry().topLeft(), slidAt(window, 600));
}

void TstCautionWindow::closeDuringHoldingStartsNextShowingFromBottom() {
    CautionWindow* window = showCaution();
    while (window->slide().state() != SlideAnimation::Holding)
        window->Timer1_Timer();
    for (int i = 0; i < 100; ++i)
        window->Timer1_Timer();
    QVERIFY(window->close() || !current()); // the title-bar close goes through the unload
    QVERIFY(!current());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    window = showCaution();
    QCOMPARE(window->slide().state(), SlideAnimation::Rising);
    QCOMPARE(window->slide().offset(), 0);
    window->Timer1_Timer();
    QCOMPARE(window->frameGeometry().topLeft(), slidAt(window, 0));
    QCOMPARE(window->slide().offset(), 120);
}

void TstCautionWindow::showingWhileVisibleDoesNotRestart() {
    writeSettings("old\r\nold message\r\n1\r\n");
    CautionWindow* window = showCaution();
    for (int i = 0; i < 40; ++i)
        window->Timer1_Timer();
    const SlideAnimation::State state = window->slide().state();
    const int offset = window->slide().offset();
    const QPoint at = window->frameGeometry().topLeft();
    writeSettings("new\r\nnew message\r\n1\r\n");

    QCOMPARE(showCaution(), window);
    QCOMPARE(window->slide().state(), state);
    QCOMPARE(window->slide().offset(), offset);
    QCOMPARE(window->frameGeometry().topLeft(), at);
    QCOMPARE(window->Label1->text(), QStringLiteral("old message"));
}

void TstCautionWindow::surfacesDragTheWindow_data() {
    QTest::addColumn<QString>("surface");
    QTest::newRow("window") << QStringLiteral("frmCaution");
    QTest::newRow("Label1") << QStringLiteral("Label1");
}

void TstCautionWindow::surfacesDragTheWindow() {
    QFETCH(QString, surface);
    CautionWindow* window = showCaution();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->move(100, 100);
    QTRY_COMPARE(window->pos(), QPoint(100, 100));
    QWidget* target =
        surface == window->objectName() ? window : window->findChild<QWidget*>(surface);
    QVERIFY(target);
    const QPoint local(3, 2);
    const QPoint grab = target->mapToGlobal(local);
    QCursor::setPos(grab);
    sendMouse(target, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton);
    const QPoint delta(-40, 25);
    QMouseEvent move(QEvent::MouseMove, QPointF(local + delta), QPointF(grab + delta), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    sendMouse(target, QEvent::MouseButtonRelease, local + delta, Qt::LeftButton, Qt::NoButton);
    QTRY_COMPARE_WITH_TIMEOUT(window->pos(), QPoint(100, 100) + delta, 5000);
}

AddinsWindow* TstCautionWindow::loadAddins() {
    return qobject_cast<AddinsWindow*>(m_test->registry.show(QStringLiteral("frmAddins")));
}

void TstCautionWindow::heartbeatSeconds(int count) {
    for (int i = 0; i < count; ++i) {
        m_test->clock.advanceSeconds(1);
        m_test->heartbeat().tick();
    }
}

void TstCautionWindow::confirmSavesThreeLinesAndHides() {
    AddinsWindow* addins = loadAddins();
    QVERIFY(addins);
    control<QLineEdit>(addins, "Text1")->setText(QStringLiteral("学习提醒"));
    control<QLineEdit>(addins, "Text2")->setText(QStringLiteral("是学习的时候了"));
    control<QLineEdit>(addins, "Text3")->setText(QStringLiteral("30"));
    control<QPushButton>(addins, "Command2")->click();

    QVERIFY(MessageBox::shownBoxes().isEmpty());
    QVERIFY(!addins->isVisible());
    QVERIFY(addins->reminderSettings().reminder().isRunning());
    const QString path = m_test->paths().dataFile(QStringLiteral("settings.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.endsWith("\r\n30\r\n"));
    QCOMPARE(bytes.count("\r\n"), 3);
    QCOMPARE(readReminderFile(path).lines,
             QStringList({QStringLiteral("学习提醒"), QStringLiteral("是学习的时候了"),
                          QStringLiteral("30")}));
}

void TstCautionWindow::confirmWithAnIntervalThatNeverComes_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<bool>("told");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("zero") << QStringLiteral("0") << true;
    QTest::newRow("negative") << QStringLiteral("-3") << true;
    QTest::newRow("not a number") << QStringLiteral("abc") << true;
    QTest::newRow("fraction fires") << QStringLiteral("1.5") << false;
    QTest::newRow("full-width digits fire") << QStringLiteral("３０") << false;
}

void TstCautionWindow::confirmWithAnIntervalThatNeverComes() {
    QFETCH(QString, interval);
    QFETCH(bool, told);
    AddinsWindow* addins = loadAddins();
    control<QLineEdit>(addins, "Text1")->setText(QStringLiteral("t"));
    control<QLineEdit>(addins, "Text2")->setText(QStringLiteral("m"));
    control<QLineEdit>(addins, "Text3")->setText(interval);
    addins->reminderSettings().Command2_Click();

    QCOMPARE(MessageBox::shownBoxes().size(), told ? 1 : 0);
    if (told)
        QVERIFY(MessageBox::shownBoxes().first().text.contains(QStringLiteral("不会弹出")));
    // The texts are saved all the same, and the window goes away.
    QCOMPARE(readReminderFile(m_test->paths().dataFile(QStringLiteral("settings.ini"))).lines,
             QStringList({QStringLiteral("t"), QStringLiteral("m"), interval}));
    QVERIFY(!addins->isVisible());
}

void TstCautionWindow::failedSaveSaysSoAndLosesNothing() {
    // A folder where the file should be: the save cannot replace it.
    const QString path = m_test->paths().dataFile(QStringLiteral("settings.ini"));
    QVERIFY(QDir().mkpath(path));
    AddinsWindow* addins = loadAddins();
    control<QLineEdit>(addins, "Text1")->setText(QStringLiteral("标题"));
    control<QLineEdit>(addins, "Text2")->setText(QStringLiteral("内容"));
    control<QLineEdit>(addins, "Text3")->setText(QStringLiteral("1"));
    addins->reminderSettings().Command2_Click();

    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    QCOMPARE(MessageBox::shownBoxes().first().icon, QMessageBox::Warning);
    QVERIFY(MessageBox::shownBoxes().first().text.contains(QStringLiteral("settings.ini")));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(addins->isVisible());
    QCOMPARE(control<QLineEdit>(addins, "Text1")->text(), QStringLiteral("标题"));
    QCOMPARE(control<QLineEdit>(addins, "Text2")->text(), QStringLiteral("内容"));
    QCOMPARE(control<QLineEdit>(addins, "Text3")->text(), QStringLiteral("1"));
    // Nothing pops up on settings that were never saved.
    QVERIFY(!addins->reminderSettings().reminder().isRunning());
    heartbeatSeconds(61);
    QVERIFY(!m_test->registry.isLoaded(QStringLiteral("frmCaution")));
}

void TstCautionWindow::confirmBesideTheRecentreMarker() {
    // A reset of the display settings left the earlier settings under the marker name, dated
    // after the present moment (the clock was set back since).
    const QString marker = m_test->paths().dataFile(QStringLiteral("setting.ini"));
    {
        QFile file(marker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("old\r\nold message\r\n5\r\n");
        file.close();
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(1),
                                 QFileDevice::FileModificationTime));
    }
    AddinsWindow* addins = loadAddins();
    control<QLineEdit>(addins, "Text1")->setText(QStringLiteral("new"));
    control<QLineEdit>(addins, "Text2")->setText(QStringLiteral("new message"));
    control<QLineEdit>(addins, "Text3")->setText(QStringLiteral("10"));
    addins->reminderSettings().Command2_Click();
    QVERIFY(MessageBox::shownBoxes().isEmpty());

    // The marker is still there, whole, and the re-centre still happens once.
    QCOMPARE(
        readReminderFile(marker).lines,
        QStringList({QStringLiteral("old"), QStringLiteral("old message"), QStringLiteral("5")}));
    QVERIFY(takeRecentreMarker(m_test->paths().dataDir()));
    QCOMPARE(
        readReminderFile(m_test->paths().dataFile(QStringLiteral("settings.ini"))).lines,
        QStringList({QStringLiteral("new"), QStringLiteral("new message"), QStringLiteral("10")}));
}

void TstCautionWindow::heartbeatMinutesShowThePopup() {
    writeSettings("提醒\r\nmessage\r\n1\r\n");
    AddinsWindow* addins = loadAddins();
    control<QLineEdit>(addins, "Text3")->setText(QStringLiteral("2"));
    addins->reminderSettings().Command2_Click();

    // Two minutes of the shared second, then the pop-up.
    heartbeatSeconds(2 * 60 - 1);
    QVERIFY(!m_test->registry.isLoaded(QStringLiteral("frmCaution")));
    heartbeatSeconds(1);
    CautionWindow* window = current();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->Timer1->isActive());
    QCOMPARE(window->Label1->text(), QStringLiteral("message"));
    QCOMPARE(addins->reminderSettings().reminder().minutes(), 0);

    // The interval lowered to 1 while the pop-up is up: the next minute does not restart the
    // running slide, which then ends well before the minute after.
    control<QLineEdit>(addins, "Text3")->setText(QStringLiteral("1"));
    for (int i = 0; i < 50; ++i)
        window->Timer1_Timer();
    const int offset = window->slide().offset();
    heartbeatSeconds(60);
    QCOMPARE(current(), window);
    QCOMPARE(window->slide().offset(), offset);
    QVERIFY(tickUntilClosed() > 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!current());
    heartbeatSeconds(60);
    QVERIFY(current());
    QCOMPARE(current()->slide().state(), SlideAnimation::Rising);
}

void TstCautionWindow::nothingPopsUpBeforeConfirm() {
    AddinsWindow* addins = loadAddins();
    control<QLineEdit>(addins, "Text3")->setText(QStringLiteral("1"));
    heartbeatSeconds(5 * 60);
    QVERIFY(!m_test->registry.isLoaded(QStringLiteral("frmCaution")));
    QVERIFY(!addins->reminderSettings().reminder().isRunning());
}

QTEST_MAIN(TstCautionWindow)
#include "tst_caution_window.moc"
