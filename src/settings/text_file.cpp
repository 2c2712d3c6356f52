#include "settings/text_file.h"

#include "settings/atomic_file.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>
#include <optional>

namespace textfile {

namespace {

constexpr char utf8Bom[] = "\xEF\xBB\xBF";
constexpr char utf16LeBom[] = "\xFF\xFE";
constexpr char utf16BeBom[] = "\xFE\xFF";
constexpr const char* gbName = "GB18030";

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// ICU drops a character cut off at the end of a stateless buffer without a trace. A line
// feed after the buffer completes nothing and turns such a tail into U+FFFD, as any other
// invalid byte; it is taken off again after decoding.
QString decodeGb18030(QByteArrayView bytes) {
    QByteArray padded;
    padded.reserve(bytes.size() + 1);
    padded.append(bytes.data(), bytes.size());
    padded.append('\n');
    QStringDecoder decoder(gbName, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(padded);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// Code page 936 is the one- and two-byte part of GB18030; a four-byte sequence (second byte
// a digit) is a character 936 does not have.
bool hasFourByteSequence(QByteArrayView gb) {
    for (qsizetype i = 0; i < gb.size(); ++i) {
        const auto lead = static_cast<unsigned char>(gb[i]);
        if (lead < 0x81)
            continue;
        if (i + 1 >= gb.size())
            return true;
        const auto second = static_cast<unsigned char>(gb[i + 1]);
        if (second >= 0x30 && second <= 0x39)
            return true;
        ++i;
    }
    return false;
}

QString oneLine(const QString& line) {
    if (!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')))
        return line;
    QString flat = line;
    flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return flat;
}

// Decides the encoding of lines read from one file: a BOM at the start, else UTF-8 when every
// line is (a line cut at the limit may end in half a character), else GB18030.
Encoding encodingOfLines(const std::vector<QByteArray>& lines, const std::vector<bool>& cut) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QByteArrayView line(lines[i]);
        if (cut[i])
            line = line.first(wholeCharacters(line, Encoding::Utf8));
        if (!line.isValidUtf8())
            return Encoding::Gb18030;
    }
    return Encoding::Utf8;
}

// The encoding a rewrite keeps: the one of the old bytes, unless they are plain ASCII (or
// absent), which any encoding reads alike.
Encoding encodingToKeep(const QString& path) {
    const TextLines old = readLines(path);
    if (old.status != ReadStatus::Ok)
        return Encoding::Gb18030;
    if (old.encoding == Encoding::Utf8) {
        for (const QString& line : old.lines) {
            for (const QChar c : line) {
                if (c.unicode() >= 0x80)
                    return Encoding::Utf8;
            }
        }
        return Encoding::Gb18030;
    }
    // Written as UTF-8 with BOM: every character of the old file survives, and no reader has
    // to guess the byte order of a file without one.
    if (old.encoding == Encoding::Utf16Le || old.encoding == Encoding::Utf16Be)
        return Encoding::Utf8WithBom;
    return old.encoding;
}

bool isUtf16(Encoding encoding) {
    return encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
}

std::optional<Encoding> utf16Bom(QByteArrayView bytes) {
    if (bytes.startsWith(QByteArrayView(utf16LeBom, 2)))
        return Encoding::Utf16Le;
    if (bytes.startsWith(QByteArrayView(utf16BeBom, 2)))
        return Encoding::Utf16Be;
    return std::nullopt;
}

QStringConverter::Encoding qtEncoding(Encoding encoding) {
    return encoding == Encoding::Utf16Be ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
}

// A surrogate without its partner (a file cut in the middle of a pair, or made by a faulty
// program) becomes U+FFFD, so that no later encoder trips over it.
void replaceLoneSurrogates(QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
}

// The lines of a file that begins with a UTF-16 BOM (first holds the bytes read so far, the
// BOM included). Decoded piece by piece as read, since a character may straddle two pieces;
// the line ends are looked for in the decoded text, because the bytes CR and LF occur inside
// other UTF-16 characters. The byte limits of readLines hold, counted in UTF-16 bytes.
// How a read in pieces ended.
enum class Pieces { Enough, GaveUp, AtEnd, Failed };

// Reads the file in pieces of 64 KiB and gives each to consume() until enough() holds, the
// file ends, a read fails, or, when bounded (a count of lines is looked for), maxScanBytes
// have been scanned; consume() returns false to stop there (Enough). scanned counts on from
// what the caller has read already.
template <typename EnoughFn, typename ConsumeFn>
Pieces readPieces(RegularFile& file, qint64& scanned, bool bounded, EnoughFn enough,
                  ConsumeFn consume) {
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    while (!enough()) {
        if (bounded && scanned >= maxScanBytes)
            return Pieces::GaveUp;
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0)
            return Pieces::Failed;
        if (got == 0)
            return Pieces::AtEnd;
        const QByteArrayView bytes(piece.constData(), qsizetype(got));
        const bool first = scanned == 0;
        scanned += got;
        if (!consume(bytes, first))
            return Pieces::Enough;
    }
    return Pieces::Enough;
}

void readUtf16Lines(RegularFile& file, QByteArrayView first, Encoding encoding, int maxLines,
                    qsizetype lineLimit, const QString& path, TextLines& result) {
    QStringDecoder decoder(qtEncoding(encoding), QStringConverter::Flag::ConvertInitialBom);
    const qsizetype unitLimit = qMax<qsizetype>(1, lineLimit / 2);
    QString current;
    bool currentCut = false;
    bool inLine = false;
    bool skipLf = false;
    const auto enough = [&] { return maxLines >= 0 && result.lines.size() >= maxLines; };
    const auto finishLine = [&] {
        replaceLoneSurrogates(current);
        result.lines.append(current);
        result.cut = result.cut || currentCut;
        current.clear();
        currentCut = false;
        inLine = false;
    };
    const auto feed = [&](const QString& text) {
        qsizetype pos = 0;
        while (pos < text.size() && !enough()) {
            if (skipLf) {
                skipLf = false;
                if (text.at(pos) == u'\n') {
                    ++pos;
                    continue;
                }
            }
            qsizetype end = pos;
            while (end < text.size() && text.at(end) != u'\r' && text.at(end) != u'\n')
                ++end;
            if (end > pos) {
                inLine = true;
                const qsizetype take = end - pos;
                if (!currentCut) {
                    qsizetype room = unitLimit - current.size();
                    if (take > room) {
                        currentCut = true;
                        // Cut at a whole character: never between the halves of a pair.
                        if (room > 0 && text.at(pos + room - 1).isHighSurrogate())
                            --room;
                    }
                    current.append(QStringView(text).sliced(pos, qMin(take, room)));
                }
            }
            if (end == text.size())
                return; // the line goes on in the next piece
            finishLine();
            if (text.at(end) == u'\r') {
                if (end + 1 < text.size()) {
                    if (text.at(end + 1) == u'\n')
                        ++end;
                } else {
                    skipLf = true; // perhaps the first half of CR LF
                }
            }
            pos = end + 1;
        }
    };

    qint64 scanned = first.size();
    qint64 textBytes = first.size() - 2;
    feed(decoder.decode(first.sliced(2)));
    const Pieces ended =
        readPieces(file, scanned, maxLines >= 0, enough, [&](QByteArrayView bytes, bool) {
            textBytes += bytes.size();
            feed(decoder.decode(bytes));
            return true;
        });
    if (ended == Pieces::Failed) {
        result.status = ReadStatus::Unreadable;
        result.error = statusMessage(result.status, path, file.errorString());
        result.lines.clear();
        return;
    }
    const bool gaveUp = ended == Pieces::GaveUp;
    const bool atEnd = ended == Pieces::AtEnd;
    // An odd last byte is half a character: shown as such, not dropped without a trace.
    if (atEnd && textBytes % 2 != 0 && !enough()) {
        inLine = true;
        if (!currentCut)
            current.append(QChar::ReplacementCharacter);
    }
    if (inLine && !enough()) {
        currentCut = currentCut || gaveUp;
        finishLine();
    }
    result.cut = result.cut || gaveUp;
    result.encoding = encoding;
}

} // namespace

LineEnd findLineEnd(QByteArrayView bytes, qsizetype from) {
    const char* data = bytes.data();
    const qsizetype size = bytes.size();
    // memchr is the fastest scan there is, but looks for one byte: the LF is looked for in a
    // window that doubles while nothing is found (so a file of lone CRs does not send every
    // search to the end of the file), and the CR only before the LF found.
    qsizetype window = 64;
    for (qsizetype i = from; i < size;) {
        const qsizetype end = qMin(size, i + window);
        const auto* lf = static_cast<const char*>(std::memchr(data + i, '\n', size_t(end - i)));
        const qsizetype limit = lf ? lf - data : end;
        if (const auto* cr =
                static_cast<const char*>(std::memchr(data + i, '\r', size_t(limit - i)))) {
            const qsizetype at = cr - data;
            return {at, (at + 1 < size && data[at + 1] == '\n') ? 2 : 1};
        }
        if (lf)
            return {limit, 1};
        i = end;
        window = qMin<qsizetype>(window * 2, 1 << 20);
    }
    return {size, 0};
}

std::vector<LineSpan> splitLines(QByteArrayView bytes) {
    std::vector<LineSpan> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const LineEnd end = findLineEnd(bytes, start);
        lines.push_back({start, end.position - start});
        start = end.position + end.length;
    }
    return lines;
}

qsizetype wholeCharacters(QByteArrayView bytes, Encoding encoding) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    if (isUtf16(encoding)) {
        qsizetype whole = size - size % 2;
        // A high surrogate at the end waits for its partner.
        if (whole >= 2) {
            const qsizetype hi = encoding == Encoding::Utf16Le ? whole - 1 : whole - 2;
            if ((p[hi] & 0xFC) == 0xD8)
                whole -= 2;
        }
        return whole;
    }
    if (encoding != Encoding::Gb18030) {
        // The last lead byte within the last four bytes, and whether its sequence is whole.
        for (qsizetype i = size - 1; i >= 0 && i >= size - 4; --i) {
            if (isContinuation(p[i]))
                continue;
            qsizetype need = 1;
            if (p[i] >= 0xF0)
                need = 4;
            else if (p[i] >= 0xE0)
                need = 3;
            else if (p[i] >= 0xC0)
                need = 2;
            return i + need > size ? i : size;
        }
        return size;
    }
    // GB18030 is not self-synchronising: walk from the start.
    qsizetype i = 0;
    while (i < size) {
        const unsigned char lead = p[i];
        qsizetype length = 1;
        if (lead >= 0x81 && lead <= 0xFE) {
            if (i + 1 >= size)
                return i;
            length = (p[i + 1] >= 0x30 && p[i + 1] <= 0x39) ? 4 : 2;
        }
        if (i + length > size)
            return i;
        i += length;
    }
    return size;
}

QString decode(QByteArrayView bytes, Encoding encoding) {
    if (bytes.isEmpty())
        return {};
    if (encoding == Encoding::Gb18030)
        return decodeGb18030(bytes);
    if (isUtf16(encoding)) {
        QStringDecoder decoder(qtEncoding(encoding), QStringConverter::Flag::Stateless |
                                                         QStringConverter::Flag::ConvertInitialBom);
        // An odd last byte is half a character; Qt's own handling of it differs between
        // its stateless and stateful modes, so it is said here alike for both.
        QString text = decoder.decode(bytes.first(bytes.size() - bytes.size() % 2));
        if (bytes.size() % 2 != 0)
            text += QChar::ReplacementCharacter;
        replaceLoneSurrogates(text);
        return text;
    }
    // The BOM is the caller's to skip; one further inside is text.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

bool canEncode(const QString& text, Encoding encoding) {
    if (encoding != Encoding::Gb18030) {
        QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        // Only a lone surrogate has no UTF-8 form.
        const QByteArray bytes = encoder.encode(text);
        return !encoder.hasError();
    }
    QStringEncoder encoder(gbName, QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    return !encoder.hasError() && !hasFourByteSequence(bytes);
}

QByteArray encode(const QString& text, Encoding encoding) {
    if (encoding == Encoding::Gb18030) {
        QStringEncoder encoder(gbName, QStringConverter::Flag::Stateless);
        return encoder.encode(text);
    }
    if (isUtf16(encoding)) {
        QStringEncoder encoder(qtEncoding(encoding), QStringConverter::Flag::Stateless);
        return encoder.encode(text);
    }
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

bool convertUtf16ToUtf8(QByteArray& bytes) {
    const std::optional<Encoding> utf16 = utf16Bom(bytes);
    if (!utf16)
        return false;
    const QString text = decode(QByteArrayView(bytes).sliced(2), *utf16);
    QByteArray utf8(utf8Bom, 3);
    utf8.append(text.toUtf8());
    bytes = std::move(utf8);
    return true;
}

TextLines readLines(const QString& path, int maxLines, qsizetype lineLimit) {
    TextLines result;
    RegularFile file;
    result.status = file.open(path);
    if (result.status == ReadStatus::Ok && maxLines < 0 && file.size() > maxWholeFileBytes)
        result.status = ReadStatus::TooLarge;
    if (result.status == ReadStatus::TooLarge) {
        result.error = statusMessage(result.status, path,
                                     QStringLiteral("超过 %1 MB").arg(maxWholeFileBytes >> 20));
        return result;
    }
    if (result.status != ReadStatus::Ok) {
        if (result.status != ReadStatus::Missing)
            result.error = statusMessage(result.status, path, file.errorString());
        return result;
    }

    std::vector<QByteArray> lines;
    std::vector<bool> cut;
    QByteArray current;
    bool currentCut = false;
    bool inLine = false; // bytes of a line not yet ended have been seen
    bool skipLf = false; // the previous piece ended with a CR
    const auto finishLine = [&] {
        lines.push_back(current);
        cut.push_back(currentCut);
        current.clear();
        currentCut = false;
        inLine = false;
    };
    const auto enough = [&] { return maxLines >= 0 && qsizetype(lines.size()) >= maxLines; };

    qint64 scanned = 0;
    bool bom = false;
    bool handedOver = false;
    const Pieces ended =
        readPieces(file, scanned, maxLines >= 0, enough, [&](QByteArrayView bytes, bool first) {
            // A UTF-16 file is told by its BOM and read as text of its own kind.
            if (first) {
                if (const std::optional<Encoding> utf16 = utf16Bom(bytes)) {
                    readUtf16Lines(file, bytes, *utf16, maxLines, lineLimit, path, result);
                    handedOver = true;
                    return false;
                }
            }
            qsizetype pos = 0;
            // The BOM is not part of the first line (the first piece holds all of it).
            if (first && bytes.startsWith(QByteArrayView(utf8Bom, 3))) {
                bom = true;
                pos = 3;
            }
            while (pos < bytes.size() && !enough()) {
                if (skipLf) {
                    skipLf = false;
                    if (bytes[pos] == '\n') {
                        ++pos;
                        continue;
                    }
                }
                const LineEnd end = findLineEnd(bytes, pos);
                const qsizetype take = end.position - pos;
                if (take > 0) {
                    inLine = true;
                    const qsizetype room = lineLimit - current.size();
                    if (take > room)
                        currentCut = true;
                    if (room > 0)
                        current.append(bytes.sliced(pos, qMin(take, room)));
                }
                if (end.length == 0)
                    break; // the line goes on in the next piece
                finishLine();
                // A CR as the last byte of a piece may be the first half of CR LF.
                skipLf = bytes[end.position] == '\r' && end.length == 1 &&
                         end.position + 1 == bytes.size();
                pos = end.position + end.length;
            }
            return true;
        });
    if (handedOver)
        return result;
    if (ended == Pieces::Failed) {
        result.status = ReadStatus::Unreadable;
        result.error = statusMessage(result.status, path, file.errorString());
        return result;
    }
    const bool gaveUp = ended == Pieces::GaveUp;
    if (inLine && !enough()) {
        // A line the search gave up on has not ended: only its start was seen.
        currentCut = currentCut || gaveUp;
        finishLine();
    }

    result.encoding = bom ? Encoding::Utf8WithBom : encodingOfLines(lines, cut);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QByteArrayView line(lines[i]);
        if (cut[i])
            line = line.first(wholeCharacters(line, result.encoding));
        result.lines.append(decode(line, result.encoding));
        result.cut = result.cut || cut[i];
    }
    result.cut = result.cut || gaveUp;
    return result;
}

bool writeLines(const QString& path, const QStringList& lines, QString* error) {
    QString text;
    for (const QString& line : lines) {
        text += oneLine(line);
        text += QLatin1String("\r\n");
    }

    Encoding encoding = encodingToKeep(path);
    if (encoding == Encoding::Gb18030 && !canEncode(text, Encoding::Gb18030))
        encoding = Encoding::Utf8WithBom; // rather than question marks in place of the text

    QByteArray bytes;
    if (encoding == Encoding::Utf8WithBom)
        bytes.append(utf8Bom, 3);
    bytes.append(encode(text, encoding));

    QString why;
    if (atomicfile::write(path, bytes, &why))
        return true;
    if (error)
        *error = QStringLiteral("无法写入文件“%1”：%2").arg(path, why);
    return false;
}

} // namespace textfile
