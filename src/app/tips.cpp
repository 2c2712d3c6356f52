#include "tips.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

TipList::LoadResult TipList::load(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return LoadResult::Missing;
    if (info.size() > qint64(std::numeric_limits<quint32>::max()))
        return LoadResult::Unreadable;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::Unreadable;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError ||
        bytes.size() > qsizetype(std::numeric_limits<quint32>::max()))
        return LoadResult::Unreadable;

    // One look at the whole file decides its encoding: a tip shown later is decoded alone,
    // and a short line on its own could pass for either.
    const textfile::Encoding encoding = textfile::detectEncoding(bytes);
    std::vector<quint32> blockStarts;
    qsizetype count = 0;
    qsizetype start = textfile::bomLength(encoding);
    while (start < bytes.size()) {
        if (count == std::numeric_limits<int>::max())
            return LoadResult::Unreadable;
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
    m_encoding = encoding;
    return LoadResult::Ok;
}

void TipList::clear() {
    m_bytes.clear();
    m_blockStarts.clear();
    m_count = 0;
    m_encoding = textfile::Encoding::Gb18030;
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
    const textfile::LineEnd end = textfile::findLineEnd(bytes, start);
    return textfile::decode(bytes.sliced(start, end.position - start), m_encoding);
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
