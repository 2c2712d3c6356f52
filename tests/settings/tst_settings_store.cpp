#include "settings/settings_store.h"
#include "test_files.h"

#include <QDir>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <cmath>
#include <limits>

class TestSettingsStore : public QObject {
    Q_OBJECT

private slots:
    // A fresh folder for every test function and data row.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void userStoreIsPerUserIniFile();
    void emptyStoreGivesDefaults();
    void readsStoredNumber_data();
    void readsStoredNumber();
    void readsStoredInteger_data();
    void readsStoredInteger();
    void readsStoredBool_data();
    void readsStoredBool();
    void textToBoolAcceptsSpacesAndCase_data();
    void textToBoolAcceptsSpacesAndCase();
    void numberToText_data();
    void numberToText();
    void writesPlainTextIniBytes();
    void roundTrip();
    void syncFailureIsReported();
    void hostileValuesReadBack_data();
    void hostileValuesReadBack();
    void readsWhatQSettingsWrote();
    void damagedFileIsKeptAndReadableKeysUsed_data();
    void damagedFileIsKeptAndReadableKeysUsed();
    void olderKeptFileIsNeverReplaced();
    void specialFileInPlaceOfStore_data();
    void specialFileInPlaceOfStore();
    void folderInPlaceOfStoreFailsToSave();
    void commentsAndOrderSurviveSave();
    void unchangedStoreIsNotRewritten();

private:
    QString iniPath() const { return m_dir->filePath("Dalvenor.ini"); }
    void storeRaw(const QByteArray& value) {
        QVERIFY(testfiles::writeBytes(iniPath(), "[frmMain]\nValue=" + value + "\n"));
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettingsStore::userStoreIsPerUserIniFile() {
    const QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (config.isEmpty())
        QSKIP("run through the isolating runner, which sets XDG_CONFIG_HOME");
    SettingsStore store;
    QCOMPARE(QDir::cleanPath(store.fileName()), QDir::cleanPath(config + "/Dalvenor/Dalvenor.ini"));
}

void TestSettingsStore::emptyStoreGivesDefaults() {
    const SettingsStore store(iniPath());
    QCOMPARE(store.readText("frmMain", "FontName", QString::fromUtf8("楷体")),
             QString::fromUtf8("楷体"));
    QCOMPARE(store.readNumber("frmMain", "FontSize", 15), 15.0);
    QCOMPARE(store.readNumber("frmWindows", "Width", 6045), 6045.0);
    QCOMPARE(store.readInteger("frmMain", "ForeColor", 10485760), 10485760);
    QCOMPARE(store.readBool("frmMain", "FontBold", false), false);
    QCOMPARE(store.readBool("frmMain", "FontItalic", true), true);
    QVERIFY(!QFileInfo::exists(iniPath())); // reading writes nothing
}

void TestSettingsStore::readsStoredNumber_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<double>("expected");
    const double def = 15;
    QTest::newRow("decimal") << QByteArray("10.5") << 10.5;
    QTest::newRow("integer") << QByteArray("6045") << 6045.0;
    QTest::newRow("negative") << QByteArray("-120") << -120.0;
    QTest::newRow("exponent") << QByteArray("1e3") << 1000.0;
    QTest::newRow("empty") << QByteArray("") << def;
    QTest::newRow("garbage") << QByteArray("abc") << def;
    QTest::newRow("trailing garbage") << QByteArray("10pt") << def;
    QTest::newRow("decimal comma") << QByteArray("10,5") << def;
    QTest::newRow("group separator") << QByteArray("6,045") << def;
    QTest::newRow("infinity") << QByteArray("inf") << def;
    QTest::newRow("not a number") << QByteArray("nan") << def;
}

void TestSettingsStore::readsStoredNumber() {
    QFETCH(QByteArray, stored);
    QFETCH(double, expected);
    storeRaw(stored);
    QCOMPARE(SettingsStore(iniPath()).readNumber("frmMain", "Value", 15), expected);
}

void TestSettingsStore::readsStoredInteger_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<qint64>("expected");
    const qint64 def = 10485760;
    QTest::newRow("colour") << QByteArray("16711680") << qint64(16711680);
    QTest::newRow("beyond double precision")
        << QByteArray("9007199254740993") << qint64(9007199254740993);
    QTest::newRow("half rounds to even, down") << QByteArray("10.5") << qint64(10);
    QTest::newRow("half rounds to even, up") << QByteArray("11.5") << qint64(12);
    QTest::newRow("too large") << QByteArray("1e30") << def;
    QTest::newRow("garbage") << QByteArray("red") << def;
    QTest::newRow("empty") << QByteArray("") << def;
}

void TestSettingsStore::readsStoredInteger() {
    QFETCH(QByteArray, stored);
    QFETCH(qint64, expected);
    storeRaw(stored);
    QCOMPARE(SettingsStore(iniPath()).readInteger("frmMain", "Value", 10485760), expected);
}

void TestSettingsStore::readsStoredBool_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("def");
    QTest::addColumn<bool>("expected");
    QTest::newRow("True") << QByteArray("True") << false << true;
    QTest::newRow("False") << QByteArray("False") << true << false;
    QTest::newRow("lower case") << QByteArray("false") << true << false;
    QTest::newRow("upper case") << QByteArray("TRUE") << false << true;
    QTest::newRow("one") << QByteArray("1") << false << true;
    QTest::newRow("zero") << QByteArray("0") << true << false;
    QTest::newRow("minus one") << QByteArray("-1") << false << true;
    QTest::newRow("zero as decimal") << QByteArray("0.0") << true << false;
    QTest::newRow("garbage keeps default false") << QByteArray("yes") << false << false;
    QTest::newRow("garbage keeps default true") << QByteArray("yes") << true << true;
    QTest::newRow("empty keeps default") << QByteArray("") << true << true;
}

void TestSettingsStore::readsStoredBool() {
    QFETCH(QByteArray, stored);
    QFETCH(bool, def);
    QFETCH(bool, expected);
    storeRaw(stored);
    QCOMPARE(SettingsStore(iniPath()).readBool("frmMain", "Value", def), expected);
}

void TestSettingsStore::textToBoolAcceptsSpacesAndCase_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1: no value
    QTest::newRow("spaced TRUE") << " TRUE " << 1;
    QTest::newRow("tabbed false") << "\tfAlSe\t" << 0;
    QTest::newRow("spaced number") << " 2 " << 1;
    QTest::newRow("True with trailing text") << "Truely" << -1;
    QTest::newRow("blank") << "   " << -1;
}

void TestSettingsStore::textToBoolAcceptsSpacesAndCase() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    const std::optional<bool> value = SettingsStore::textToBool(text);
    QCOMPARE(value.has_value(), expected != -1);
    if (value)
        QCOMPARE(int(*value), expected);
}

void TestSettingsStore::numberToText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("font size") << 15.0 << "15";
    QTest::newRow("half point") << 10.5 << "10.5";
    QTest::newRow("twips") << 6045.0 << "6045";
    QTest::newRow("negative twips") << -7770.0 << "-7770";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("a million, no exponent") << 1e6 << "1000000";
    QTest::newRow("shortest form of 0.1") << 0.1 << "0.1";
    QTest::newRow("large with fraction") << 1234567.25 << "1234567.25";
    QTest::newRow("small fraction") << 0.0001 << "0.0001";
}

void TestSettingsStore::numberToText() {
    QFETCH(double, value);
    QFETCH(QString, text);
    // A decimal comma in the user's locale must not leak into the store.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(SettingsStore::numberToText(value), text);
    QCOMPARE(SettingsStore::textToNumber(text), std::optional<double>(value));
}

void TestSettingsStore::writesPlainTextIniBytes() {
    {
        SettingsStore store(iniPath());
        store.writeText("frmMain", "FontName", QString::fromUtf8("楷体"));
        store.writeNumber("frmMain", "FontSize", 15);
        store.writeBool("frmMain", "FontBold", true);
        store.writeBool("frmMain", "FontItalic", false);
        store.writeInteger("frmMain", "ForeColor", 10485760);
        store.writeNumber("frmWindows", "Width", 6045);
        store.writeNumber("frmWindows", "Height", 10.5);
        QString error;
        QVERIFY2(store.sync(&error), qPrintable(error));
    }
    const QByteArray bytes = testfiles::readBytes(iniPath());
    const QList<QByteArray> expectedLines = {"[frmMain]",
                                             "FontBold=True",
                                             "FontItalic=False",
                                             "FontName=\xE6\xA5\xB7\xE4\xBD\x93", // UTF-8
                                             "FontSize=15",
                                             "ForeColor=10485760",
                                             "[frmWindows]",
                                             "Height=10.5",
                                             "Width=6045"};
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray& line : expectedLines)
        QVERIFY2(lines.contains(line), line.constData());
    QVERIFY(!bytes.contains("@Variant"));
    QVERIFY(!bytes.contains('"'));
}

void TestSettingsStore::roundTrip() {
    const QString name = QString::fromUtf8("楷体_GB2312");
    {
        SettingsStore store(iniPath());
        store.writeText("frmMain", "FontName", name);
        store.writeText("frmMain", "Odd", "@at, comma");
        store.writeNumber("frmMain", "FontSize", 10.5);
        store.writeBool("frmMain", "FontUnderline", true);
        store.writeInteger("frmMain", "ForeColor", 255);
        store.writeNumber("frmWindows", "Top", 5325);
        QVERIFY(store.sync());
    }
    const SettingsStore store(iniPath());
    QCOMPARE(store.readText("frmMain", "FontName", "x"), name);
    QCOMPARE(store.readText("frmMain", "Odd", "x"), QStringLiteral("@at, comma"));
    QCOMPARE(store.readNumber("frmMain", "FontSize", 15), 10.5);
    QCOMPARE(store.readBool("frmMain", "FontUnderline", false), true);
    QCOMPARE(store.readInteger("frmMain", "ForeColor", 0), 255);
    QCOMPARE(store.readNumber("frmWindows", "Top", 0), 5325.0);
    // Sections are kept apart.
    QCOMPARE(store.readNumber("frmMain", "Top", -1), -1.0);
}

void TestSettingsStore::syncFailureIsReported() {
    QVERIFY(testfiles::writeBytes(m_dir->filePath("plain"), "x"));
    SettingsStore store(m_dir->filePath("plain/Dalvenor.ini"));
    store.writeNumber("frmMain", "FontSize", 20);
    QString error;
    QVERIFY(!store.sync(&error));
    QVERIFY(error.contains(QString::fromUtf8("无法保存设置")));
    QCOMPARE(testfiles::readBytes(m_dir->filePath("plain")), QByteArray("x"));
}

void TestSettingsStore::hostileValuesReadBack_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("open quote") << "\"KaiTi";
    QTest::newRow("quoted") << "\"KaiTi\"";
    QTest::newRow("equals") << "a=b";
    QTest::newRow("semicolon") << "x;y";
    QTest::newRow("hash") << "#not a comment";
    QTest::newRow("comma and blanks") << "a , b";
    QTest::newRow("leading blanks") << "  KaiTi";
    QTest::newRow("trailing blanks") << "KaiTi  ";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("empty") << "";
    QTest::newRow("CJK") << QString::fromUtf8("楷体_GB2312 华文行楷");
    QTest::newRow("vertical font") << "@SimSun";
    QTest::newRow("two at signs") << "@@x";
    QTest::newRow("typed-looking") << "@Variant(abc)";
    QTest::newRow("backslashes") << "C:\\fonts\\x41\\";
    QTest::newRow("line ends and tab") << "a\r\nb\tc\n";
    QTest::newRow("control before hex digit") << QString("\x01") + "7f" + QChar(0x7F) + "A";
    QTest::newRow("NUL") << QString(QChar(0)) + "0";
    QTest::newRow("emoji") << QString::fromUtf8("\U0001F600");
    QTest::newRow("half a surrogate pair") << QString(QChar(0xD800)) + "b";
}

void TestSettingsStore::hostileValuesReadBack() {
    QFETCH(QString, value);
    {
        SettingsStore store(iniPath());
        store.writeText("frmMain", "FontName", value);
        store.writeText("frmMain", "After", "next");
        QString error;
        QVERIFY2(store.sync(&error), qPrintable(error));
    }
    const SettingsStore store(iniPath());
    QVERIFY(!store.isDamaged());
    QCOMPARE(store.readText("frmMain", "FontName", "default"), value);
    QCOMPARE(store.readText("frmMain", "After", "default"), QStringLiteral("next"));
    // The file stays one that QSettings reads alike.
    QSettings qt(iniPath(), QSettings::IniFormat);
    QCOMPARE(qt.value("frmMain/FontName").toString(), value);
}

void TestSettingsStore::readsWhatQSettingsWrote() {
    const QStringList values = {QString::fromUtf8("楷体"),
                                "  lead",
                                "a;b",
                                "a, b",
                                "@SimSun",
                                "q\"uote",
                                "back\\slash",
                                "line\nend"};
    {
        QSettings qt(iniPath(), QSettings::IniFormat);
        for (int i = 0; i < values.size(); ++i)
            qt.setValue(QStringLiteral("frmMain/Key%1").arg(i), values[i]);
        qt.setValue("frmWindows/Width", "6045");
    }
    const SettingsStore store(iniPath());
    QVERIFY(!store.isDamaged());
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(store.readText("frmMain", QStringLiteral("Key%1").arg(i), "x"), values[i]);
    QCOMPARE(store.readNumber("frmWindows", "Width", 0), 6045.0);
}

void TestSettingsStore::damagedFileIsKeptAndReadableKeysUsed_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fontName"); // "default" when it cannot be read
    const QByteArray tail = "FontSize=20\n[frmWindows]\nWidth=7000\nHeight=4000\n";
    QTest::newRow("stray quote") << "[frmMain]\nFontName=\"KaiTi\n" + tail << "default";
    QTest::newRow("garbage bytes")
        << "[frmMain]\nFontName=KaiTi\n\xFF\xFE\x80garbage\x01\n" + tail << "KaiTi";
    QTest::newRow("NUL bytes") << QByteArray("[frmMain]\n") + QByteArray(4, '\0') +
                                      "\nFontName=KaiTi\n" + tail
                               << "KaiTi";
    QTest::newRow("line without equals") << "[frmMain]\nFontName=KaiTi\njunk\n" + tail << "KaiTi";
    QTest::newRow("unknown escape") << "[frmMain]\nFontName=Kai\\qTi\n" + tail << "default";
    QTest::newRow("broken header hides its keys")
        << QByteArray("[frmMain]\nFontSize=20\n[frmOther\nFontName=KaiTi\n[frmWindows]\n"
                      "Width=7000\nHeight=4000\n")
        << "default";
}

void TestSettingsStore::damagedFileIsKeptAndReadableKeysUsed() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fontName);
    QVERIFY(testfiles::writeBytes(iniPath(), bytes));
    const QString kept = iniPath() + ".damaged";
    {
        SettingsStore store(iniPath());
        QVERIFY(store.isDamaged());
        QVERIFY(!store.loadProblem().isEmpty());
        QCOMPARE(store.readText("frmMain", "FontName", "default"), fontName);
        QCOMPARE(store.readNumber("frmMain", "FontSize", 15), 20.0);
        QCOMPARE(store.readNumber("frmWindows", "Width", 6045), 7000.0);
        QCOMPARE(store.readNumber("frmWindows", "Height", 3240), 4000.0);
        // Nothing is copied or changed while nothing is written.
        QVERIFY(!QFileInfo::exists(kept));
        QCOMPARE(store.takeDamageNotice(), QString());

        store.writeBool("frmMain", "FontBold", true);
        QString error;
        QVERIFY2(store.sync(&error), qPrintable(error));
        QCOMPARE(testfiles::readBytes(kept), bytes);
        QCOMPARE(store.damagedCopy(), kept);
        const QString notice = store.takeDamageNotice();
        QVERIFY(notice.contains(kept));
        QCOMPARE(store.takeDamageNotice(), QString()); // once

        // Later saves copy nothing again.
        store.writeBool("frmMain", "FontBold", false);
        QVERIFY(store.sync());
        QVERIFY(!QFileInfo::exists(kept + ".2"));
        QCOMPARE(testfiles::readBytes(kept), bytes);
    }
    // The stored rectangle survived the save, and the new file reads cleanly.
    const SettingsStore store(iniPath());
    QVERIFY(!store.isDamaged());
    QCOMPARE(store.readNumber("frmWindows", "Width", 6045), 7000.0);
    QCOMPARE(store.readNumber("frmMain", "FontSize", 15), 20.0);
    QCOMPARE(store.readBool("frmMain", "FontBold", true), false);
}

void TestSettingsStore::olderKeptFileIsNeverReplaced() {
    QVERIFY(testfiles::writeBytes(iniPath() + ".damaged", "older"));
    QVERIFY(testfiles::writeBytes(iniPath(), "[frmMain]\nFontName=\"x\n"));
    SettingsStore store(iniPath());
    store.writeNumber("frmMain", "FontSize", 12);
    QVERIFY(store.sync());
    QCOMPARE(testfiles::readBytes(iniPath() + ".damaged"), QByteArray("older"));
    QCOMPARE(store.damagedCopy(), iniPath() + ".damaged.2");
    QCOMPARE(testfiles::readBytes(iniPath() + ".damaged.2"),
             QByteArray("[frmMain]\nFontName=\"x\n"));
}

void TestSettingsStore::specialFileInPlaceOfStore_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<char>("keptAs");
    QTest::newRow("FIFO") << "fifo" << 'p';
    QTest::newRow("link to /dev/zero") << "zero" << 'l';
    QTest::newRow("dangling link") << "dangling" << 'l';
    QTest::newRow("too large") << "large" << 'f';
}

void TestSettingsStore::specialFileInPlaceOfStore() {
    QFETCH(QString, kind);
    QFETCH(char, keptAs);
    if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(iniPath()));
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", iniPath()));
    else if (kind == "dangling")
        QVERIFY(QFile::link(m_dir->filePath("gone"), iniPath()));
    else
        QVERIFY(testfiles::makeSparse(iniPath(), SettingsStore::maxFileBytes + 1,
                                      "[frmMain]\nFontSize=20\n"));

    std::unique_ptr<SettingsStore> store;
    QVERIFY(testfiles::endsWithin(
        std::chrono::seconds(10), [&] { store = std::make_unique<SettingsStore>(iniPath()); },
        iniPath()));
    QVERIFY(store->isDamaged());
    QVERIFY(!store->loadProblem().isEmpty());
    QCOMPARE(store->readNumber("frmMain", "FontSize", 15), 15.0);

    store->writeNumber("frmMain", "FontSize", 18);
    QString error;
    bool saved = false;
    QVERIFY(testfiles::endsWithin(
        std::chrono::seconds(10), [&] { saved = store->sync(&error); }, iniPath()));
    QVERIFY2(saved, qPrintable(error));
    // The odd thing was moved aside whole, and a plain file took its name.
    QCOMPARE(testfiles::kindOf(iniPath() + ".damaged"), keptAs);
    QCOMPARE(testfiles::kindOf(iniPath()), 'f');
    QCOMPARE(testfiles::kindOf("/dev/zero"), 'c');
    if (kind == "large")
        QCOMPARE(QFileInfo(iniPath() + ".damaged").size(), SettingsStore::maxFileBytes + 1);
    QVERIFY(store->takeDamageNotice().contains(iniPath() + ".damaged"));
    QCOMPARE(SettingsStore(iniPath()).readNumber("frmMain", "FontSize", 15), 18.0);
}

void TestSettingsStore::folderInPlaceOfStoreFailsToSave() {
    QVERIFY(QDir().mkpath(iniPath() + "/inside"));
    SettingsStore store(iniPath());
    QVERIFY(store.loadProblem().contains(QString::fromUtf8("文件夹")));
    QCOMPARE(store.readNumber("frmMain", "FontSize", 15), 15.0);
    store.writeNumber("frmMain", "FontSize", 18);
    QString error;
    QVERIFY(!store.sync(&error));
    QVERIFY(error.contains(QString::fromUtf8("无法保存设置")));
    QVERIFY(QFileInfo(iniPath() + "/inside").isDir());
    QVERIFY(!QFileInfo::exists(iniPath() + ".damaged"));
    // Still pending: a second attempt fails the same way rather than claiming success.
    QVERIFY(!store.sync());
}

void TestSettingsStore::commentsAndOrderSurviveSave() {
    const QByteArray before = "; written by hand\n[frmWindows]\n# the window\nWidth = 7000 ; wide\n"
                              "\n[frmMain]\nFontSize=15\n";
    QVERIFY(testfiles::writeBytes(iniPath(), before));
    SettingsStore store(iniPath());
    QVERIFY(!store.isDamaged());
    QCOMPARE(store.readNumber("frmWindows", "Width", 0), 7000.0);
    store.writeNumber("frmMain", "FontSize", 20);
    store.writeBool("frmMain", "FontBold", true);
    store.writeNumber("frmWindows", "Top", 5);
    QVERIFY(store.sync());
    QCOMPARE(testfiles::readBytes(iniPath()),
             QByteArray("; written by hand\n[frmWindows]\n# the window\nWidth = 7000 ; wide\n"
                        "Top=5\n\n[frmMain]\nFontSize=20\nFontBold=True\n"));
}

void TestSettingsStore::unchangedStoreIsNotRewritten() {
    // A store whose file is a folder, but nothing to write: no failure to report.
    QVERIFY(QDir().mkpath(iniPath()));
    SettingsStore store(iniPath());
    QVERIFY(store.sync());
    QVERIFY(testfiles::writeBytes(m_dir->filePath("other.ini"), "[frmMain]\nFontSize=15\n"));
    const quint64 before = testfiles::inodeOf(m_dir->filePath("other.ini"));
    SettingsStore same(m_dir->filePath("other.ini"));
    same.writeNumber("frmMain", "FontSize", 15);
    QVERIFY(same.sync());
    QCOMPARE(testfiles::inodeOf(m_dir->filePath("other.ini")), before);
    same.writeNumber("frmMain", "FontSize", 16);
    QVERIFY(same.sync());
    QVERIFY(testfiles::inodeOf(m_dir->filePath("other.ini")) != before);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
