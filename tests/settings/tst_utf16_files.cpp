// Files saved as UTF-16 with a BOM (Windows editors' "Unicode" and "Unicode big endian") are
// read as what they are: "countdown.ini", "settings.ini" and the tips "ral.txt", each in both
// byte orders and with every line end; a rewrite keeps every character.
#include "app/tips.h"
#include "settings/data_files.h"
#include "settings/text_file.h"
#include "test_files.h"

#include <QTemporaryDir>
#include <QTest>

using testfiles::readBytes;
using testfiles::writeBytes;

namespace {

enum class Order { Le, Be };

QByteArray utf16(const QString& text, Order order, bool bom = true) {
    QByteArray bytes;
    if (bom)
        bytes += order == Order::Le ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const char hi = char(u >> 8), lo = char(u & 0xFF);
        if (order == Order::Le)
            bytes.append(lo).append(hi);
        else
            bytes.append(hi).append(lo);
    }
    return bytes;
}

QString joined(const QStringList& lines, const QString& end) {
    QString text;
    for (const QString& line : lines)
        text += line + end;
    return text;
}

// Values with characters whose UTF-16 holds the bytes CR (0x0D) or LF (0x0A): '不' is U+4E0D
// and '਍' U+0A0D, so a reader that looks for line ends in the raw bytes splits them apart; a
// surrogate pair for a character outside the basic plane.
const QStringList kCountdown = {QStringLiteral("距离高考还有"), QStringLiteral("不要放弃：还有"),
                                QStringLiteral("6/7/2027"), QStringLiteral("9:00:00 AM")};
const QStringList kReminder = {QStringLiteral("学习时间到 \U0001F4DA"),
                               QStringLiteral("不怕慢，只怕停 ਍"), QStringLiteral("30")};
const QStringList kTips = {QStringLiteral("每天多读一页书。"),
                           QStringLiteral("不积跬步，无以至千里。"), QStringLiteral("Keep going.")};

} // namespace

class TestUtf16Files : public QObject {
    Q_OBJECT
private slots:
    void readAsWhatTheyAre_data();
    void readAsWhatTheyAre();
    void damagedUtf16IsShownNotDropped_data();
    void damagedUtf16IsShownNotDropped();
    void lineEndsAcrossReadPieces_data();
    void lineEndsAcrossReadPieces();
    void longUtf16LineIsCutAtWholeCharacter();
    void rewriteOfUtf16FileKeepsEveryCharacter_data();
    void rewriteOfUtf16FileKeepsEveryCharacter();
    void encodingHelpers_data();
    void encodingHelpers();
};

void TestUtf16Files::readAsWhatTheyAre_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("lineEnd");

    for (const char* file : {"countdown.ini", "settings.ini", "ral.txt"}) {
        for (const Order order : {Order::Le, Order::Be}) {
            for (const char* end : {"\r\n", "\n", "\r"}) {
                const QByteArray name = QByteArray(file) + (order == Order::Le ? " LE" : " BE") +
                                        (end == QByteArrayView("\r\n") ? " CRLF"
                                         : end[0] == '\n'              ? " LF"
                                                                       : " CR");
                QTest::newRow(name.constData())
                    << QString::fromLatin1(file) << int(order) << QString::fromLatin1(end);
            }
        }
    }
}

void TestUtf16Files::readAsWhatTheyAre() {
    QFETCH(QString, file);
    QFETCH(int, order);
    QFETCH(QString, lineEnd);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(file);
    const QStringList& want = file == QLatin1String("countdown.ini")  ? kCountdown
                              : file == QLatin1String("settings.ini") ? kReminder
                                                                      : kTips;
    QVERIFY(writeBytes(path, utf16(joined(want, lineEnd), Order(order))));

    QStringList got;
    if (file == QLatin1String("countdown.ini")) {
        const CountdownFile read = readCountdownFile(path);
        QCOMPARE(read.status, textfile::ReadStatus::Ok);
        got = read.lines;
    } else if (file == QLatin1String("settings.ini")) {
        const ReminderFile read = readReminderFile(path);
        QCOMPARE(read.status, textfile::ReadStatus::Ok);
        got = read.lines;
    } else {
        TipList tips;
        QCOMPARE(tips.load(path), TipList::LoadResult::Ok);
        for (int i = 1; i <= tips.count(); ++i)
            got << tips.tip(i);
    }
    QCOMPARE(got, want);

    // The line reader itself names the encoding, for the rewrite to go by.
    const textfile::TextLines lines = textfile::readLines(path);
    QCOMPARE(lines.encoding,
             Order(order) == Order::Le ? textfile::Encoding::Utf16Le : textfile::Encoding::Utf16Be);
    QCOMPARE(lines.lines, want);
    QVERIFY(!lines.cut);
}

void TestUtf16Files::damagedUtf16IsShownNotDropped_data() {
    QTest::addColumn<QByteArray>("tail"); // UTF-16 LE bytes after "ab\r\n" and "c"
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("odd last byte") << QByteArray("\x64", 1) << QStringLiteral("c\uFFFD");
    QTest::newRow("lone high surrogate at the end")
        << QByteArray("\x3D\xD8", 2) << QStringLiteral("c\uFFFD");
    QTest::newRow("lone low surrogate")
        << QByteArray("\x00\xDC\x64\x00", 4) << QStringLiteral("c\uFFFDd");
    QTest::newRow("pair intact") << QByteArray("\x3D\xD8\xDA\xDC", 4)
                                 << QStringLiteral("c\U0001F4DA");
}

void TestUtf16Files::damagedUtf16IsShownNotDropped() {
    QFETCH(QByteArray, tail);
    QFETCH(QString, lastLine);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QVERIFY(writeBytes(path, utf16(QStringLiteral("ab\r\nc"), Order::Le) + tail));
    const textfile::TextLines lines = textfile::readLines(path);
    QCOMPARE(lines.status, textfile::ReadStatus::Ok);
    QCOMPARE(lines.lines, QStringList({QStringLiteral("ab"), lastLine}));
    // The tips take the same text.
    TipList tips;
    QCOMPARE(tips.load(path), TipList::LoadResult::Ok);
    QCOMPARE(tips.count(), 2);
    QCOMPARE(tips.tip(2), lastLine);
}

void TestUtf16Files::lineEndsAcrossReadPieces_data() {
    // The reader takes 64 KiB at a time: the BOM and 32766 characters fill the first piece
    // exactly, so what comes next starts the second one.
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("order");
    for (const Order order : {Order::Le, Order::Be}) {
        const char* side = order == Order::Le ? " LE" : " BE";
        QTest::newRow(qPrintable(QStringLiteral("CR LF split") + QLatin1String(side)))
            << QStringLiteral("\r\n") << int(order);
        QTest::newRow(
            qPrintable(QStringLiteral("lone CR at the piece's end") + QLatin1String(side)))
            << QStringLiteral("\r") << int(order);
    }
}

void TestUtf16Files::lineEndsAcrossReadPieces() {
    QFETCH(QString, end);
    QFETCH(int, order);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("countdown.ini"));
    const QString first(32765, u'不');
    // 1 + 32765 + CR = 32767 characters after the BOM: the CR is the piece's last.
    const QString text = u'x' + first + end + QStringLiteral("second\r\nthird\r\n");
    QVERIFY(writeBytes(path, utf16(text, Order(order))));
    QCOMPARE(utf16(u'x' + first + u'\r', Order(order)).size(), 64 * 1024);

    for (const int wanted : {3, -1}) {
        const textfile::TextLines lines = textfile::readLines(path, wanted);
        QCOMPARE(lines.status, textfile::ReadStatus::Ok);
        QCOMPARE(lines.lines,
                 QStringList({u'x' + first, QStringLiteral("second"), QStringLiteral("third")}));
    }
}

void TestUtf16Files::longUtf16LineIsCutAtWholeCharacter() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    // A line of pairs, one unit off so that the limit falls inside a pair.
    QString pairs = QStringLiteral("a");
    for (int i = 0; i < 50; ++i)
        pairs += QStringLiteral("\U0001F4DA");
    QVERIFY(writeBytes(path, utf16(pairs + QStringLiteral("\r\nnext\r\n"), Order::Le)));
    const textfile::TextLines lines = textfile::readLines(path, 2, 20); // 10 units
    QCOMPARE(lines.lines.size(), 2);
    QVERIFY(lines.cut);
    // 'a' and four whole pairs (9 units); the fifth pair would not fit whole.
    QCOMPARE(lines.lines.at(0), pairs.left(9));
    QCOMPARE(lines.lines.at(1), QStringLiteral("next"));
}

void TestUtf16Files::rewriteOfUtf16FileKeepsEveryCharacter_data() {
    QTest::addColumn<int>("order");
    QTest::newRow("LE") << int(Order::Le);
    QTest::newRow("BE") << int(Order::Be);
}

void TestUtf16Files::rewriteOfUtf16FileKeepsEveryCharacter() {
    QFETCH(int, order);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QVERIFY(writeBytes(path, utf16(joined(kReminder, QStringLiteral("\r\n")), Order(order))));
    const QStringList changed = {kReminder.at(0), kReminder.at(1), QStringLiteral("45")};
    QString error;
    QVERIFY2(textfile::writeLines(path, changed, &error), qPrintable(error));
    // Rewritten as UTF-8 with BOM: no byte order to guess, and every character kept.
    const QByteArray bytes = readBytes(path);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.mid(3), joined(changed, QStringLiteral("\r\n")).toUtf8());
    QCOMPARE(readReminderFile(path).lines, changed);
}

void TestUtf16Files::encodingHelpers_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("bom");
    QTest::newRow("UTF-16 LE BOM")
        << QByteArray("\xFF\xFE\x0D\x4E", 4) << int(textfile::Encoding::Utf16Le) << 2;
    QTest::newRow("UTF-16 BE BOM")
        << QByteArray("\xFE\xFF\x4E\x0D", 4) << int(textfile::Encoding::Utf16Be) << 2;
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF\xE4\xB8\x8D")
                               << int(textfile::Encoding::Utf8WithBom) << 3;
    QTest::newRow("GB18030 is no BOM")
        << QByteArray("\xB2\xBB") << int(textfile::Encoding::Gb18030) << 0;
}

void TestUtf16Files::encodingHelpers() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(int, bom);
    const auto detected = textfile::Encoding(encoding);
    // The reader takes the BOM as the file's word for its encoding.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeBytes(dir.filePath("f.txt"), bytes));
    QCOMPARE(int(textfile::readLines(dir.filePath("f.txt")).encoding), encoding);
    QCOMPARE(textfile::decode(QByteArrayView(bytes).sliced(bom), detected), QStringLiteral("不"));
    if (detected == textfile::Encoding::Utf16Le || detected == textfile::Encoding::Utf16Be) {
        QCOMPARE(textfile::encode(QStringLiteral("不"), detected), bytes.mid(2));
        // Half a pair at the end is left for the next piece.
        const QByteArray pair = textfile::encode(QStringLiteral("\U0001F4DA"), detected);
        QCOMPARE(textfile::wholeCharacters(pair.left(2), detected), qsizetype(0));
        QCOMPARE(textfile::wholeCharacters(pair, detected), qsizetype(4));
        QCOMPARE(textfile::wholeCharacters(pair.left(3), detected), qsizetype(0));
    }
}

QTEST_GUILESS_MAIN(TestUtf16Files)
#include "tst_utf16_files.moc"
