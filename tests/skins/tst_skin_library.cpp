#include "forms/skin_library.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
    // Only where nothing has the name is nothing done; anything else of that name goes to the
    // engine, which reads regular files only and says why it cannot use the rest.
    void attachGoesToTheEngineUnlessNothingHasTheName_data() {
        QTest::addColumn<QString>("present"); // "", "file", "folder", "fifo" or "dangling"
        QTest::addColumn<bool>("attached");
        QTest::newRow("no skin file") << "" << false;
        QTest::newRow("skin file") << "file" << true;
        QTest::newRow("folder of that name") << "folder" << true;
        QTest::newRow("fifo of that name") << "fifo" << true;
        QTest::newRow("dangling link") << "dangling" << true;
    }
    void attachGoesToTheEngineUnlessNothingHasTheName() {
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
        } else if (present == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(skin).constData(), 0600), 0);
        } else if (present == "dangling") {
            QVERIFY(QFile::link(dir.filePath("gone.she"), skin));
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
