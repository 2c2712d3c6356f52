#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The settings file: an INI file in UTF-8 with [section] headers and key=value lines, in the
// form QSettings reads and writes (quotes around a value with ";", ",", "=" or blanks at its
// ends, backslash escapes, "@@" for a leading "@"), so a file from either stays readable by
// both. Unlike QSettings it tells which lines did not parse, keeps comments and the order of
// the lines, and rewrites only the lines whose values changed.
class IniDocument {
public:
    // Lines that do not parse (invalid UTF-8, a quote left open, an unknown escape, a line
    // that is neither a header, a comment nor key=value, keys under a broken header) are
    // counted and left out; everything else is read.
    static IniDocument parse(QByteArrayView bytes);
    QByteArray serialize() const;

    // The value of the last line of that key in that section.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // Whether the stored value changed (a new key always changes it).
    bool setValue(const QString& section, const QString& key, const QString& value);

    int damagedLines() const { return m_damagedLines; }
    // The 1-based number of the first line that did not parse, or 0.
    int firstDamagedLine() const { return m_firstDamagedLine; }

    static QByteArray escapeValue(const QString& value);
    // nullopt when the text is not a value QSettings could have written.
    static std::optional<QString> unescapeValue(QByteArrayView text);
    static QByteArray escapeKey(const QString& key);
    static QString unescapeKey(QByteArrayView text);

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        Kind kind = Kind::Other;
        QByteArray raw;     // as read
        bool fresh = false; // made or changed since: written from key and value
        QString section;
        QString key;
        QString value;
    };
    void markDamaged(int lineNumber);

    std::vector<Line> m_lines;
    int m_damagedLines = 0;
    int m_firstDamagedLine = 0;
};
