// A start whose active skin is broken or hostile: the real countdown window's load attaches
// it, the real tray window builds its menu. The countdown must count, the tray menu must be
// readable, no window may carry the sheet, and the user is told once in a box that does not
// wait. A skin whose image check failed would hang the drawing below: the test then runs into
// its deadline and fails, it never waits for ever.
#include "app/countdown_window.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "skins/skin_sheet_check.h"
#include "skins/style_sheet_skin.h"
#include "test_context.h"
#include "tray/autostart.h"
#include "tray/tray_window.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <map>

#include <sys/stat.h>

namespace {

class QuietAutostart final : public Autostart {
public:
    bool enable(QString*) override { return true; }
    bool disable(QString*) override { return true; }
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Pixels that can be read against the picture's most common colour: the text of a menu.
int readablePixels(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (const auto& [colour, count] : counts) {
        if (count > most) {
            most = count;
            background = colour;
        }
    }
    int readable = 0;
    for (const auto& [colour, count] : counts) {
        if (skincheck::readable(QColor(colour), QColor(background)))
            readable += count;
    }
    return readable;
}

} // namespace

class TestSkinHostileStart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installFontSubstitutions();
        MessageBox::setAnswerAll(true);
    }

    void hostileActiveSkinLeavesCountdownAndMenuReadable_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason"); // part of the one message
        QTest::newRow("image is a FIFO") << "fifo-url"
                                         << "不是普通文件";
        QTest::newRow("image links to /dev/zero") << "zero-url"
                                                  << "不是普通文件";
        QTest::newRow("text in the background colour") << "same-colour"
                                                       << "相同";
        QTest::newRow("400 pt everywhere") << "huge-font"
                                           << "字号";
        QTest::newRow("skin file is a FIFO") << "fifo-skin"
                                             << "不是普通文件";
        QTest::newRow("skin file is a folder") << "folder-skin"
                                               << "不是普通文件";
    }
    void hostileActiveSkinLeavesCountdownAndMenuReadable() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        MessageBox::clearShownBoxes();
        TestContext test;
        test.context.skin.setEngine(std::make_unique<StyleSheetSkinEngine>());
        const QString skin = test.context.skin.activeSkinFile();
        const QString image = test.path("picture.png");
        const auto imageSkin = [&] {
            writeFile(skin, QStringLiteral("QMenu { background-image: url(%1); } "
                                           "QLabel { border-image: url(%1); }")
                                .arg(image)
                                .toUtf8());
        };
        if (kind == "fifo-url") {
            QCOMPARE(::mkfifo(QFile::encodeName(image).constData(), 0600), 0);
            imageSkin();
        } else if (kind == "zero-url") {
            QVERIFY(QFile::link("/dev/zero", image));
            imageSkin();
        } else if (kind == "same-colour") {
            writeFile(skin, "* { color: #ffffff; background-color: #ffffff; }");
        } else if (kind == "huge-font") {
            writeFile(skin, "* { font-size: 400pt; }");
        } else if (kind == "fifo-skin") {
            QCOMPARE(::mkfifo(QFile::encodeName(skin).constData(), 0600), 0);
        } else if (kind == "folder-skin") {
            QVERIFY(QDir().mkpath(skin));
        }
        writeFile(test.paths().dataFile("countdown.ini"),
                  "第一行\r\n距离高考还有\r\n6/7/2011\r\n9:00:00 AM\r\n");
        QuietAutostart autostart;
        test.registry.registerForm("frmMain",
                                   [&test] { return new CountdownWindow(test.context); });
        test.registry.registerForm(
            "frmTray", [&test, &autostart] { return new TrayWindow(test.context, autostart); });

        auto* countdown = qobject_cast<CountdownWindow*>(test.registry.show("frmMain"));
        QVERIFY(countdown);
        QVERIFY(QTest::qWaitForWindowExposed(countdown));
        countdown->Timer1_Timer();
        QVERIFY2(countdown->Label2->text().contains("天"), qPrintable(countdown->Label2->text()));
        QVERIFY(!countdown->grab().isNull());

        // No window got the sheet: one that would take a skin is drawn in full (with the
        // sheet on it, its label's image would be opened here).
        QWidget other;
        other.setObjectName("frmAbout");
        auto* label = new QLabel("关于", &other);
        label->resize(80, 30);
        other.resize(100, 40);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QVERIFY(!other.grab().isNull());

        // Told once, in a box that does not wait, naming the skin file and the reason.
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        const QString told = MessageBox::shownBoxes().first().text;
        QVERIFY2(told.contains(skin), qPrintable(told));
        QVERIFY2(told.contains(reason), qPrintable(told));
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY2(window->styleSheet().isEmpty(), qPrintable(window->objectName()));

        // The tray menu: a usual size, its items drawn in readable text.
        auto* tray = qobject_cast<TrayWindow*>(test.registry.form("frmTray"));
        QVERIFY(tray);
        QMenu* menu = tray->mnuFile();
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY2(menu->height() < 400 && menu->width() < 600,
                 qPrintable(QStringLiteral("%1 x %2").arg(menu->width()).arg(menu->height())));
        QVERIFY(readablePixels(menu->grab().toImage()) > 200);
        menu->hide();

        // A reload of the countdown (after "完成" or a custom countdown) says nothing again.
        test.registry.unload("frmMain");
        QVERIFY(test.registry.show("frmMain"));
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        test.registry.unload("frmMain");
        test.registry.unload("frmTray");
    }
};

QTEST_MAIN(TestSkinHostileStart)
#include "tst_skin_hostile_start.moc"
