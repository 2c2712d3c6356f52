#include "skins/reset_script.h"

#include "settings/text_file.h"

namespace resetscript {

std::optional<QByteArray> text(const QString& programName) {
    // The name goes into the command line unquoted: anything the command interpreter reads
    // as syntax would run something else than the program.
    static const QString unsafe = QStringLiteral(" \r\n\"&|<>^%!()/\\:*?");
    if (programName.trimmed().isEmpty())
        return std::nullopt;
    for (QChar c : programName) {
        if (c.unicode() < 0x20 || unsafe.contains(c))
            return std::nullopt;
    }
    if (!textfile::canEncode(programName, textfile::Encoding::Gb18030))
        return std::nullopt;

    const QString crlf = QStringLiteral("\r\n");
    const QString lines = QStringLiteral("@echo off") + crlf + QStringLiteral("start ") +
                          programName + QStringLiteral(".exe") + crlf + QStringLiteral("del ") +
                          kFileName + crlf;
    return textfile::encode(lines, textfile::Encoding::Gb18030);
}

} // namespace resetscript
