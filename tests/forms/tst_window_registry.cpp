#include "forms/form.h"
#include "forms/form_names.h"
#include "test_context.h"

#include <QPointer>
#include <QTest>

namespace {

// Records what the registry asks of it; can refuse to be unloaded, as the additional
// functions window does.
class RecordingForm : public Form {
    Q_OBJECT
public:
    RecordingForm(AppContext& context, const QString& name, QStringList& log, bool cancels)
        : Form(context, name), m_log(log), m_cancels(cancels) {}
    void Form_Load() override {
        m_log << formName() + ":load";
        // The load sequence may already find its own window by name.
        if (m_context.registry.form(formName()) != this)
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

// A window class of its own, for the typed access.
class AboutLike final : public RecordingForm {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::About;
    AboutLike(AppContext& context, QStringList& log) : RecordingForm(context, kName, log, false) {}
};

} // namespace

class TestWindowRegistry : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_test = std::make_unique<TestContext>();
        m_registry = &m_test->registry;
        m_log.clear();
        m_constructed = 0;
        for (const auto& [name, cancels] :
             {std::pair{QStringLiteral("frmAbout"), false}, {QStringLiteral("frmAddins"), true}})
            m_registry->registerForm(name, [this, name = name, cancels = cancels] {
                ++m_constructed;
                return new RecordingForm(m_test->context, name, m_log, cancels);
            });
    }

    void cleanup() { m_test.reset(); }

    void windowNotInThisBuildOpensNothingQuietly() {
        QTest::failOnWarning(QRegularExpression(".*"));
        QVERIFY(!m_registry->isRegistered("frmSkins"));
        QCOMPARE(m_registry->show("frmSkins"), nullptr);
        QVERIFY(!m_registry->isLoaded("frmSkins"));
        QVERIFY(m_registry->unload("frmSkins"));
    }

    // A name that no window has is a mistake in the program: never silent.
    void unknownNameIsWarnedAbout_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("typo") << QStringLiteral("frmAddin");
        QTest::newRow("case") << QStringLiteral("FRMMAIN");
        QTest::newRow("empty") << QString();
    }
    void unknownNameIsWarnedAbout() {
        QFETCH(QString, name);
        const QRegularExpression warning(QStringLiteral("no window of the program is named"));
        QTest::ignoreMessage(QtWarningMsg, warning);
        QCOMPARE(m_registry->show(name), nullptr);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(!m_registry->isLoaded(name));
        QTest::ignoreMessage(QtWarningMsg, warning);
        m_registry->registerForm(name, [] { return nullptr; });
    }

    void everyKnownNameIsAccepted() {
        QTest::failOnWarning(QRegularExpression(".*"));
        for (QLatin1String name : FormName::All)
            QVERIFY(!m_registry->isLoaded(name) || name == FormName::About);
        QCOMPARE(std::size(FormName::All), size_t(7));
    }

    void typedAccessFindsTheWindowByItsClassName() {
        WindowRegistry registry;
        registry.registerForm(AboutLike::kName,
                              [this] { return new AboutLike(m_test->context, m_log); });
        QCOMPARE(registry.form<AboutLike>(), nullptr);
        AboutLike* shown = registry.show<AboutLike>();
        QVERIFY(shown);
        QCOMPARE(registry.form<AboutLike>(), shown);
        QCOMPARE(registry.form(FormName::About), shown);
        QCOMPARE(registry.load<AboutLike>(), shown);
        QVERIFY(shown->isVisible());
    }

    void typedAccessToAnotherClassUnderTheNameGivesNothing() {
        // frmAbout is registered by init() as a plain recording form, not an AboutLike.
        QVERIFY(m_registry->show(FormName::About));
        QCOMPARE(m_registry->form<AboutLike>(), nullptr);
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

private:
    std::unique_ptr<TestContext> m_test;
    WindowRegistry* m_registry = nullptr;
    QStringList m_log;
    int m_constructed = 0;
};

QTEST_MAIN(TestWindowRegistry)
#include "tst_window_registry.moc"
