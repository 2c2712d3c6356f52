#include "forms/countdown_style.h"
#include "settings/settings_store.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestCountdownStyle : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("s.ini")));
    }

    void emptyStoreGivesTheDefaults() {
        CountdownStyle style;
        style.load(*m_store, QStringLiteral("楷体"));
        QCOMPARE(style.text().fontName, QStringLiteral("楷体"));
        QCOMPARE(style.text().fontSize, 15.0);
        QCOMPARE(style.text().foreColor, quint32(0xA00000));
        QVERIFY(!style.text().bold && !style.text().italic && !style.text().underline &&
                !style.text().strikethru);
        QCOMPARE(style.rect(), (CountdownRect{7770, 5325, 6045, 3240}));
    }

    // What another program or an older version may have stored.
    void storedFormsAreRead_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected"); // field=value as read back
        QTest::newRow("size") << "FontSize"
                              << "20.25"
                              << "size=20.25";
        QTest::newRow("size zero keeps default") << "FontSize"
                                                 << "0"
                                                 << "size=15";
        QTest::newRow("size negative keeps default") << "FontSize"
                                                     << "-3"
                                                     << "size=15";
        QTest::newRow("size huge keeps default") << "FontSize"
                                                 << "1e9"
                                                 << "size=15";
        QTest::newRow("size text keeps default") << "FontSize"
                                                 << "big"
                                                 << "size=15";
        QTest::newRow("bold True") << "FontBold"
                                   << "True"
                                   << "bold=1";
        QTest::newRow("bold -1") << "FontBold"
                                 << "-1"
                                 << "bold=1";
        QTest::newRow("bold False") << "FontBold"
                                    << "False"
                                    << "bold=0";
        QTest::newRow("colour red") << "ForeColor"
                                    << "255"
                                    << "colour=255";
        QTest::newRow("colour above 24 bits") << "ForeColor"
                                              << "4278190335"
                                              << "colour=255";
        QTest::newRow("empty name takes fallback") << "FontName"
                                                   << ""
                                                   << "name=楷体";
        QTest::newRow("name") << "FontName"
                              << "黑体"
                              << "name=黑体";
    }
    void storedFormsAreRead() {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        m_store->writeText(QStringLiteral("frmMain"), key, stored);
        CountdownStyle style;
        style.load(*m_store, QStringLiteral("楷体"));
        const TextStyle& t = style.text();
        const QString field = expected.section(u'=', 0, 0);
        const QString value = expected.section(u'=', 1);
        if (field == QLatin1String("size"))
            QCOMPARE(t.fontSize, value.toDouble());
        else if (field == QLatin1String("bold"))
            QCOMPARE(t.bold, value == QLatin1String("1"));
        else if (field == QLatin1String("colour"))
            QCOMPARE(t.foreColor, value.toUInt());
        else
            QCOMPARE(t.fontName, value);
    }

    void storedStyleReadsBackExactly() {
        CountdownStyle style;
        style.setText({.fontName = QStringLiteral(" 文泉驿 \"微米\"=;#"),
                       .fontSize = 27.5,
                       .bold = true,
                       .underline = true,
                       .strikethru = true,
                       .foreColor = style.text().foreColor});
        style.setForeColor(0x123456);
        style.setRect({100.5, 200, 3000, 1500});
        QVERIFY(style.storeText(*m_store));
        QVERIFY(style.storeRect(*m_store));

        SettingsStore again(m_dir->filePath(QStringLiteral("s.ini")));
        CountdownStyle read;
        read.load(again, QStringLiteral("楷体"));
        QCOMPARE(read.text(), style.text());
        QCOMPARE(read.rect(), style.rect());
    }

    // A new settings file lists the rectangle as the display settings store it: width,
    // height, top, left; a file that has the keys in another order keeps its order.
    void rectangleKeysInStoreOrder() {
        CountdownStyle style;
        style.setRect({1500, 750, 7500, 4500});
        QVERIFY(style.storeRect(*m_store));
        QFile file(m_dir->filePath(QStringLiteral("s.ini")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const qsizetype width = text.indexOf("Width=7500");
        const qsizetype height = text.indexOf("Height=4500");
        const qsizetype top = text.indexOf("Top=750");
        const qsizetype left = text.indexOf("Left=1500");
        QVERIFY2(width >= 0 && height >= 0 && top >= 0 && left >= 0, text.constData());
        QVERIFY2(width < height && height < top && top < left, text.constData());
    }

    void changesAreSignalledOnceAndOnlyWhenReal() {
        CountdownStyle style;
        QSignalSpy text(&style, &CountdownStyle::textChanged);
        QSignalSpy rect(&style, &CountdownStyle::rectChanged);
        style.setForeColor(255);
        QCOMPARE(text.count(), 1);
        style.setForeColor(255);
        QCOMPARE(text.count(), 1);
        style.setText({.fontName = QStringLiteral("黑体"),
                       .fontSize = 30,
                       .foreColor = style.text().foreColor});
        QCOMPARE(text.count(), 2);
        QCOMPARE(style.text().foreColor, quint32(255));
        style.setText({.fontName = QStringLiteral("黑体"),
                       .fontSize = -1,
                       .foreColor = style.text().foreColor});
        QCOMPARE(style.text().fontSize, 15.0);
        QCOMPARE(text.count(), 3);
        // An unusable size is replaced before the comparison: asking again changes nothing.
        style.setText({.fontName = QStringLiteral("黑体"), .fontSize = -1, .foreColor = 255});
        style.setText(style.text());
        QCOMPARE(text.count(), 3);
        QCOMPARE(rect.count(), 0);
        style.setRect({1, 2, 3, 4});
        QCOMPARE(rect.count(), 1);
    }

    void storeThatCannotBeWrittenSaysSo() {
        // The settings file's place is taken by a folder.
        QDir(m_dir->path()).mkpath(QStringLiteral("blocked.ini"));
        SettingsStore blocked(m_dir->filePath(QStringLiteral("blocked.ini")));
        CountdownStyle style;
        style.setForeColor(255);
        QString error;
        QVERIFY(!style.storeText(blocked, &error));
        QVERIFY(!error.isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

QTEST_GUILESS_MAIN(TestCountdownStyle)
#include "tst_countdown_style.moc"
