#include "about/about_window.h"
#include "test_context.h"
#include "winutil/twips.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

// Stands in for frmTray, whose icon the about window copies.
class IconCarrier : public Form {
    Q_OBJECT
public:
    IconCarrier(AppContext& context, const QIcon& icon) : Form(context, QStringLiteral("frmTray")) {
        setWindowIcon(icon);
    }
};

QIcon distinctIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(QColor(1, 2, 3));
    return QIcon(pixmap);
}

QColor textColour(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class TstAboutWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void textsAfterLoad();
    void descriptionHasOneBlankLineBetweenParagraphs();
    void coloursOfTheLabels_data();
    void coloursOfTheLabels();
    void geometryInTwips_data();
    void geometryInTwips();
    void fixedDialogCentredWithoutMinMax();
    void takesTheTrayIcon();
    void linkHoverTurnsRedWithHandAndBackToBlue();
    void linkStaysRedWhenLeavingOverAnotherLabel();
    void keysClose_data();
    void keysClose();
    void surfacesDragTheWindow_data();
    void surfacesDragTheWindow();
    void clickOnLinkOpensPage();
    void releaseOutsideLinkOpensNothing();

private:
    AboutWindow* showAbout();

    std::unique_ptr<TestContext> m_test;
    QList<QUrl> m_opened;
};

void TstAboutWindow::init() {
    m_test = std::make_unique<TestContext>();
    m_opened.clear();
    m_test->registry.registerForm(QStringLiteral("frmAbout"), [this] {
        return new AboutWindow(m_test->context, [this](const QUrl& url) { m_opened << url; });
    });
}

void TstAboutWindow::cleanup() {
    m_test.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

AboutWindow* TstAboutWindow::showAbout() {
    auto* about = qobject_cast<AboutWindow*>(m_test->registry.show(QStringLiteral("frmAbout")));
    if (about && !QTest::qWaitForWindowExposed(about))
        return nullptr;
    return about;
}

void TstAboutWindow::textsAfterLoad() {
    AboutWindow* about = showAbout();
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("关于 Dalvenor"));
    QCOMPARE(about->lblTitle->text(), QStringLiteral("Dalvenor"));
    QCOMPARE(about->lblVersion->text(), QStringLiteral("版本：1.2 Beta"));
    QCOMPARE(about->Label1->text(), QStringLiteral("作者BLOG："));
    QCOMPARE(about->cmdOK->text(), QStringLiteral("确定"));
    // The link shows the address itself, underlined, and sizes itself to it.
    QCOMPARE(about->Label2->text(), AboutWindow::authorPage());
    QVERIFY(QUrl(AboutWindow::authorPage()).isValid());
    QVERIFY(about->Label2->font().underline());
    QVERIFY(about->Label2->width() >=
            about->Label2->fontMetrics().horizontalAdvance(about->Label2->text()));
    QVERIFY(!about->lblDisclaimer->text().isEmpty());
    QVERIFY(!about->picIcon->pixmap().isNull());
    QCOMPARE(about->picIcon->size(), QSize(50, 50));
}

void TstAboutWindow::descriptionHasOneBlankLineBetweenParagraphs() {
    AboutWindow* about = showAbout();
    const QStringList lines = about->lblDescription->text().split(u'\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0),
             QStringLiteral("此软件由Tesmar制作，Tesmar也是一名高三学生，特意制作了这款软件以"
                            "提醒高考的临近，祝广大高三学子在高考中都能取得好成绩。"));
    QVERIFY(lines.at(1).isEmpty());
    QCOMPARE(lines.at(2), QStringLiteral("因为自己能力有限，软件若有什么BUG，欢迎告诉我。"));
}

void TstAboutWindow::coloursOfTheLabels_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("title red") << "lblTitle" << QColor(255, 0, 0);
    QTest::newRow("version magenta") << "lblVersion" << QColor(255, 0, 255);
    QTest::newRow("description green") << "lblDescription" << QColor(0, 128, 0);
    QTest::newRow("blog dark green") << "Label1" << QColor(0, 64, 0);
    QTest::newRow("link blue") << "Label2" << QColor(0, 0, 255);
}

void TstAboutWindow::coloursOfTheLabels() {
    QFETCH(QString, name);
    QFETCH(QColor, colour);
    AboutWindow* about = showAbout();
    auto* label = about->findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(textColour(label), colour);
    // And really drawn so: some pixel of the label is exactly that colour.
    const QImage image = label->grab().toImage();
    bool found = false;
    for (int y = 0; y < image.height() && !found; ++y) {
        for (int x = 0; x < image.width() && !found; ++x)
            found = QColor(image.pixel(x, y)) == colour;
    }
    QVERIFY(found);
}

void TstAboutWindow::geometryInTwips_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twipsRect");
    QTest::newRow("lblTitle") << "lblTitle" << QRect(1200, 240, 3885, 360);
    QTest::newRow("lblVersion") << "lblVersion" << QRect(1200, 720, 3885, 225);
    QTest::newRow("lblDescription") << "lblDescription" << QRect(1200, 1080, 3885, 1290);
    QTest::newRow("Label1") << "Label1" << QRect(360, 3120, 975, 255);
    QTest::newRow("cmdOK") << "cmdOK" << QRect(4200, 2880, 1260, 345);
}

void TstAboutWindow::geometryInTwips() {
    QFETCH(QString, name);
    QFETCH(QRect, twipsRect);
    AboutWindow* about = showAbout();
    auto* widget = about->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), twips::toPixels(twipsRect.x(), twipsRect.y(), twipsRect.width(),
                                                 twipsRect.height(), about));
    // The separator: grey above, white below, between the description and the notice.
    auto* grey = about->findChild<QFrame*>(QStringLiteral("Line1(1)"));
    auto* white = about->findChild<QFrame*>(QStringLiteral("Line1(0)"));
    QVERIFY(grey && white);
    QCOMPARE(grey->y(), twips::toPixelsY(2445, about));
    QCOMPARE(white->y(), twips::toPixelsY(2460, about));
    QCOMPARE(white->height(), 2);
    QVERIFY(about->lblDisclaimer->y() > white->geometry().bottom());
    QVERIFY(about->lblDisclaimer->geometry().right() < about->cmdOK->x());
    QVERIFY(about->lblDisclaimer->geometry().bottom() < about->Label1->y());
}

void TstAboutWindow::fixedDialogCentredWithoutMinMax() {
    AboutWindow* about = showAbout();
    const QSize client(twips::toPixelsX(5715, about), twips::toPixelsY(3435, about));
    QCOMPARE(about->size(), client);
    QCOMPARE(about->minimumSize(), client);
    QCOMPARE(about->maximumSize(), client);
    const Qt::WindowFlags flags = about->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(about->cmdOK->isDefault());
    const QPoint centre = about->screen()->availableGeometry().center();
    QVERIFY(qAbs(about->frameGeometry().center().x() - centre.x()) <= 1);
    QVERIFY(qAbs(about->frameGeometry().center().y() - centre.y()) <= 1);
}

void TstAboutWindow::takesTheTrayIcon() {
    const QIcon icon = distinctIcon();
    m_test->registry.registerForm(QStringLiteral("frmTray"),
                                  [this, icon] { return new IconCarrier(m_test->context, icon); });
    m_test->registry.load(QStringLiteral("frmTray"));
    AboutWindow* about = showAbout();
    QCOMPARE(about->windowIcon().cacheKey(), icon.cacheKey());
}

void TstAboutWindow::linkHoverTurnsRedWithHandAndBackToBlue() {
    AboutWindow* about = showAbout();
    QTest::mouseMove(about->Label2, QPoint(3, 3));
    QCOMPARE(textColour(about->Label2), QColor(255, 0, 0));
    QCOMPARE(about->Label2->cursor().shape(), Qt::PointingHandCursor);
    // Over the bare background to the right of the title.
    QTest::mouseMove(about, QPoint(about->width() - 3, 3));
    QCOMPARE(textColour(about->Label2), QColor(0, 0, 255));
    QCOMPARE(about->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(about->Label2, QPoint(5, 4));
    QCOMPARE(textColour(about->Label2), QColor(255, 0, 0));
}

void TstAboutWindow::linkStaysRedWhenLeavingOverAnotherLabel() {
    AboutWindow* about = showAbout();
    QTest::mouseMove(about->Label2, QPoint(3, 3));
    QCOMPARE(textColour(about->Label2), QColor(255, 0, 0));
    QTest::mouseMove(about->Label1, QPoint(3, 3));
    QCOMPARE(textColour(about->Label2), QColor(255, 0, 0));
    QTest::mouseMove(about->cmdOK, QPoint(3, 3));
    QCOMPARE(textColour(about->Label2), QColor(255, 0, 0));
}

void TstAboutWindow::keysClose_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("onButton");
    QTest::newRow("Enter on the window") << int(Qt::Key_Return) << false;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << false;
    QTest::newRow("Esc on the window") << int(Qt::Key_Escape) << false;
    QTest::newRow("Enter on the button") << int(Qt::Key_Return) << true;
    QTest::newRow("Esc on the button") << int(Qt::Key_Escape) << true;
}

void TstAboutWindow::keysClose() {
    QFETCH(int, key);
    QFETCH(bool, onButton);
    AboutWindow* about = showAbout();
    QTest::keyClick(onButton ? static_cast<QWidget*>(about->cmdOK) : about, Qt::Key(key));
    QVERIFY(!m_test->registry.isLoaded(QStringLiteral("frmAbout")));
    QVERIFY(about->isHidden());
}

void TstAboutWindow::surfacesDragTheWindow_data() {
    QTest::addColumn<QString>("surface");
    QTest::addColumn<bool>("drags");
    for (const char* name : {"frmAbout", "lblTitle", "lblVersion", "lblDescription", "picIcon",
                             "lblDisclaimer", "Label1"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    QTest::newRow("separator lies on the window") << "Line1(0)" << true;
    QTest::newRow("link does not drag") << "Label2" << false;
}

void TstAboutWindow::surfacesDragTheWindow() {
    QFETCH(QString, surface);
    QFETCH(bool, drags);
    AboutWindow* about = showAbout();
    QWidget* target = surface == about->objectName() ? about : about->findChild<QWidget*>(surface);
    QVERIFY(target);
    const QPoint start = about->pos();
    const QPoint local(2, 1);
    // Presses on a line reach the window below it.
    QWidget* receiver = target->testAttribute(Qt::WA_TransparentForMouseEvents) ? about : target;
    const QPoint receiverLocal = receiver->mapFrom(about, target->mapTo(about, local));
    const QPoint grab = receiver->mapToGlobal(receiverLocal);
    QCursor::setPos(grab);
    sendMouse(receiver, QEvent::MouseButtonPress, receiverLocal, Qt::LeftButton, Qt::LeftButton);
    const QPoint delta(-40, 25);
    QMouseEvent move(QEvent::MouseMove, QPointF(receiverLocal + delta), QPointF(grab + delta),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &move);
    sendMouse(receiver, QEvent::MouseButtonRelease, receiverLocal + delta, Qt::LeftButton,
              Qt::NoButton);
    // A top-level move is confirmed by the window system through the event queue.
    if (drags) {
        QTRY_COMPARE_WITH_TIMEOUT(about->pos(), start + delta, 2000);
    } else {
        QCoreApplication::processEvents();
        QCOMPARE(about->pos(), start);
    }
}

void TstAboutWindow::clickOnLinkOpensPage() {
    AboutWindow* about = showAbout();
    QTest::mousePress(about->Label2, Qt::LeftButton, {}, QPoint(4, 4));
    QVERIFY(m_opened.isEmpty()); // on release, not on press
    QTest::mouseRelease(about->Label2, Qt::LeftButton, {}, QPoint(4, 4));
    QCOMPARE(m_opened, QList<QUrl>{QUrl(AboutWindow::authorPage())});
    QVERIFY(m_test->registry.isLoaded(QStringLiteral("frmAbout")));
}

void TstAboutWindow::releaseOutsideLinkOpensNothing() {
    AboutWindow* about = showAbout();
    QTest::mousePress(about->Label2, Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseRelease(about->Label2, Qt::LeftButton, {}, QPoint(-30, -30));
    QVERIFY(m_opened.isEmpty());
}

QTEST_MAIN(TstAboutWindow)
#include "tst_about_window.moc"
