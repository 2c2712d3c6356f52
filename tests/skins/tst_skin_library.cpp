#include "skin_library.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

class RecordingEngine : public SkinEngine {
public:
    explicit RecordingEngine(QStringList& log) : m_log(log) {}
    void attach(const QString& skinFile) override { m_log << "attach " + skinFile; }
    void setAero(int on) override { m_log << QStringLiteral("aero %1").arg(on); }

private:
    QStringList& m_log;
};

} // namespace

class TestSkinLibrary : public QObject {
    Q_OBJECT
private slots:
    void attachAppliesOnlyAnExistingSkinFile_data() {
        QTest::addColumn<QString>("present"); // "", "file" or "folder"
        QTest::addColumn<bool>("attached");
        QTest::newRow("no skin file") << "" << false;
        QTest::newRow("skin file") << "file" << true;
        QTest::newRow("folder of that name") << "folder" << false;
    }
    void attachAppliesOnlyAnExistingSkinFile() {
        QFETCH(QString, present);
        QFETCH(bool, attached);
        QTemporaryDir dir;
        const QString skin = dir.filePath("skinh.she");
        if (present == "file") {
            QFile file(skin);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("skin");
        } else if (present == "folder") {
            QVERIFY(QDir().mkpath(skin));
        }
        QStringList log;
        SkinLibrary library(skin, std::make_unique<RecordingEngine>(log));
        library.SkinH_Attach();
        library.SkinH_SetAero(1);
        library.SkinH_SetAero(0);
        QStringList expected;
        if (attached)
            expected << "attach " + skin;
        expected << "aero 1"
                 << "aero 0";
        QCOMPARE(log, expected);
    }
};

QTEST_GUILESS_MAIN(TestSkinLibrary)
#include "tst_skin_library.moc"
