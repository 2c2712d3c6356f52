#pragma once

#include "settings/text_file.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The tips file, one tip per line. A tips file may be large, and only one tip is shown a
// minute, so the raw bytes are kept with the start of every sixteenth line, and a tip is found
// and decoded when shown. A BOM makes the whole file UTF-8; otherwise each line is UTF-8 when
// it is valid UTF-8 and code page 936 (GB18030) when not, so one line saved in another
// encoding spoils only itself.
class TipList {
public:
    enum class LoadResult { Ok, Missing, Unreadable };

    // Replaces the list with the file's lines. Missing: nothing at path. Unreadable: something
    // is there but could not be read: a folder, FIFO or device (never waited on), a file larger
    // than maxFileBytes (refused before it is read), or a read error. lastStatus() and
    // lastMessage() tell which. On failure the list is left as it was.
    LoadResult load(const QString& path);

    // The outcome of the last load in detail, and a Chinese text for the third line when it
    // was neither Ok nor Missing (empty then: the window has its own text for a missing file).
    textfile::ReadStatus lastStatus() const { return m_lastStatus; }
    const QString& lastMessage() const { return m_lastMessage; }

    int count() const { return m_count; }
    // 1-based, as the tip numbers are; an empty string outside 1..count(). A line longer than
    // maxTipBytes gives its start only, ended at a whole character: no label shows more.
    QString tip(int number) const;

    static constexpr int linesPerBlock = 16;
    static constexpr qint64 maxFileBytes = 256 * 1024 * 1024;
    static constexpr qsizetype maxTipBytes = textfile::maxLineBytes;

private:
    QByteArray m_bytes;
    // Start of lines 1, 17, 33 …: a quarter byte per line, where one offset per line could
    // take several times the size of a file of short lines.
    std::vector<quint32> m_blockStarts;
    int m_count = 0;
    bool m_bom = false;
    textfile::ReadStatus m_lastStatus = textfile::ReadStatus::Missing;
    QString m_lastMessage;
};

// The tip number for a random value 0 <= r < 1 among n tips: floor(r * n + 1), computed in
// double precision; 1 to n with equal chances, and 1 when there are no tips.
int tipNumberFor(float r, int n);
// A single-precision uniform value in [0, 1) from 24 random bits (the low 24 of bits; a whole
// 32-bit draw may be passed): exact, so it never rounds up to 1.
float uniformSingle(quint32 bits);
