#include "app/countdown_window.h"
#include "display/common_dialog.h"
#include "display/display_window.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "settings/text_file.h"
#include "test_context.h"
#include "winutil/twips.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

// frmTray as far as this window needs it: the icon it copies.
class IconTray : public Form {
    Q_OBJECT
public:
    explicit IconTray(AppContext& context) : Form(context, "frmTray") {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::magenta);
        setWindowIcon(QIcon(pixmap));
    }
};

using Answer = CommonDialog1::Answer;

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestDisplayWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installFontSubstitutions();
        MessageBox::setAnswerAll(true);
    }

    void init() {
        CommonDialog1::clearScript();
        MessageBox::clearShownBoxes();
        m_test = std::make_unique<TestContext>();
        m_test->registry.registerForm("frmMain",
                                      [this] { return new CountdownWindow(m_test->context); });
        m_test->registry.registerForm("frmTray", [this] { return new IconTray(m_test->context); });
        m_test->registry.registerForm("frmWindows",
                                      [this] { return new DisplayWindow(m_test->context); });
        // A short tip keeps the face of the style.
        QVERIFY(textfile::writeLines(QDir(m_test->paths().programDir()).filePath("ral.txt"),
                                     {QStringLiteral("甲")}));
        QVERIFY(m_test->registry.show("frmMain"));
    }
    void cleanup() {
        // Every scripted answer was used: no dialog was skipped or shown twice.
        QVERIFY(!CommonDialog1::hasScriptedAnswer());
        m_test.reset();
    }

    void loadShowsTheSettingsFace() {
        DisplayWindow* w = showWindows();
        QCOMPARE(w->windowTitle(), QStringLiteral("显示设置"));
        // Client area 5955 x 2520 twips at 7815, 5760; a fixed size.
        QCOMPARE(w->geometry(), QRect(521, 384, 397, 168));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->windowType(), Qt::Window); // a taskbar entry: no tool window, no dialog
        QCOMPARE(w->windowIcon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::magenta));
        QCOMPARE(visibleControls(w),
                 (QStringList{"Command2", "Command3", "Command4", "Command5", "Label2"}));
        QCOMPARE(w->Label2->text(), QStringLiteral("建议将字体修改为楷体\n   字号大小设为15号"));
    }

    void controlsStandWhereDesigned_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twipsRect");
        QTest::newRow("Command1") << "Command1"
                                  << "完成" << QRect(2370, 1680, 1215, 495);
        QTest::newRow("Command2") << "Command2"
                                  << "显示位置" << QRect(570, 1560, 1215, 480);
        QTest::newRow("Command3") << "Command3"
                                  << "显示字体" << QRect(2370, 1560, 1215, 480);
        QTest::newRow("Command4") << "Command4"
                                  << "字体颜色" << QRect(4170, 1560, 1215, 480);
        QTest::newRow("Command5") << "Command5"
                                  << "全部重置" << QRect(2370, 600, 1215, 495);
        QTest::newRow("Label1") << "Label1"
                                << "您可以通过调整此窗口位置以调整倒计时信息在桌面的显示位置，"
                                   "点击完成后，倒计时信息将在此窗口位置显示。"
                                << QRect(1050, 600, 3855, 855);
        QTest::newRow("Label2") << "Label2" << QString() << QRect(1920, 2050, 2100, 480);
    }
    void controlsStandWhereDesigned() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twipsRect);
        DisplayWindow* w = showWindows();
        QWidget* control = w->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), twips::toPixels(twipsRect.x(), twipsRect.y(),
                                                      twipsRect.width(), twipsRect.height()));
        if (auto* button = qobject_cast<QPushButton*>(control))
            QCOMPARE(button->text(), caption);
        else if (!caption.isEmpty())
            QCOMPARE(qobject_cast<QLabel*>(control)->text(), caption);
    }

    void positionFaceCannotGoBack() {
        DisplayWindow* w = showWindows();
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(w->windowTitle(), QStringLiteral("显示位置调整"));
        QCOMPARE(visibleControls(w), (QStringList{"Command1", "Label1"}));
        // Resizing, pressing "显示位置" by code again or the keyboard brings nothing back.
        w->resize(w->minimumSize());
        w->Command2_Click();
        QTest::keyClick(w, Qt::Key_Tab);
        QCOMPARE(visibleControls(w), (QStringList{"Command1", "Label1"}));
    }

    void positionFaceResizesAndKeepsItsControlsWhole_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("design") << QSize(397, 168);
        QTest::newRow("large") << QSize(900, 500);
        QTest::newRow("smallest") << QSize(1, 1);
    }
    void positionFaceResizesAndKeepsItsControlsWhole() {
        QFETCH(QSize, size);
        DisplayWindow* w = showWindows();
        w->Command2_Click();
        QVERIFY(w->minimumSize() != w->maximumSize());
        w->resize(size);
        QCOMPARE(w->size(), size.expandedTo(w->minimumSize()));
        for (QWidget* control :
             {static_cast<QWidget*>(w->Label1), static_cast<QWidget*>(w->Command1)})
            QVERIFY2(w->rect().contains(control->geometry()), qPrintable(control->objectName()));
        // Both stay centred across the window, as designed.
        QVERIFY(qAbs(w->Command1->geometry().center().x() - w->rect().center().x()) <= 1);
    }

    void finishWithoutMovingStoresTheDesignRectangle() {
        DisplayWindow* w = showWindows();
        w->Command2_Click();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // The design client area with the frame around it.
        const QRect outer = w->frameGeometry();
        QVERIFY(outer.contains(QRect(521, 384, 397, 168)) && outer != QRect(521, 384, 397, 168));
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(storedRect(), twipsOf(outer));
        QVERIFY(!m_test->registry.isLoaded("frmWindows"));
        CountdownWindow* main = countdown();
        QVERIFY(main && main->isVisible());
        // The countdown covers the settings window's outer rectangle, not its own design size,
        // and its lines span all of it.
        QCOMPARE(main->geometry(), outer);
        for (QLabel* label : {main->Label1, main->Label2, main->Label3})
            QCOMPARE(label->width(), outer.width());
        // Its unload stored the text style.
        QCOMPARE(m_test->settings().readText("frmMain", "FontSize", ""), QStringLiteral("15"));
    }

    void finishStoresWhereTheWindowWasMovedAndSized() {
        DisplayWindow* w = showWindows();
        w->Command2_Click();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(100, 50);
        w->resize(500, 300);
        const QRect outer = w->frameGeometry();
        QCOMPARE(outer.topLeft(), QPoint(100, 50));
        w->Command1_Click();
        QCOMPARE(storedRect(), twipsOf(outer));
        QCOMPARE(countdown()->geometry(), outer);
        // The next start reads it again.
        reloadCountdown();
        QCOMPARE(countdown()->geometry(), outer);
    }

    void fontOkChangesAllThreeLabelsAtOnce_data() {
        QTest::addColumn<std::optional<quint32>>("picked");
        QTest::addColumn<QColor>("drawn");
        QTest::newRow("colour picked in the dialog")
            << std::optional<quint32>(0x00FF00) << QColor(0, 255, 0);
        // The component starts black at each load, whatever the countdown had.
        QTest::newRow("no colour picked") << std::optional<quint32>() << QColor(Qt::black);
    }
    void fontOkChangesAllThreeLabelsAtOnce() {
        QFETCH(std::optional<quint32>, picked);
        QFETCH(QColor, drawn);
        DisplayWindow* w = showWindows();
        int changes = 0;
        connect(&m_test->style, &CountdownStyle::textChanged, this, [&changes] { ++changes; });
        CommonDialog1::scriptNextAnswer(Answer{.fontName = QStringLiteral("黑体"),
                                               .fontSize = 20,
                                               .fontBold = true,
                                               .fontItalic = true,
                                               .fontUnderline = true,
                                               .fontStrikethru = true,
                                               .color = picked});
        QTest::mouseClick(w->Command3, Qt::LeftButton);
        QCOMPARE(changes, 1);
        for (QLabel* label : {countdown()->Label1, countdown()->Label2, countdown()->Label3}) {
            const QFont font = label->font();
            QCOMPARE(font.family(), QStringLiteral("黑体"));
            // The countdown line may shrink to stay whole; the others keep the size.
            if (label != countdown()->Label2)
                QCOMPARE(font.pointSizeF(), 20.0);
            QVERIFY(font.bold() && font.italic() && font.underline() && font.strikeOut());
            QCOMPARE(label->palette().color(QPalette::WindowText), drawn);
        }
        // The font dialog opened with the component's own values and the flags of the window.
        QCOMPARE(CommonDialog1::shownDialogs().size(), 1);
        const CommonDialog1::Shown& shown = CommonDialog1::shownDialogs().first();
        QCOMPARE(shown.kind, CommonDialog1::Kind::Font);
        QCOMPARE(shown.flags, 0x103);
        QCOMPARE(shown.fontName, QString());
        QCOMPARE(shown.color, 0u);
        // Nothing is stored until the countdown unloads.
        QCOMPARE(m_test->settings().readText("frmMain", "FontName", "none"),
                 QStringLiteral("none"));
    }

    void colourAfterFontStartsFromTheFontDialogsColour() {
        DisplayWindow* w = showWindows();
        CommonDialog1::scriptNextAnswer(
            Answer{.fontName = QStringLiteral("黑体"), .fontSize = 12, .color = 0x0000FF});
        CommonDialog1::scriptNextAnswer(Answer{.color = 0x123456});
        w->Command3_Click();
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(CommonDialog1::shownDialogs().size(), 2);
        const CommonDialog1::Shown& colour = CommonDialog1::shownDialogs().at(1);
        QCOMPARE(colour.kind, CommonDialog1::Kind::Color);
        QCOMPARE(colour.flags, 0x103);
        QCOMPARE(colour.color, 0x0000FFu);
        for (QLabel* label : {countdown()->Label1, countdown()->Label2, countdown()->Label3}) {
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x56, 0x34, 0x12));
            QCOMPARE(label->font().family(), QStringLiteral("黑体")); // the font stays
        }
        // And the next font dialog offers the colour just chosen.
        CommonDialog1::scriptNextAnswer(Answer::cancel());
        w->Command3_Click();
        QCOMPARE(CommonDialog1::shownDialogs().at(2).color, 0x123456u);
    }

    void colourStartsBlackAtEachLoad() {
        DisplayWindow* w = showWindows();
        CommonDialog1::scriptNextAnswer(Answer{.color = 0x00FF00});
        w->Command4_Click();
        QVERIFY(m_test->registry.unload("frmWindows"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w = showWindows();
        CommonDialog1::scriptNextAnswer(Answer::cancel());
        w->Command4_Click();
        QCOMPARE(CommonDialog1::shownDialogs().at(1).color, 0u);
    }

    void cancelChangesNothingAndShowsNothing_data() {
        QTest::addColumn<bool>("fontDialog");
        QTest::newRow("显示字体") << true;
        QTest::newRow("字体颜色") << false;
    }
    void cancelChangesNothingAndShowsNothing() {
        QFETCH(bool, fontDialog);
        m_test->style.setText({.fontName = QStringLiteral("黑体"),
                               .fontSize = 30,
                               .bold = true,
                               .foreColor = m_test->style.text().foreColor});
        m_test->style.setForeColor(0x0000FF);
        const TextStyle before = m_test->style.text();
        const QFont fontBefore = countdown()->Label2->font();
        DisplayWindow* w = showWindows();
        CommonDialog1::scriptNextAnswer(Answer::cancel());
        if (fontDialog)
            w->Command3_Click();
        else
            w->Command4_Click();
        QCOMPARE(m_test->style.text(), before);
        QCOMPARE(countdown()->Label2->font(), fontBefore);
        QCOMPARE(countdown()->Label2->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QVERIFY(m_test->registry.isLoaded("frmWindows"));
        // The component keeps its values: a cancelled dialog chose nothing.
        QCOMPARE(w->commonDialog1().Color, 0u);
        QCOMPARE(w->commonDialog1().FontName, QString());
    }

    void resetGivesTheDefaultsCentredForThisRunOnly() {
        m_test->settings().writeText("frmWindows", "Width", "7500");
        m_test->settings().writeText("frmWindows", "Height", "4500");
        m_test->settings().writeText("frmWindows", "Top", "750");
        m_test->settings().writeText("frmWindows", "Left", "1500");
        reloadCountdown();
        m_test->style.setText({.fontName = QStringLiteral("黑体"),
                               .fontSize = 30,
                               .bold = true,
                               .italic = true,
                               .underline = true,
                               .strikethru = true,
                               .foreColor = m_test->style.text().foreColor});
        m_test->style.setForeColor(0x0000FF);
        DisplayWindow* w = showWindows();
        QTest::mouseClick(w->Command5, Qt::LeftButton);

        QVERIFY(!m_test->registry.isLoaded("frmWindows"));
        CountdownWindow* main = countdown();
        QVERIFY(main && main->isVisible());
        for (QLabel* label : {main->Label1, main->Label2, main->Label3}) {
            const QFont font = label->font();
            QCOMPARE(font.family(), QStringLiteral("楷体"));
            QCOMPARE(font.pointSizeF(), 15.0);
            QVERIFY(!font.bold() && !font.italic() && !font.underline() && !font.strikeOut());
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
        }
        // Centred at the design size.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(main->size(), QSize(403, 200));
        QVERIFY(qAbs(main->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(main->geometry().center().y() - screen.center().y()) <= 1);
        // The countdown's unload stored the reset style; the rectangle is untouched.
        QCOMPARE(m_test->settings().readText("frmMain", "FontName", ""), QStringLiteral("楷体"));
        QCOMPARE(m_test->settings().readText("frmMain", "ForeColor", ""), QStringLiteral("0"));
        QCOMPARE(m_test->settings().readText("frmMain", "FontBold", ""), QStringLiteral("False"));
        QCOMPARE(storedRect(), (QStringList{"7500", "4500", "750", "1500"}));

        // The next start uses the stored rectangle again.
        reloadCountdown();
        QCOMPARE(countdown()->geometry(), QRect(100, 50, 500, 300));
    }

    void resetNeverLosesTheReminderSettings_data() {
        QTest::addColumn<QByteArray>("reminder");   // "settings.ini", or absent
        QTest::addColumn<QByteArray>("oldMarker");  // a "setting.ini" left behind, or absent
        QTest::addColumn<QByteArray>("afterwards"); // "settings.ini" once the countdown loaded
        const QByteArray gbk("\xcc\xe1\xd0\xd1\r\n\xb8\xc3\xd1\xa7\xcf\xb0\xc1\xcb\r\n30\r\n");
        const QByteArray older("old\r\nold\r\n5\r\n");
        const QByteArray absent;
        QTest::newRow("settings.ini present") << gbk << absent << gbk;
        QTest::newRow("no settings.ini") << absent << absent << absent;
        QTest::newRow("empty settings.ini") << QByteArray("") << absent << QByteArray("");
        QTest::newRow("both names, settings.ini newer") << gbk << older << gbk;
    }
    void resetNeverLosesTheReminderSettings() {
        QFETCH(QByteArray, reminder);
        QFETCH(QByteArray, oldMarker);
        QFETCH(QByteArray, afterwards);
        const QString settingsIni = m_test->paths().dataFile("settings.ini");
        const QString settingIni = m_test->paths().dataFile("setting.ini");
        const QDateTime past = QDateTime::currentDateTime().addDays(-2);
        if (!oldMarker.isNull()) {
            writeBytes(settingIni, oldMarker);
            QFile marker(settingIni);
            QVERIFY(marker.open(QIODevice::ReadWrite));
            QVERIFY(marker.setFileTime(past, QFileDevice::FileModificationTime));
        }
        if (!reminder.isNull())
            writeBytes(settingsIni, reminder);

        DisplayWindow* w = showWindows();
        w->Command5_Click();

        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QVERIFY(!QFile::exists(settingIni));
        if (afterwards.isNull())
            QVERIFY(!QFile::exists(settingsIni));
        else
            QCOMPARE(readBytes(settingsIni), afterwards);
        // Centred, whichever way the marker went.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(countdown()->geometry().center().x() - screen.center().x()) <= 1);
    }

    void resetWithoutAPossibleMarkerSaysSoAndGoesOn() {
        // A folder under the marker's name: no rename or marker file can be made.
        const QString settingsIni = m_test->paths().dataFile("settings.ini");
        QVERIFY(QDir(m_test->paths().dataDir()).mkdir("setting.ini"));
        writeBytes(settingsIni, "title\r\nmessage\r\n10\r\n");
        m_test->style.setForeColor(0x0000FF);
        DisplayWindow* w = showWindows();
        w->Command5_Click();
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(readBytes(settingsIni), QByteArray("title\r\nmessage\r\n10\r\n"));
        // The rest of the reset was done.
        QVERIFY(!m_test->registry.isLoaded("frmWindows"));
        QCOMPARE(countdown()->Label1->palette().color(QPalette::WindowText), QColor(Qt::black));
    }

    void bodyAndTextsDragTheWindow_data() {
        QTest::addColumn<QString>("surface");
        QTest::newRow("window") << "frmWindows";
        QTest::newRow("Label1") << "Label1";
    }
    void bodyAndTextsDragTheWindow() {
        QFETCH(QString, surface);
        DisplayWindow* w = showWindows();
        w->Command2_Click();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QWidget* pressed = surface == w->objectName() ? w : w->findChild<QWidget*>(surface);
        QVERIFY(pressed && pressed->isVisible());
        // A point of the surface that no other control covers.
        const QPoint at = pressed == w ? QPoint(5, 5) : QPoint(3, 3);
        const QPoint start = w->pos();
        QCursor::setPos(pressed->mapToGlobal(at));
        QTest::mousePress(pressed, Qt::LeftButton, {}, at);
        QTest::mouseMove(pressed, at + QPoint(40, 30));
        QTest::mouseRelease(pressed, Qt::LeftButton, {}, at + QPoint(40, 30));
        QTRY_COMPARE(w->pos(), start + QPoint(40, 30));
    }

    // The dialogs themselves, answered by the test as soon as they are up.
    void realFontDialogCarriesTheColour_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("OK") << true;
        QTest::newRow("cancel") << false;
    }
    void realFontDialogCarriesTheColour() {
        QFETCH(bool, accept);
        CommonDialog1 dialog;
        dialog.CancelError = true;
        dialog.Flags = 0x103;
        dialog.FontName = QStringLiteral("楷体");
        dialog.FontSize = 18;
        dialog.Color = 0x123456; // none of the sixteen: offered as its own entry
        int offered = 0;
        QString firstName;
        answerModalDialog([&](QDialog* shown) {
            auto* fontDialog = qobject_cast<QFontDialog*>(shown);
            QVERIFY(fontDialog);
            QCOMPARE(fontDialog->currentFont().pointSizeF(), 18.0);
            auto* colours = fontDialog->findChild<QComboBox*>("fontColor");
            QVERIFY(colours && colours->isVisibleTo(fontDialog));
            offered = colours->count();
            firstName = colours->itemText(0);
            QCOMPARE(colours->currentData().value<quint32>(), 0x123456u);
            colours->setCurrentIndex(colours->findText(QStringLiteral("红色")));
            if (accept)
                fontDialog->accept();
            else
                fontDialog->reject();
        });
        QCOMPARE(dialog.ShowFont(), accept);
        QCOMPARE(offered, 17);
        QCOMPARE(firstName, QStringLiteral("黑色"));
        QCOMPARE(dialog.Color, accept ? 0x0000FFu : 0x123456u);
        QCOMPARE(dialog.FontSize, 18.0);
        QVERIFY(CommonDialog1::shownDialogs().isEmpty()); // shown for real, not scripted
    }

    void realColourDialogStartsFromTheColour() {
        CommonDialog1 dialog;
        dialog.CancelError = true;
        dialog.Flags = 0x103;
        dialog.Color = 0x0000FF;
        QColor startedWith;
        answerModalDialog([&](QDialog* shown) {
            auto* colourDialog = qobject_cast<QColorDialog*>(shown);
            QVERIFY(colourDialog);
            startedWith = colourDialog->currentColor();
            colourDialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
            colourDialog->accept();
        });
        QVERIFY(dialog.ShowColor());
        QCOMPARE(startedWith, QColor(Qt::red));
        QCOMPARE(dialog.Color, 0x563412u);
    }

private:
    // Runs answer on the next modal dialog once it is shown (the dialog's own loop runs it).
    template <typename F> void answerModalDialog(F answer) {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, answer] {
            auto* shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!shown || !shown->isVisible())
                return;
            poll->deleteLater();
            poll->stop();
            answer(shown);
            // A failed check above returned early: do not leave the dialog waiting.
            if (shown->isVisible())
                shown->reject();
        });
        poll->start(10);
    }

    DisplayWindow* showWindows() {
        auto* w = qobject_cast<DisplayWindow*>(m_test->registry.show("frmWindows"));
        if (!w)
            qFatal("frmWindows did not load");
        return w;
    }
    CountdownWindow* countdown() {
        return qobject_cast<CountdownWindow*>(m_test->registry.form("frmMain"));
    }
    void reloadCountdown() {
        QVERIFY(m_test->registry.unload("frmMain"));
        QVERIFY(m_test->registry.show("frmMain"));
    }
    QStringList twipsOf(const QRect& pixels) {
        return {QString::number(twips::fromPixelsX(pixels.width())),
                QString::number(twips::fromPixelsY(pixels.height())),
                QString::number(twips::fromPixelsY(pixels.top())),
                QString::number(twips::fromPixelsX(pixels.left()))};
    }
    QStringList storedRect() {
        QStringList values;
        for (const char* key : {"Width", "Height", "Top", "Left"})
            values << m_test->settings().readText("frmWindows", key, "absent");
        return values;
    }
    static QStringList visibleControls(const QWidget* w) {
        QStringList names;
        for (const QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisibleTo(w))
                names << child->objectName();
        }
        names.sort();
        return names;
    }

    std::unique_ptr<TestContext> m_test;
};

QTEST_MAIN(TestDisplayWindow)
#include "tst_display_window.moc"
