#include "tips.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <cmath>
#include <limits>

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList allTips(const TipList& tips) {
    QStringList list;
    for (int i = 1; i <= tips.count(); ++i)
        list.append(tips.tip(i));
    return list;
}

} // namespace

class TestTips : public QObject {
    Q_OBJECT

private slots:
    // A fresh folder for every test function and data row.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void loadsEveryLine_data();
    void loadsEveryLine();
    void tipOutsideRangeIsEmpty();
    void linesAcrossIndexBlocks();
    void millionLines();
    void encodingIsDetectedForWholeFile();
    void reloadReplacesList();
    void missingKeepsOldList();
    void unreadableKeepsOldList();
    void fileOf4GiBIsRefused();
    void tipNumberFor_data();
    void tipNumberFor();
    void uniformSingleStaysBelowOne_data();
    void uniformSingleStaysBelowOne();
    void twoTipsRepeatAboutHalfTheTime();
    void tipNumbersAreUniform();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTips::loadsEveryLine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("tips");
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("one line") << QByteArray("\xB6\xE0\xD7\xF6\xCC\xE2\r\n")
                              << QStringList{QString::fromUtf8("多做题")};
    QTest::newRow("one line without end") << QByteArray("only") << QStringList{"only"};
    QTest::newRow("empty lines count")
        << QByteArray("a\r\n\r\n\r\nd\r\n") << QStringList{"a", "", "", "d"};
    QTest::newRow("LF-only file has one tip a line")
        << QByteArray("a\nb\nc\n") << QStringList{"a", "b", "c"};
    QTest::newRow("lone CR and mixed")
        << QByteArray("a\rb\r\nc\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("UTF-8 with BOM")
        << QByteArray("\xEF\xBB\xBF\xE5\xA4\x9A\r\nx") << QStringList{QString::fromUtf8("多"), "x"};
}

void TestTips::loadsEveryLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, tips);
    QVERIFY(writeBytes(path("ral.txt"), bytes));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.count(), tips.size());
    QCOMPARE(allTips(list), tips);
}

void TestTips::tipOutsideRangeIsEmpty() {
    QVERIFY(writeBytes(path("ral.txt"), "one\r\ntwo\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.tip(0), QString());
    QCOMPARE(list.tip(-1), QString());
    QCOMPARE(list.tip(3), QString());
    QCOMPARE(list.tip(std::numeric_limits<int>::max()), QString());
    QCOMPARE(TipList().tip(1), QString());
}

void TestTips::linesAcrossIndexBlocks() {
    // Lengths and line ends vary so that a tip found from the wrong block start, or a wrong
    // count of skipped line ends, shows the wrong text.
    QStringList expected;
    QByteArray bytes;
    const char* ends[] = {"\r\n", "\n", "\r"}; // a lone CR is never followed by LF
    for (int i = 1; i <= 5 * TipList::linesPerBlock + 3; ++i) {
        const QString tip =
            i % 7 == 0 ? QString() : QStringLiteral("tip %1 ").arg(i).repeated(i % 5);
        expected.append(tip);
        bytes += tip.toUtf8() + ends[i % 3];
    }
    QVERIFY(writeBytes(path("ral.txt"), bytes));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(allTips(list), expected);
}

void TestTips::millionLines() {
    QByteArray bytes;
    bytes.reserve(12 * 1000000);
    for (int i = 1; i <= 1000000; ++i)
        bytes += "tip " + QByteArray::number(i) + "\n";
    QVERIFY(writeBytes(path("ral.txt"), bytes));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.count(), 1000000);
    QCOMPARE(list.tip(1), QStringLiteral("tip 1"));
    QCOMPARE(list.tip(654321), QStringLiteral("tip 654321"));
    QCOMPARE(list.tip(1000000), QStringLiteral("tip 1000000"));
}

void TestTips::encodingIsDetectedForWholeFile() {
    // The first line alone is valid UTF-8 ("你好"); the second is GB ("中文") and makes the
    // whole file code page 936, so the first line is read as GB too.
    QVERIFY(writeBytes(path("ral.txt"), "\xE4\xBD\xA0\xE5\xA5\xBD\r\n\xD6\xD0\xCE\xC4\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.tip(2), QString::fromUtf8("中文"));
    QVERIFY(list.tip(1) != QString::fromUtf8("你好"));
    QCOMPARE(list.tip(1).size(), 3);
}

void TestTips::reloadReplacesList() {
    QVERIFY(writeBytes(path("ral.txt"), "a\r\nb\r\nc\r\n"));
    QVERIFY(writeBytes(path("other.txt"), "x\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(allTips(list), (QStringList{"a", "b", "c"}));
    QCOMPARE(list.load(path("other.txt")), TipList::LoadResult::Ok);
    QCOMPARE(allTips(list), QStringList{"x"});
    list.clear();
    QCOMPARE(list.count(), 0);
}

void TestTips::missingKeepsOldList() {
    QVERIFY(writeBytes(path("ral.txt"), "a\r\nb\r\n"));
    QVERIFY(QDir(m_dir->path()).mkdir("folder.txt"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.load(path("gone.txt")), TipList::LoadResult::Missing);
    QCOMPARE(list.load(QString()), TipList::LoadResult::Missing);
    QCOMPARE(list.load(path("folder.txt")), TipList::LoadResult::Missing);
    QCOMPARE(allTips(list), (QStringList{"a", "b"}));
}

void TestTips::unreadableKeepsOldList() {
    QVERIFY(writeBytes(path("ral.txt"), "a\r\n"));
    QVERIFY(writeBytes(path("locked.txt"), "secret\r\n"));
    QVERIFY(QFile::setPermissions(path("locked.txt"), QFileDevice::WriteOwner));
    if (QFile locked(path("locked.txt")); locked.open(QIODevice::ReadOnly))
        QSKIP("permissions do not stop reading here (superuser)");
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.load(path("locked.txt")), TipList::LoadResult::Unreadable);
    QCOMPARE(allTips(list), QStringList{"a"});
}

void TestTips::fileOf4GiBIsRefused() {
    // A sparse file: 4 GiB long without taking the space or being read.
    QFile big(path("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    if (!big.resize(qint64(std::numeric_limits<quint32>::max()) + 1))
        QSKIP("this file system cannot hold a sparse 4 GiB file");
    big.close();
    QVERIFY(writeBytes(path("ral.txt"), "a\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.load(path("big.txt")), TipList::LoadResult::Unreadable);
    QCOMPARE(allTips(list), QStringList{"a"});
}

void TestTips::tipNumberFor_data() {
    QTest::addColumn<float>("r");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("expected");
    const float belowOne = std::nextafter(1.0f, 0.0f);
    QTest::newRow("r 0") << 0.0f << 5 << 1;
    QTest::newRow("r just below 1") << belowOne << 5 << 5;
    QTest::newRow("one tip, r 0") << 0.0f << 1 << 1;
    QTest::newRow("one tip, r just below 1") << belowOne << 1 << 1;
    QTest::newRow("no tips") << 0.7f << 0 << 1;
    QTest::newRow("half of two") << 0.5f << 2 << 2;
    QTest::newRow("just below half of two") << std::nextafter(0.5f, 0.0f) << 2 << 1;
    // 0.2f is a little above 0.2, so r * 5 + 1 is just above 2 in double precision.
    QTest::newRow("single value widened exactly") << 0.2f << 5 << 2;
    QTest::newRow("many tips, r just below 1")
        << belowOne << std::numeric_limits<int>::max() << std::numeric_limits<int>::max() - 127;
}

void TestTips::tipNumberFor() {
    QFETCH(float, r);
    QFETCH(int, n);
    QFETCH(int, expected);
    QCOMPARE(::tipNumberFor(r, n), expected);
}

void TestTips::uniformSingleStaysBelowOne_data() {
    QTest::addColumn<quint32>("bits");
    QTest::addColumn<float>("expected");
    QTest::newRow("zero") << 0u << 0.0f;
    QTest::newRow("half") << 0x800000u << 0.5f;
    QTest::newRow("largest 24 bits") << 0xFFFFFFu << 1.0f - 1.0f / 16777216.0f;
    QTest::newRow("whole 32-bit draw") << 0xFFFFFFFFu << 1.0f - 1.0f / 16777216.0f;
    QTest::newRow("high bits ignored") << 0xFF000001u << 1.0f / 16777216.0f;
}

void TestTips::uniformSingleStaysBelowOne() {
    QFETCH(quint32, bits);
    QFETCH(float, expected);
    const float r = uniformSingle(bits);
    QCOMPARE(r, expected);
    QVERIFY(r >= 0.0f && r < 1.0f);
    for (int n : {1, 2, 3, 1000, 16777216, std::numeric_limits<int>::max()}) {
        const int number = ::tipNumberFor(r, n);
        QVERIFY(number >= 1 && number <= n);
    }
    QCOMPARE(::tipNumberFor(uniformSingle(0xFFFFFFFFu), 7), 7);
}

void TestTips::twoTipsRepeatAboutHalfTheTime() {
    QRandomGenerator random(20110607);
    constexpr int draws = 20000;
    int previous = ::tipNumberFor(uniformSingle(random.generate()), 2);
    int repeats = 0;
    int seen[3] = {0, 0, 0};
    for (int i = 0; i < draws; ++i) {
        const int number = ::tipNumberFor(uniformSingle(random.generate()), 2);
        QVERIFY(number == 1 || number == 2);
        ++seen[number];
        repeats += number == previous;
        previous = number;
    }
    // Standard deviation of the rate is 0.0035; six of them still fail a skewed picker.
    const double rate = double(repeats) / draws;
    QVERIFY2(std::fabs(rate - 0.5) < 0.021, qPrintable(QString::number(rate)));
    QVERIFY(std::abs(seen[1] - seen[2]) < draws / 20);
}

void TestTips::tipNumbersAreUniform() {
    QRandomGenerator random(1977);
    constexpr int n = 7;
    constexpr int draws = 70000;
    int seen[n + 1] = {};
    for (int i = 0; i < draws; ++i)
        ++seen[::tipNumberFor(uniformSingle(random.generate()), n)];
    QCOMPARE(seen[0], 0);
    // Chi-square with 6 degrees of freedom: 22.5 is the 0.1 % tail.
    double chi = 0;
    for (int k = 1; k <= n; ++k) {
        const double diff = seen[k] - double(draws) / n;
        chi += diff * diff / (double(draws) / n);
    }
    QVERIFY2(chi < 22.5, qPrintable(QString::number(chi)));
}

QTEST_GUILESS_MAIN(TestTips)
#include "tst_tips.moc"
