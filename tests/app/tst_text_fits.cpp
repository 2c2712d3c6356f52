// Every window the program has, built as the program builds it: each label, button and tab
// must show its whole text inside its control (wrapped where the control wraps). The windows
// are laid out in twips for the design face, so this fails when a window drops that face or a
// caption grows past its control. Run at the default scale and at QT_SCALE_FACTOR=1.5.
#include "app/application.h"
#include "forms/form.h"
#include "forms/form_names.h"
#include "forms/window_registry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString visibleText(QString text) {
    // "退出(&E)" shows as "退出(E)"; "&&" is one ampersand.
    text.replace(QLatin1String("&&"), QString(QChar(0xE000)));
    text.remove(u'&');
    text.replace(QChar(0xE000), u'&');
    return text;
}

QString describe(const QWidget* widget, const QString& text, const QSize& need, const QSize& have) {
    return QStringLiteral("%1/%2 \"%3\": needs %4x%5, has %6x%7")
        .arg(widget->window()->objectName(), widget->objectName(), text)
        .arg(need.width())
        .arg(need.height())
        .arg(have.width())
        .arg(have.height());
}

// What does not fit, one line per control.
QStringList overflowsIn(const QWidget* window) {
    QStringList problems;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        const QString text = label->text();
        if (text.isEmpty() || label->textFormat() == Qt::RichText || !label->pixmap().isNull())
            continue;
        const QRect area = label->contentsRect();
        const QFontMetrics metrics(label->font());
        const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect need = metrics.boundingRect(QRect(0, 0, area.width(), 100000),
                                                flags | int(label->alignment()), text);
        if (need.width() > area.width() || need.height() > area.height())
            problems << describe(label, text, need.size(), area.size());
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const QString text = visibleText(button->text());
        if (text.isEmpty() || qobject_cast<const QTabBar*>(button->parentWidget()))
            continue;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QRadioButton*>(button))
            element = QStyle::SE_RadioButtonContents;
        else if (qobject_cast<const QCheckBox*>(button))
            element = QStyle::SE_CheckBoxContents;
        const QRect area = button->style()->subElementRect(element, &option, button);
        const QSize need = QFontMetrics(button->font()).size(Qt::TextShowMnemonic, button->text());
        if (need.width() > area.width() || need.height() > area.height())
            problems << describe(button, text, need, area.size());
    }
    for (const QTabBar* tabs : window->findChildren<QTabBar*>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            const QString text = visibleText(tabs->tabText(i));
            const QSize need = QFontMetrics(tabs->font()).size(Qt::TextShowMnemonic, text);
            const QRect area = tabs->tabRect(i);
            if (need.width() > area.width() || need.height() > area.height())
                problems << describe(tabs, text, need, area.size());
        }
    }
    for (const QGroupBox* box : window->findChildren<QGroupBox*>()) {
        const QString text = visibleText(box->title());
        const int need = QFontMetrics(box->font()).horizontalAdvance(text);
        if (need > box->width())
            problems << describe(box, text, QSize(need, 0), box->size());
    }
    return problems;
}

} // namespace

class TestTextFits : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_programDir.isValid());
        m_app = std::make_unique<Application>(m_programDir.path());
    }
    void cleanupTestCase() { m_app.reset(); }

    void everyWindowShowsItsWholeTexts_data() {
        QTest::addColumn<QString>("name");
        // The countdown draws the user's own texts at the user's size: its fitting is its own.
        for (QLatin1String name : FormName::All) {
            if (name != FormName::Main && name != FormName::Tray)
                QTest::newRow(name.data()) << QString(name);
        }
    }
    void everyWindowShowsItsWholeTexts() {
        QFETCH(QString, name);
        WindowRegistry& registry = m_app->context().registry;
        // Every window the program names is built: one missing is a regression, not a skip.
        QVERIFY2(registry.isRegistered(name),
                 qPrintable(name + QStringLiteral(" is not registered")));
        QWidget* window = registry.show(name);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Every page of a tabbed window, as the user would see it.
        const QStringList problems = overflowsIn(window);
        window->hide();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    void trayMenuShowsItsWholeCaptions() {
        WindowRegistry& registry = m_app->context().registry;
        QWidget* tray = registry.load(FormName::Tray);
        QVERIFY(tray);
        const auto menus = tray->findChildren<QMenu*>();
        QVERIFY(!menus.isEmpty());
        for (QMenu* menu : menus) {
            menu->popup(QPoint(10, 10));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            for (QAction* action : menu->actions()) {
                const QRect area = menu->actionGeometry(action);
                const int need =
                    QFontMetrics(menu->font()).horizontalAdvance(visibleText(action->text()));
                QVERIFY2(need < area.width(), qPrintable(QStringLiteral("%1: needs %2, has %3")
                                                             .arg(action->text())
                                                             .arg(need)
                                                             .arg(area.width())));
            }
            menu->hide();
        }
    }

private:
    QTemporaryDir m_programDir;
    std::unique_ptr<Application> m_app;
};

QTEST_MAIN(TestTextFits)
#include "tst_text_fits.moc"
