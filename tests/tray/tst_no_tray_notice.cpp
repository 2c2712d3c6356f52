#include "fake_tray_host.h"
#include "forms/form.h"
#include "test_context.h"
#include "tray/no_tray_notice.h"
#include "tray/tray_presence.h"
#include "tray/tray_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTest>

namespace {

// Stands where the countdown would.
class CountdownStandIn : public Form {
    Q_OBJECT
public:
    explicit CountdownStandIn(AppContext& context) : Form(context, QStringLiteral("frmMain")) {}
    void Form_Load() override {}
    void Form_Unload(bool&) override {}
};

QList<QMessageBox*> notices() {
    QList<QMessageBox*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("noTrayNotice") && widget->isVisible())
            found << qobject_cast<QMessageBox*>(widget);
    return found;
}

} // namespace

class TstNoTrayNotice : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noticeStandsInACornerAwayFromTheCountdown_data();
    void noticeStandsInACornerAwayFromTheCountdown();
    void lateHostTakesTheNoticeAway();
    void noNoticeOnceAHostWasSeen();

private:
    void showCountdownAt(const QRect& rect);

    std::unique_ptr<TestContext> m_test;
    FakeTrayHost* m_host = nullptr;
    std::unique_ptr<TrayPresence> m_presence;
    std::unique_ptr<NoTrayNotice> m_notice;
};

void TstNoTrayNotice::init() {
    m_test = std::make_unique<TestContext>();
    m_test->registry.registerForm(QStringLiteral("frmMain"),
                                  [this] { return new CountdownStandIn(m_test->context); });
    auto host = std::make_unique<FakeTrayHost>(false);
    m_host = host.get();
    m_presence = std::make_unique<TrayPresence>(std::move(host));
    m_notice = std::make_unique<NoTrayNotice>(*m_presence, m_test->registry);
    m_presence->start();
}

void TstNoTrayNotice::cleanup() {
    m_notice.reset();
    m_presence.reset();
    m_test.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(notices().isEmpty());
}

void TstNoTrayNotice::showCountdownAt(const QRect& rect) {
    Form* countdown = m_test->registry.show(QStringLiteral("frmMain"));
    QVERIFY(countdown);
    countdown->setGeometry(rect);
}

void TstNoTrayNotice::noticeStandsInACornerAwayFromTheCountdown_data() {
    QTest::addColumn<QRect>("countdown");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(403, 216);
    QTest::newRow("centred") << QRect(area.center() - QPoint(201, 108), size);
    QTest::newRow("top right") << QRect(area.right() - 420, area.top() + 10, 403, 216);
    QTest::newRow("top left") << QRect(area.left() + 5, area.top() + 5, 403, 216);
    QTest::newRow("across the top")
        << QRect(area.left(), area.top(), area.width(), area.height() / 2);
}

void TstNoTrayNotice::noticeStandsInACornerAwayFromTheCountdown() {
    QFETCH(QRect, countdown);
    showCountdownAt(countdown);
    m_presence->endGracePeriod();

    const QList<QMessageBox*> shown = notices();
    QCOMPARE(shown.size(), 1);
    QMessageBox* box = shown.first();
    QCOMPARE(box->windowTitle(), QStringLiteral("Dalvenor"));
    QCOMPARE(box->text(), TrayWindow::noTrayNotice());
    QCOMPARE(box->windowModality(), Qt::NonModal);
    QVERIFY(box->testAttribute(Qt::WA_ShowWithoutActivating));
    const QRect frame = m_test->registry.form(QStringLiteral("frmMain"))->frameGeometry();
    QVERIFY2(!box->frameGeometry().intersects(frame),
             qPrintable(QStringLiteral("notice %1,%2 %3x%4 over the countdown")
                            .arg(box->x())
                            .arg(box->y())
                            .arg(box->width())
                            .arg(box->height())));
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(box->frameGeometry()));
}

void TstNoTrayNotice::lateHostTakesTheNoticeAway() {
    m_presence->endGracePeriod();
    QPointer<QMessageBox> box = m_notice->box();
    QVERIFY(box);
    QVERIFY(box->isVisible());

    m_host->setPresent(true);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!box);
    QVERIFY(notices().isEmpty());

    // The host restarts later: the run has a tray, nothing is said again.
    m_host->setPresent(false);
    m_presence->endGracePeriod();
    QVERIFY(notices().isEmpty());
}

void TstNoTrayNotice::noNoticeOnceAHostWasSeen() {
    m_host->setPresent(true);
    m_host->setPresent(false);
    m_presence->endGracePeriod();
    QVERIFY(!m_notice->box());
    QVERIFY(notices().isEmpty());
}

QTEST_MAIN(TstNoTrayNotice)
#include "tst_no_tray_notice.moc"
