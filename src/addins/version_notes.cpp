#include "addins/version_notes.h"

namespace versionnotes {

QStringList lines() {
    return {
        QStringLiteral("Dalvenor"),
        QString(),
        QString(),
        QStringLiteral("软件作者：Tesmar"),
        QString(),
        QStringLiteral("感谢 Qt、ICU、X.Org 与 freedesktop.org，"),
        QStringLiteral("感谢 Debian 与 GNU 等自由软件，"),
        QStringLiteral("本程序建立在它们的自由代码之上。"),
        QString(),
        // The face is centred by its spaces, so the three lines keep the same width.
        QStringLiteral("                    \\./                   "),
        QStringLiteral("                   (o o)                  "),
        QStringLiteral("---------------oOOo-(_)-oOOo--------------"),
        QString(),
        QStringLiteral("Dalvenor V1.2 Beta（2010-09-12）  "),
        QString(),
        QStringLiteral("Dalvenor V1.1 Beta（2010-08-30）  "),
        QString(),
        QStringLiteral("Dalvenor V1.0 Alpha（2010-08-21）"),
    };
}

QString text() {
    return lines().join(QStringLiteral("\r\n"));
}

} // namespace versionnotes
