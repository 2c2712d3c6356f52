#include "app_context.h"
#include "application.h"
#include "clock.h"
#include "countdown_window.h"
#include "data_paths.h"
#include "settings_store.h"
#include "skin_library.h"
#include "text_file.h"
#include "tray_window.h"
#include "window_registry.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
public:
    CountingTray(AppContext& context, int& loads) : Form(context, "frmTray"), m_loads(loads) {}
    void Form_Load() override { ++m_loads; }

private:
    int& m_loads;
};

void writeFile(const QString& path, const QStringList& lines) {
    QString error;
    QVERIFY2(textfile::writeLines(path, lines, &error), qPrintable(error));
}

} // namespace

class TestCountdownWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application::installFontSubstitutions(); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir(m_dir->path()).mkpath("program");
        QDir(m_dir->path()).mkpath("data");
        m_paths = std::make_unique<DataPaths>(m_dir->filePath("program"), m_dir->filePath("data"));
        m_settings = std::make_unique<SettingsStore>(m_dir->filePath("store.ini"));
        m_skinLog.clear();
        m_skin = std::make_unique<RecordingSkin>(m_skinLog);
        m_registry = std::make_unique<WindowRegistry>();
        m_clock.set(QDateTime(QDate(2011, 6, 5), QTime(10, 0)));
        m_trayLoads = 0;
        m_context.registry = m_registry.get();
        m_context.settings = m_settings.get();
        m_context.paths = m_paths.get();
        m_context.clock = &m_clock;
        m_context.skin = m_skin.get();
        m_registry->registerForm("frmMain", [this] { return new CountdownWindow(m_context); });
        m_registry->registerForm("frmTray",
                                 [this] { return new CountingTray(m_context, m_trayLoads); });
    }
    void cleanup() {
        m_registry.reset();
        m_dir.reset();
    }

    void emptyStoreGivesTheDefaults() {
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
        QCOMPARE(w->Label3->geometry(), QRect(0, 112, 401, 81));
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
        m_clock.set(QDateTime(QDate(2011, 6, 5), QTime(8, 0)));
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
        m_settings->writeText("frmMain", key, stored);
        CountdownWindow* w = showMain();
        for (QLabel* label : {w->Label1, w->Label2, w->Label3}) {
            QCOMPARE(label->font().pointSizeF(), size);
            QCOMPARE(label->font().bold(), bold);
        }
    }

    void storedGeometryIsUsed() {
        m_settings->writeText("frmWindows", "Width", "7500");
        m_settings->writeText("frmWindows", "Height", "4500");
        m_settings->writeText("frmWindows", "Top", "1500");
        m_settings->writeText("frmWindows", "Left", "3000");
        QCOMPARE(showMain()->geometry(), QRect(200, 100, 500, 300));
    }

    void recentreMarkerCentresOnceAndRestoresTheReminderFile() {
        m_settings->writeText("frmWindows", "Width", "7500");
        m_settings->writeText("frmWindows", "Left", "3000");
        writeFile(dataFile("setting.ini"), {"提醒", "该学习了", "30"});
        CountdownWindow* w = showMain();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(w->size(), QSize(403, 200));
        QVERIFY(qAbs(w->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w->geometry().center().y() - screen.center().y()) <= 1);
        QVERIFY(!QFile::exists(dataFile("setting.ini")));
        const textfile::TextLines reminder = textfile::readLines(dataFile("settings.ini"));
        QCOMPARE(reminder.lines, (QStringList{"提醒", "该学习了", "30"}));
        QCOMPARE(m_settings->readText("frmWindows", "Width", ""), QStringLiteral("7500"));
        QCOMPARE(m_settings->readText("frmWindows", "Left", ""), QStringLiteral("3000"));

        // The next load reads the stored rectangle again.
        reload();
        QCOMPARE(main()->geometry().width(), 500);
        QCOMPARE(main()->geometry().left(), 200);
    }

    void styleStoredAtUnloadComesBackOnAllThreeLabels() {
        CountdownWindow* w = showMain();
        QFont font = w->Label1->font();
        font.setBold(true);
        font.setPointSizeF(20);
        w->Label1->setFont(font);
        QPalette palette = w->Label1->palette();
        palette.setColor(QPalette::WindowText, Qt::red);
        w->Label1->setPalette(palette);

        reload();
        w = main();
        for (QLabel* label : {w->Label1, w->Label2, w->Label3}) {
            QVERIFY(label->font().bold());
            QCOMPARE(label->font().pointSizeF(), 20.0);
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        }
        QCOMPARE(m_settings->readText("frmMain", "ForeColor", ""), QStringLiteral("255"));
        QCOMPARE(m_settings->readText("frmMain", "FontBold", ""), QStringLiteral("True"));
        QCOMPARE(m_settings->readText("frmMain", "FontSize", ""), QStringLiteral("20"));
    }

    void reloadDoesNotLoadTheTrayAgain() {
        showMain();
        reload();
        reload();
        QCOMPARE(m_trayLoads, 1);
        QCOMPARE(m_skinLog.count("attach"), 3);
    }

    void exitFromTheTrayStoresTheStyleFirst() {
        // The real tray window in place of the counting one.
        bool ended = false;
        m_registry->registerForm("frmTray", [this, &ended] {
            return new TrayWindow(m_context, [&ended] { ended = true; });
        });
        CountdownWindow* w = showMain();
        QFont font = w->Label1->font();
        font.setItalic(true);
        w->Label1->setFont(font);
        auto* tray = qobject_cast<TrayWindow*>(m_registry->form("frmTray"));
        QVERIFY(tray);
        tray->mnuExit_Click();
        QVERIFY(ended);
        QVERIFY(!m_registry->isLoaded("frmTray"));
        // Read back from the file, as the next start would.
        SettingsStore reread(m_dir->filePath("store.ini"));
        QVERIFY(reread.readBool("frmMain", "FontItalic", false));
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

    void changedAreaHoldsEveryChangedPixel_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("partial"); // whether less than the whole label is redrawn
        const QString prefix = QStringLiteral("还有：181天 5小时45分钟");
        QTest::newRow("last digit") << prefix + "17秒" << prefix + "18秒" << false << true;
        QTest::newRow("last digit, italic") << prefix + "17秒" << prefix + "18秒" << true << true;
        QTest::newRow("two digits") << prefix + "19秒" << prefix + "20秒" << false << true;
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
        QCOMPARE(CountdownWindow::msUntilNextSecond(now), wait);
        // The tick lands inside the next second, never in the same one.
        QCOMPARE(now.addMSecs(wait).time().second(), 1);
    }

private:
    CountdownWindow* showMain() {
        auto* w = qobject_cast<CountdownWindow*>(m_registry->show("frmMain"));
        if (!w)
            qFatal("frmMain did not load");
        return w;
    }
    CountdownWindow* main() { return qobject_cast<CountdownWindow*>(m_registry->form("frmMain")); }
    void reload() {
        QVERIFY(m_registry->unload("frmMain"));
        QVERIFY(m_registry->show("frmMain"));
    }
    QString dataFile(const QString& name) const { return m_paths->dataFile(name); }
    QString countdownPath() const { return dataFile("countdown.ini"); }
    QString tipsPath() const { return QDir(m_paths->programDir()).filePath("ral.txt"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DataPaths> m_paths;
    std::unique_ptr<SettingsStore> m_settings;
    QStringList m_skinLog;
    std::unique_ptr<RecordingSkin> m_skin;
    std::unique_ptr<WindowRegistry> m_registry;
    ManualClock m_clock;
    int m_trayLoads = 0;
    AppContext m_context;
};

QTEST_MAIN(TestCountdownWindow)
#include "tst_countdown_window.moc"
