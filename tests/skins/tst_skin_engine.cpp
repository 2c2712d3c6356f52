// The style-sheet skin engine, the shipped skins and their previews.
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "skins/skin_preview.h"
#include "skins/style_sheet_skin.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

const QStringList kShipped = {"skinh", "itunes", "office2007", "QQ2008"};

QString shippedSkin(const QString& name) {
    return qEnvironmentVariable("DALVENOR_SOURCE_DIR") + "/data/skins/" + name + ".she";
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

// Counts the restyles a widget goes through.
class StyleChanges : public QObject {
public:
    explicit StyleChanges(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::Polish)
            ++count;
        return false;
    }
};

// One of each kind of control the program's windows use.
std::unique_ptr<QDialog> everyControl() {
    auto window = std::make_unique<QDialog>();
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->setFont(designFont());
    window->resize(640, 480);
    auto* tabs = new QTabWidget(window.get());
    tabs->setGeometry(0, 0, 400, 300);
    auto* page = new QWidget;
    tabs->addTab(page, "日历");
    tabs->addTab(new QWidget, "提醒");
    new QCalendarWidget(page);
    auto* combo = new QComboBox(window.get());
    combo->setEditable(true);
    combo->addItems({"1", "2"});
    combo->move(410, 0);
    new QLineEdit("文字", window.get());
    auto* list = new QListWidget(window.get());
    list->addItems({"a.she", "b.she"});
    list->setGeometry(410, 40, 100, 60);
    new QPushButton("确定", window.get());
    new QCheckBox("开启", window.get());
    new QRadioButton("关机", window.get());
    new QSpinBox(window.get());
    new QDateEdit(window.get());
    new QGroupBox("提醒", window.get());
    new QProgressBar(window.get());
    new QTextEdit("说明", window.get());
    new QScrollBar(Qt::Horizontal, window.get());
    auto* menu = new QMenu(window.get());
    menu->addAction("关于");
    menu->addSeparator();
    menu->addAction("退出");
    return window;
}

} // namespace

class TestSkinEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void shippedSkinsParseWithoutWarning_data() {
        QTest::addColumn<QString>("name");
        for (const QString& name : kShipped)
            QTest::newRow(qPrintable(name)) << name;
    }
    void shippedSkinsParseWithoutWarning() {
        QFETCH(QString, name);
        // Anything Qt says about a style sheet fails the test (the offscreen platform's notes on
        // window operations it lacks are not about the sheet).
        QTest::failOnWarning(QRegularExpression("(?i)style ?sheet|pars|propert|unknown|css"));
        const skinfile::Loaded skin = skinfile::load(shippedSkin(name));
        QVERIFY2(skin.status == skinfile::Status::Ok, qPrintable(skin.error));
        QVERIFY(skin.sheet.contains("QPushButton"));
        // Set straight on windows with every kind of control, drawn and with the menu open:
        // Qt says nothing about the sheet.
        std::unique_ptr<QDialog> window = everyControl();
        window->setStyleSheet(skin.sheet);
        window->show();
        QVERIFY(!window->grab().isNull());
        auto* menu = window->findChild<QMenu*>();
        menu->popup(QPoint(0, 0));
        QVERIFY(!menu->grab().isNull());
        menu->hide();
        QMessageBox box(QMessageBox::Information, "提示", "您当前没有使用皮肤。");
        box.setAttribute(Qt::WA_DontShowOnScreen);
        box.setStyleSheet(skin.sheet);
        box.show();
        QVERIFY(!box.grab().isNull());
    }

    void previewsAreDrawnFromTheirSkinsAndDiffer() {
        const QString folder = qEnvironmentVariable("DALVENOR_BIN_DIR") + "/skins/previews";
        QList<QImage> previews;
        for (const QString& name : kShipped) {
            const QImage preview(folder + '/' + name + ".png");
            QVERIFY2(!preview.isNull(), qPrintable(folder + '/' + name + ".png"));
            QCOMPARE(preview.size(), QSize(skinpreview::kWidth, skinpreview::kHeight));
            // What the build stored is what the skin draws now.
            const skinfile::Loaded skin = skinfile::load(shippedSkin(name));
            QCOMPARE(preview.convertToFormat(QImage::Format_RGB32),
                     skinpreview::render(skin.sheet));
            for (const QImage& other : std::as_const(previews))
                QVERIFY2(preview.convertToFormat(QImage::Format_RGB32) !=
                             other.convertToFormat(QImage::Format_RGB32),
                         qPrintable(name + " looks like another skin"));
            previews << preview;
        }
        QVERIFY(skinpreview::render("QPushButton { color: ").isNull());
    }

    void loadChecksTheFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("sheet");
        QTest::newRow("sheet") << "sheet" << int(skinfile::Status::Ok)
                               << "QPushButton { color: red; }";
        QTest::newRow("with byte-order mark")
            << "bom" << int(skinfile::Status::Ok) << "QPushButton { color: red; }";
        QTest::newRow("comments only") << "comments" << int(skinfile::Status::Ok) << "/* 空 */";
        QTest::newRow("missing") << "missing" << int(skinfile::Status::Unreadable) << "";
        QTest::newRow("folder") << "folder" << int(skinfile::Status::Unreadable) << "";
        QTest::newRow("too large") << "large" << int(skinfile::Status::Unreadable) << "";
        QTest::newRow("code page 936") << "gbk" << int(skinfile::Status::NotUtf8) << "";
        QTest::newRow("not a sheet") << "junk" << int(skinfile::Status::NotAStyleSheet) << "";
        QTest::newRow("unclosed rule") << "unclosed" << int(skinfile::Status::NotAStyleSheet) << "";
    }
    void loadChecksTheFile() {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, sheet);
        QTemporaryDir dir;
        const QString path = dir.filePath("x.she");
        QByteArray bytes;
        if (kind == "sheet" || kind == "comments")
            bytes = sheet.toUtf8();
        else if (kind == "bom")
            bytes = "\xEF\xBB\xBF" + sheet.toUtf8();
        else if (kind == "large")
            bytes = QByteArray(skinfile::kMaxBytes + 1, ' ');
        else if (kind == "gbk")
            bytes = "/* \xC6\xA4\xB7\xF4 */ QPushButton { color: red; }";
        else if (kind == "junk")
            bytes = "this is not { a style sheet";
        else if (kind == "unclosed")
            bytes = "QPushButton { color: red; ";
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind != "missing")
            writeFile(path, bytes);

        const skinfile::Loaded loaded = skinfile::load(path);
        QCOMPARE(int(loaded.status), status);
        if (status == int(skinfile::Status::Ok)) {
            QCOMPARE(loaded.sheet, sheet);
            QCOMPARE(loaded.bytes, bytes); // copied as it is, byte-order mark included
            QVERIFY(loaded.error.isEmpty());
        } else {
            QVERIFY(loaded.error.contains(path));
        }
    }

    void skinsEveryWindowButTheCountdown() {
        QWidget countdown;
        countdown.setObjectName("frmMain");
        auto* label = new QLabel("1天", &countdown);
        QFont font("楷体");
        font.setPointSize(30);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 160));
        label->setPalette(palette);
        QWidget other;
        other.setObjectName("frmAbout");
        auto* button = new QPushButton("确定", &other);

        StyleSheetSkinEngine engine;
        const QString sheet = "QLabel { color: red; font: 8pt; } QPushButton { color: green; }";
        engine.apply(sheet);
        QCOMPARE(other.styleSheet(), sheet);
        button->ensurePolished();
        label->ensurePolished();
        QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
        QVERIFY(countdown.styleSheet().isEmpty());
        QCOMPARE(label->font(), font);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 160));

        engine.apply(QString());
        QVERIFY(other.styleSheet().isEmpty());
        QVERIFY(!other.testAttribute(Qt::WA_StyledBackground));
    }

    void unchangedSheetDoesNotRestyle() {
        QTemporaryDir dir;
        writeFile(dir.filePath("skinh.she"), "QPushButton { color: green; }");
        QWidget window;
        window.setAttribute(Qt::WA_DontShowOnScreen);
        auto* button = new QPushButton("确定", &window);
        window.show();
        StyleSheetSkinEngine engine;
        engine.attach(dir.filePath("skinh.she"));
        QVERIFY(!engine.sheet().isEmpty());
        StyleChanges changes(button);
        engine.attach(dir.filePath("skinh.she"));
        QCOMPARE(changes.count, 0);
        writeFile(dir.filePath("skinh.she"), "QPushButton { color: blue; }");
        engine.attach(dir.filePath("skinh.she"));
        QVERIFY(changes.count > 0);
        QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(0, 0, 255));
    }

    void windowsShownLaterTakeTheSkin() {
        StyleSheetSkinEngine engine;
        const QString sheet = "QPushButton { color: green; }";
        engine.apply(sheet);
        QWidget later;
        later.setAttribute(Qt::WA_DontShowOnScreen);
        auto* button = new QPushButton("确定", &later);
        later.show();
        QCOMPARE(later.styleSheet(), sheet);
        QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
    }

    void windowInsideAnotherTakesItsParentsSheet() {
        StyleSheetSkinEngine engine;
        const QString sheet = "QMenu { color: green; }";
        engine.apply(sheet);
        // A hidden owner made after the skin: its menu, shown, needs a sheet of its own.
        QWidget owner;
        owner.setObjectName("frmAddins");
        auto* menu = new QMenu(&owner);
        menu->addAction("退出");
        menu->popup(QPoint(0, 0));
        QCOMPARE(menu->styleSheet(), sheet);
        menu->hide();
        // Next skin: the owner takes it and the menu has it from there, once.
        const QString next = "QMenu { color: blue; }";
        engine.apply(next);
        QCOMPARE(owner.styleSheet(), next);
        QVERIFY(menu->styleSheet().isEmpty());
        QCOMPARE(menu->palette().color(QPalette::WindowText), QColor(Qt::blue));
    }

    // The tray menu leads to everything, the skin manager's "不使用皮肤" included, and a box of
    // its own tells of every failure: no skin may touch them, however it draws the rest.
    void trayMenuAndOwnBoxesKeepThePlatformsLook() {
        StyleSheetSkinEngine engine;
        const QString sheet = "QMenu { color: green; } QMessageBox { background: red; }";
        engine.apply(sheet);
        QWidget tray;
        tray.setObjectName("frmTray");
        auto* menu = new QMenu(&tray);
        menu->addAction("退出");
        auto* submenu = new QMenu("开机启动(&S)", menu);
        submenu->addAction("开启");
        menu->addMenu(submenu);
        menu->popup(QPoint(0, 0));
        submenu->popup(QPoint(50, 0));
        QMessageBox box(QMessageBox::Warning, "Dalvenor", "皮肤文件无法使用。");
        box.setAttribute(Qt::WA_DontShowOnScreen);
        box.show();
        QWidget other;
        other.setObjectName("frmSkins");
        other.setAttribute(Qt::WA_DontShowOnScreen);
        other.show();
        for (QWidget* plain : std::initializer_list<QWidget*>{&tray, menu, submenu, &box}) {
            QVERIFY2(plain->styleSheet().isEmpty(), qPrintable(plain->objectName()));
            QVERIFY(StyleSheetSkinEngine::isExcluded(plain));
        }
        QCOMPARE(menu->palette().color(QPalette::WindowText),
                 QApplication::palette(menu).color(QPalette::WindowText));
        // The skin manager is skinned: the checks a sheet passes keep it readable.
        QCOMPARE(other.styleSheet(), sheet);
        menu->hide();
        submenu->hide();
        engine.apply("QMenu { color: blue; }");
        QVERIFY(tray.styleSheet().isEmpty());
        QVERIFY(menu->styleSheet().isEmpty());
    }

    // A skin the engine cannot use is taken off and the user told once, not at every reload
    // of the countdown; another reason is told again.
    void unusableSkinIsToldOnce() {
        QTemporaryDir dir;
        const QString file = dir.filePath("skinh.she");
        writeFile(file, "QMenu { color: white; background: white; }");
        MessageBox::setAnswerAll(true);
        MessageBox::clearShownBoxes();
        StyleSheetSkinEngine engine;
        engine.attach(file);
        engine.attach(file);
        QVERIFY(engine.sheet().isEmpty());
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes().first().icon, QMessageBox::Warning);
        QVERIFY(MessageBox::shownBoxes().first().text.contains(file));
        QVERIFY(MessageBox::shownBoxes().first().text.contains("相同"));
        writeFile(file, "* { font-size: 400pt; }");
        engine.attach(file);
        QCOMPARE(MessageBox::shownBoxes().size(), 2);
        QVERIFY(MessageBox::shownBoxes().last().text.contains("字号"));
        writeFile(file, "QPushButton { color: green; }");
        engine.attach(file);
        QCOMPARE(engine.sheet(), "QPushButton { color: green; }");
        QCOMPARE(MessageBox::shownBoxes().size(), 2);
        MessageBox::setAnswerAll(false);
        MessageBox::clearShownBoxes();
    }

    void unusableSkinFileTakesTheSkinOff() {
        QTemporaryDir dir;
        const QString file = dir.filePath("skinh.she");
        writeFile(file, "QPushButton { color: green; }");
        QWidget window;
        StyleSheetSkinEngine engine;
        engine.attach(file);
        QVERIFY(!window.styleSheet().isEmpty());
        writeFile(file, "QPushButton { color: ");
        engine.attach(file);
        QVERIFY(engine.sheet().isEmpty());
        QVERIFY(window.styleSheet().isEmpty());
    }

    void windowWithItsOwnSheetIsLeftAlone() {
        QWidget own;
        own.setStyleSheet("QPushButton { color: red; }");
        StyleSheetSkinEngine engine;
        engine.apply("QPushButton { color: green; }");
        QCOMPARE(own.styleSheet(), "QPushButton { color: red; }");
        engine.apply(QString());
        QCOMPARE(own.styleSheet(), "QPushButton { color: red; }");
    }

    void aeroIsRecordedOnly() {
        QWidget window;
        StyleSheetSkinEngine engine;
        engine.setAero(1);
        engine.setAero(0);
        QCOMPARE(engine.aero(), 0);
        QVERIFY(window.styleSheet().isEmpty());
    }
};

QTEST_MAIN(TestSkinEngine)
#include "tst_skin_engine.moc"
