#include "tray/desktop_entry.h"

namespace desktop_entry {

namespace {

bool isReserved(QChar c) {
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return kReserved.contains(c);
}

} // namespace

QString quoteExecArgument(const QString& argument) {
    bool needsQuotes = argument.isEmpty();
    for (QChar c : argument)
        needsQuotes = needsQuotes || isReserved(c);

    QString out;
    out.reserve(argument.size() + 8);
    if (needsQuotes)
        out += u'"';
    for (QChar c : argument) {
        if (c == u'%') {
            out += QStringLiteral("%%");
            continue;
        }
        if (needsQuotes && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            out += u'\\';
        out += c;
    }
    if (needsQuotes)
        out += u'"';
    return out;
}

QString escapeValue(const QString& value) {
    QString out;
    out.reserve(value.size() + 8);
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString execValue(const QString& program, const QStringList& arguments) {
    QStringList quoted{quoteExecArgument(program)};
    for (const QString& argument : arguments)
        quoted << quoteExecArgument(argument);
    // Quoting comes first; the string escaping then doubles each backslash once more.
    return escapeValue(quoted.join(u' '));
}

QByteArray autostartEntry(const QString& program) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Dalvenor\n");
    text += QStringLiteral("Comment=高考倒计时\n");
    text += QStringLiteral("Exec=") + execValue(program) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

} // namespace desktop_entry
