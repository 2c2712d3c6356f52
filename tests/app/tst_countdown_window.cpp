#include "app/countdown_window.h"
#include "forms/design_font.h"
#include "settings/text_file.h"
#include "test_context.h"
#include "winutil/window_utils.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <sys/stat.h>

namespace {

class RecordingSkin : public SkinLibrary {
public:
    explicit RecordingSkin(QStringList& log) : SkinLibrary(QString()), m_log(log) {}
    void SkinH_Attach() override { m_log << "attach"; }
    void SkinH_SetAero(int on) override { m_log << QStringLiteral("aero%1").arg(on); }

private:
    QStringList& m_log;
};

class CountingTray : public Form {
    Q_OBJECT
public:
    CountingTray(AppContext& context, int& loads) : Form(context, "frmTray"), m_loads(loads) {}
    void Form_Load() override { ++m_loads; }

private:
    int& m_loads;
};

// Counts the events of one type that reach an object.
class EventCounter : public QObject {
public:
    EventCounter(QObject* watched, QEvent::Type type) : m_type(type) {
        watched->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == m_type;
        return false;
    }

private:
    QEvent::Type m_type;
};

void writeFile(const QString& path, const QStringList& lines) {
    QString error;
    QVERIFY2(textfile::writeLines(path, lines, &error), qPrintable(error));
}

// Empty when the label's text, in its font and wrapping, lies inside the label; else what
// was drawn where, for the failure message.
QString drawnOutside(const QLabel* label) {
    const QRect area = label->contentsRect();
    const QRect drawn = QFontMetrics(label->font())
                            .boundingRect(QRect(QPoint(), area.size()),
                                          label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
    if (drawn.width() <= area.width() && drawn.height() <= area.height())
        return {};
    return QStringLiteral("%1x%2 in %3x%4")
        .arg(drawn.width())
        .arg(drawn.height())
        .arg(area.width())
        .arg(area.height());
}

} // namespace

class TestCountdownWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void init() {
        m_skinLog.clear();
        m_test = std::make_unique<TestContext>(std::make_unique<RecordingSkin>(m_skinLog));
        m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(10, 0)));
        m_trayLoads = 0;
        m_test->registry.registerForm("frmMain",
                                      [this] { return new CountdownWindow(m_test->context); });
        m_test->registry.registerForm(
            "frmTray", [this] { return new CountingTray(m_test->context, m_trayLoads); });
    }
    void cleanup() { m_test.reset(); }

    void emptyStoreGivesTheDefaults() {
        writeFile(tipsPath(), {"一条提示"});
        CountdownWindow* w = showMain();
        for (QLabel* label : {w->Label1, w->Label2, w->Label3}) {
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 160));
            QCOMPARE(label->font().pointSizeF(), 15.0);
            QCOMPARE(label->font().family(), QStringLiteral("楷体"));
            QVERIFY(!label->font().bold());
            QVERIFY(!label->font().italic());
            QVERIFY(!label->font().underline());
            QVERIFY(!label->font().strikeOut());
            QVERIFY(label->alignment() & Qt::AlignHCenter);
        }
        // 6045 x 3240 twips at left 7770, top 5325: 15 twips a pixel at 96 dpi.
        QCOMPARE(w->geometry(), QRect(518, 355, 403, 216));
        // The lines span the window's width, at their designed tops and heights.
        QCOMPARE(w->Label1->geometry(), QRect(0, 0, 403, 49));
        QCOMPARE(w->Label3->geometry(), QRect(0, 112, 403, 81));
        QCOMPARE(m_skinLog, (QStringList{"attach", "aero1", "aero0"}));
        QCOMPARE(m_trayLoads, 1);
    }

    void labelsAreEmptyUntilTheFirstTick() {
        writeFile(countdownPath(), {"  第一行  ", "距离高考还有", "6/7/2011", "9:00:00 AM"});
        CountdownWindow* w = showMain();
        QCOMPARE(w->Label1->text(), QString());
        QCOMPARE(w->Label2->text(), QString());
        w->Timer1_Timer();
        QCOMPARE(w->Label1->text(), QStringLiteral("  第一行  "));
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 23小时0分钟0秒"));
        // Each tick recomputes from the clock: a jump shows the right value at once.
        m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(8, 0)));
        w->Timer1_Timer();
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有2天 1小时0分钟0秒"));
    }

    void missingCountdownFileSaysWhereToSetIt() {
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        QVERIFY(!w->Label1->text().isEmpty());
        QVERIFY2(w->Label2->text().contains(QStringLiteral("附加功能 → 自定义倒计时")),
                 qPrintable(w->Label2->text()));
    }

    void storedStyleValues_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("size");
        QTest::addColumn<bool>("bold");
        QTest::newRow("size 10.5") << "FontSize"
                                   << "10.5" << 10.5 << false;
        QTest::newRow("size garbage") << "FontSize"
                                      << "big" << 15.0 << false;
        QTest::newRow("size negative") << "FontSize"
                                       << "-3" << 15.0 << false;
        QTest::newRow("bold as 1") << "FontBold"
                                   << "1" << 15.0 << true;
        QTest::newRow("bold True") << "FontBold"
                                   << "True" << 15.0 << true;
        QTest::newRow("bold false") << "FontBold"
                                    << "false" << 15.0 << false;
        QTest::newRow("bold garbage") << "FontBold"
                                      << "yes please" << 15.0 << false;
    }
    void storedStyleValues() {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(double, size);
        QFETCH(bool, bold);
        m_test->settings().writeText("frmMain", key, stored);
        writeFile(tipsPath(), {"一条提示"});
        CountdownWindow* w = showMain();
        for (QLabel* label : {w->Label1, w->Label2, w->Label3}) {
            QCOMPARE(label->font().pointSizeF(), size);
            QCOMPARE(label->font().bold(), bold);
        }
    }

    void storedGeometryIsUsed() {
        m_test->settings().writeText("frmWindows", "Width", "7500");
        m_test->settings().writeText("frmWindows", "Height", "4500");
        m_test->settings().writeText("frmWindows", "Top", "1500");
        m_test->settings().writeText("frmWindows", "Left", "3000");
        QCOMPARE(showMain()->geometry(), QRect(200, 100, 500, 300));
    }

    void recentreMarkerCentresOnceAndRestoresTheReminderFile() {
        m_test->settings().writeText("frmWindows", "Width", "7500");
        m_test->settings().writeText("frmWindows", "Left", "3000");
        writeFile(dataFile("setting.ini"), {"提醒", "该学习了", "30"});
        CountdownWindow* w = showMain();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(w->size(), QSize(403, 200));
        QVERIFY(qAbs(w->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w->geometry().center().y() - screen.center().y()) <= 1);
        QVERIFY(!QFile::exists(dataFile("setting.ini")));
        const textfile::TextLines reminder = textfile::readLines(dataFile("settings.ini"));
        QCOMPARE(reminder.lines, (QStringList{"提醒", "该学习了", "30"}));
        QCOMPARE(m_test->settings().readText("frmWindows", "Width", ""), QStringLiteral("7500"));
        QCOMPARE(m_test->settings().readText("frmWindows", "Left", ""), QStringLiteral("3000"));

        // The next load reads the stored rectangle again.
        reload();
        QCOMPARE(main()->geometry().width(), 500);
        QCOMPARE(main()->geometry().left(), 200);
    }

    // A rectangle no screen shows, or no rectangle at all, would hide the countdown for good:
    // it is centred for this run and the stored values stay.
    void unusableStoredRectangleIsCentredForThisRun_data() {
        QTest::addColumn<QStringList>("stored"); // Width, Height, Top, Left
        QTest::addColumn<bool>("centred");
        // "W" and "H" stand for the screen's width and height in twips, plus what follows.
        QTest::newRow("right of the screen") << QStringList{"6045", "3240", "1500", "W"} << true;
        QTest::newRow("left of the screen") << QStringList{"6045", "3240", "1500", "-6045"} << true;
        QTest::newRow("below the screen") << QStringList{"6045", "3240", "H", "1500"} << true;
        QTest::newRow("above the screen") << QStringList{"6045", "3240", "-3240", "1500"} << true;
        QTest::newRow("far away") << QStringList{"6045", "3240", "1e9", "1e9"} << true;
        QTest::newRow("zero width") << QStringList{"0", "3240", "1500", "1500"} << true;
        QTest::newRow("negative height") << QStringList{"6045", "-15", "1500", "1500"} << true;
        QTest::newRow("under a pixel") << QStringList{"5", "3240", "1500", "1500"} << true;
        QTest::newRow("absurdly large") << QStringList{"1e12", "3240", "0", "0"} << true;
        QTest::newRow("partly left of the screen")
            << QStringList{"6045", "3240", "1500", "-3000"} << false;
        QTest::newRow("partly below the screen")
            << QStringList{"6045", "3240", "H-1000", "1500"} << false;
        QTest::newRow("whole screen") << QStringList{"W", "H", "0", "0"} << false;
    }
    void unusableStoredRectangleIsCentredForThisRun() {
        QFETCH(QStringList, stored);
        QFETCH(bool, centred);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(QGuiApplication::screens().size(), 1);
        QCOMPARE(screen.topLeft(), QPoint(0, 0));
        for (QString& value : stored) {
            if (value.startsWith(u'W'))
                value = QString::number(screen.width() * 15 + value.mid(1).toInt());
            else if (value.startsWith(u'H'))
                value = QString::number(screen.height() * 15 + value.mid(1).toInt());
        }
        const char* keys[] = {"Width", "Height", "Top", "Left"};
        for (int i = 0; i < 4; ++i)
            m_test->settings().writeText("frmWindows", keys[i], stored.at(i));
        CountdownWindow* w = showMain();
        if (centred) {
            QCOMPARE(w->size(), QSize(403, 200));
            QVERIFY(qAbs(w->geometry().center().x() - screen.center().x()) <= 1);
            QVERIFY(qAbs(w->geometry().center().y() - screen.center().y()) <= 1);
        } else {
            QCOMPARE(w->geometry(), QRect(stored.at(3).toInt() / 15, stored.at(2).toInt() / 15,
                                          stored.at(0).toInt() / 15, stored.at(1).toInt() / 15));
        }
        QVERIFY(w->geometry().intersects(screen));
        // Stored as it was, so the old place comes back with its monitor.
        reload();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_test->settings().readText("frmWindows", keys[i], ""), stored.at(i));
    }

    void textInTheKeyColourStaysVisible_data() {
        QTest::addColumn<quint32>("stored");
        QTest::addColumn<QColor>("drawn");
        QTest::newRow("the key") << quint32(0xFF0000) << QColor(0, 0, 254);
        QTest::newRow("one step off") << quint32(0xFE0000) << QColor(0, 0, 254);
        QTest::newRow("dark blue") << quint32(0xA00000) << QColor(0, 0, 160);
    }
    void textInTheKeyColourStaysVisible() {
        QFETCH(quint32, stored);
        QFETCH(QColor, drawn);
        writeFile(tipsPath(), {"甲乙丙丁"});
        m_test->settings().writeInteger("frmMain", "ForeColor", stored);
        CountdownWindow* w = showMain();
        for (QLabel* label : {w->Label1, w->Label2, w->Label3})
            QCOMPARE(label->palette().color(QPalette::WindowText), drawn);
        // The tip's pixels are there on the key background.
        const QImage image = w->Label3->grab().toImage();
        bool textSeen = false;
        for (int y = 0; y < image.height() && !textSeen; ++y)
            for (int x = 0; x < image.width() && !textSeen; ++x)
                textSeen = image.pixelColor(x, y) != QColor(0, 0, 255);
        QVERIFY(textSeen);
        // Chosen live, too; and the stored value stays what the user chose.
        m_test->style.setForeColor(0);
        m_test->style.setForeColor(stored);
        QCOMPARE(w->Label1->palette().color(QPalette::WindowText), drawn);
        reload();
        QCOMPARE(m_test->settings().readText("frmMain", "ForeColor", ""), QString::number(stored));
    }

    void styleChangedByAnotherWindowReachesAllThreeLabels() {
        writeFile(tipsPath(), {"甲"});
        CountdownWindow* w = showMain();
        m_test->style.setForeColor(0x0000FF); // red
        for (QLabel* label : {w->Label1, w->Label2, w->Label3})
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        m_test->style.setText({.fontName = QStringLiteral("黑体"),
                               .fontSize = 20,
                               .bold = true,
                               .italic = true,
                               .strikethru = true,
                               .foreColor = m_test->style.text().foreColor});
        for (QLabel* label : {w->Label1, w->Label2, w->Label3}) {
            QCOMPARE(label->font().family(), QStringLiteral("黑体"));
            QCOMPARE(label->font().pointSizeF(), 20.0);
            QVERIFY(label->font().bold() && label->font().italic() && label->font().strikeOut());
            QVERIFY(!label->font().underline());
            // The colour set before survives a change of font.
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        }
    }

    void styleStoredAtUnloadComesBackOnAllThreeLabels() {
        writeFile(tipsPath(), {"甲"});
        showMain();
        m_test->style.setText({.fontName = QStringLiteral("黑体"),
                               .fontSize = 20,
                               .bold = true,
                               .foreColor = m_test->style.text().foreColor});
        m_test->style.setForeColor(0x0000FF);

        reload();
        QCOMPARE(m_test->settings().readText("frmMain", "ForeColor", ""), QStringLiteral("255"));
        QCOMPARE(m_test->settings().readText("frmMain", "FontBold", ""), QStringLiteral("True"));
        QCOMPARE(m_test->settings().readText("frmMain", "FontSize", ""), QStringLiteral("20"));
        CountdownWindow* w = main();
        for (QLabel* label : {w->Label1, w->Label2, w->Label3}) {
            QVERIFY(label->font().bold());
            QCOMPARE(label->font().pointSizeF(), 20.0);
            QCOMPARE(label->font().family(), QStringLiteral("黑体"));
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        }
    }

    void heartbeatDrivesTheCountdown() {
        writeFile(countdownPath(), {"第一行", "距离高考还有", "6/7/2011", "9:00:00 AM"});
        CountdownWindow* w = showMain();
        m_test->heartbeat().tick();
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 23小时0分钟0秒"));
        m_test->clock.advanceSeconds(1);
        QCOMPARE(m_test->heartbeat().tick().local(), m_test->clock.now());
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟59秒"));
        // The count is of the time the tick read, not of a second reading of the clock; read
        // as the system clock reads it, an instant without its local time, it is the same.
        emit m_test->heartbeat().second(Moment(m_test->clock.now().addSecs(1)));
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟58秒"));
        emit m_test->heartbeat().second(
            Moment::fromMSecsSinceEpoch(m_test->clock.now().addSecs(2).toMSecsSinceEpoch()));
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟57秒"));
        emit m_test->heartbeat().second(Moment(m_test->clock.now()));
        // An unloaded window no longer listens, from the moment it is unloaded: it is deleted
        // only at the next turn of the event loop, and until then neither a tick nor a change
        // of style may redraw it.
        const QPointer<CountdownWindow> unloaded(w);
        const QFont font = w->Label2->font();
        QVERIFY(m_test->registry.unload("frmMain"));
        QVERIFY2(unloaded, "deleted at once: this check would prove nothing");
        m_test->clock.advanceSeconds(1);
        m_test->heartbeat().tick();
        m_test->style.setText({.fontName = QStringLiteral("黑体"),
                               .fontSize = 30,
                               .bold = true,
                               .foreColor = m_test->style.text().foreColor});
        QVERIFY(unloaded);
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟59秒"));
        QCOMPARE(w->Label2->font(), font);
    }

    // What matters is always whole on the desktop, whatever the size and the length.
    void linesFitTheirLabels_data() {
        QTest::addColumn<double>("size");
        QTest::addColumn<QStringList>("countdown");
        QTest::addColumn<QString>("line2MustHold"); // a part that must be readable
        // At 50 pt the count alone fills the label: the prefix gives way to it.
        QTest::newRow("countdown at 50 pt")
            << 50.0 << QStringList{"第一行", "距离高考还有", "6/7/2011", "9:00:00 AM"}
            << QStringLiteral("…1天 23小时0分钟0秒");
        QTest::newRow("countdown at 20 pt")
            << 20.0 << QStringList{"第一行", "距离高考还有", "6/7/2011", "9:00:00 AM"}
            << QStringLiteral("距离高考还有1天 23小时0分钟0秒");
        QTest::newRow("countdown at 15 pt")
            << 15.0 << QStringList{"第一行", "还有", "6/7/2011", "9:00:00 AM"}
            << QStringLiteral("还有1天 23小时0分钟0秒");
        QTest::newRow("unreadable date at 15 pt")
            << 15.0 << QStringList{"第一行", "距离高考还有", "2/30/2027", "9:00:00 AM"}
            << QStringLiteral("附加功能 → 自定义倒计时");
        QTest::newRow("unreadable date at 50 pt")
            << 50.0 << QStringList{"第一行", "距离高考还有", "2/30/2027", "9:00:00 AM"}
            << QStringLiteral("2/30/2027");
        QTest::newRow("long first line")
            << 15.0 << QStringList{QString(10000, u'长'), "还有", "6/7/2011", "9:00:00 AM"}
            << QStringLiteral("还有1天 23小时0分钟0秒");
    }
    void linesFitTheirLabels() {
        QFETCH(double, size);
        QFETCH(QStringList, countdown);
        QFETCH(QString, line2MustHold);
        writeFile(countdownPath(), countdown);
        writeFile(tipsPath(), {QString(3000, u'提') + QStringLiteral("尾")});
        m_test->settings().writeNumber("frmMain", "FontSize", size);
        CountdownWindow* w = showMain();
        w->Timer1_Timer();

        // The whole message or count is there, and it is drawn inside the label.
        QVERIFY2(w->Label2->text().contains(line2MustHold), qPrintable(w->Label2->text()));
        QVERIFY2(drawnOutside(w->Label2).isEmpty(), qPrintable(drawnOutside(w->Label2)));
        // The first line and the tip keep their beginning and say that they go on.
        const QString line1 = w->Label1->text();
        QVERIFY(line1.startsWith(countdown.first().left(1)));
        QVERIFY(QFontMetrics(w->Label1->font()).horizontalAdvance(line1) <=
                w->Label1->contentsRect().width());
        if (countdown.first().size() > 100)
            QVERIFY(line1.endsWith(QStringLiteral("…")));
        QVERIFY(w->Label3->text().startsWith(QStringLiteral("提")));
        QVERIFY(w->Label3->text().endsWith(QStringLiteral("…")));
        QVERIFY(w->Label3->text().size() < 3000);
    }

    // A tip that fits is drawn whole from the first frame: at load, after a reload and after
    // a change of face from the display settings, not only once the tip timer has fired.
    void tipThatFitsIsWholeFromTheFirstFrame_data() {
        QTest::addColumn<QString>("when");
        QTest::newRow("load") << "load";
        QTest::newRow("reload") << "reload";
        QTest::newRow("style change") << "style";
        QTest::newRow("resize") << "resize";
    }
    void tipThatFitsIsWholeFromTheFirstFrame() {
        QFETCH(QString, when);
        const QString tip = QStringLiteral("每天进步一点点，坚持到底就是胜利！！");
        QCOMPARE(tip.size(), 18);
        writeFile(tipsPath(), {tip});
        CountdownWindow* w = showMain();
        if (when == "reload") {
            reload();
            w = main();
        } else if (when == "style") {
            m_test->style.setText({.fontName = QStringLiteral("楷体"),
                                   .fontSize = 12,
                                   .bold = true,
                                   .foreColor = m_test->style.text().foreColor});
        } else if (when == "resize") {
            w->resize(w->width() / 2, w->height());
            QCOMPARE(w->Label3->width(), w->width());
        }
        const QString first = w->Label3->text();
        QCOMPARE(first, tip);
        QVERIFY(QFontMetrics(w->Label3->font()).horizontalAdvance(first) <=
                    w->Label3->contentsRect().width() ||
                when == "resize");
        w->Timer2_Timer();
        QCOMPARE(w->Label3->text(), first);
        QCOMPARE(w->Label3->font(), w->Label1->font());
    }

    // The message about a missing tips file is whole: every one of its lines inside the label,
    // in the face it is drawn in (the font attributes applied after it must not undo its fit).
    void missingTipsMessageIsWholeInItsLabel_data() {
        QTest::addColumn<double>("size");
        QTest::newRow("15 pt") << 15.0;
        QTest::newRow("30 pt") << 30.0;
    }
    void missingTipsMessageIsWholeInItsLabel() {
        QFETCH(double, size);
        m_test->settings().writeNumber("frmMain", "FontSize", size);
        CountdownWindow* w = showMain();
        const QString text = w->Label3->text();
        QVERIFY(text.endsWith(QStringLiteral("然后将它存放在应用程序所在的目录。")));
        QVERIFY(w->Label3->wordWrap());
        QVERIFY2(drawnOutside(w->Label3).isEmpty(), qPrintable(drawnOutside(w->Label3)));
    }

    // The tip, or the message about the tips file, is fitted once at load, when its label has
    // its rectangle and face: a fit before that would only load a face never shown.
    void tipIsFittedOnceAtLoad_data() {
        QTest::addColumn<bool>("tipsFile");
        QTest::newRow("a tip") << true;
        QTest::newRow("the message about a missing file") << false;
    }
    void tipIsFittedOnceAtLoad() {
        QFETCH(bool, tipsFile);
        if (tipsFile)
            writeFile(tipsPath(), {"一条提示"});
        CountdownWindow* w = showMain();
        QCOMPARE(w->tipFits(), 1);
        QVERIFY(!w->Label3->text().isEmpty());
        QCOMPARE(w->Label3->font().family(), w->Label1->font().family());
    }

    // However long the prefix, the days and the time stay readable: the prefix gives way
    // first, shortened with "…", and the count keeps at least three quarters of the style's
    // size.
    void countStaysReadableWithALongPrefix_data() {
        QTest::addColumn<int>("prefixLength");
        QTest::addColumn<bool>("prefixWhole");
        QTest::newRow("6") << 6 << true;
        QTest::newRow("30") << 30 << false;
        QTest::newRow("120") << 120 << false;
        QTest::newRow("70000") << 70000 << false;
    }
    void countStaysReadableWithALongPrefix() {
        QFETCH(int, prefixLength);
        QFETCH(bool, prefixWhole);
        const QString prefix = QString(prefixLength - 1, u'前') + QStringLiteral("：");
        writeFile(countdownPath(), {"第一行", prefix, "6/7/2011", "9:00:00 AM"});
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        const QString shown = w->Label2->text();
        const QString count = QStringLiteral("1天 23小时0分钟0秒");
        QVERIFY2(shown.endsWith(count), qPrintable(shown));
        QVERIFY(w->Label2->font().pointSizeF() >= 15 * 0.75 - 1e-9);
        QCOMPARE(shown.startsWith(prefix), prefixWhole);
        if (!prefixWhole) {
            QVERIFY2(shown.startsWith(QStringLiteral("前")), qPrintable(shown));
            QVERIFY(shown.contains(QStringLiteral("…") + count));
        }
        QVERIFY(QFontMetrics(w->Label2->font()).horizontalAdvance(shown) <=
                w->Label2->contentsRect().width());
        // The next second keeps the fit: only the count's text changes.
        const QFont font = w->Label2->font();
        m_test->clock.advanceSeconds(1);
        w->Timer1_Timer();
        QCOMPARE(w->Label2->font(), font);
        QVERIFY(w->Label2->text().endsWith(QStringLiteral("1天 22小时59分钟59秒")));
    }

    // After the target moment the count stands at zero, also for a target long past at start.
    void countStopsAtZero_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::newRow("a second after") << QDateTime(QDate(2011, 6, 7), QTime(9, 0, 1));
        QTest::newRow("a year after") << QDateTime(QDate(2012, 6, 8), QTime(9, 0));
    }
    void countStopsAtZero() {
        QFETCH(QDateTime, now);
        writeFile(countdownPath(), {"第一行", "还有：", "6/7/2011", "9:00:00 AM"});
        m_test->clock.set(now);
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        QCOMPARE(w->Label1->text(), QStringLiteral("第一行"));
        QCOMPARE(w->Label2->text(), QStringLiteral("还有：0天 0小时0分钟0秒"));
    }

    // Why "countdown.ini" cannot be read is shown whole, wrapped in the first line like the
    // messages about the tips file: the path and the reason after it.
    void unreadableCountdownFileIsExplainedWhole_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << "folder";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("link to a device") << "device";
    }
    void unreadableCountdownFileIsExplainedWhole() {
        QFETCH(QString, kind);
        const QString path = countdownPath();
        QFile::remove(path);
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "dangling")
            QVERIFY(QFile::link(path + ".gone", path));
        else
            QVERIFY(QFile::link("/dev/zero", path));
        writeFile(tipsPath(), {"一条提示"});
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        const QString shown = w->Label1->text();
        QVERIFY2(shown.contains(QDir::toNativeSeparators(path)) || shown.contains(path),
                 qPrintable(shown));
        QVERIFY2(!shown.endsWith(QStringLiteral("…")), qPrintable(shown));
        QVERIFY(w->Label1->wordWrap());
        QVERIFY2(drawnOutside(w->Label1).isEmpty(), qPrintable(drawnOutside(w->Label1)));
        // The other lines keep the style's face.
        QCOMPARE(w->Label3->font().pointSizeF(), 15.0);
    }

    void reloadDoesNotLoadTheTrayAgain() {
        showMain();
        reload();
        reload();
        QCOMPARE(m_trayLoads, 1);
        QCOMPARE(m_skinLog.count("attach"), 3);
    }

    // A tip or a first line that looks like markup is shown as written: a tag neither changes
    // the text's look nor makes the label load what it names.
    void markupInTheFilesIsShownAsWritten_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("bold") << QStringLiteral("<b>坚持</b>到底");
        QTest::newRow("an image") << QStringLiteral("<img src=\"/dev/zero\">看这里");
        QTest::newRow("a table") << QStringLiteral("<table><tr><td>甲</td></tr></table>");
    }
    void markupInTheFilesIsShownAsWritten() {
        QFETCH(QString, text);
        writeFile(tipsPath(), {text});
        writeFile(countdownPath(), {text, "距离高考还有", "6/7/2011", "9:00:00 AM"});
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        for (QLabel* label : {w->Label1, w->Label3}) {
            QCOMPARE(label->text(), text);
            // Drawn as written, the ink spans every character, the tags' too.
            QImage image(label->size(), QImage::Format_RGB32);
            image.fill(Qt::white);
            label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            const QColor background = image.pixelColor(0, 0);
            int left = image.width(), right = -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixelColor(x, y) != background) {
                        left = qMin(left, x);
                        right = qMax(right, x);
                    }
            const QFontMetrics metrics(label->font());
            QVERIFY2(right - left + 1 >= metrics.horizontalAdvance(text) - metrics.height(),
                     qPrintable(QStringLiteral("ink %1 px wide").arg(right - left + 1)));
        }
    }

    void missingTipsFileShowsHowToCreateIt() {
        CountdownWindow* w = showMain();
        QCOMPARE(w->Label3->text(),
                 QStringLiteral("文件ral.txt没有找到。\r\n\r\n创建文本文件名为 ral.txt "
                                "使用记事本每行写一条提示。然后将它存放在应用程序所在的目录。"));
        w->Timer2_Timer();
        QVERIFY(w->Label3->text().startsWith(QStringLiteral("文件ral.txt没有找到。")));
    }

    void tipsRotateEveryTick() {
        writeFile(tipsPath(), {"甲", "乙"});
        CountdownWindow* w = showMain();
        QSet<QString> seen{w->Label3->text()};
        for (int i = 0; i < 64; ++i) {
            w->Timer2_Timer();
            QCOMPARE(w->TipTickCount, qint16(0));
            seen.insert(w->Label3->text());
        }
        QCOMPARE(seen, (QSet<QString>{"甲", "乙"}));
    }

    void emptyTipsFileShowsNoMessage() {
        writeFile(tipsPath(), {});
        CountdownWindow* w = showMain();
        QCOMPARE(w->Label3->text(), QString());
        w->Timer2_Timer();
        QCOMPARE(w->Label3->text(), QString());
    }

    // A message's explicit line breaks, of every kind, each begin a line of its own.
    void lineBreaksOfEveryKindCount_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::newRow("none") << QStringLiteral("没有找到提示文件") << 1;
        QTest::newRow("\\n") << QStringLiteral("第一行\n第二行") << 2;
        QTest::newRow("\\r\\n is one break") << QStringLiteral("第一行\r\n第二行") << 2;
        QTest::newRow("\\r alone") << QStringLiteral("第一行\r第二行\r第三行") << 3;
        QTest::newRow("\\n\\r is two") << QStringLiteral("第一行\n\r第三行") << 3;
        QTest::newRow("a break at the end") << QStringLiteral("第一行\n") << 2;
        QTest::newRow("only breaks") << QStringLiteral("\r\n\r\n") << 3;
    }
    void lineBreaksOfEveryKindCount() {
        QFETCH(QString, text);
        QFETCH(int, lines);
        QFont font(QStringLiteral("宋体"));
        font.setPointSize(12);
        const qreal spacing = QFontMetricsF(font).lineSpacing();
        for (const bool wrap : {false, true}) {
            QVERIFY(fitting::fits(text, font, QSize(1000, int(std::ceil(lines * spacing))), wrap));
            QVERIFY(
                !fitting::fits(text, font, QSize(1000, int(std::ceil(lines * spacing)) - 2), wrap));
        }
    }

    void changedAreaHoldsEveryChangedPixel_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("partial"); // whether less than the whole label is redrawn
        const QString prefix = QStringLiteral("还有：181天 5小时45分钟");
        QTest::newRow("last digit") << prefix + "17秒" << prefix + "18秒" << false << true;
        QTest::newRow("last digit, italic") << prefix + "17秒" << prefix + "18秒" << true << true;
        QTest::newRow("two digits") << prefix + "19秒" << prefix + "20秒" << false << true;
        QTest::newRow("a digit within the line")
            << QStringLiteral("还有：181天 5小时45分钟17秒")
            << QStringLiteral("还有：181天 5小时46分钟17秒") << false << true;
        QTest::newRow("width changes") << prefix + "10秒" << prefix + "9秒" << false << false;
        QTest::newRow("first character")
            << QStringLiteral("甲有：1天") << QStringLiteral("乙有：1天") << false << true;
        QTest::newRow("from empty") << QString() << prefix + "1秒" << false << false;
    }
    void changedAreaHoldsEveryChangedPixel() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(bool, italic);
        QFETCH(bool, partial);
        QWidget host;
        host.resize(403, 216);
        QLabel label(&host);
        label.setGeometry(0, 56, 401, 49);
        label.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QFont font(QStringLiteral("楷体"));
        font.setPointSizeF(15);
        font.setBold(true);
        font.setItalic(italic);
        font.setHintingPreference(QFont::PreferFullHinting);
        label.setFont(font);
        const auto draw = [&](const QString& text) {
            label.setText(text);
            QImage image(host.size(), QImage::Format_RGB32);
            image.fill(Qt::blue);
            host.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            return image;
        };
        const QImage first = draw(before);
        const QImage second = draw(after);
        const QRect area = CountdownWindow::changedTextArea(&label, before, after);
        int changedPixels = 0;
        for (int y = 0; y < first.height(); ++y)
            for (int x = 0; x < first.width(); ++x)
                if (first.pixel(x, y) != second.pixel(x, y)) {
                    ++changedPixels;
                    QVERIFY2(area.contains(x, y),
                             qPrintable(QStringLiteral("(%1, %2) outside").arg(x).arg(y)));
                }
        QVERIFY(changedPixels > 0);
        QCOMPARE(area.width() < label.width(), partial);
        // What is drawn again ends within a margin of the last changed character, not at
        // the label's edge.
        if (partial) {
            const QFontMetrics metrics(font);
            qsizetype tail = 0;
            while (tail < after.size() && tail < before.size() &&
                   after[after.size() - 1 - tail] == before[before.size() - 1 - tail])
                ++tail;
            const int lineStart =
                label.x() + (label.width() - metrics.horizontalAdvance(after)) / 2;
            const int changeEnd =
                lineStart + metrics.horizontalAdvance(after.left(after.size() - tail));
            QVERIFY2(area.right() <= changeEnd + 2 * metrics.height(),
                     qPrintable(QStringLiteral("ends at %1, the change at %2")
                                    .arg(area.right())
                                    .arg(changeEnd)));
        }
    }

    // The countdown line drawn from kept pieces must look exactly as the label would draw it,
    // whole and in any part drawn again, so that a partly redrawn line shows no seam.
    void countdownIsDrawnAsTheLabelDrawsIt_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<double>("pointSize");
        QTest::newRow("plain") << QStringLiteral("距离高考还有") << false << false << 15.0;
        QTest::newRow("bold italic") << QStringLiteral("还有：") << true << true << 15.0;
        QTest::newRow("latin prefix") << QStringLiteral("Left: ") << false << false << 13.5;
        QTest::newRow("no prefix") << QString() << true << false << 18.0;
    }
    void countdownIsDrawnAsTheLabelDrawsIt() {
        QFETCH(QString, prefix);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(double, pointSize);
        writeFile(countdownPath(), {"第一行", prefix, "6/7/2011", "9:00:00 AM"});
        CountdownWindow* w = showMain();
        QFont font = w->Label2->font();
        font.setBold(bold);
        font.setItalic(italic);
        font.setPointSizeF(pointSize);
        w->Label2->setFont(font);
        w->Timer1_Timer();
        w->Label2->setFont(font);

        QLabel plain;
        plain.setFont(w->Label2->font());
        plain.setPalette(w->Label2->palette());
        plain.setAlignment(w->Label2->alignment());
        plain.resize(w->Label2->size());
        const auto draw = [](QWidget* label, const QRegion& region) {
            QImage image(label->size(), QImage::Format_RGB32);
            image.fill(Qt::blue);
            label->render(&image, QPoint(), region, QWidget::DrawChildren);
            return image;
        };
        for (int second = 0; second < 3; ++second) {
            plain.setText(w->Label2->text());
            QVERIFY2(w->Label2->text().endsWith(u'秒'), qPrintable(w->Label2->text()));
            const QImage expected = draw(&plain, QRegion());
            QVERIFY(expected != draw(&plain, QRegion(0, 0, 1, 1))); // something is drawn
            QCOMPARE(draw(w->Label2, QRegion()), expected);
            // The right part only, as a tick redraws it (drawn at the image's corner).
            const QRect right(w->Label2->width() / 2, 0,
                              w->Label2->width() - w->Label2->width() / 2, w->Label2->height());
            QCOMPARE(draw(w->Label2, QRegion(right)).copy(QRect(QPoint(), right.size())),
                     expected.copy(right));
            // Drawn straight onto the window's band, as the overlay draws a tick's change:
            // the same pixels, without the labels' painting.
            const QRect inWindow = right.translated(w->Label2->pos());
            QImage band(inWindow.size(), QImage::Format_RGB32);
            band.fill(Qt::blue);
            {
                QPainter painter(&band);
                painter.translate(-inWindow.topLeft());
                QVERIFY(w->paintContent(painter, inWindow));
            }
            QCOMPARE(band, expected.copy(right));
            // Narrow strips anywhere: a glyph whose ink alone reaches into one (an italic
            // overhang) is drawn there too.
            if (second == 0) {
                for (int x = 0; x < w->Label2->width(); x += 3) {
                    const QRect strip = QRect(x, 0, 2, w->Label2->height()) & w->Label2->rect();
                    if (draw(w->Label2, QRegion(strip)).copy(QRect(QPoint(), strip.size())) !=
                        expected.copy(strip))
                        QFAIL(qPrintable(QStringLiteral("the strip at %1 differs").arg(x)));
                }
            }
            m_test->clock.advanceSeconds(1);
            w->Timer1_Timer();
            w->Label2->setFont(font); // the tick gave it the style's face again
        }
    }

    // What the countdown line alone cannot draw is left to the labels, untouched: a part
    // that reaches into another line or past the window, or a line that wraps.
    void contentOutsideTheCountIsLeftToTheLabels_data() {
        QTest::addColumn<QString>("part");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("inside the count") << "inside" << true;
        QTest::newRow("into the first line") << "first" << false;
        QTest::newRow("into the tip") << "tip" << false;
        QTest::newRow("the whole window") << "all" << false;
        QTest::newRow("a message in the count's place") << "message" << false;
    }
    void contentOutsideTheCountIsLeftToTheLabels() {
        QFETCH(QString, part);
        QFETCH(bool, drawn);
        writeFile(tipsPath(), {"一条提示"});
        writeFile(countdownPath(), part == "message"
                                       ? QStringList{"第一行", "距离高考还有", "不是日期", "9:00"}
                                       : QStringList{"第一行", "距离高考还有", "6/7/2011",
                                                     "9:00:00 AM"});
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        const QRect line = w->Label2->geometry();
        QRect area = line.adjusted(line.width() / 2, 0, 0, 0);
        if (part == "first")
            area = area.adjusted(0, -line.top() + w->Label1->height() - 2, 0, 0);
        else if (part == "tip")
            area = area.adjusted(0, 0, 0, w->Label3->y() - line.bottom() + 2);
        else if (part == "all")
            area = w->rect();
        QImage band(area.size(), QImage::Format_RGB32);
        band.fill(Qt::blue);
        {
            QPainter painter(&band);
            painter.translate(-area.topLeft());
            QCOMPARE(w->paintContent(painter, area), drawn);
        }
        QImage untouched(area.size(), QImage::Format_RGB32);
        untouched.fill(Qt::blue);
        QCOMPARE(band != untouched, drawn);
    }

    // A tick that changes no length fits nothing afresh and shapes no whole line.
    void tickWithinOneLengthFitsNothing() {
        writeFile(countdownPath(), {"第一行", "距离高考还有", "6/7/2011", "9:00:00 AM"});
        m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(10, 0, 20)));
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        w->Timer1_Timer();
        QImage warm(w->size(), QImage::Format_RGB32);
        w->render(&warm, QPoint(), QRegion(), QWidget::DrawChildren);
        const int fits = w->countdownFits();
        const int shapings = w->countdownShapings();
        // Each tick is drawn, as on the desktop.
        QImage image(w->size(), QImage::Format_RGB32);
        for (int second = 0; second < 5; ++second) {
            m_test->clock.advanceSeconds(1);
            w->Timer1_Timer();
            w->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        }
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟35秒"));
        QCOMPARE(w->countdownFits(), fits);
        QCOMPARE(w->countdownShapings(), shapings);
        // Nor does a tick ask the window for a new layout: that would cost a posted event
        // and a turn of the event loop every second.
        EventCounter layoutRequests(w, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents();
        layoutRequests.count = 0;
        for (int second = 0; second < 3; ++second) {
            m_test->clock.advanceSeconds(1);
            w->Timer1_Timer();
        }
        QCoreApplication::sendPostedEvents();
        QCOMPARE(layoutRequests.count, 0);
        // A jump to another count of the same length keeps the fit; from 10 seconds to 9 the
        // count is a character shorter: fitted again, once.
        m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(10, 0, 50)));
        w->Timer1_Timer();
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟10秒"));
        QCOMPARE(w->countdownFits(), fits);
        m_test->clock.advanceSeconds(1);
        w->Timer1_Timer();
        QCOMPARE(w->Label2->text(), QStringLiteral("距离高考还有1天 22小时59分钟9秒"));
        QCOMPARE(w->countdownFits(), fits + 1);
        m_test->clock.advanceSeconds(1);
        w->Timer1_Timer();
        QCOMPARE(w->countdownFits(), fits + 1);
        // The lengths come back every minute, and each keeps its fit: from "0秒" to "59秒"
        // and on to "9秒" again, nothing is fitted afresh.
        const QStringList expected = {QStringLiteral("距离高考还有1天 22小时59分钟0秒"),
                                      QStringLiteral("距离高考还有1天 22小时58分钟59秒"),
                                      QStringLiteral("距离高考还有1天 22小时58分钟9秒")};
        const int seconds[] = {8, 1, 50};
        for (int i = 0; i < 3; ++i) {
            for (int s = 0; s < seconds[i]; ++s) {
                m_test->clock.advanceSeconds(1);
                w->Timer1_Timer();
            }
            QCOMPARE(w->Label2->text(), expected[i]);
        }
        QCOMPARE(w->countdownFits(), fits + 1);
        // A new face is fitted afresh: no fit kept for another face serves it.
        m_test->style.setText({.fontName = QStringLiteral("楷体"),
                               .fontSize = 18,
                               .foreColor = m_test->style.text().foreColor});
        QCOMPARE(w->countdownFits(), fits + 2);
        // Nor does a tick work out its local time, but for one a minute or so that checks
        // the offset from UTC again (a change of the system's zone shows within it).
        const int localTicks = w->localTicks();
        for (int second = 0; second < 122; ++second) {
            m_test->clock.advanceSeconds(1);
            w->Timer1_Timer();
        }
        QCOMPARE(w->localTicks() - localTicks, 2);
    }

    // The lines carry their whole texts as names whether or not assistive technology
    // listens (a label without a name makes an accessibility event at each new text), so
    // one that starts to listen finds them current; the count's name follows the minute.
    void linesAreNamedWithoutAListener() {
        writeFile(tipsPath(), {"一条提示"});
        writeFile(countdownPath(), {"第一行", "距离高考还有", "6/7/2011", "9:00:00 AM"});
        m_test->clock.set(QDateTime(QDate(2011, 6, 5), QTime(10, 0, 20)));
        CountdownWindow* w = showMain();
        w->Timer1_Timer();
        QVERIFY(!QAccessible::isActive());
        QCOMPARE(w->Label1->accessibleName(), QStringLiteral("第一行"));
        QCOMPARE(w->Label3->accessibleName(), QStringLiteral("一条提示"));
        const struct {
            int seconds;
            const char16_t* text;
            const char16_t* name;
        } steps[] = {
            {5, u"距离高考还有1天 22小时59分钟35秒", u"距离高考还有1天 22小时59分钟40秒"},
            {34, u"距离高考还有1天 22小时59分钟1秒", u"距离高考还有1天 22小时59分钟40秒"},
            {1, u"距离高考还有1天 22小时59分钟0秒", u"距离高考还有1天 22小时59分钟0秒"},
            {59, u"距离高考还有1天 22小时58分钟1秒", u"距离高考还有1天 22小时59分钟0秒"},
        };
        for (const auto& step : steps) {
            for (int second = 0; second < step.seconds; ++second) {
                m_test->clock.advanceSeconds(1);
                w->Timer1_Timer();
            }
            QCOMPARE(w->Label2->text(), QString::fromUtf16(step.text));
            QCOMPARE(w->Label2->accessibleName(), QString::fromUtf16(step.name));
        }
    }

    void ticksAreAlignedToTheSecond_data() {
        QTest::addColumn<int>("msec");
        QTest::addColumn<int>("wait");
        QTest::newRow("on the boundary") << 0 << 1005;
        QTest::newRow("just past") << 5 << 1000;
        QTest::newRow("half way") << 500 << 505;
        QTest::newRow("just before") << 999 << 6;
    }
    void ticksAreAlignedToTheSecond() {
        QFETCH(int, msec);
        QFETCH(int, wait);
        const QDateTime now(QDate(2011, 6, 5), QTime(8, 0, 0, msec));
        QCOMPARE(Heartbeat::msUntilNextSecond(now.toMSecsSinceEpoch()), wait);
        // The tick lands inside the next second, never in the same one.
        QCOMPARE(now.addMSecs(wait).time().second(), 1);
    }

private:
    CountdownWindow* showMain() {
        auto* w = qobject_cast<CountdownWindow*>(m_test->registry.show("frmMain"));
        if (!w)
            qFatal("frmMain did not load");
        return w;
    }
    CountdownWindow* main() {
        return qobject_cast<CountdownWindow*>(m_test->registry.form("frmMain"));
    }
    void reload() {
        QVERIFY(m_test->registry.unload("frmMain"));
        QVERIFY(m_test->registry.show("frmMain"));
    }
    QString dataFile(const QString& name) const { return m_test->paths().dataFile(name); }
    QString countdownPath() const { return dataFile("countdown.ini"); }
    QString tipsPath() const { return QDir(m_test->paths().programDir()).filePath("ral.txt"); }

    std::unique_ptr<TestContext> m_test;
    QStringList m_skinLog;
    int m_trayLoads = 0;
};

QTEST_MAIN(TestCountdownWindow)
#include "tst_countdown_window.moc"
