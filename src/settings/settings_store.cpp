#include "settings_store.h"

#include <QLocale>
#include <QSettings>
#include <QStringList>

#include <cmath>

namespace {

QString keyPath(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

// Every value is written as a QString, which the INI file keeps as plain text. A hand-edited
// value with a comma comes back from QSettings as a list; it is still one text.
std::optional<QString> storedText(const QSettings& settings, const QString& section,
                                  const QString& key) {
    const QVariant value = settings.value(keyPath(section, key));
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("Dalvenor"),
                                             QStringLiteral("Dalvenor"))) {}

SettingsStore::SettingsStore(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const {
    return m_settings->fileName();
}

QString SettingsStore::readText(const QString& section, const QString& key,
                                const QString& def) const {
    return storedText(*m_settings, section, key).value_or(def);
}

double SettingsStore::readNumber(const QString& section, const QString& key, double def) const {
    const auto text = storedText(*m_settings, section, key);
    if (!text)
        return def;
    return textToNumber(*text).value_or(def);
}

qint64 SettingsStore::readInteger(const QString& section, const QString& key, qint64 def) const {
    const auto text = storedText(*m_settings, section, key);
    if (!text)
        return def;
    // Plain integers directly, so that values past 2^53 keep every digit.
    bool ok = false;
    const qint64 whole = text->trimmed().toLongLong(&ok);
    if (ok)
        return whole;
    const auto number = textToNumber(*text);
    if (!number)
        return def;
    // A fraction rounds half to even, as the integer conversion of the stored numbers always has.
    const double rounded = std::nearbyint(*number);
    if (rounded < -9.2233720368547758e18 || rounded >= 9.2233720368547758e18)
        return def;
    return static_cast<qint64>(rounded);
}

bool SettingsStore::readBool(const QString& section, const QString& key, bool def) const {
    const auto text = storedText(*m_settings, section, key);
    if (!text)
        return def;
    return textToBool(*text).value_or(def);
}

void SettingsStore::writeText(const QString& section, const QString& key, const QString& value) {
    m_settings->setValue(keyPath(section, key), value);
}

void SettingsStore::writeNumber(const QString& section, const QString& key, double value) {
    writeText(section, key, numberToText(value));
}

void SettingsStore::writeInteger(const QString& section, const QString& key, qint64 value) {
    writeText(section, key, QString::number(value));
}

void SettingsStore::writeBool(const QString& section, const QString& key, bool value) {
    writeText(section, key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

bool SettingsStore::sync(QString* error) {
    m_settings->sync();
    switch (m_settings->status()) {
    case QSettings::NoError:
        return true;
    case QSettings::AccessError:
        if (error)
            *error = QStringLiteral("无法保存设置：文件“%1”不能写入。").arg(fileName());
        return false;
    case QSettings::FormatError:
        if (error)
            *error = QStringLiteral("无法读取设置：文件“%1”格式有误。").arg(fileName());
        return false;
    }
    return false;
}

QString SettingsStore::numberToText(double value) {
    // Fixed notation keeps ordinary values free of exponents ("1000000", not "1e+06"); only
    // values no font size or window position ever has fall back to the shortest general form.
    const double magnitude = std::fabs(value);
    if (value == 0 || (magnitude >= 1e-6 && magnitude < 1e15))
        return QString::number(value == 0 ? 0.0 : value, 'f', QLocale::FloatingPointShortest);
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> SettingsStore::textToNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> SettingsStore::textToBool(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto number = textToNumber(trimmed))
        return *number != 0;
    return std::nullopt;
}
