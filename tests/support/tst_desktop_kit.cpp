// What the C++ desktop tests lean on in desktop_kit.h, checked without a display: the tray
// icon and its menu found in a window tree, where a menu item is clicked, window ids as the
// tools print them, and waits that give what they waited for.
#include "desktop_kit.h"

#include <QTest>

using desktopkit::Window;

namespace {

Window window(quint32 id, const QString& name, const QString& instance, int depth,
              const QRect& rect, bool viewable = true) {
    Window w;
    w.id = id;
    w.name = name;
    w.instance = instance;
    w.wmClass = instance.isEmpty() ? QString() : instance.at(0).toUpper() + instance.mid(1);
    w.depth = depth;
    w.rect = rect;
    w.viewable = viewable;
    return w;
}

const QString kIcon = QStringLiteral("Dalvenor");
const QString kProgram = QStringLiteral("dalvenor");

} // namespace

class TstDesktopKit : public QObject {
    Q_OBJECT
private slots:
    void dockedIcon_data();
    void dockedIcon();
    void newMenu_data();
    void newMenu();
    void menuItemPointFallsInItsRow();
    void windowIdReadsBothForms_data();
    void windowIdReadsBothForms();
    void waitForGivesTheValue();
    void waitForGivesNothingAtTheDeadline();
};

void TstDesktopKit::dockedIcon_data() {
    QTest::addColumn<QList<Window>>("tree");
    QTest::addColumn<quint32>("icon"); // 0: none

    const Window panel =
        window(1, QStringLiteral("tint2"), QStringLiteral("tint2"), 1, QRect(0, 770, 1280, 30));
    const Window icon = window(2, kIcon, kProgram, 3, QRect(900, 774, 22, 22));
    const Window countdown = window(3, kIcon, kProgram, 1, QRect(400, 300, 403, 200));
    QTest::newRow("inside the panel")
        << QList<Window>{countdown, panel, window(9, {}, {}, 2, {}), icon} << quint32(2);
    QTest::newRow("the countdown is no icon") << QList<Window>{countdown} << quint32(0);
    // A window right after the panel at its own depth is outside it.
    QTest::newRow("beside the panel")
        << QList<Window>{panel, window(4, kIcon, kProgram, 1, QRect(900, 774, 22, 22))}
        << quint32(0);
    QTest::newRow("not viewable") << QList<Window>{panel, window(5, kIcon, kProgram, 2,
                                                                 QRect(900, 774, 22, 22), false)}
                                  << quint32(0);
    QTest::newRow("not sized yet")
        << QList<Window>{panel, window(6, kIcon, kProgram, 2, QRect(900, 774, 1, 1))} << quint32(0);
    QTest::newRow("another program's")
        << QList<Window>{panel, window(7, kIcon, QStringLiteral("other"), 2, QRect(0, 0, 22, 22))}
        << quint32(0);
    QTest::newRow("panel after a sibling subtree")
        << QList<Window>{window(8, {}, {}, 1, {}), window(10, kIcon, kProgram, 2, QRect()), panel,
                         icon}
        << quint32(2);
}

void TstDesktopKit::dockedIcon() {
    QFETCH(QList<Window>, tree);
    QFETCH(quint32, icon);
    const std::optional<Window> found = desktopkit::dockedIcon(tree, kProgram);
    QCOMPARE(found ? found->id : quint32(0), icon);
}

void TstDesktopKit::newMenu_data() {
    QTest::addColumn<QList<Window>>("tree");
    QTest::addColumn<QSet<quint32>>("before");
    QTest::addColumn<quint32>("menu");

    const Window countdown = window(3, kIcon, kProgram, 1, QRect(400, 300, 403, 200));
    const Window menu = window(4, {}, kProgram, 1, QRect(900, 640, 150, 132));
    QTest::newRow("new") << QList<Window>{countdown, menu} << QSet<quint32>{3} << quint32(4);
    QTest::newRow("seen before") << QList<Window>{countdown, menu} << QSet<quint32>{3, 4}
                                 << quint32(0);
    QTest::newRow("nested") << QList<Window>{window(5, {}, kProgram, 2, QRect(0, 0, 150, 132))}
                            << QSet<quint32>{} << quint32(0);
    QTest::newRow("too low") << QList<Window>{window(6, {}, kProgram, 1, QRect(0, 0, 150, 60))}
                             << QSet<quint32>{} << quint32(0);
    QTest::newRow("too narrow") << QList<Window>{window(7, {}, kProgram, 1, QRect(0, 0, 60, 132))}
                                << QSet<quint32>{} << quint32(0);
    QTest::newRow("unmapped") << QList<Window>{window(8, {}, kProgram, 1, QRect(0, 0, 150, 132),
                                                      false)}
                              << QSet<quint32>{} << quint32(0);
    QTest::newRow("class in other case")
        << QList<Window>{window(9, {}, QStringLiteral("DALVENOR"), 1, QRect(0, 0, 150, 132))}
        << QSet<quint32>{} << quint32(9);
}

void TstDesktopKit::newMenu() {
    QFETCH(QList<Window>, tree);
    QFETCH(QSet<quint32>, before);
    QFETCH(quint32, menu);
    const std::optional<Window> found = desktopkit::newMenu(tree, kProgram, before, 6);
    QCOMPARE(found ? found->id : quint32(0), menu);
}

void TstDesktopKit::menuItemPointFallsInItsRow() {
    const QRect menu(100, 200, 150, 120); // six rows of 20 pixels
    for (int index = 0; index < 6; ++index) {
        const QPoint at = desktopkit::menuItemPoint(menu, index, 6);
        QCOMPARE(at.x(), 150);
        QVERIFY2(at.y() > 200 + 20 * index && at.y() < 200 + 20 * (index + 1),
                 qPrintable(QString::number(at.y())));
    }
}

void TstDesktopKit::windowIdReadsBothForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("id");
    QTest::newRow("decimal, as xdotool prints") << QStringLiteral("27262979\n") << 27262979u;
    QTest::newRow("hexadecimal, as xwininfo prints") << QStringLiteral("0x1a00003") << 0x1a00003u;
    QTest::newRow("nothing") << QString() << 0u;
    QTest::newRow("a name") << QStringLiteral("Dalvenor") << 0u;
}

void TstDesktopKit::windowIdReadsBothForms() {
    QFETCH(QString, text);
    QFETCH(quint32, id);
    QCOMPARE(desktopkit::windowId(text), id);
}

void TstDesktopKit::waitForGivesTheValue() {
    int calls = 0;
    const QString value = desktopkit::waitFor([&] {
        ++calls;
        return calls < 3 ? QString() : QStringLiteral("found");
    });
    QCOMPARE(value, QStringLiteral("found"));
    QCOMPARE(calls, 3);
    const std::optional<int> number =
        desktopkit::waitFor([] { return std::optional<int>(0); }); // engaged, though zero
    QVERIFY(number.has_value());
}

void TstDesktopKit::waitForGivesNothingAtTheDeadline() {
    int calls = 0;
    const std::optional<int> none = desktopkit::waitFor(
        [&]() -> std::optional<int> {
            ++calls;
            return std::nullopt;
        },
        50);
    QVERIFY(!none.has_value());
    QVERIFY(calls >= 1);
    QVERIFY(!desktopkit::waitFor([] { return false; }, 20));
}

QTEST_GUILESS_MAIN(TstDesktopKit)
#include "tst_desktop_kit.moc"
