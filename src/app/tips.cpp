#include "app/tips.h"

#include <cmath>
#include <limits>

TipList::LoadResult TipList::load(const QString& path) {
    const auto fail = [this, &path](textfile::ReadStatus status, const QString& detail) {
        m_lastStatus = status;
        m_lastMessage = status == textfile::ReadStatus::Missing
                            ? QString()
                            : textfile::statusMessage(status, path, detail);
        return status == textfile::ReadStatus::Missing ? LoadResult::Missing
                                                       : LoadResult::Unreadable;
    };
    textfile::RegularFile file;
    const textfile::ReadStatus opened = file.open(path);
    if (opened != textfile::ReadStatus::Ok)
        return fail(opened, file.errorString());
    // Refused by its size alone, before a byte is read: a 2 GB file would take the memory of
    // its size and the start-up would wait for it.
    const QString limit = QStringLiteral("超过 %1 MB").arg(maxFileBytes >> 20);
    QByteArray bytes;
    const textfile::ReadStatus read = file.readAll(bytes, maxFileBytes);
    if (read != textfile::ReadStatus::Ok)
        return fail(read, read == textfile::ReadStatus::TooLarge ? limit : file.errorString());
    // A tips file saved as UTF-16 ("Unicode" in a Windows editor) is kept as UTF-8, which the
    // tips are found in by their bytes.
    textfile::convertUtf16ToUtf8(bytes);

    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    std::vector<quint32> blockStarts;
    qsizetype count = 0;
    qsizetype start = bom ? 3 : 0;
    while (start < bytes.size()) {
        if (count % linesPerBlock == 0)
            blockStarts.push_back(quint32(start));
        ++count;
        const textfile::LineEnd end = textfile::findLineEnd(bytes, start);
        start = end.position + end.length;
    }
    blockStarts.shrink_to_fit();

    m_bytes = std::move(bytes);
    m_blockStarts = std::move(blockStarts);
    m_count = int(count);
    m_bom = bom;
    m_lastStatus = textfile::ReadStatus::Ok;
    m_lastMessage.clear();
    return LoadResult::Ok;
}

QString TipList::tip(int number) const {
    if (number < 1 || number > m_count)
        return {};
    const int index = number - 1;
    const QByteArrayView bytes(m_bytes);
    qsizetype start = m_blockStarts[std::size_t(index / linesPerBlock)];
    for (int skip = index % linesPerBlock; skip > 0; --skip) {
        const textfile::LineEnd end = textfile::findLineEnd(bytes, start);
        start = end.position + end.length;
    }
    // The line end is looked for only as far as a tip is ever shown.
    const QByteArrayView window = bytes.first(qMin(bytes.size(), start + maxTipBytes));
    const textfile::LineEnd end = textfile::findLineEnd(window, start);
    QByteArrayView line = window.sliced(start, end.position - start);
    const bool cut = end.length == 0 && window.size() < bytes.size() &&
                     bytes[window.size()] != '\r' && bytes[window.size()] != '\n';
    if (m_bom) {
        if (cut)
            line = line.first(textfile::wholeCharacters(line, textfile::Encoding::Utf8));
        return textfile::decode(line, textfile::Encoding::Utf8);
    }
    const QByteArrayView utf8 =
        cut ? line.first(textfile::wholeCharacters(line, textfile::Encoding::Utf8)) : line;
    if (utf8.isValidUtf8())
        return textfile::decode(utf8, textfile::Encoding::Utf8);
    if (cut)
        line = line.first(textfile::wholeCharacters(line, textfile::Encoding::Gb18030));
    return textfile::decode(line, textfile::Encoding::Gb18030);
}

int tipNumberFor(float r, int n) {
    if (n <= 0)
        return 1;
    const double number = std::floor(double(r) * double(n) + 1.0);
    // Only a value outside [0, 1) could leave the range; it gets the nearest tip.
    if (!(number >= 1.0))
        return 1;
    if (number > double(n))
        return n;
    return int(number);
}

float uniformSingle(quint32 bits) {
    // 24 bits fit the float's mantissa exactly: the largest value is 1 - 2^-24.
    constexpr float scale = 1.0f / 16777216.0f;
    return float(bits & 0xFFFFFFu) * scale;
}
