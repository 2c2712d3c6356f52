#include "settings/text_file.h"
#include "test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using textfile::Encoding;
using textfile::ReadStatus;

Q_DECLARE_METATYPE(textfile::Encoding)

namespace {

const QByteArray bom("\xEF\xBB\xBF");
// "你好" and "中文" in code page 936, "你好" in UTF-8.
const QByteArray gbNiHao("\xC4\xE3\xBA\xC3");
const QByteArray gbZhongWen("\xD6\xD0\xCE\xC4");
const QByteArray utf8NiHao("\xE4\xBD\xA0\xE5\xA5\xBD");
const QString niHao = QString::fromUtf8("你好");
const QString zhongWen = QString::fromUtf8("中文");
// U+00A5 and U+1F600 exist in GB18030 only as four-byte sequences.
const QByteArray gbYen("\x81\x30\x84\x36");
const QByteArray gbGrin("\x94\x39\xFC\x36");
const QString yen = QString::fromUtf8("\u00A5");
const QString grin = QString::fromUtf8("\U0001F600");
const QString replacement(QChar(0xFFFD));

} // namespace

class TestTextFile : public QObject {
    Q_OBJECT

private slots:
    // A fresh folder for every test function and data row.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void readsLines_data();
    void readsLines();
    void detectsEncoding_data();
    void detectsEncoding();
    void longLineIsCutAtWholeCharacter_data();
    void longLineIsCutAtWholeCharacter();
    void readsOnlyTheLinesAsked();
    void hugeFilesAreReadOnlyAsFarAsNeeded_data();
    void hugeFilesAreReadOnlyAsFarAsNeeded();
    void wholeReadRefusesHugeFile();
    void missingIsMissing();
    void notRegularFileIsNotMissing_data();
    void notRegularFileIsNotMissing();
    void writeLeavesSpecialNameAlone_data();
    void writeLeavesSpecialNameAlone();
    void unreadableFileIsReported();
    void whatANameIs_data();
    void whatANameIs();

    void newFileIsCodePage936();
    void rewriteKeepsEncoding_data();
    void rewriteKeepsEncoding();
    void lineEndInsideValueBecomesSpace();
    void writtenLinesReadBack_data();
    void writtenLinesReadBack();
    void canEncode_data();
    void canEncode();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTextFile::readsLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<Encoding>("encoding");

    QTest::newRow("empty file") << QByteArray() << QStringList() << Encoding::Utf8;
    QTest::newRow("one line, no end") << QByteArray("abc") << QStringList{"abc"} << Encoding::Utf8;
    QTest::newRow("one line, CR LF")
        << QByteArray("abc\r\n") << QStringList{"abc"} << Encoding::Utf8;
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""} << Encoding::Utf8;
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"} << Encoding::Utf8;
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"} << Encoding::Utf8;
    QTest::newRow("lone LF, last end missing")
        << QByteArray("a\nb") << QStringList{"a", "b"} << Encoding::Utf8;
    QTest::newRow("mixed ends and empty lines")
        << QByteArray("a\r\n\rb\n\nc") << QStringList{"a", "", "b", "", "c"} << Encoding::Utf8;
    QTest::newRow("CR CR LF is two ends")
        << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"} << Encoding::Utf8;
    QTest::newRow("LF CR is two ends")
        << QByteArray("a\n\rb") << QStringList{"a", "", "b"} << Encoding::Utf8;
    QTest::newRow("code page 936") << gbNiHao + "\r\n" + gbZhongWen + "\r\n"
                                   << QStringList{niHao, zhongWen} << Encoding::Gb18030;
    QTest::newRow("GB18030 four-byte sequences")
        << gbZhongWen + gbYen + "\r\n" + gbGrin << QStringList{zhongWen + yen, grin}
        << Encoding::Gb18030;
    QTest::newRow("UTF-8 without BOM")
        << utf8NiHao + "\r\nx" << QStringList{niHao, "x"} << Encoding::Utf8;
    QTest::newRow("UTF-8 with BOM")
        << bom + utf8NiHao + "\r\n" + QByteArray("\xE4\xB8\xAD")
        << QStringList{niHao, QString::fromUtf8("中")} << Encoding::Utf8WithBom;
    QTest::newRow("BOM only") << bom << QStringList() << Encoding::Utf8WithBom;
    QTest::newRow("invalid byte in GB text")
        << gbNiHao + "\xFF" + "A" << QStringList{niHao + replacement + "A"} << Encoding::Gb18030;
    QTest::newRow("GB character cut off at the end")
        << gbNiHao + "\xC4" << QStringList{niHao + replacement} << Encoding::Gb18030;
    QTest::newRow("GB character cut off before a line end")
        << QByteArray("\xC4\r\nz") << QStringList{replacement, "z"} << Encoding::Gb18030;
    QTest::newRow("invalid UTF-8 falls back to GB18030")
        << QByteArray("x") + gbZhongWen << QStringList{"x" + zhongWen} << Encoding::Gb18030;
}

void TestTextFile::readsLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(Encoding, encoding);
    QVERIFY(testfiles::writeBytes(path("f.txt"), bytes));

    const textfile::TextLines read = textfile::readLines(path("f.txt"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.lines, lines);
    QCOMPARE(read.encoding, encoding);
    QVERIFY(read.error.isEmpty());
}

void TestTextFile::detectsEncoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("encoding");

    const QByteArray ascii(37, 'a'); // longer than one eight-byte step, not a multiple of it
    QTest::newRow("ASCII") << ascii << Encoding::Utf8;
    QTest::newRow("UTF-8 after a long ASCII run") << ascii + utf8NiHao << Encoding::Utf8;
    QTest::newRow("UTF-8 four-byte") << QByteArray("\xF0\x9F\x98\x80") << Encoding::Utf8;
    QTest::newRow("BOM") << bom + gbNiHao << Encoding::Utf8WithBom;
    QTest::newRow("GB") << gbNiHao << Encoding::Gb18030;
    QTest::newRow("invalid byte after a long ASCII run")
        << ascii + "\xFF" + ascii << Encoding::Gb18030;
    QTest::newRow("stray continuation byte") << QByteArray("a\x80") << Encoding::Gb18030;
    QTest::newRow("overlong two-byte") << QByteArray("\xC0\xAF") << Encoding::Gb18030;
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\xAF") << Encoding::Gb18030;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << Encoding::Gb18030;
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << Encoding::Gb18030;
    QTest::newRow("cut off at the end") << ascii + QByteArray("\xE4\xBD") << Encoding::Gb18030;
    QTest::newRow("continuation missing") << QByteArray("\xE4\xBD"
                                                        "a")
                                          << Encoding::Gb18030;
}

// The encoding a reader decides on from the bytes of the file: ill-formed UTF-8 of every kind
// (the strict test of Qt's) is code page 936.
void TestTextFile::detectsEncoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, encoding);
    QVERIFY(testfiles::writeBytes(path("f.txt"), bytes));
    const textfile::TextLines read = textfile::readLines(path("f.txt"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.encoding, encoding);
}

void TestTextFile::longLineIsCutAtWholeCharacter_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("character"); // repeated well past the limit
    QTest::addColumn<QString>("decoded");
    QTest::addColumn<Encoding>("encoding");
    // Prefixes of 0, 1 and 2 bytes put the limit on each byte of a three-byte character.
    const QByteArray utf8Zhong("\xE4\xB8\xAD");
    const QString zhong = QString::fromUtf8("中");
    QTest::newRow("UTF-8, limit between characters")
        << QByteArray("ab") << utf8Zhong << zhong << Encoding::Utf8;
    QTest::newRow("UTF-8, limit after first byte")
        << QByteArray() << utf8Zhong << zhong << Encoding::Utf8;
    QTest::newRow("UTF-8, limit after second byte")
        << QByteArray("a") << utf8Zhong << zhong << Encoding::Utf8;
    QTest::newRow("GB, limit inside a character")
        << QByteArray("a") << gbZhongWen.left(2) << zhong << Encoding::Gb18030;
    QTest::newRow("GB four-byte, limit inside")
        << QByteArray("ab") << gbGrin << grin << Encoding::Gb18030;
}

void TestTextFile::longLineIsCutAtWholeCharacter() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, character);
    QFETCH(QString, decoded);
    QFETCH(Encoding, encoding);
    const qsizetype count = textfile::maxLineBytes / character.size() + 10;
    QVERIFY(testfiles::writeBytes(path("long.txt"),
                                  prefix + character.repeated(count) + "\r\nend\r\n"));

    const textfile::TextLines read = textfile::readLines(path("long.txt"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.encoding, encoding); // a cut character does not turn UTF-8 into GB
    QVERIFY(read.cut);
    QCOMPARE(read.lines.size(), 2);
    const QString expected =
        QString::fromLatin1(prefix) +
        decoded.repeated((textfile::maxLineBytes - prefix.size()) / character.size());
    QCOMPARE(read.lines[0].size(), expected.size());
    QCOMPARE(read.lines[0], expected);
    QCOMPARE(read.lines[1], QStringLiteral("end"));
}

void TestTextFile::readsOnlyTheLinesAsked() {
    // The fourth line is cut; the fifth is not wanted; a CR LF split across the reader's
    // pieces is still one line end.
    QByteArray bytes =
        QByteArray(65535, 'a') + "\r\nb\r\n\r\n" + QByteArray(70000, 'd') + "\r\n" + gbZhongWen;
    QVERIFY(testfiles::writeBytes(path("f.ini"), bytes));
    const textfile::TextLines read = textfile::readLines(path("f.ini"), 4);
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.lines.size(), 4);
    QCOMPARE(read.lines[0], QString(65535, u'a'));
    QCOMPARE(read.lines[1], QStringLiteral("b"));
    QCOMPARE(read.lines[2], QString());
    QCOMPARE(read.lines[3], QString(textfile::maxLineBytes, u'd'));
    QVERIFY(read.cut);
    // The unread GB line decides nothing.
    QCOMPARE(read.encoding, Encoding::Utf8);
}

void TestTextFile::hugeFilesAreReadOnlyAsFarAsNeeded_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("cut");
    // 200 MB of one line, and four good lines followed by 200 MB of junk.
    QTest::newRow("one line of 200 MB") << QByteArray("A") << QStringList{} << true;
    QTest::newRow("four lines and junk")
        << QByteArray("first\r\nprefix\r\n6/7/2027\r\n9:00:00 AM\r\n")
        << QStringList{"first", "prefix", "6/7/2027", "9:00:00 AM"} << false;
}

void TestTextFile::hugeFilesAreReadOnlyAsFarAsNeeded() {
    QFETCH(QByteArray, start);
    QFETCH(QStringList, lines);
    QFETCH(bool, cut);
    if (!testfiles::makeSparse(path("countdown.ini"), 200000000, start))
        QSKIP("no room for a sparse file here");
    const textfile::TextLines read = textfile::readLines(path("countdown.ini"), 4);
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.cut, cut);
    if (lines.isEmpty()) {
        // One cut line: its start only, however long the file.
        QCOMPARE(read.lines.size(), 1);
        QCOMPARE(read.lines[0].size(), textfile::maxLineBytes);
        QVERIFY(read.lines[0].startsWith(u'A'));
    } else {
        QCOMPARE(read.lines, lines);
    }
}

void TestTextFile::wholeReadRefusesHugeFile() {
    QVERIFY(testfiles::makeSparse(path("big.txt"), textfile::maxWholeFileBytes + 1, "a\r\n"));
    const textfile::TextLines all = textfile::readLines(path("big.txt"));
    QCOMPARE(all.status, ReadStatus::TooLarge);
    QVERIFY(all.lines.isEmpty());
    QVERIFY(all.error.contains(QString::fromUtf8("太大")));
    // Asking for the first lines still works.
    QCOMPARE(textfile::readLines(path("big.txt"), 1).lines, QStringList{"a"});
}

void TestTextFile::missingIsMissing() {
    QCOMPARE(textfile::readLines(path("nothing.txt")).status, ReadStatus::Missing);
    QCOMPARE(textfile::readLines(QString()).status, ReadStatus::Missing);
    QCOMPARE(textfile::readLines(path("no/folder.txt")).status, ReadStatus::Missing);
    QVERIFY(textfile::readLines(path("nothing.txt")).error.isEmpty());
}

void TestTextFile::notRegularFileIsNotMissing_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("link to /dev/zero") << "zero";
    QTest::newRow("link to a folder") << "link-folder";
    QTest::newRow("dangling link") << "dangling";
}

void TestTextFile::notRegularFileIsNotMissing() {
    QFETCH(QString, kind);
    const QString file = path("countdown.ini");
    if (kind == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("countdown.ini"));
    else if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(file));
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", file));
    else if (kind == "link-folder")
        QVERIFY(QFile::link(m_dir->path(), file));
    else
        QVERIFY(QFile::link(path("gone"), file));

    textfile::TextLines read;
    // A FIFO without a writer would block an ordinary open for ever.
    QVERIFY(testfiles::endsWithin(
        std::chrono::seconds(10), [&] { read = textfile::readLines(file, 4); }, file));
    QCOMPARE(read.status, ReadStatus::NotRegularFile);
    QVERIFY(read.lines.isEmpty());
    QVERIFY(read.error.contains(QString::fromUtf8("不是普通文件")));
    QVERIFY(read.error.contains(file));
    QVERIFY(!textfile::fileCounts(file));
}

void TestTextFile::writeLeavesSpecialNameAlone_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("link to /dev/null") << "null";
}

void TestTextFile::writeLeavesSpecialNameAlone() {
    QFETCH(QString, kind);
    const QString file = path("countdown.ini");
    if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(file));
    else
        QVERIFY(QFile::link("/dev/null", file));
    QString error;
    bool written = true;
    QVERIFY(testfiles::endsWithin(
        std::chrono::seconds(10), [&] { written = textfile::writeLines(file, {"a"}, &error); },
        file));
    QVERIFY(!written);
    QVERIFY(error.contains(QString::fromUtf8("不是普通文件")));
    QCOMPARE(testfiles::kindOf(file), kind == "fifo" ? 'p' : 'l');
    QCOMPARE(testfiles::kindOf("/dev/null"), 'c');
}

void TestTextFile::unreadableFileIsReported() {
    const QString file = path("locked.txt");
    QVERIFY(testfiles::writeBytes(file, "secret\r\n"));
    QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
    if (QFile locked(file); locked.open(QIODevice::ReadOnly))
        QSKIP("permissions do not stop reading here (superuser)");

    const textfile::TextLines read = textfile::readLines(file);
    QCOMPARE(read.status, ReadStatus::Unreadable);
    QVERIFY(read.lines.isEmpty());
    QVERIFY(read.error.contains(QString::fromUtf8("无法")));
    QVERIFY(!textfile::fileCounts(file));
}

void TestTextFile::whatANameIs_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<bool>("counts");
    QTest::addColumn<bool>("taken");
    QTest::newRow("file") << "file" << ReadStatus::Ok << true << true;
    QTest::newRow("empty file") << "empty" << ReadStatus::Ok << true << true;
    QTest::newRow("link to a file") << "link-file" << ReadStatus::Ok << true << true;
    QTest::newRow("folder") << "folder" << ReadStatus::NotRegularFile << false << true;
    QTest::newRow("FIFO") << "fifo" << ReadStatus::NotRegularFile << false << true;
    QTest::newRow("link to /dev/zero") << "zero" << ReadStatus::NotRegularFile << false << true;
    QTest::newRow("link to a folder")
        << "link-folder" << ReadStatus::NotRegularFile << false << true;
    QTest::newRow("dangling link") << "dangling" << ReadStatus::NotRegularFile << false << true;
    QTest::newRow("nothing") << "none" << ReadStatus::Missing << false << false;
    QTest::newRow("inside a missing folder") << "deep" << ReadStatus::Missing << false << false;
    QTest::newRow("inside a file") << "under-file" << ReadStatus::Missing << false << false;
    QTest::newRow("no name") << "empty-name" << ReadStatus::Missing << false << false;
}

// The looks that decide whether a name is read, seeded over or kept, all without opening it.
void TestTextFile::whatANameIs() {
    QFETCH(QString, kind);
    QFETCH(ReadStatus, status);
    QFETCH(bool, counts);
    QFETCH(bool, taken);
    QString file = path("countdown.ini");
    if (kind == "file")
        QVERIFY(testfiles::writeBytes(file, "x"));
    else if (kind == "empty")
        QVERIFY(testfiles::writeBytes(file, ""));
    else if (kind == "link-file")
        QVERIFY(testfiles::writeBytes(path("real.ini"), "x") &&
                QFile::link(path("real.ini"), file));
    else if (kind == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("countdown.ini"));
    else if (kind == "fifo")
        QVERIFY(testfiles::makeFifo(file));
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", file));
    else if (kind == "link-folder")
        QVERIFY(QFile::link(m_dir->path(), file));
    else if (kind == "dangling")
        QVERIFY(QFile::link(path("gone"), file));
    else if (kind == "deep")
        file = path("no/folder/countdown.ini");
    else if (kind == "under-file") {
        QVERIFY(testfiles::writeBytes(path("plain"), "x"));
        file = path("plain/countdown.ini");
    } else if (kind == "empty-name") {
        file.clear();
    }

    QCOMPARE(textfile::classify(file), status);
    QCOMPARE(textfile::fileCounts(file), counts);
    QCOMPARE(textfile::nameTaken(file), taken);
    // A look never opens: a FIFO is still a FIFO without a reader having come and gone.
    if (kind == "fifo")
        QCOMPARE(testfiles::kindOf(file), 'p');
}

void TestTextFile::newFileIsCodePage936() {
    QString error;
    QVERIFY(textfile::writeLines(path("new.ini"), {niHao, "6/7/2011"}, &error));
    QCOMPARE(testfiles::readBytes(path("new.ini")), gbNiHao + "\r\n6/7/2011\r\n");
    QVERIFY(error.isEmpty());
}

void TestTextFile::rewriteKeepsEncoding_data() {
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("GB stays GB") << gbZhongWen + "\r\n" << QStringList{niHao} << gbNiHao + "\r\n";
    QTest::newRow("UTF-8 with BOM stays so") << bom + "old\r\n"
                                             << QStringList{niHao} << bom + utf8NiHao + "\r\n";
    QTest::newRow("UTF-8 without BOM stays so")
        << QByteArray("\xE4\xB8\xAD\r\n") << QStringList{niHao, "b"} << utf8NiHao + "\r\nb\r\n";
    QTest::newRow("plain ASCII is written as a new file")
        << QByteArray("old\r\n") << QStringList{niHao} << gbNiHao + "\r\n";
    QTest::newRow("outside 936 forces UTF-8 with BOM")
        << gbZhongWen + "\r\n"
        << QStringList{niHao, grin} << bom + utf8NiHao + "\r\n" + grin.toUtf8() + "\r\n";
    QTest::newRow("four-byte GB18030 character counts as outside 936")
        << QByteArray() << QStringList{yen} << bom + yen.toUtf8() + "\r\n";
    QTest::newRow("UTF-8 file keeps UTF-8 for any character")
        << utf8NiHao + "\r\n"
        << QStringList{grin} << grin.toUtf8() + "\r\n";
    QTest::newRow("no lines") << gbZhongWen << QStringList() << QByteArray();
    QTest::newRow("empty lines") << QByteArray() << QStringList{"", ""} << QByteArray("\r\n\r\n");
}

void TestTextFile::rewriteKeepsEncoding() {
    QFETCH(QByteArray, old);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, expected);
    const QString file = path("f.ini");
    if (!old.isEmpty())
        QVERIFY(testfiles::writeBytes(file, old));

    QString error;
    QVERIFY2(textfile::writeLines(file, lines, &error), qPrintable(error));
    QCOMPARE(testfiles::readBytes(file).toHex(' '), expected.toHex(' '));
}

void TestTextFile::lineEndInsideValueBecomesSpace() {
    QVERIFY(textfile::writeLines(path("f.ini"), {"a\nb", "c\r\nd\re", "f"}));
    QCOMPARE(testfiles::readBytes(path("f.ini")), QByteArray("a b\r\nc d e\r\nf\r\n"));
    QCOMPARE(textfile::readLines(path("f.ini")).lines.size(), 3);
}

void TestTextFile::writtenLinesReadBack_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("936") << QStringList{niHao, "", "9:00:00 AM"};
    QTest::newRow("needs UTF-8") << QStringList{grin, niHao + yen};
}

void TestTextFile::writtenLinesReadBack() {
    QFETCH(QStringList, lines);
    QVERIFY(textfile::writeLines(path("f.ini"), lines));
    QCOMPARE(textfile::readLines(path("f.ini")).lines, lines);
}

void TestTextFile::canEncode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("in936");
    QTest::addColumn<bool>("inUtf8");
    QTest::newRow("empty") << QString() << true << true;
    QTest::newRow("ASCII") << QStringLiteral("abc") << true << true;
    QTest::newRow("GB2312 characters") << niHao + zhongWen << true << true;
    QTest::newRow("four-byte GB18030") << yen << false << true;
    QTest::newRow("outside the BMP") << grin << false << true;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << false << false;
}

void TestTextFile::canEncode() {
    QFETCH(QString, text);
    QFETCH(bool, in936);
    QFETCH(bool, inUtf8);
    QCOMPARE(textfile::canEncode(text, Encoding::Gb18030), in936);
    QCOMPARE(textfile::canEncode(text, Encoding::Utf8), inUtf8);
    QCOMPARE(textfile::canEncode(text, Encoding::Utf8WithBom), inUtf8);
}

void TestTextFile::failedWriteKeepsOldFile_data() {
    QTest::addColumn<QString>("setup");
    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("parent folder missing") << "no-parent";
    QTest::newRow("parent is a file") << "file-parent";
    QTest::newRow("folder not writable") << "read-only";
}

void TestTextFile::failedWriteKeepsOldFile() {
    QFETCH(QString, setup);
    const QByteArray old = gbZhongWen + "\r\n";
    QString target;
    if (setup == "folder") {
        target = path("countdown.ini");
        QVERIFY(QDir(m_dir->path()).mkpath("countdown.ini/inside"));
    } else if (setup == "no-parent") {
        target = path("gone/countdown.ini");
    } else if (setup == "file-parent") {
        QVERIFY(testfiles::writeBytes(path("plain"), old));
        target = path("plain/countdown.ini");
    } else {
        if (!testfiles::permissionsApply())
            QSKIP("the superuser writes into any folder");
        QVERIFY(QDir(m_dir->path()).mkdir("ro"));
        target = path("ro/countdown.ini");
        QVERIFY(testfiles::writeBytes(target, old));
        QVERIFY(QFile::setPermissions(path("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    QString error;
    const bool written = textfile::writeLines(target, {niHao, "x"}, &error);
    if (setup == "read-only")
        QFile::setPermissions(path("ro"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    QVERIFY(!written);
    QVERIFY(error.contains(QString::fromUtf8("无法写入")));
    QVERIFY(error.contains(target));

    if (setup == "folder")
        QVERIFY(QFileInfo(path("countdown.ini/inside")).isDir());
    else if (setup == "file-parent")
        QCOMPARE(testfiles::readBytes(path("plain")), old);
    else if (setup == "read-only")
        QCOMPARE(testfiles::readBytes(target), old);
    else
        QVERIFY(!QFileInfo::exists(path("gone")));
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_text_file.moc"
