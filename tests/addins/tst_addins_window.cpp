// frmAddins through the real window: its load steps, the single window that only hides, the
// custom countdown's save and the countdown's reload, the version-notes scroll driven by an
// injected clock, the frame's clock on the heartbeat, the Chinese calendar line, the drag
// surfaces, and every text fitting its control.
#include "addins/addins_window.h"
#include "addins/calendar_page.h"
#include "addins/custom_countdown_page.h"
#include "addins/lunar_calendar_widget.h"
#include "addins/power_action_page.h"
#include "addins/reminder_settings_page.h"
#include "addins/version_notes_page.h"
#include "app/countdown_window.h"
#include "find_control.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "settings/text_file.h"
#include "test_context.h"
#include "winutil/twips.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QBackingStore>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmapCache>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QStringEncoder>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <csignal>
#include <sys/resource.h>

namespace {

QStringList numbers(int last) {
    QStringList list;
    for (int i = 0; i <= last; ++i)
        list << QString::number(i);
    return list;
}

QStringList items(const QComboBox* combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Number of pixels of a colour close to pure green in an image.
int greenPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > 128 && c.red() < 80 && c.blue() < 80)
                ++count;
        }
    }
    return count;
}

// Limits the size of files this process may write, so that a save fails even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class TestAddinsWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installFontSubstitutions();
        MessageBox::setAnswerAll(true);
    }

    void init() {
        MessageBox::clearShownBoxes();
        m_test = std::make_unique<TestContext>();
        m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(8, 0, 0)));
        m_test->registry.registerForm("frmAddins", [this] {
            auto* w = new AddinsWindow(m_test->context);
            w->setMonotonicClock([this] { return m_ms; });
            w->setDragHandler([this](QWidget*) { ++m_drags; });
            return w;
        });
        m_test->registry.registerForm("frmMain",
                                      [this] { return new CountdownWindow(m_test->context); });
        m_ms = 1000;
        m_drags = 0;
    }
    void cleanup() { m_test.reset(); }

    void loadStepsFillTheLists();
    void tabsInOrderFirstSelected();
    void countdownFileFillsTheBoxes_data();
    void countdownFileFillsTheBoxes();
    void reminderFileFillsTheBoxes();
    void calendarCentredAndOnToday();
    void monthArrowsKeepOnlyWhatTheyDraw_data();
    void monthArrowsKeepOnlyWhatTheyDraw();
    void menusUseTheWindowsFace();

    void unloadOnlyHides_data();
    void unloadOnlyHides();

    void confirmWritesAndReloadsTheCountdown_data();
    void confirmWritesAndReloadsTheCountdown();
    void confirmWithoutFileWritesFourEmptyLines();
    void confirmKeepsTheDateOnItsLineWhateverTheBoxesHold();
    void failedWriteKeepsOldFileAndTexts();

    void scrollStepsOnlyAfterMoreThan24ms();
    void scrollWrapsBelowTheBox();
    void activationRestartsFromBelow();
    void stopFreezesAndRestartStartsFromBelow();
    void noTimerWhileHiddenOrMinimised();
    void showingAgainRestartsAfterClose();
    void measureFailureShowsError();
    void notesAreDrawnGreenOnBlack();

    void frameCaptionFollowsHeartbeat();

    void lunarLineForSelectedDay_data();
    void lunarLineForSelectedDay();
    void tooltipPerDay();
    void daysToTargetFromCountdownFile();

    void pagesHoldTheirControlsAtTheTabOrigin_data();
    void pagesHoldTheirControlsAtTheTabOrigin();

    void dragSurfaces_data();
    void dragSurfaces();

    void everyTextFitsItsControl();

private:
    AddinsWindow* showAddins() {
        auto* w = qobject_cast<AddinsWindow*>(m_test->registry.show("frmAddins"));
        if (w)
            (void)QTest::qWaitForWindowExposed(w);
        return w;
    }
    AddinsWindow* loadAddins() {
        return qobject_cast<AddinsWindow*>(m_test->registry.load("frmAddins"));
    }
    QString dataFile(const QString& name) const { return m_test->paths().dataFile(name); }
    // Runs the scroll's timer handler at a given time of the injected clock.
    void tickAt(AddinsWindow* w, qint64 ms) {
        m_ms = ms;
        w->versionNotes().ScrollTimer_Timer();
    }

    std::unique_ptr<TestContext> m_test;
    qint64 m_ms = 0;
    int m_drags = 0;
};

void TestAddinsWindow::loadStepsFillTheLists() {
    AddinsWindow* w = loadAddins();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("附加功能"));
    QCOMPARE(items(control<QComboBox>(w, "CBoxHour")), numbers(23));
    QCOMPARE(items(control<QComboBox>(w, "CBoxMin")), numbers(59));
    QCOMPARE(items(control<QComboBox>(w, "CBoxSec")), numbers(59));
    QCOMPARE(items(control<QComboBox>(w, "Combo4")), (QStringList{"关机", "注销"}));
    QCOMPARE(items(control<QComboBox>(w, "Combo5")), (QStringList{"关机", "重启", "注销"}));
    QCOMPARE(control<QComboBox>(w, "CBoxHour")->currentText(), QStringLiteral("0"));
    QCOMPARE(control<QComboBox>(w, "CBoxMin")->currentText(), QStringLiteral("0"));
    QCOMPARE(control<QComboBox>(w, "CBoxSec")->currentText(), QStringLiteral("0"));
    QCOMPARE(control<QComboBox>(w, "Combo4")->currentText(), QStringLiteral("关机"));
    QCOMPARE(control<QComboBox>(w, "Combo5")->currentText(), QStringLiteral("关机"));
    for (QComboBox* combo : {control<QComboBox>(w, "CBoxHour"), control<QComboBox>(w, "CBoxMin"),
                             control<QComboBox>(w, "CBoxSec"), control<QComboBox>(w, "Combo4"),
                             control<QComboBox>(w, "Combo5")})
        QVERIFY(combo->isEditable());
    QVERIFY(!control<QComboBox>(w, "Combo5")->isEnabled());
    QVERIFY(control<QComboBox>(w, "Combo4")->isEnabled());
    QVERIFY(control<QRadioButton>(w, "Option1")->isChecked());
    QVERIFY(!control<QRadioButton>(w, "Option2")->isChecked());
    for (QLineEdit* box : {control<QLineEdit>(w, "TextHour"), control<QLineEdit>(w, "TextMin"),
                           control<QLineEdit>(w, "TextSec")}) {
        QCOMPARE(box->text(), QStringLiteral("0"));
        QCOMPARE(box->maxLength(), 2);
    }
    QCOMPARE(control<QPushButton>(w, "CmdStart")->text(), QStringLiteral("开始执行"));
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("停止"));
    QCOMPARE(control<QWidget>(w, "Picmain")->font().pointSizeF(), 12.0);
    QCOMPARE(control<QWidget>(w, "Picmain")->font().family(), QStringLiteral("楷体"));
    // 6390 x 3615 twips, fixed.
    QCOMPARE(w->size(), QSize(426, 241));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
}

void TestAddinsWindow::tabsInOrderFirstSelected() {
    AddinsWindow* w = loadAddins();
    QCOMPARE(control<QTabWidget>(w, "SSTab1")->count(), 5);
    const QStringList captions = {"小日历", "定时关机", "版本说明", "提醒窗口", "自定义倒计时"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(control<QTabWidget>(w, "SSTab1")->tabText(i), captions[i]);
    QCOMPARE(control<QTabWidget>(w, "SSTab1")->currentIndex(), 0);
    QCOMPARE(control<QTabWidget>(w, "SSTab1")->geometry(), w->rect());
}

void TestAddinsWindow::countdownFileFillsTheBoxes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QStringList>("expected");
    const QStringList four = {"距离高考还有", "还剩", "6/7/2011", "9:00:00 AM"};
    QByteArray gbk;
    for (const QString& line : four)
        gbk += QStringEncoder("GBK").encode(line) + "\r\n";
    QTest::newRow("code page 936") << gbk << true << four;
    QTest::newRow("utf-8") << QByteArray("\xEF\xBB\xBF") + four.join("\r\n").toUtf8() + "\r\n"
                           << true << four;
    QTest::newRow("short") << QByteArray("一\r\n二\r\n") << true << QStringList{"一", "二", "", ""};
    QTest::newRow("missing") << QByteArray() << false << QStringList{"", "", "", ""};
}

void TestAddinsWindow::countdownFileFillsTheBoxes() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, present);
    QFETCH(QStringList, expected);
    if (present)
        writeBytes(dataFile("countdown.ini"), bytes);
    AddinsWindow* w = loadAddins();
    QCOMPARE((QStringList{
                 control<QLineEdit>(w, "Text4")->text(), control<QLineEdit>(w, "Text5")->text(),
                 control<QLineEdit>(w, "Text6")->text(), control<QLineEdit>(w, "Text7")->text()}),
             expected);
    QVERIFY(MessageBox::shownBoxes().isEmpty());
}

void TestAddinsWindow::reminderFileFillsTheBoxes() {
    QVERIFY(textfile::writeLines(dataFile("settings.ini"), {"学习时间", "该学习了", "45"}));
    AddinsWindow* w = loadAddins();
    QCOMPARE(control<QLineEdit>(w, "Text1")->text(), QStringLiteral("学习时间"));
    QCOMPARE(control<QLineEdit>(w, "Text2")->text(), QStringLiteral("该学习了"));
    QCOMPARE(control<QLineEdit>(w, "Text3")->text(), QStringLiteral("45"));
}

void TestAddinsWindow::calendarCentredAndOnToday() {
    AddinsWindow* w = showAddins();
    const QRect calendar(control<LunarCalendarWidget>(w, "MonthView1")->mapTo(w, QPoint(0, 0)),
                         control<LunarCalendarWidget>(w, "MonthView1")->size());
    // Horizontally centred, and 80 twips (5 pixels) above the vertical centre.
    QVERIFY2(qAbs(calendar.left() - (w->width() - calendar.width()) / 2) <= 1,
             qPrintable(QString::number(calendar.left())));
    QVERIFY2(qAbs(calendar.top() - ((w->height() - calendar.height()) / 2 - 5)) <= 1,
             qPrintable(QString::number(calendar.top())));
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->size(), QSize(271, 148));
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->selectedDate(), QDate(2011, 6, 5));
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->monthShown(), 6);
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->yearShown(), 2011);
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->today(), QDate(2011, 6, 5));
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->minimumDate(), QDate(1753, 1, 1));
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->maximumDate(), QDate(9999, 12, 31));
    // The line under it lies within the page.
    const QRect line(control<QLabel>(w, "LabLunar")->mapTo(w, QPoint(0, 0)),
                     control<QLabel>(w, "LabLunar")->size());
    QVERIFY(line.top() >= calendar.bottom());
    QVERIFY(line.bottom() < w->height());
    QVERIFY(control<QLabel>(w, "LabLunar")->isVisibleTo(w));
}

void TestAddinsWindow::monthArrowsKeepOnlyWhatTheyDraw_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("arrow");
    QTest::newRow("previous month") << "qt_calendar_prevmonth" << int(QStyle::SP_ArrowLeft);
    QTest::newRow("next month") << "qt_calendar_nextmonth" << int(QStyle::SP_ArrowRight);
}

void TestAddinsWindow::monthArrowsKeepOnlyWhatTheyDraw() {
    QFETCH(QString, button);
    QFETCH(int, arrow);
    AddinsWindow* w = showAddins();
    auto* calendar = control<LunarCalendarWidget>(w, "MonthView1");
    auto* arrowButton = calendar->findChild<QToolButton*>(button);
    QVERIFY(arrowButton);
    // Nothing larger than the button draws is held (the style's own icon reaches 128 pixels).
    const QSize drawn = arrowButton->iconSize() * arrowButton->devicePixelRatioF();
    const QList<QSize> sizes = arrowButton->icon().availableSizes();
    QVERIFY(!sizes.isEmpty());
    for (const QSize& size : sizes)
        QVERIFY2(size.width() <= drawn.width() && size.height() <= drawn.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    // And the button looks as it does with the style's full arrow, enabled and disabled.
    for (bool enabled : {true, false}) {
        arrowButton->setEnabled(enabled);
        const QImage kept = arrowButton->grab().toImage();
        const QIcon keptIcon = arrowButton->icon();
        arrowButton->setIcon(
            arrowButton->style()->standardIcon(QStyle::StandardPixmap(arrow), nullptr, calendar));
        const QImage full = arrowButton->grab().toImage();
        arrowButton->setIcon(keptIcon);
        QCOMPARE(kept, full);
    }
    arrowButton->setEnabled(true);
    // A change of direction brings the style's arrows back: they are trimmed again.
    calendar->setLayoutDirection(Qt::RightToLeft);
    for (const QSize& size : arrowButton->icon().availableSizes())
        QVERIFY(size.width() <= drawn.width());
}

void TestAddinsWindow::menusUseTheWindowsFace() {
    // The menus and message boxes show Chinese captions in the face the windows' texts already
    // loaded: a second CJK face (an outline collection of tens of thousands of glyphs) would
    // cost about a megabyte of tables for the life of the program once the menu has opened.
    const QString windowsFace =
        QRawFont::fromFont(designFont(), QFontDatabase::SimplifiedChinese).familyName();
    QVERIFY(!windowsFace.isEmpty());
    for (const char* widget : {"QMenu", "QMessageBox", "QLabel"}) {
        QCOMPARE(QRawFont::fromFont(QApplication::font(widget), QFontDatabase::SimplifiedChinese)
                     .familyName(),
                 windowsFace);
    }
}

void TestAddinsWindow::unloadOnlyHides_data() {
    QTest::addColumn<bool>("closeButton");
    QTest::newRow("unload by the tray's commands") << false;
    QTest::newRow("title-bar close") << true;
}

void TestAddinsWindow::unloadOnlyHides() {
    QFETCH(bool, closeButton);
    AddinsWindow* w = showAddins();
    QVERIFY(w->isVisible());
    QVERIFY(w->versionNotes().hasNotesImage());
    control<QLineEdit>(w, "Text4")->setText(QStringLiteral("typed"));
    const QImage before = w->grab().toImage();
    if (closeButton)
        QVERIFY(!w->close());
    else
        QVERIFY(!m_test->registry.unload("frmAddins"));
    QVERIFY(!w->isVisible());
    QVERIFY(m_test->registry.isLoaded("frmAddins"));
    QVERIFY(w->versionNotes().StopScroll());
    QVERIFY(!w->versionNotes().isScrollTimerActive());
    const QPoint placed = w->pos();
    QPixmap cached(8, 8);
    cached.fill(Qt::red);
    const QPixmapCache::Key key = QPixmapCache::insert(cached);
    QCoreApplication::processEvents(); // a deferred delete would happen here
    // Hidden, it keeps its pages but neither the finished image of the notes nor what the
    // style cached while drawing them.
    QVERIFY(!w->versionNotes().hasNotesImage());
    QPixmap found;
    QVERIFY(!QPixmapCache::find(key, &found));
    // Nor its backing store, which the next showing makes again at the window's size.
    QVERIFY(w->backingStore());
    QVERIFY(w->backingStore()->size().width() * w->backingStore()->size().height() <= 1);
    QCOMPARE(showAddins(), w);
    QTRY_COMPARE(w->backingStore()->size(), w->size());
    QVERIFY(w->versionNotes().hasNotesImage());
    QCOMPARE(control<QLineEdit>(w, "Text4")->text(), QStringLiteral("typed"));
    QVERIFY(w->isVisible());
    QCOMPARE(w->pos(), placed);
    // What was let go is drawn again as it was.
    QCOMPARE(w->grab().toImage(), before);
    QCOMPARE(w->windowTitle(), QStringLiteral("附加功能"));
}

void TestAddinsWindow::confirmWritesAndReloadsTheCountdown_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("code page 936") << QStringList{"距离高考还有", "还剩", "6/7/2012", "9:00:00 AM"};
    // A Korean syllable and an emoji are outside code page 936.
    QTest::newRow("beyond 936") << QStringList{"考试 한국 🎓", "还剩", "2027-6-7", "9:00"};
}

void TestAddinsWindow::confirmWritesAndReloadsTheCountdown() {
    QFETCH(QStringList, texts);
    QVERIFY(textfile::writeLines(dataFile("countdown.ini"), {"旧", "旧", "6/7/2011", "9:00:00"}));
    Form* main = m_test->registry.show("frmMain");
    QVERIFY(main);
    QPointer<Form> oldMain = main;
    AddinsWindow* w = showAddins();
    QLineEdit* boxes[] = {control<QLineEdit>(w, "Text4"), control<QLineEdit>(w, "Text5"),
                          control<QLineEdit>(w, "Text6"), control<QLineEdit>(w, "Text7")};
    for (int i = 0; i < 4; ++i)
        boxes[i]->setText(texts[i]);
    QTest::mouseClick(control<QPushButton>(w, "Command3"), Qt::LeftButton);

    const textfile::TextLines written = textfile::readLines(dataFile("countdown.ini"));
    QCOMPARE(written.lines, texts);
    QVERIFY(readBytes(dataFile("countdown.ini")).endsWith("\r\n"));
    QVERIFY(!w->isVisible());
    QVERIFY(m_test->registry.isLoaded("frmAddins"));
    QVERIFY(MessageBox::shownBoxes().isEmpty());
    // The countdown was unloaded and loaded again, and reads the new lines.
    QTRY_VERIFY(oldMain.isNull());
    auto* reloaded = m_test->registry.form<CountdownWindow>();
    QVERIFY(reloaded);
    QVERIFY(reloaded->isVisible());
    QCOMPARE(reloaded->Text1, texts[0]);
    QCOMPARE(reloaded->Text2, texts[1]);
    reloaded->Timer1_Timer();
    QCOMPARE(reloaded->Label1->text(), texts[0]);
    QVERIFY(reloaded->Label2->text().startsWith(texts[1]));
}

void TestAddinsWindow::confirmWithoutFileWritesFourEmptyLines() {
    m_test->registry.show("frmMain");
    AddinsWindow* w = showAddins();
    QVERIFY(control<QLineEdit>(w, "Text4")->text().isEmpty());
    w->customCountdown().Command3_Click();
    QCOMPARE(readBytes(dataFile("countdown.ini")), QByteArray("\r\n\r\n\r\n\r\n"));
    auto* reloaded = m_test->registry.form<CountdownWindow>();
    QVERIFY(reloaded);
    QVERIFY(reloaded->isVisible());
    reloaded->Timer1_Timer();
    QVERIFY(MessageBox::shownBoxes().isEmpty());
}

void TestAddinsWindow::confirmKeepsTheDateOnItsLineWhateverTheBoxesHold() {
    // A line break set into a box (pasted or from a file edited elsewhere) must not push the
    // date and time to other lines: the countdown reads them by position.
    m_test->registry.show("frmMain");
    AddinsWindow* w = showAddins();
    control<QLineEdit>(w, "Text4")->setText(QStringLiteral("距离\n高考"));
    control<QLineEdit>(w, "Text5")->setText(QStringLiteral("还剩\r\n"));
    control<QLineEdit>(w, "Text6")->setText(QStringLiteral("6/7/2012"));
    control<QLineEdit>(w, "Text7")->setText(QStringLiteral("9:00:00 AM"));
    w->customCountdown().Command3_Click();
    const QByteArray bytes = readBytes(dataFile("countdown.ini"));
    QCOMPARE(bytes.count("\r\n"), 4);
    const textfile::TextLines written = textfile::readLines(dataFile("countdown.ini"));
    QCOMPARE(written.lines,
             QStringList({QStringLiteral("距离 高考"), QStringLiteral("还剩 "),
                          QStringLiteral("6/7/2012"), QStringLiteral("9:00:00 AM")}));
    QCOMPARE(w->calendar().targetDate(), QDate(2012, 6, 7));
}

void TestAddinsWindow::failedWriteKeepsOldFileAndTexts() {
    QVERIFY(textfile::writeLines(dataFile("countdown.ini"), {"a", "b", "6/7/2011", "9:00"}));
    const QByteArray before = readBytes(dataFile("countdown.ini"));
    Form* main = m_test->registry.show("frmMain");
    QPointer<Form> mainWatch = main;
    AddinsWindow* w = showAddins();
    const QString longText(400, QChar(u'长'));
    control<QLineEdit>(w, "Text4")->setText(longText);
    {
        // Files of this process may hold no more than the old file: the new one cannot.
        FileSizeLimit limit(static_cast<rlim_t>(before.size()));
        w->customCountdown().Command3_Click();
    }
    QCOMPARE(readBytes(dataFile("countdown.ini")), before);
    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    const MessageBox::Shown box = MessageBox::shownBoxes().first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(QStringLiteral("countdown.ini")), qPrintable(box.text));
    QVERIFY(w->isVisible());
    QCOMPARE(control<QLineEdit>(w, "Text4")->text(), longText);
    // The countdown was not reloaded.
    QCoreApplication::processEvents();
    QVERIFY(!mainWatch.isNull());
    QCOMPARE(m_test->registry.form("frmMain"), main);
}

void TestAddinsWindow::scrollStepsOnlyAfterMoreThan24ms() {
    AddinsWindow* w = showAddins();
    const int boxHeight = control<QWidget>(w, "Picmain")->height();
    QCOMPARE(boxHeight, 177);
    QVERIFY(w->versionNotes().isScrollTimerActive());
    tickAt(w, 1000); // the first step comes at once: drawn just below the box
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), boxHeight);
    tickAt(w, 1024); // 24 ms: not yet
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), boxHeight);
    tickAt(w, 1025);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), boxHeight - 1);
    tickAt(w, 1030);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), boxHeight - 1);
    tickAt(w, 1055);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), boxHeight - 2);
    QVERIFY(w->versionNotes().isScrollTimerActive());
    QCOMPARE(w->versionNotes().scroll().frameRect().width(),
             control<QWidget>(w, "Picmain")->width());
}

void TestAddinsWindow::scrollWrapsBelowTheBox() {
    AddinsWindow* w = showAddins();
    const int boxHeight = control<QWidget>(w, "Picmain")->height();
    const int textHeight = w->versionNotes().scroll().textHeight();
    // 18 lines of 12-point text.
    QVERIFY2(textHeight > 18 * 14 && textHeight < 18 * 30, qPrintable(QString::number(textHeight)));
    qint64 t = 1000;
    tickAt(w, t);
    int lowest = boxHeight;
    for (int i = 0; i < boxHeight + textHeight; ++i) {
        t += 25;
        tickAt(w, t);
        lowest = std::min(lowest, w->versionNotes().scroll().frameRect().top());
    }
    QCOMPARE(lowest, -textHeight);
    t += 25;
    tickAt(w, t);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), boxHeight);
}

void TestAddinsWindow::activationRestartsFromBelow() {
    AddinsWindow* w = showAddins();
    qint64 t = 1000;
    for (int i = 0; i < 50; ++i, t += 25)
        tickAt(w, t);
    QVERIFY(w->versionNotes().scroll().frameRect().top() <
            control<QWidget>(w, "Picmain")->height() - 40);
    w->Form_Activate();
    QCOMPARE(w->versionNotes().scroll().nextRect().top(), control<QWidget>(w, "Picmain")->height());
    tickAt(w, t);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(),
             control<QWidget>(w, "Picmain")->height());
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("停止"));
}

void TestAddinsWindow::stopFreezesAndRestartStartsFromBelow() {
    AddinsWindow* w = showAddins();
    control<QTabWidget>(w, "SSTab1")->setCurrentIndex(2);
    qint64 t = 1000;
    for (int i = 0; i < 30; ++i, t += 25)
        tickAt(w, t);
    const int frozen = w->versionNotes().scroll().frameRect().top();
    QTest::mouseClick(control<QPushButton>(w, "Command1"), Qt::LeftButton);
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("重新开始"));
    QVERIFY(w->versionNotes().StopScroll());
    QVERIFY(!w->versionNotes().isScrollTimerActive());
    for (int i = 0; i < 10; ++i, t += 25)
        tickAt(w, t);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(), frozen);
    // Becoming active again does not undo 停止: the caption still says what the scroll does.
    w->Form_Activate();
    QVERIFY(w->versionNotes().StopScroll());

    QTest::mouseClick(control<QPushButton>(w, "Command1"), Qt::LeftButton);
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("停止"));
    QVERIFY(!w->versionNotes().StopScroll());
    QVERIFY(w->versionNotes().isScrollTimerActive());
    tickAt(w, t);
    QCOMPARE(w->versionNotes().scroll().frameRect().top(),
             control<QWidget>(w, "Picmain")->height());
}

void TestAddinsWindow::noTimerWhileHiddenOrMinimised() {
    AddinsWindow* w = showAddins();
    QVERIFY(w->versionNotes().isScrollTimerActive());
    w->customCountdown().Command3_Click(); // hides the window without touching StopScroll
    QVERIFY(!w->isVisible());
    QVERIFY(!w->versionNotes().isScrollTimerActive());
    tickAt(w, 5000); // a stray tick while hidden does not wake it up again
    QVERIFY(!w->versionNotes().isScrollTimerActive());

    showAddins();
    QVERIFY(w->versionNotes().isScrollTimerActive());
    w->setWindowState(Qt::WindowMinimized);
    QVERIFY(!w->versionNotes().isScrollTimerActive());
    w->setWindowState(Qt::WindowNoState);
    QVERIFY(w->versionNotes().isScrollTimerActive());
}

void TestAddinsWindow::showingAgainRestartsAfterClose() {
    AddinsWindow* w = showAddins();
    QTest::mouseClick(control<QPushButton>(w, "Command1"), Qt::LeftButton);
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("重新开始"));
    w->close();
    QVERIFY(w->versionNotes().StopScroll());
    showAddins();
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("停止"));
    QVERIFY(!w->versionNotes().StopScroll());
    QVERIFY(w->versionNotes().isScrollTimerActive());
    QCOMPARE(w->versionNotes().scroll().nextRect().top(), control<QWidget>(w, "Picmain")->height());
}

void TestAddinsWindow::measureFailureShowsError() {
    AddinsWindow* w = loadAddins();
    w->setTextMeasurer([](const QFont&, const QString&) { return std::optional<int>(); });
    w->show();
    QCOMPARE(MessageBox::shownBoxes().size(), 1);
    QCOMPARE(MessageBox::shownBoxes().first().text, QStringLiteral("出错"));
    QCOMPARE(MessageBox::shownBoxes().first().icon, QMessageBox::Warning);
    QVERIFY(w->versionNotes().StopScroll());
    QVERIFY(!w->versionNotes().isScrollTimerActive());
    QCOMPARE(control<QPushButton>(w, "Command1")->text(), QStringLiteral("重新开始"));
}

void TestAddinsWindow::notesAreDrawnGreenOnBlack() {
    AddinsWindow* w = showAddins();
    control<QTabWidget>(w, "SSTab1")->setCurrentIndex(2);
    qint64 t = 1000;
    tickAt(w, t);
    // Just below the box: nothing of the text shows yet.
    QImage image = control<QWidget>(w, "Picmain")->grab().toImage();
    QCOMPARE(greenPixels(image), 0);
    QCOMPARE(image.pixelColor(5, 5), QColor(0, 0, 0));
    for (int i = 0; i < 150; ++i) {
        t += 25;
        tickAt(w, t);
    }
    image = control<QWidget>(w, "Picmain")->grab().toImage();
    QVERIFY(greenPixels(image) > 100);
    // The text has moved up into the box: its top rows are still black.
    QCOMPARE(image.pixelColor(5, 5), QColor(0, 0, 0));
}

void TestAddinsWindow::frameCaptionFollowsHeartbeat() {
    AddinsWindow* w = showAddins();
    QCOMPARE(control<QGroupBox>(w, "Frame1")->title(),
             QStringLiteral("当前的系统时间为：08:00:00"));
    m_test->clock.advanceSeconds(1);
    m_test->heartbeat().tick();
    QCOMPARE(control<QGroupBox>(w, "Frame1")->title(),
             QStringLiteral("当前的系统时间为：08:00:01"));
    w->hide();
    m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(21, 30, 5)));
    showAddins();
    QCOMPARE(control<QGroupBox>(w, "Frame1")->title(),
             QStringLiteral("当前的系统时间为：21:30:05"));
    // A new day moves the calendar's mark.
    m_test->clock.set(QDateTime(QDate(2011, 6, 6), QTime(0, 0, 0)));
    m_test->heartbeat().tick();
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->today(), QDate(2011, 6, 6));
}

void TestAddinsWindow::lunarLineForSelectedDay_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("expected");
    QTest::newRow("new year 2027") << QDate(2027, 2, 6) << QStringLiteral("农历正月初一");
    QTest::newRow("大雪") << QDate(2026, 12, 7) << QStringLiteral("农历十月廿九 大雪");
    QTest::newRow("冬至 2017") << QDate(2017, 12, 22) << QStringLiteral("冬至");
    QTest::newRow("夏至 2023") << QDate(2023, 6, 21) << QStringLiteral("夏至");
    QTest::newRow("leap month") << QDate(2023, 3, 22) << QStringLiteral("农历闰二月初一");
    QTest::newRow("out of range") << QDate(1800, 1, 1) << QString();
}

void TestAddinsWindow::lunarLineForSelectedDay() {
    QFETCH(QDate, day);
    QFETCH(QString, expected);
    AddinsWindow* w = showAddins();
    control<LunarCalendarWidget>(w, "MonthView1")->setSelectedDate(day);
    if (expected.isEmpty())
        QCOMPARE(control<QLabel>(w, "LabLunar")->text(), QString());
    else
        QVERIFY2(control<QLabel>(w, "LabLunar")->text().contains(expected),
                 qPrintable(control<QLabel>(w, "LabLunar")->text()));
    // No countdown.ini: no distance to a target.
    QVERIFY(!control<QLabel>(w, "LabLunar")->text().contains(QStringLiteral("考试")));
}

void TestAddinsWindow::tooltipPerDay() {
    AddinsWindow* w = showAddins();
    control<LunarCalendarWidget>(w, "MonthView1")->setCurrentPage(2027, 2);
    control<LunarCalendarWidget>(w, "MonthView1")->setSelectedDate(QDate(2027, 2, 20));
    QWidget* viewport = control<LunarCalendarWidget>(w, "MonthView1")->dayView()->viewport();
    viewport->repaint();
    const QRect cell = control<LunarCalendarWidget>(w, "MonthView1")->cellRect(QDate(2027, 2, 6));
    QVERIFY(!cell.isEmpty());
    QCOMPARE(control<LunarCalendarWidget>(w, "MonthView1")->dateAt(cell.center()),
             QDate(2027, 2, 6));
    QHelpEvent help(QEvent::ToolTip, cell.center(), viewport->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(viewport, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(QToolTip::text().contains(QStringLiteral("农历正月初一")),
             qPrintable(QToolTip::text()));
    // A neighbouring day has its own line.
    const QRect next = control<LunarCalendarWidget>(w, "MonthView1")->cellRect(QDate(2027, 2, 7));
    QHelpEvent help2(QEvent::ToolTip, next.center(), viewport->mapToGlobal(next.center()));
    QCoreApplication::sendEvent(viewport, &help2);
    QTRY_VERIFY(QToolTip::text().contains(QStringLiteral("农历正月初二")));
    QToolTip::hideText();
}

void TestAddinsWindow::daysToTargetFromCountdownFile() {
    QVERIFY(textfile::writeLines(dataFile("countdown.ini"), {"a", "b", "6/7/2011", "9:00:00 AM"}));
    AddinsWindow* w = showAddins();
    QCOMPARE(w->calendar().targetDate(), QDate(2011, 6, 7));
    QVERIFY2(control<QLabel>(w, "LabLunar")->text().endsWith(QStringLiteral("距考试还有 2 天")),
             qPrintable(control<QLabel>(w, "LabLunar")->text()));
    control<LunarCalendarWidget>(w, "MonthView1")->setSelectedDate(QDate(2011, 6, 10));
    QVERIFY(control<QLabel>(w, "LabLunar")->text().endsWith(QStringLiteral("考试已过 3 天")));
    // A new target from "确认" counts at once.
    m_test->registry.show("frmMain");
    showAddins();
    control<QLineEdit>(w, "Text6")->setText(QStringLiteral("不是日期"));
    w->customCountdown().Command3_Click();
    QVERIFY(!w->calendar().targetDate());
    QVERIFY(!control<QLabel>(w, "LabLunar")->text().contains(QStringLiteral("考试")));
}

void TestAddinsWindow::pagesHoldTheirControlsAtTheTabOrigin_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QRect>("design"); // twips in the tab control's coordinates, nothing if moved
    QTest::newRow("MonthView1") << "MonthView1" << 0 << QRect();
    QTest::newRow("LabLunar") << "LabLunar" << 0 << QRect();
    QTest::newRow("Frame1") << "Frame1" << 1 << QRect(368, 600, 5655, 1695);
    QTest::newRow("CmdStart") << "CmdStart" << 1 << QRect(2408, 2760, 1575, 495);
    QTest::newRow("LabInformation") << "LabInformation" << 1 << QRect(360, 2400, 5655, 375);
    QTest::newRow("Picmain") << "Picmain" << 2 << QRect(0, 360, 6375, 2655);
    QTest::newRow("Command1") << "Command1" << 2 << QRect(2588, 3120, 1215, 375);
    QTest::newRow("Text3") << "Text3" << 3 << QRect(1440, 2280, 855, 350);
    QTest::newRow("Command2") << "Command2" << 3 << QRect(2468, 2880, 1455, 495);
    QTest::newRow("LabReminderProblem") << "LabReminderProblem" << 3 << QRect();
    QTest::newRow("Text6") << "Text6" << 4 << QRect(1800, 1680, 1695, 375);
    QTest::newRow("Command3") << "Command3" << 4 << QRect(2400, 2880, 1455, 495);
}

// Each control lives on the page of its tab, and the page shares the window's coordinates
// whatever height the tab row takes, so the design's numbers (tab row included) still hold.
void TestAddinsWindow::pagesHoldTheirControlsAtTheTabOrigin() {
    QFETCH(QString, name);
    QFETCH(int, tab);
    QFETCH(QRect, design);
    AddinsWindow* w = showAddins();
    auto* tabs = control<QTabWidget>(w, "SSTab1");
    tabs->setCurrentIndex(tab);
    const QWidget* pages[] = {&w->calendar(), &w->powerAction(), &w->versionNotes(),
                              &w->reminderSettings(), &w->customCountdown()};
    const auto* widget = control<QWidget>(w, qPrintable(name));
    QVERIFY(pages[tab]->isAncestorOf(widget));
    QVERIFY(tabs->widget(tab)->isAncestorOf(pages[tab]));
    for (int other = 0; other < 5; ++other)
        QVERIFY(other == tab || !pages[other]->isAncestorOf(widget));
    QCOMPARE(pages[tab]->mapTo(w, QPoint(0, 0)), QPoint(0, 0));
    if (!design.isNull()) {
        const QRect pixels =
            twips::toPixels(design.x(), design.y(), design.width(), design.height());
        QCOMPARE(QRect(widget->mapTo(w, QPoint(0, 0)), widget->size()), pixels);
    }
}

void TestAddinsWindow::dragSurfaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("drags");
    QTest::newRow("calendar page") << "SSTab1_Canvas0" << 0 << true;
    QTest::newRow("calendar") << "MonthView1" << 0 << false;
    QTest::newRow("Frame1") << "Frame1" << 1 << true;
    QTest::newRow("LabInformation") << "LabInformation" << 1 << true;
    QTest::newRow("CmdStart") << "CmdStart" << 1 << false;
    QTest::newRow("TextHour") << "TextHour" << 1 << false;
    QTest::newRow("Picmain") << "Picmain" << 2 << true;
    QTest::newRow("Command1") << "Command1" << 2 << false;
    QTest::newRow("Label9") << "Label9" << 3 << true;
    QTest::newRow("Label13") << "Label13" << 3 << true;
    QTest::newRow("Text1") << "Text1" << 3 << false;
    QTest::newRow("Label19") << "Label19" << 4 << true;
    QTest::newRow("Text6") << "Text6" << 4 << false;
    QTest::newRow("Command3") << "Command3" << 4 << false;
}

void TestAddinsWindow::dragSurfaces() {
    QFETCH(QString, name);
    QFETCH(int, tab);
    QFETCH(bool, drags);
    AddinsWindow* w = showAddins();
    control<QTabWidget>(w, "SSTab1")->setCurrentIndex(tab);
    auto* target = w->findChild<QWidget*>(name);
    QVERIFY(target);
    QVERIFY(target->isVisible());
    // A point of the control that no other control covers.
    QPoint at = QPoint(2, 2);
    if (name == "SSTab1_Canvas0")
        at = QPoint(10, target->height() - 60);
    if (name == "MonthView1")
        at = control<LunarCalendarWidget>(w, "MonthView1")->rect().center();
    QTest::mousePress(target, Qt::LeftButton, {}, at);
    QTest::mouseRelease(target, Qt::LeftButton, {}, at);
    QCOMPARE(m_drags > 0, drags);
}

void TestAddinsWindow::everyTextFitsItsControl() {
    AddinsWindow* w = showAddins();
    control<QGroupBox>(w, "Frame1")
        ->setTitle(QStringLiteral("当前的系统时间为：") + QStringLiteral("下午12:59:59"));
    control<QLabel>(w, "LabLunar")
        ->setText(QStringLiteral("农历闰十二月廿九 小寒 距考试还有 99999 天"));
    QStringList problems;
    for (const QLabel* label : w->findChildren<QLabel*>()) {
        const QString text = label->text();
        if (text.isEmpty())
            continue;
        const QRect area = label->contentsRect();
        const int flags = (label->wordWrap() ? Qt::TextWordWrap : 0) | int(label->alignment());
        const QRect need = QFontMetrics(label->font())
                               .boundingRect(QRect(0, 0, area.width(), 100000), flags, text);
        if (need.width() > area.width() || need.height() > area.height())
            problems << QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
                            .arg(label->objectName(), text)
                            .arg(need.width())
                            .arg(need.height())
                            .arg(area.width())
                            .arg(area.height());
    }
    for (const QAbstractButton* button : w->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty() || qobject_cast<const QTabBar*>(button->parentWidget()))
            continue;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool radio = qobject_cast<const QRadioButton*>(button);
        const QRect area = button->style()->subElementRect(radio ? QStyle::SE_RadioButtonContents
                                                                 : QStyle::SE_PushButtonContents,
                                                           &option, button);
        const QSize need = QFontMetrics(button->font()).size(Qt::TextShowMnemonic, button->text());
        if (need.width() > area.width() || need.height() > area.height())
            problems << QStringLiteral("%1 \"%2\"").arg(button->objectName(), button->text());
    }
    for (int i = 0; i < control<QTabWidget>(w, "SSTab1")->count(); ++i) {
        const QTabBar* bar = control<QTabWidget>(w, "SSTab1")->tabBar();
        const QSize need = QFontMetrics(bar->font()).size(0, bar->tabText(i));
        if (need.width() > bar->tabRect(i).width() || need.height() > bar->tabRect(i).height())
            problems << QStringLiteral("tab \"%1\"").arg(bar->tabText(i));
    }
    // The frame's caption with the clock runs across the top of the frame.
    const int titleNeed = QFontMetrics(control<QGroupBox>(w, "Frame1")->font())
                              .horizontalAdvance(control<QGroupBox>(w, "Frame1")->title());
    if (titleNeed > control<QGroupBox>(w, "Frame1")->width() - 20)
        problems << QStringLiteral("Frame1 \"%1\"").arg(control<QGroupBox>(w, "Frame1")->title());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

QTEST_MAIN(TestAddinsWindow)
#include "tst_addins_window.moc"
