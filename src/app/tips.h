#pragma once

#include "text_file.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The tips file, one tip per line. A tips file may be very large, and only one tip is shown
// a minute, so the raw bytes are kept with the start of every sixteenth line, and a tip is
// found and decoded when shown. Files of 4 GiB or more are refused (offsets are 32-bit).
class TipList {
public:
    enum class LoadResult { Ok, Missing, Unreadable };

    // Replaces the list with the file's lines. Missing: no regular file at path. Unreadable:
    // the file exists but could not be read, or is too large. In both cases the list is left
    // as it was.
    LoadResult load(const QString& path);
    void clear();

    int count() const { return m_count; }
    // 1-based, as the tip numbers are; an empty string outside 1..count().
    QString tip(int number) const;

    static constexpr int linesPerBlock = 16;

private:
    QByteArray m_bytes;
    // Start of lines 1, 17, 33 …: a quarter byte per line, where one offset per line could
    // take several times the size of a file of short lines.
    std::vector<quint32> m_blockStarts;
    int m_count = 0;
    textfile::Encoding m_encoding = textfile::Encoding::Gb18030;
};

// The tip number for a random value 0 <= r < 1 among n tips: floor(r * n + 1), computed in
// double precision; 1 to n with equal chances, and 1 when there are no tips.
int tipNumberFor(float r, int n);
// A single-precision uniform value in [0, 1) from 24 random bits (the low 24 of bits; a whole
// 32-bit draw may be passed): exact, so it never rounds up to 1.
float uniformSingle(quint32 bits);
