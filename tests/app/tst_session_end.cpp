// Every way out of the program stores the countdown's style once: the tray's exit, SIGTERM,
// SIGHUP and SIGINT, the session manager's request to save and the end of the event loop.
#include "app/session_end.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

// A program in miniature: the store counts, the exit path ends "the event loop" (it calls
// aboutToQuit as QCoreApplication would once exec returns).
struct Program {
    int stores = 0;
    int exits = 0;
    bool storeFails = false;
    QStringList reported;      // through the session's report (stderr in the program)
    QStringList reportedByBox; // through the menu's report
    std::unique_ptr<SessionEnd> end;

    Program() {
        end = std::make_unique<SessionEnd>(
            [this](QString* error) {
                ++stores;
                if (storeFails && error)
                    *error = QStringLiteral("磁盘已满");
                return !storeFails;
            },
            [this](const SessionEnd::Report& report) {
                // As the tray's exit: store, then end the loop.
                end->storeOnce(report);
                ++exits;
                end->aboutToQuit();
            });
        end->setSessionReport([this](const QString& message) { reported << message; });
    }

    void menuExit() {
        end->storeOnce([this](const QString& message) { reportedByBox << message; });
        ++exits;
        end->aboutToQuit();
    }

    void run(const QString& step) {
        if (step == QLatin1String("menu"))
            menuExit();
        else if (step == QLatin1String("TERM"))
            end->signalReceived(SIGTERM);
        else if (step == QLatin1String("HUP"))
            end->signalReceived(SIGHUP);
        else if (step == QLatin1String("INT"))
            end->signalReceived(SIGINT);
        else if (step == QLatin1String("commit"))
            end->commitDataRequested();
        else if (step == QLatin1String("quit"))
            end->aboutToQuit();
        else if (step == QLatin1String("change"))
            end->styleChanged();
        else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
};

} // namespace

class TstSessionEnd : public QObject {
    Q_OBJECT
private slots:
    void everyWayOutStoresOnce_data();
    void everyWayOutStoresOnce();
    void failedStoreIsToldOnceWhereNobodyWaits_data();
    void failedStoreIsToldOnceWhereNobodyWaits();
    void signalsReachTheEventLoop_data();
    void signalsReachTheEventLoop();
    void secondWatcherIsRefusedAndTheFirstKeepsWorking();
};

void TstSessionEnd::everyWayOutStoresOnce_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("stores");
    QTest::addColumn<int>("exits");

    const auto steps = [](const char* text) {
        return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
    };
    QTest::newRow("tray exit") << steps("menu") << 1 << 1;
    QTest::newRow("SIGTERM") << steps("TERM") << 1 << 1;
    QTest::newRow("SIGHUP") << steps("HUP") << 1 << 1;
    QTest::newRow("SIGINT") << steps("INT") << 1 << 1;
    QTest::newRow("SIGTERM twice") << steps("TERM TERM") << 1 << 1;
    QTest::newRow("SIGTERM then SIGHUP") << steps("TERM HUP") << 1 << 1;
    QTest::newRow("session manager saves, then the log-out") << steps("commit TERM quit") << 1 << 1;
    QTest::newRow("event loop ended from elsewhere") << steps("quit") << 1 << 0;
    QTest::newRow("save, log-out cancelled, colour changed, log-out")
        << steps("commit change TERM") << 2 << 1;
    QTest::newRow("tray exit, then a late SIGTERM") << steps("menu TERM") << 1 << 1;
}

void TstSessionEnd::everyWayOutStoresOnce() {
    QFETCH(QStringList, steps);
    QFETCH(int, stores);
    QFETCH(int, exits);

    Program program;
    for (const QString& step : steps)
        program.run(step);
    QCOMPARE(program.stores, stores);
    QCOMPARE(program.exits, exits);
    QVERIFY(program.reported.isEmpty());
    QVERIFY(program.reportedByBox.isEmpty());
}

void TstSessionEnd::failedStoreIsToldOnceWhereNobodyWaits_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("byBox");
    QTest::newRow("SIGTERM") << QStringLiteral("TERM") << false;
    QTest::newRow("SIGHUP") << QStringLiteral("HUP") << false;
    QTest::newRow("session manager") << QStringLiteral("commit") << false;
    QTest::newRow("tray exit") << QStringLiteral("menu") << true;
}

void TstSessionEnd::failedStoreIsToldOnceWhereNobodyWaits() {
    QFETCH(QString, way);
    QFETCH(bool, byBox);

    Program program;
    program.storeFails = true;
    program.run(way);
    program.run(QStringLiteral("quit"));
    QCOMPARE(program.stores, 1);
    const QStringList& told = byBox ? program.reportedByBox : program.reported;
    const QStringList& silent = byBox ? program.reported : program.reportedByBox;
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().contains(QStringLiteral("字体和颜色")), qPrintable(told.first()));
    QVERIFY2(told.first().contains(QStringLiteral("磁盘已满")), qPrintable(told.first()));
    QVERIFY(silent.isEmpty());
}

void TstSessionEnd::signalsReachTheEventLoop_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TstSessionEnd::signalsReachTheEventLoop() {
    QFETCH(int, signalNumber);

    // Without the watcher the signal would end this test process: its passing is the proof
    // that the handler is in place.
    std::unique_ptr<SessionEndSignals> watcher = SessionEndSignals::create();
    QVERIFY(watcher);
    QSignalSpy spy(watcher.get(), &SessionEndSignals::endRequested);
    QCOMPARE(::raise(signalNumber), 0);
    // Nothing happens inside the handler: the request comes from the event loop.
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
    QCOMPARE(spy.first().first().toInt(), signalNumber);

    // Through the program's end: one store, one exit.
    Program program;
    program.end->watch(watcher.get());
    QCOMPARE(::raise(signalNumber), 0);
    QTRY_COMPARE_WITH_TIMEOUT(program.exits, 1, 10000);
    QCOMPARE(program.stores, 1);
}

void TstSessionEnd::secondWatcherIsRefusedAndTheFirstKeepsWorking() {
    std::unique_ptr<SessionEndSignals> first = SessionEndSignals::create();
    QVERIFY(first);
    // A second one would take the handler's pipe from the first.
    QVERIFY(!SessionEndSignals::create());
    QSignalSpy spy(first.get(), &SessionEndSignals::endRequested);
    QCOMPARE(::raise(SIGHUP), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
    first.reset();
    // Once the first is gone a new watcher may be made.
    QVERIFY(SessionEndSignals::create());
}

QTEST_GUILESS_MAIN(TstSessionEnd)
#include "tst_session_end.moc"
