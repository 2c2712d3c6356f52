#include "app_context.h"
#include "form.h"
#include "window_registry.h"

#include <QPointer>
#include <QTest>

namespace {

// Records what the registry asks of it; can refuse to be unloaded, as the additional
// functions window does.
class RecordingForm : public Form {
public:
    RecordingForm(AppContext& context, const QString& name, QStringList& log, bool cancels)
        : Form(context, name), m_log(log), m_cancels(cancels) {}
    void Form_Load() override {
        m_log << formName() + ":load";
        // The load sequence may already find its own window by name.
        if (m_context.registry->form(formName()) != this)
            m_log << formName() + ":not-registered-during-load";
    }
    void Form_Unload(bool& cancel) override {
        m_log << formName() + ":unload";
        cancel = m_cancels;
        if (m_cancels)
            hide();
    }

private:
    QStringList& m_log;
    bool m_cancels;
};

} // namespace

class TestWindowRegistry : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_registry = std::make_unique<WindowRegistry>();
        m_context.registry = m_registry.get();
        m_log.clear();
        m_constructed = 0;
        for (const auto& [name, cancels] :
             {std::pair{QStringLiteral("frmAbout"), false}, {QStringLiteral("frmAddins"), true}})
            m_registry->registerForm(name, [this, name = name, cancels = cancels] {
                ++m_constructed;
                return new RecordingForm(m_context, name, m_log, cancels);
            });
    }

    void unknownWindowOpensNothing() {
        QVERIFY(!m_registry->isKnown("frmSkins"));
        QCOMPARE(m_registry->show("frmSkins"), nullptr);
        QVERIFY(!m_registry->isLoaded("frmSkins"));
        QVERIFY(m_registry->unload("frmSkins"));
    }

    void loadRunsFormLoadOnceAndDoesNotShow() {
        Form* first = m_registry->load("frmAbout");
        QVERIFY(first);
        QVERIFY(!first->isVisible());
        QCOMPARE(m_registry->load("frmAbout"), first);
        QCOMPARE(m_registry->show("frmAbout"), first);
        QVERIFY(first->isVisible());
        QCOMPARE(m_log, QStringList{"frmAbout:load"});
        QCOMPARE(m_constructed, 1);
    }

    void unloadDestroysAndNextShowLoadsAfresh() {
        QPointer<Form> first = m_registry->show("frmAbout");
        QVERIFY(m_registry->unload("frmAbout"));
        QVERIFY(!m_registry->isLoaded("frmAbout"));
        QVERIFY(!first->isVisible());
        QTRY_VERIFY(first.isNull());
        Form* second = m_registry->show("frmAbout");
        QVERIFY(second);
        QCOMPARE(m_log, (QStringList{"frmAbout:load", "frmAbout:unload", "frmAbout:load"}));
        QCOMPARE(m_constructed, 2);
    }

    void cancelledUnloadKeepsTheWindowLoaded() {
        Form* addins = m_registry->show("frmAddins");
        QVERIFY(!m_registry->unload("frmAddins"));
        QCOMPARE(m_registry->form("frmAddins"), addins);
        QVERIFY(!addins->isVisible());
        // Shown again with its state intact: no second load.
        QCOMPARE(m_registry->show("frmAddins"), addins);
        QCOMPARE(m_log, (QStringList{"frmAddins:load", "frmAddins:unload"}));
    }

    void closeButtonGoesThroughTheUnload() {
        Form* about = m_registry->show("frmAbout");
        about->close();
        QVERIFY(!m_registry->isLoaded("frmAbout"));
        Form* addins = m_registry->show("frmAddins");
        addins->close();
        QVERIFY(m_registry->isLoaded("frmAddins"));
        QCOMPARE(m_log, (QStringList{"frmAbout:load", "frmAbout:unload", "frmAddins:load",
                                     "frmAddins:unload"}));
    }

    void hideKeepsTheWindowLoaded() {
        Form* about = m_registry->show("frmAbout");
        m_registry->hide("frmAbout");
        QVERIFY(!about->isVisible());
        QCOMPARE(m_registry->form("frmAbout"), about);
    }

private:
    std::unique_ptr<WindowRegistry> m_registry;
    AppContext m_context;
    QStringList m_log;
    int m_constructed = 0;
};

QTEST_MAIN(TestWindowRegistry)
#include "tst_window_registry.moc"
