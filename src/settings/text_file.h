#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The program's small line-oriented text files. Reading accepts UTF-8 (with or without BOM)
// and otherwise code page 936 (decoded as GB18030, its superset); a line ends at CR LF, a lone
// CR or a lone LF; a last line without an end is read; a final line end adds no empty line.
// Writing puts CR LF after every line and replaces the file atomically.
namespace textfile {

enum class Encoding { Gb18030, Utf8, Utf8WithBom };

// A name counts as present only when it is a readable regular file.
bool fileCounts(const QString& path);

// Byte range of one line inside a buffer, without its line end.
struct LineSpan {
    qsizetype start = 0;
    qsizetype length = 0;
};

// CR, LF and CR LF each end a line. CR and LF never occur inside a multi-byte character of
// UTF-8 or GB18030, so the split is made on the raw bytes.
std::vector<LineSpan> splitLines(QByteArrayView bytes);

// The next line end at or after from: its position and its length (2 for CR LF, else 1), or
// position bytes.size() and length 0 when the rest is a last line without an end.
struct LineEnd {
    qsizetype position = 0;
    qsizetype length = 0;
};
LineEnd findLineEnd(QByteArrayView bytes, qsizetype from);

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates or values past
// U+10FFFF, and no sequence cut off at the end.
bool isValidUtf8(QByteArrayView bytes);

// UTF-8 with BOM, valid UTF-8, or else GB18030.
Encoding detectEncoding(QByteArrayView bytes);
// Bytes of the BOM that detectEncoding found (3 for Utf8WithBom, else 0).
qsizetype bomLength(Encoding encoding);
// Decodes bytes that follow the BOM (the caller skips bomLength). Invalid bytes, a character
// cut off at the end included, become U+FFFD; never fails.
QString decode(QByteArrayView bytes, Encoding encoding);
// Whether text survives a round trip through the encoding (GB18030 covers all of Unicode,
// but the file format is GBK-sized code page 936: characters outside it are not written as
// four-byte GB18030 sequences).
bool canEncode(const QString& text, Encoding encoding);
// The bytes of text, without a BOM (writeLines puts it in front).
QByteArray encode(const QString& text, Encoding encoding);

enum class ReadStatus { Ok, Missing, Unreadable };

struct TextLines {
    ReadStatus status = ReadStatus::Missing;
    QStringList lines;
    Encoding encoding = Encoding::Gb18030;
    QString error; // in Chinese, for the user, when status is Unreadable
};

TextLines readLines(const QString& path);

// Rewrites the whole file: CR LF after every line. A rewrite keeps the encoding the file
// already had; a new file is written in code page 936; text that 936 cannot represent is
// written as UTF-8 with BOM. An old file of plain ASCII says nothing about its encoding and is
// treated as new. A line end inside a value would shift every later line, so it is written as
// a space. On failure the old file stays whole and error (Chinese) says why.
bool writeLines(const QString& path, const QStringList& lines, QString* error = nullptr);

} // namespace textfile
