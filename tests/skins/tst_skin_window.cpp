// frmSkins with the real countdown and about windows and the real skin engine, in a temporary
// program folder.
#include "about/about_window.h"
#include "app/countdown_window.h"
#include "forms/design_font.h"
#include "forms/message_box.h"
#include "skins/skin_window.h"
#include "skins/style_sheet_skin.h"
#include "test_context.h"
#include "winutil/twips.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

// A window that only records its unload, or refuses it as "附加功能" does.
class StubForm : public Form {
    Q_OBJECT
public:
    StubForm(AppContext& context, const QString& name, QStringList& log, bool refuse = false)
        : Form(context, name), m_log(log), m_refuse(refuse) {}
    void Form_Unload(bool& cancel) override {
        m_log << formName();
        cancel = m_refuse;
        if (m_refuse)
            hide();
    }

private:
    QStringList& m_log;
    bool m_refuse;
};

QRgb sample(QWidget* widget, const QPoint& at) {
    return widget->grab().toImage().pixel(at);
}

} // namespace

class TestSkinWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installFontSubstitutions();
        MessageBox::setAnswerAll(true);
    }

    void init() {
        MessageBox::clearShownBoxes();
        m_unloads.clear();
        m_test = std::make_unique<TestContext>();
        m_test->context.skin.setEngine(std::make_unique<StyleSheetSkinEngine>());
        m_builtIn = m_test->path("program/skins");
        m_user = m_test->path("user/skins");
        QVERIFY(QDir().mkpath(m_builtIn));
        QVERIFY(QDir().mkpath(m_user));
        const QString shipped = qEnvironmentVariable("DALVENOR_SOURCE_DIR") + "/data/skins/";
        for (const char* name : {"skinh.she", "itunes.she", "office2007.she", "QQ2008.she"})
            QVERIFY(QFile::copy(shipped + name, m_builtIn + '/' + QLatin1String(name)));

        WindowRegistry& registry = m_test->registry;
        registry.registerForm("frmSkins", [this] {
            return new SkinWindow(m_test->context, SkinFolders(m_builtIn, m_user));
        });
        registry.registerForm("frmMain", [this] { return new CountdownWindow(m_test->context); });
        registry.registerForm("frmAbout", [this] { return new AboutWindow(m_test->context); });
        registry.registerForm(
            "frmTray", [this] { return new StubForm(m_test->context, "frmTray", m_unloads); });
        registry.registerForm("frmAddins", [this] {
            return new StubForm(m_test->context, "frmAddins", m_unloads, m_addinsRefuses);
        });
        registry.registerForm("frmCaution", [this] {
            return new StubForm(m_test->context, "frmCaution", m_unloads);
        });
        registry.registerForm("frmWindows", [this] {
            return new StubForm(m_test->context, "frmWindows", m_unloads);
        });
        registry.show("frmMain");
    }

    void cleanup() {
        m_test.reset();
        m_addinsRefuses = false;
    }

    void windowAsDesigned() {
        SkinWindow* skins = showSkins();
        QCOMPARE(skins->windowTitle(), "皮肤管理器");
        QCOMPARE(skins->size(), QSize(twips::toPixelsX(5820), twips::toPixelsY(3930)));
        QCOMPARE(skins->minimumSize(), skins->maximumSize());
        QVERIFY(skins->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!skins->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        const QStringList captions = {skins->Command1->text(), skins->Command2->text(),
                                      skins->Command3->text(), skins->Command4->text(),
                                      skins->Command5->text(), skins->Command6->text()};
        QCOMPARE(captions, (QStringList{"默认", "itunes", "office2007", "QQ2008", "使用此皮肤",
                                        "不使用皮肤"}));
        QCOMPARE(skins->Label1->text(), "基本皮肤");
        QCOMPARE(skins->Label2->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(skins->Label2->font().pointSizeF(), 15.0);
        QCOMPARE(skins->Command6->geometry(), twips::toPixels(3840, 3120, 1215, 495));
        QCOMPARE(skins->File1->geometry(), twips::toPixels(3840, 720, 1215, 1170));
        // Tab order: the four built-ins, the list, then the two commands.
        QWidget* expected[] = {skins->Command2, skins->Command3, skins->Command4,
                               skins->File1,    skins->Command5, skins->Command6};
        QWidget* at = skins->Command1;
        for (QWidget* next : expected) {
            at = at->nextInFocusChain();
            while (at->focusPolicy() == Qt::NoFocus)
                at = at->nextInFocusChain();
            QCOMPARE(at, next);
        }
    }

    void useWithNothingSelectedCopiesNothing() {
        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command5, Qt::LeftButton);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes().first().text, "请先选择一款皮肤。");
        QCOMPARE(MessageBox::shownBoxes().first().title, "提示");
        QCOMPARE(MessageBox::shownBoxes().first().icon, QMessageBox::Information);
        QVERIFY(!QFile::exists(activeSkin()));
    }

    void choosingASkinReplacesTheActiveOneWithoutRestart() {
        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command2, Qt::LeftButton);
        QCOMPARE(readFile(activeSkin()), readFile(m_builtIn + "/itunes.she"));
        QPointer<Form> countdown = m_test->registry.form("frmMain");
        QTest::mouseClick(skins->Command4, Qt::LeftButton);
        QCOMPARE(readFile(activeSkin()), readFile(m_builtIn + "/QQ2008.she"));
        // The countdown was reloaded, which attached the new skin; the manager stayed open.
        QVERIFY(m_test->registry.form("frmMain") != countdown);
        QCOMPARE(skins->styleSheet(), QString::fromUtf8(readFile(m_builtIn + "/QQ2008.she")));
        QCOMPARE(m_test->registry.form("frmSkins"), skins);
        QVERIFY(skins->isVisible());
        QVERIFY(m_test->program.requests.isEmpty());
        QVERIFY(MessageBox::shownBoxes().isEmpty());
    }

    void skinChangesOtherWindowsButNotTheCountdown() {
        Form* about = m_test->registry.show("frmAbout");
        QVERIFY(QTest::qWaitForWindowExposed(about));
        auto* ok = about->findChild<QPushButton*>("cmdOK");
        const QPoint inside(4, ok->height() / 2);
        const QRgb plain = sample(ok, inside);
        const auto* countdown = qobject_cast<CountdownWindow*>(m_test->registry.form("frmMain"));
        const QFont font = countdown->Label2->font();
        const QColor colour = countdown->Label2->palette().color(QPalette::WindowText);

        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command3, Qt::LeftButton);
        const QRgb skinned = sample(ok, inside);
        QVERIFY(skinned != plain);

        const auto* reloaded = qobject_cast<CountdownWindow*>(m_test->registry.form("frmMain"));
        QVERIFY(reloaded && reloaded != countdown);
        QVERIFY(reloaded->styleSheet().isEmpty());
        for (const QLabel* label : {reloaded->Label1, reloaded->Label2, reloaded->Label3}) {
            // The third line holds the message about the missing tips file, shrunk to fit.
            if (label != reloaded->Label3)
                QCOMPARE(label->font(), font);
            QCOMPARE(label->font().family(), font.family());
            QCOMPARE(label->palette().color(QPalette::WindowText), colour);
        }
        // A window opened afterwards is skinned as well.
        m_test->registry.unload("frmAbout");
        Form* later = m_test->registry.show("frmAbout");
        QVERIFY(QTest::qWaitForWindowExposed(later));
        QCOMPARE(sample(later->findChild<QPushButton*>("cmdOK"), inside), skinned);
    }

    void unusableSkinChangesNothingAndSaysSo() {
        writeFile(m_user + "/broken.she", "QPushButton { color: ");
        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command1, Qt::LeftButton);
        const QByteArray inUse = readFile(activeSkin());
        const QString sheet = skins->styleSheet();
        QVERIFY(!sheet.isEmpty());
        QPointer<Form> countdown = m_test->registry.form("frmMain");

        selectSkin(skins, "broken.she");
        QTest::mouseClick(skins->Command5, Qt::LeftButton);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QVERIFY(MessageBox::shownBoxes().first().text.contains("该皮肤文件无法使用"));
        QVERIFY(MessageBox::shownBoxes().first().text.contains("broken.she"));
        QCOMPARE(readFile(activeSkin()), inUse);
        QCOMPARE(skins->styleSheet(), sheet);
        QCOMPARE(m_test->registry.form("frmMain"), countdown.data());
    }

    // A skin that names a FIFO, or would hide text, is refused before any window gets it: the
    // skin in use stays, byte for byte and on the windows, and the message says which file
    // and why.
    void hostileSkinIsRefusedAndTheActiveOneStays_data() {
        QTest::addColumn<QString>("sheet"); // %1: a FIFO
        QTest::addColumn<QString>("reason");
        QTest::newRow("image is a FIFO") << "QPushButton { image: url(%1); }"
                                         << "不是普通文件";
        QTest::newRow("icon is a FIFO") << "QMenu::right-arrow { image: url('%1') }"
                                        << "不是普通文件";
        QTest::newRow("same colour") << "QPushButton { color: #eee; background: #eeeeee; }"
                                     << "相同";
        QTest::newRow("400 pt") << "* { font-size: 400pt; }"
                                << "字号";
    }
    void hostileSkinIsRefusedAndTheActiveOneStays() {
        QFETCH(QString, sheet);
        QFETCH(QString, reason);
        const QString fifo = m_test->path("hole.png");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        writeFile(m_user + "/hostile.she",
                  (sheet.contains("%1") ? sheet.arg(fifo) : sheet).toUtf8());
        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command3, Qt::LeftButton);
        const QByteArray inUse = readFile(activeSkin());
        QVERIFY(!inUse.isEmpty());
        const QString applied = skins->styleSheet();
        QPointer<Form> countdown = m_test->registry.form("frmMain");

        selectSkin(skins, "hostile.she");
        QTest::mouseClick(skins->Command5, Qt::LeftButton);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        const QString told = MessageBox::shownBoxes().first().text;
        QVERIFY2(told.contains("hostile.she") && told.contains(reason), qPrintable(told));
        QCOMPARE(readFile(activeSkin()), inUse);
        QCOMPARE(skins->styleSheet(), applied);
        QCOMPARE(m_test->registry.form("frmMain"), countdown.data());
        QVERIFY(!skins->grab().isNull());
    }

    // A preview is shown only from a regular file of a picture's size; a FIFO in its place
    // leaves the box empty instead of hanging the window.
    void previewsAreReadOnlyFromSmallRegularFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("shown");
        QTest::newRow("picture") << "png" << true;
        QTest::newRow("fifo") << "fifo" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("link to /dev/zero") << "zero" << false;
        QTest::newRow("missing") << "none" << false;
    }
    void previewsAreReadOnlyFromSmallRegularFiles() {
        QFETCH(QString, kind);
        QFETCH(bool, shown);
        const QString preview = m_builtIn + "/previews/itunes.png";
        QVERIFY(QDir().mkpath(m_builtIn + "/previews"));
        if (kind == "png") {
            QImage image(80, 52, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QVERIFY(image.save(preview, "PNG"));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(preview).constData(), 0600), 0);
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(preview));
        } else if (kind == "zero") {
            QVERIFY(QFile::link("/dev/zero", preview));
        }
        SkinWindow* skins = showSkins();
        const QPixmap pixmap = skins->Picture2->pixmap();
        QCOMPARE(!pixmap.isNull(), shown);
        if (shown)
            QCOMPARE(pixmap.toImage().pixelColor(40, 26), QColor(Qt::darkCyan));
    }

    void missingBuiltInIsReported() {
        QVERIFY(QFile::remove(m_builtIn + "/itunes.she"));
        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command2, Qt::LeftButton);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QVERIFY(MessageBox::shownBoxes().first().text.contains("itunes.she"));
        QVERIFY(!QFile::exists(activeSkin()));
    }

    void listedNameResolvesToItsFolder() {
        writeFile(m_user + "/mine.she", "QPushButton { color: #123456; }");
        SkinWindow* skins = showSkins();
        selectSkin(skins, "mine.she");
        QTest::mouseClick(skins->Command5, Qt::LeftButton);
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QCOMPARE(readFile(activeSkin()), QByteArray("QPushButton { color: #123456; }"));
        QCOMPARE(skins->Command1->palette().color(QPalette::ButtonText), QColor(0x12, 0x34, 0x56));
    }

    void listIsReadOnceAtLoad() {
        SkinWindow* skins = showSkins();
        const QStringList builtIns = {"itunes.she", "office2007.she", "QQ2008.she", "skinh.she"};
        QCOMPARE(listed(skins), builtIns);
        writeFile(m_user + "/added.she", "QPushButton {}");
        QCOMPARE(listed(skins), builtIns);
        m_test->registry.unload("frmSkins");
        skins = showSkins();
        QCOMPARE(listed(skins), builtIns + QStringList{"added.she"});
    }

    void removeWithoutSkinClosesNothing() {
        SkinWindow* skins = showSkins();
        m_test->registry.show("frmAbout");
        QTest::mouseClick(skins->Command6, Qt::LeftButton);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes().first().text, "您当前没有使用皮肤。");
        QCOMPARE(MessageBox::shownBoxes().first().title, "提示");
        QCOMPARE(MessageBox::shownBoxes().first().icon, QMessageBox::Information);
        for (const char* name : {"frmMain", "frmAbout", "frmSkins"})
            QVERIFY2(m_test->registry.isLoaded(name), name);
        QVERIFY(!skins->RestartPending);
        QVERIFY(m_test->program.requests.isEmpty());
    }

    void removeUnloadsEveryWindowAndRestarts_data() {
        QTest::addColumn<bool>("addinsRefuses");
        QTest::addColumn<bool>("restartWorks");
        QTest::newRow("every window unloads") << false << true;
        QTest::newRow("附加功能 only hides itself") << true << true;
        QTest::newRow("restart fails") << false << false;
    }
    void removeUnloadsEveryWindowAndRestarts() {
        QFETCH(bool, addinsRefuses);
        QFETCH(bool, restartWorks);
        m_addinsRefuses = addinsRefuses;
        m_test->program.restartSucceeds = restartWorks;
        for (const char* name : {"frmTray", "frmAddins", "frmCaution", "frmWindows"})
            m_test->registry.show(name);
        SkinWindow* skins = showSkins();
        QTest::mouseClick(skins->Command1, Qt::LeftButton);
        QVERIFY(QFile::exists(activeSkin()));
        m_unloads.clear();
        m_test->style.setForeColor(255);

        QTest::mouseClick(skins->Command6, Qt::LeftButton);
        QVERIFY(!QFile::exists(activeSkin()));
        QVERIFY(skins->RestartPending);
        QCOMPARE(m_unloads, (QStringList{"frmAddins", "frmCaution", "frmTray", "frmWindows"}));
        for (const char* name : {"frmMain", "frmTray", "frmCaution", "frmWindows", "frmSkins"})
            QVERIFY2(!m_test->registry.isLoaded(name), name);
        QCOMPARE(m_test->registry.isLoaded("frmAddins"), addinsRefuses);
        // The restart is asked for by the manager's unload, then the process ends, whatever
        // happened to either.
        QCOMPARE(m_test->program.requests, (QStringList{"restart", "exit"}));
        QCOMPARE(MessageBox::shownBoxes().size(), restartWorks ? 0 : 1);
        // The countdown stored its style on the way.
        QCOMPARE(m_test->settings().readText("frmMain", "ForeColor", QString()), "255");
    }

    void closingTheWindowDoesNotRestart() {
        SkinWindow* skins = showSkins();
        skins->close();
        QVERIFY(!m_test->registry.isLoaded("frmSkins"));
        QVERIFY(m_test->program.requests.isEmpty());
    }

    void surfacesDragTheWindow_data() {
        QTest::addColumn<QString>("surface");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("drags");
        QTest::newRow("background") << "frmSkins" << int(Qt::LeftButton) << true;
        QTest::newRow("background, right button") << "frmSkins" << int(Qt::RightButton) << true;
        for (const char* name :
             {"Label1", "Label2", "Picture1", "Picture2", "Picture3", "Picture4"})
            QTest::newRow(name) << QString::fromLatin1(name) << int(Qt::LeftButton) << true;
        QTest::newRow("preview, middle button") << "Picture3" << int(Qt::MiddleButton) << true;
        QTest::newRow("button") << "Command1" << int(Qt::LeftButton) << false;
        QTest::newRow("list") << "File1" << int(Qt::LeftButton) << false;
    }
    void surfacesDragTheWindow() {
        QFETCH(QString, surface);
        QFETCH(int, button);
        QFETCH(bool, drags);
        SkinWindow* skins = showSkins();
        QWidget* target = surface == "frmSkins" ? skins : skins->findChild<QWidget*>(surface);
        QVERIFY(target);
        if (auto* list = qobject_cast<QListWidget*>(target))
            target = list->viewport();
        const QPoint start = skins->pos();
        const QPoint local(3, 3);
        const QPoint grab = target->mapToGlobal(local);
        QCursor::setPos(grab);
        const auto pressed = Qt::MouseButton(button);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(local), QPointF(grab), pressed, pressed,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
        const QPoint delta(-30, 20);
        QMouseEvent move(QEvent::MouseMove, QPointF(local + delta), QPointF(grab + delta),
                         Qt::NoButton, pressed, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(local + delta),
                            QPointF(grab + delta), pressed, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &release);
        if (drags) {
            QTRY_COMPARE_WITH_TIMEOUT(skins->pos(), start + delta, 5000);
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(skins->pos(), start);
        }
    }

private:
    SkinWindow* showSkins() {
        auto* skins = qobject_cast<SkinWindow*>(m_test->registry.show("frmSkins"));
        if (skins && !QTest::qWaitForWindowExposed(skins))
            qWarning("frmSkins was not exposed");
        return skins;
    }
    QString activeSkin() const { return m_test->context.skin.activeSkinFile(); }
    static QStringList listed(SkinWindow* skins) {
        QStringList names;
        for (int i = 0; i < skins->File1->count(); ++i)
            names << skins->File1->item(i)->text();
        return names;
    }
    static void selectSkin(SkinWindow* skins, const QString& name) {
        const QList<QListWidgetItem*> found = skins->File1->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        const QRect at = skins->File1->visualItemRect(found.first());
        skins->File1->scrollToItem(found.first());
        QTest::mouseClick(skins->File1->viewport(), Qt::LeftButton, {},
                          skins->File1->visualItemRect(found.first()).center());
        Q_UNUSED(at)
        QCOMPARE(skins->selectedSkin().section('/', -1), name);
    }

    std::unique_ptr<TestContext> m_test;
    QString m_builtIn;
    QString m_user;
    QStringList m_unloads;
    bool m_addinsRefuses = false;
};

QTEST_MAIN(TestSkinWindow)
#include "tst_skin_window.moc"
