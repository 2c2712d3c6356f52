#include "forms/design_font.h"

#include <QGuiApplication>
#include <QStringList>

QFont designFont() {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(9);
    return font;
}

void installFontSubstitutions() {
    const QStringList kai = {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
                             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK")};
    const QStringList song = {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                              QStringLiteral("Noto Serif CJK SC"),
                              QStringLiteral("Noto Sans CJK SC")};
    for (const char* name : {"楷体", "楷体_GB2312", "KaiTi", "KaiTi_GB2312"})
        QFont::insertSubstitutions(QString::fromUtf8(name), kai);
    for (const char* name : {"宋体", "新宋体", "SimSun", "NSimSun"})
        QFont::insertSubstitutions(QString::fromUtf8(name), song);
    // Menus, message boxes and tooltips: a plain face for the Chinese captions rather than
    // whatever the font configuration falls back to first (often a brush-script Kai face),
    // and first the Song face the windows' texts use (Chinese Windows before Vista draws its
    // menus in 宋体 too). A second CJK face would be loaded with the first menu and kept for
    // the program's life: Noto Sans CJK, a CFF collection, holds about a megabyte of tables
    // in FreeType.
    const QString uiFamily = QGuiApplication::font().family();
    QFont::insertSubstitutions(
        uiFamily, {QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC")});
}
