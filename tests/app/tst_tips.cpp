#include "../settings/test_files.h"
#include "app/tips.h"

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
    void encodingIsDecidedPerLine_data();
    void encodingIsDecidedPerLine();
    void longTipGivesItsStart();
    void reloadReplacesList();
    void missingKeepsOldList();
    void notRegularFileIsNotMissing_data();
    void notRegularFileIsNotMissing();
    void unreadableKeepsOldList();
    void largeFileIsRefusedUnread();
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

void TestTips::encodingIsDecidedPerLine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("tips");
    const QByteArray utf8NiHao("\xE4\xBD\xA0\xE5\xA5\xBD"), gbZhongWen("\xD6\xD0\xCE\xC4");
    const QString niHao = QString::fromUtf8("你好"), zhongWen = QString::fromUtf8("中文");
    const QString bad(QChar(0xFFFD));
    QTest::newRow("one GB line in a UTF-8 file")
        << utf8NiHao + "\r\n" + gbZhongWen + "\r\n" + utf8NiHao
        << QStringList{niHao, zhongWen, niHao};
    QTest::newRow("GB file") << gbZhongWen + "\r\nabc\r\n" + gbZhongWen
                             << QStringList{zhongWen, "abc", zhongWen};
    // A BOM decides for the whole file: a GB line in it is broken UTF-8.
    QTest::newRow("BOM with a GB line")
        << "\xEF\xBB\xBF" + utf8NiHao + "\r\n" + gbZhongWen << QStringList{niHao, bad.repeated(4)};
    QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF") << QStringList{};
    QTest::newRow("BOM, UTF-8 character cut at the end")
        << QByteArray("\xEF\xBB\xBF") + "a\r\n\xE4\xBD" << QStringList{"a", bad + bad};
}

void TestTips::encodingIsDecidedPerLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, tips);
    QVERIFY(writeBytes(path("ral.txt"), bytes));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(allTips(list), tips);
}

void TestTips::longTipGivesItsStart() {
    // A UTF-8 line of 200 000 "中" (three bytes each), then a short GB line.
    const QByteArray zhong("\xE4\xB8\xAD");
    QVERIFY(writeBytes(path("ral.txt"), "x" + zhong.repeated(200000) + "\r\n\xD6\xD0\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.count(), 2);
    const QString first = list.tip(1);
    // Cut at a whole character and still read as UTF-8.
    QCOMPARE(first, "x" + QString::fromUtf8("中").repeated((TipList::maxTipBytes - 1) / 3));
    QCOMPARE(list.tip(2), QString::fromUtf8("中"));
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
}

void TestTips::missingKeepsOldList() {
    QVERIFY(writeBytes(path("ral.txt"), "a\r\nb\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.load(path("gone.txt")), TipList::LoadResult::Missing);
    QCOMPARE(list.lastStatus(), textfile::ReadStatus::Missing);
    QCOMPARE(list.load(QString()), TipList::LoadResult::Missing);
    QCOMPARE(allTips(list), (QStringList{"a", "b"}));
}

void TestTips::notRegularFileIsNotMissing_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("link to /dev/zero") << "zero";
}

void TestTips::notRegularFileIsNotMissing() {
    QFETCH(QString, kind);
    QVERIFY(writeBytes(path("ral.txt"), "a\r\n"));
    const QString odd = path("odd.txt");
    if (kind == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("odd.txt"));
    else if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(odd));
    else
        QVERIFY(QFile::link("/dev/zero", odd));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    TipList::LoadResult result = TipList::LoadResult::Ok;
    QVERIFY(testfiles::endsWithin(
        std::chrono::seconds(10), [&] { result = list.load(odd); }, odd));
    QCOMPARE(result, TipList::LoadResult::Unreadable);
    QCOMPARE(list.lastStatus(), textfile::ReadStatus::NotRegularFile);
    QVERIFY(list.lastMessage().contains(QString::fromUtf8("不是普通文件")));
    QVERIFY(list.lastMessage().contains(odd));
    QCOMPARE(allTips(list), QStringList{"a"});
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

void TestTips::largeFileIsRefusedUnread() {
    // A sparse 2 GB file: were it read, the test would take its size in memory and time.
    if (!testfiles::makeSparse(path("big.txt"), qint64(2) << 30))
        QSKIP("this file system cannot hold a sparse 2 GB file");
    QVERIFY(writeBytes(path("ral.txt"), "a\r\n"));
    TipList list;
    QCOMPARE(list.load(path("ral.txt")), TipList::LoadResult::Ok);
    QVERIFY(list.lastMessage().isEmpty());
    QCOMPARE(list.load(path("big.txt")), TipList::LoadResult::Unreadable);
    QCOMPARE(list.lastStatus(), textfile::ReadStatus::TooLarge);
    QVERIFY(list.lastMessage().contains(QString::fromUtf8("太大")));
    QVERIFY(list.lastMessage().contains(QStringLiteral("256 MB")));
    QCOMPARE(allTips(list), QStringList{"a"});

    // The limit itself is allowed; one byte more is not.
    QVERIFY(testfiles::makeSparse(path("edge.txt"), TipList::maxFileBytes + 1, "x\r\n"));
    QCOMPARE(list.load(path("edge.txt")), TipList::LoadResult::Unreadable);
    QVERIFY(QFile::resize(path("edge.txt"), TipList::maxFileBytes));
    QCOMPARE(list.load(path("edge.txt")), TipList::LoadResult::Ok);
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.tip(1), QStringLiteral("x"));
    QCOMPARE(list.tip(2).size(), TipList::maxTipBytes); // NULs, cut
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
