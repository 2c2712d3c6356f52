#pragma once

#include "settings/regular_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The program's small line-oriented text files. Reading accepts UTF-8 (with or without BOM),
// UTF-16 with a BOM (little or big endian, as Windows editors save "Unicode") and otherwise
// code page 936 (decoded as GB18030, its superset); a line ends at CR LF, a lone
// CR or a lone LF; a last line without an end is read; a final line end adds no empty line.
// Writing puts CR LF after every line and replaces the file atomically. Only regular files
// are read, and only as far as needed (see readLines).
namespace textfile {

// A line longer than this is cut: the values of the program's files are a few words, and a
// longer line is a damaged or foreign file that must not cost the memory of its size.
constexpr qsizetype maxLineBytes = 64 * 1024;
// A read of every line (no line count given) refuses files larger than this.
constexpr qint64 maxWholeFileBytes = 16 * 1024 * 1024;
// A read of the first few lines stops looking for their ends after this many bytes.
constexpr qint64 maxScanBytes = 16 * 1024 * 1024;

enum class Encoding { Gb18030, Utf8, Utf8WithBom, Utf16Le, Utf16Be };

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

// Length of the longest start of bytes that ends with a whole character of the encoding; a
// line cut at a byte limit is cut there, so that no half character turns into U+FFFD.
qsizetype wholeCharacters(QByteArrayView bytes, Encoding encoding);
// Decodes bytes that follow the BOM (the caller skips it). Invalid bytes, a character
// cut off at the end included, become U+FFFD; never fails.
QString decode(QByteArrayView bytes, Encoding encoding);
// Whether text survives a round trip through the encoding (GB18030 covers all of Unicode,
// but the file format is GBK-sized code page 936: characters outside it are not written as
// four-byte GB18030 sequences).
bool canEncode(const QString& text, Encoding encoding);
// The bytes of text, without a BOM (writeLines puts it in front).
QByteArray encode(const QString& text, Encoding encoding);
// A whole file's bytes that begin with a UTF-16 BOM are replaced by the same text as UTF-8
// with BOM, for readers that work on UTF-8 bytes (the tips); true when they were. Invalid
// UTF-16 (an odd last byte, a lone surrogate) becomes U+FFFD.
bool convertUtf16ToUtf8(QByteArray& bytes);

struct TextLines {
    ReadStatus status = ReadStatus::Missing;
    QStringList lines;
    Encoding encoding = Encoding::Gb18030;
    QString error; // in Chinese, for the user, when status is neither Ok nor Missing
    // A line was longer than the limit and holds only its start, or the search for the
    // wanted lines gave up after maxScanBytes (the lines not reached are not in lines).
    bool cut = false;
};

// Reads the first maxLines lines (every line when maxLines < 0, then from files of at most
// maxWholeFileBytes). The file is read in pieces and only as far as those lines reach; a line
// keeps at most lineLimit bytes, ended at a whole character, and the rest of it is skipped
// unread into memory (for UTF-16, lineLimit counts its bytes). The encoding is decided on the
// bytes kept; a UTF-16 BOM decides it at once. Only a regular file is read:
// a folder, FIFO or device gives NotRegularFile at once, never a wait.
TextLines readLines(const QString& path, int maxLines = -1, qsizetype lineLimit = maxLineBytes);

// Rewrites the whole file: CR LF after every line. A rewrite keeps the encoding the file
// already had (a UTF-16 file is rewritten as UTF-8 with BOM, which holds every character it
// can and which every reader of these files takes); a new file is written in code page 936; text
// that 936 cannot represent is written as UTF-8 with BOM. An old file of plain ASCII says nothing
// about its encoding and is treated as new. A line end inside a value would shift every later line,
// so it is written as a space. A name held by something other than a regular file (a folder, FIFO,
// device or a link to one) is not replaced. On failure the old file stays whole and error (Chinese)
// says why.
bool writeLines(const QString& path, const QStringList& lines, QString* error = nullptr);

} // namespace textfile
