#pragma once

#include "text_file.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The tips file, one tip per line. A tips file may be very large, and only one tip is shown
// a minute, so the raw bytes are kept with the line offsets and a tip is decoded when shown.
class TipList {
public:
    enum class LoadResult { Ok, Missing, Unreadable };

    // Replaces the list with the file's lines. Missing: no readable regular file at path
    // (the list is left as it was). Unreadable: the file exists but could not be read.
    LoadResult load(const QString& path);
    void clear();

    int count() const { return int(m_lines.size()); }
    // 1-based, as the tip numbers are; an empty string outside 1..count().
    QString tip(int number) const;

private:
    QByteArray m_bytes;
    std::vector<textfile::LineSpan> m_lines;
    textfile::Encoding m_encoding = textfile::Encoding::Gb18030;
};

// The tip number for a random value 0 <= r < 1 among n tips: floor(r * n + 1), computed in
// double precision; 1 to n with equal chances, and 1 when there are no tips.
int tipNumberFor(float r, int n);
// A single-precision uniform value in [0, 1) from 24 random bits: never rounds up to 1.
float uniformSingle(quint32 bits);
