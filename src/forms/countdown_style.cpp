#include "forms/countdown_style.h"

#include "settings/settings_store.h"

#include <cmath>

namespace {

const QString kMainSection = QStringLiteral("frmMain");
const QString kRectSection = QStringLiteral("frmWindows");

double usableSize(double size) {
    // A size the toolkit cannot draw keeps the default.
    return std::isfinite(size) && size >= CountdownStyle::kMinFontSize &&
                   size <= CountdownStyle::kMaxFontSize
               ? size
               : TextStyle{}.fontSize;
}

} // namespace

void CountdownStyle::setText(const TextStyle& style) {
    TextStyle usable = style;
    usable.fontSize = usableSize(style.fontSize);
    if (usable == m_text)
        return;
    m_text = usable;
    emit textChanged();
}

void CountdownStyle::setForeColor(quint32 bgr) {
    TextStyle style = m_text;
    style.foreColor = bgr & 0xFFFFFF;
    setText(style);
}

void CountdownStyle::setRect(const CountdownRect& rect) {
    if (rect == m_rect)
        return;
    m_rect = rect;
    emit rectChanged();
}

void CountdownStyle::load(const SettingsStore& store, const QString& fallbackFontName) {
    const TextStyle defaults;
    TextStyle style;
    style.foreColor =
        quint32(store.readInteger(kMainSection, QStringLiteral("ForeColor"), defaults.foreColor)) &
        0xFFFFFF;
    style.fontSize = store.readNumber(kMainSection, QStringLiteral("FontSize"), defaults.fontSize);
    style.bold = store.readBool(kMainSection, QStringLiteral("FontBold"), false);
    style.italic = store.readBool(kMainSection, QStringLiteral("FontItalic"), false);
    style.underline = store.readBool(kMainSection, QStringLiteral("FontUnderline"), false);
    style.strikethru = store.readBool(kMainSection, QStringLiteral("FontStrikethru"), false);
    style.fontName = store.readText(kMainSection, QStringLiteral("FontName"), fallbackFontName);
    if (style.fontName.isEmpty())
        style.fontName = fallbackFontName;
    setText(style);

    const CountdownRect rectDefaults;
    CountdownRect rect;
    rect.width = store.readNumber(kRectSection, QStringLiteral("Width"), rectDefaults.width);
    rect.height = store.readNumber(kRectSection, QStringLiteral("Height"), rectDefaults.height);
    rect.top = store.readNumber(kRectSection, QStringLiteral("Top"), rectDefaults.top);
    rect.left = store.readNumber(kRectSection, QStringLiteral("Left"), rectDefaults.left);
    setRect(rect);
}

bool CountdownStyle::storeText(SettingsStore& store, QString* error) const {
    store.writeText(kMainSection, QStringLiteral("FontName"), m_text.fontName);
    store.writeNumber(kMainSection, QStringLiteral("FontSize"), m_text.fontSize);
    store.writeBool(kMainSection, QStringLiteral("FontBold"), m_text.bold);
    store.writeBool(kMainSection, QStringLiteral("FontItalic"), m_text.italic);
    store.writeBool(kMainSection, QStringLiteral("FontUnderline"), m_text.underline);
    store.writeBool(kMainSection, QStringLiteral("FontStrikethru"), m_text.strikethru);
    store.writeInteger(kMainSection, QStringLiteral("ForeColor"), m_text.foreColor);
    return store.sync(error);
}

bool CountdownStyle::storeRect(SettingsStore& store, QString* error) const {
    // The order of the keys in a new file: width, height, top, left.
    store.writeNumber(kRectSection, QStringLiteral("Width"), m_rect.width);
    store.writeNumber(kRectSection, QStringLiteral("Height"), m_rect.height);
    store.writeNumber(kRectSection, QStringLiteral("Top"), m_rect.top);
    store.writeNumber(kRectSection, QStringLiteral("Left"), m_rect.left);
    return store.sync(error);
}
