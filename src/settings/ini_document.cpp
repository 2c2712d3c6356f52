#include "settings/ini_document.h"

#include "settings/text_file.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isKeyCharacter(char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

void appendHexEscape(QByteArray& out, char16_t c) {
    out += "\\x";
    out += QByteArray::number(uint(c), 16);
}

} // namespace

QByteArray IniDocument::escapeValue(const QString& value) {
    QByteArray out;
    // QSettings reads a leading "@" as the start of a typed value; "@@" stands for one "@"
    // (a vertical font's name begins with one).
    if (value.startsWith(QLatin1Char('@')))
        out += '@';
    bool needsQuotes = false;
    bool escapeNextHexDigit = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        // A hex escape takes every hex digit after it: a digit that follows one is escaped too.
        if (escapeNextHexDigit && c < 0x80 && hexValue(char(c)) >= 0) {
            appendHexEscape(out, c);
            continue;
        }
        escapeNextHexDigit = false;
        switch (c) {
        case ';':
        case ',':
        case '=':
        case '#':
            needsQuotes = true;
            out += char(c);
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(c);
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                appendHexEscape(out, c);
                escapeNextHexDigit = true;
            } else if (QChar::isHighSurrogate(c) && i + 1 < value.size() &&
                       value[i + 1].isLowSurrogate()) {
                out += value.sliced(i, 2).toUtf8();
                ++i;
            } else if (QChar::isSurrogate(c)) {
                // Half a pair has no UTF-8 form; the escape keeps it.
                appendHexEscape(out, c);
                escapeNextHexDigit = true;
            } else {
                out += value.sliced(i, 1).toUtf8();
            }
        }
    }
    if (needsQuotes || value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' '))) {
        out.prepend('"');
        out.append('"');
    }
    return out;
}

std::optional<QString> IniDocument::unescapeValue(QByteArrayView text) {
    text = trimmed(text);
    QString out;
    QByteArray plain; // UTF-8 bytes not yet added to out
    const auto flush = [&] {
        out += QString::fromUtf8(plain);
        plain.clear();
    };
    bool quoted = false;
    qsizetype i = 0;
    qsizetype unquotedEnd = -1; // where blanks after the last quoted or escaped text may go
    const auto addChar = [&](char16_t c) {
        flush();
        out += QChar(c);
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            ++i;
            if (!quoted) {
                flush();
                unquotedEnd = out.size();
            }
            continue;
        }
        if (!quoted && c == ';')
            break; // a comment after the value
        if (c != '\\') {
            plain += c;
            ++i;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt; // a line continuation: never written by either
        const char e = text[i++];
        switch (e) {
        case 'a':
            addChar('\a');
            break;
        case 'b':
            addChar('\b');
            break;
        case 'f':
            addChar('\f');
            break;
        case 'n':
            addChar('\n');
            break;
        case 'r':
            addChar('\r');
            break;
        case 't':
            addChar('\t');
            break;
        case 'v':
            addChar('\v');
            break;
        case '"':
        case '\'':
        case '?':
        case '\\':
        case ';':
        case ',':
        case '=':
            addChar(char16_t(e));
            break;
        case 'x': {
            uint code = 0;
            int digits = 0;
            while (i < text.size() && hexValue(text[i]) >= 0) {
                code = code * 16 + uint(hexValue(text[i++]));
                if (code > 0xFFFF)
                    return std::nullopt;
                ++digits;
            }
            if (digits == 0)
                return std::nullopt;
            addChar(char16_t(code));
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint code = uint(e - '0');
                while (i < text.size() && text[i] >= '0' && text[i] <= '7') {
                    code = code * 8 + uint(text[i++] - '0');
                    if (code > 0xFFFF)
                        return std::nullopt;
                }
                addChar(char16_t(code));
                break;
            }
            return std::nullopt;
        }
        unquotedEnd = out.size();
    }
    if (quoted)
        return std::nullopt; // the quote is never closed
    flush();
    // Blanks before a comment are not part of the value; quoted or escaped ones are.
    qsizetype end = out.size();
    while (end > qMax<qsizetype>(unquotedEnd, 0) && (out[end - 1] == u' ' || out[end - 1] == u'\t'))
        --end;
    out.truncate(end);
    if (out.startsWith(QLatin1String("@@")))
        out.remove(0, 1);
    return out;
}

QByteArray IniDocument::escapeKey(const QString& key) {
    QByteArray out;
    for (const QChar ch : key) {
        const char16_t c = ch.unicode();
        if (isKeyCharacter(c)) {
            out += char(c);
        } else if (c < 0x100) {
            out += '%';
            out += QByteArray::number(uint(c), 16).toUpper().rightJustified(2, '0');
        } else {
            out += "%U";
            out += QByteArray::number(uint(c), 16).toUpper().rightJustified(4, '0');
        }
    }
    return out;
}

QString IniDocument::unescapeKey(QByteArrayView text) {
    QString out;
    QByteArray plain;
    for (qsizetype i = 0; i < text.size();) {
        const bool wide = text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'U';
        const qsizetype digits = wide ? 4 : 2;
        const qsizetype from = i + (wide ? 2 : 1);
        bool escape = text[i] == '%' && from + digits <= text.size();
        uint code = 0;
        for (qsizetype k = 0; escape && k < digits; ++k) {
            const int v = hexValue(text[from + k]);
            escape = v >= 0;
            code = code * 16 + uint(qMax(v, 0));
        }
        if (!escape) {
            plain += text[i++];
            continue;
        }
        out += QString::fromUtf8(plain);
        plain.clear();
        out += QChar(char16_t(code));
        i = from + digits;
    }
    out += QString::fromUtf8(plain);
    return out;
}

void IniDocument::markDamaged(int lineNumber) {
    if (m_damagedLines++ == 0)
        m_firstDamagedLine = lineNumber;
}

IniDocument IniDocument::parse(QByteArrayView bytes) {
    IniDocument doc;
    // A BOM some editors put in front is not part of the first line.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    std::optional<QString> section = QString(); // keys before any header: the general section
    int number = 0;
    for (const textfile::LineSpan& span : textfile::splitLines(bytes)) {
        ++number;
        const QByteArrayView raw = bytes.sliced(span.start, span.length);
        if (!raw.isValidUtf8() || raw.contains('\0')) {
            doc.markDamaged(number);
            continue;
        }
        Line line;
        line.raw = raw.toByteArray();
        const QByteArrayView text = trimmed(raw);
        if (text.isEmpty() || text.front() == ';' || text.front() == '#') {
            doc.m_lines.push_back(std::move(line));
            continue;
        }
        if (text.front() == '[') {
            if (text.back() != ']' || text.size() < 3) {
                section.reset(); // keys below belong to no known section
                doc.markDamaged(number);
                continue;
            }
            section = unescapeKey(trimmed(text.sliced(1, text.size() - 2)));
            line.kind = Kind::Section;
            line.section = *section;
            doc.m_lines.push_back(std::move(line));
            continue;
        }
        const qsizetype equals = text.indexOf('=');
        const QByteArrayView key = equals > 0 ? trimmed(text.first(equals)) : QByteArrayView();
        const std::optional<QString> value =
            key.isEmpty() ? std::nullopt : unescapeValue(text.sliced(equals + 1));
        if (!section || !value) {
            doc.markDamaged(number);
            continue;
        }
        line.kind = Kind::Entry;
        line.section = *section;
        line.key = unescapeKey(key);
        line.value = *value;
        doc.m_lines.push_back(std::move(line));
    }
    return doc;
}

QByteArray IniDocument::serialize() const {
    QByteArray out;
    for (const Line& line : m_lines) {
        if (!line.fresh)
            out += line.raw;
        else if (line.kind == Kind::Section)
            out += '[' + escapeKey(line.section) + ']';
        else
            out += escapeKey(line.key) + '=' + escapeValue(line.value);
        out += '\n';
    }
    return out;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const {
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it) {
        if (it->kind == Kind::Entry && it->key == key && it->section == section)
            return it->value;
    }
    return std::nullopt;
}

bool IniDocument::setValue(const QString& section, const QString& key, const QString& value) {
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it) {
        if (it->kind == Kind::Entry && it->key == key && it->section == section) {
            if (it->value == value)
                return false;
            it->value = value;
            it->fresh = true;
            return true;
        }
    }
    Line entry;
    entry.kind = Kind::Entry;
    entry.fresh = true;
    entry.section = section;
    entry.key = key;
    entry.value = value;
    // After the last key or header of the section's last occurrence, before blank lines.
    std::optional<std::size_t> after;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::Section)
            after = line.section == section ? std::optional<std::size_t>(i) : after;
        else if (line.kind == Kind::Entry && line.section == section)
            after = i;
    }
    if (!after && section.isEmpty()) {
        m_lines.insert(m_lines.begin(), std::move(entry));
        return true;
    }
    if (after) {
        m_lines.insert(m_lines.begin() + std::ptrdiff_t(*after + 1), std::move(entry));
        return true;
    }
    const bool endsBlank = !m_lines.empty() && m_lines.back().kind == Kind::Other &&
                           trimmed(m_lines.back().raw).isEmpty();
    if (!m_lines.empty() && !endsBlank)
        m_lines.push_back(Line{}); // a blank line between sections, as QSettings writes them
    Line header;
    header.kind = Kind::Section;
    header.fresh = true;
    header.section = section;
    m_lines.push_back(std::move(header));
    m_lines.push_back(std::move(entry));
    return true;
}
