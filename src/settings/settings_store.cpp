#include "settings/settings_store.h"

#include "settings/atomic_file.h"
#include "settings/file_system.h"
#include "settings/ini_document.h"
#include "settings/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A name for the kept file that holds nothing yet: an older kept file is never replaced.
QString freeDamagedName(const QString& path) {
    for (int n = 1; n < 100; ++n) {
        const QString name =
            path + QStringLiteral(".damaged") + (n == 1 ? QString() : QStringLiteral(".%1").arg(n));
        if (!textfile::nameTaken(name))
            return name;
    }
    return {};
}

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                    QStringLiteral("/Dalvenor/Dalvenor.ini")) {}

SettingsStore::SettingsStore(const QString& iniPath)
    : m_path(iniPath), m_document(std::make_unique<IniDocument>()) {
    load();
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::load() {
    textfile::RegularFile file;
    m_status = file.open(m_path);
    if (m_status == textfile::ReadStatus::Ok) {
        QByteArray bytes;
        m_status = file.readAll(bytes, maxFileBytes);
        if (m_status == textfile::ReadStatus::Ok) {
            *m_document = IniDocument::parse(bytes);
            if (m_document->damagedLines() > 0) {
                m_damaged = true;
                m_bytes = std::move(bytes);
                m_bytesComplete = true;
                m_problem = QStringLiteral("设置文件“%1”中有 %2 行无法识别（第一处在第 %3 行）。")
                                .arg(m_path)
                                .arg(m_document->damagedLines())
                                .arg(m_document->firstDamagedLine());
            }
            return;
        }
    }
    switch (m_status) {
    case textfile::ReadStatus::Ok:
    case textfile::ReadStatus::Missing:
        return;
    case textfile::ReadStatus::NotRegularFile:
        if (QFileInfo(m_path).isDir()) {
            m_problem = QStringLiteral("“%1”是一个文件夹，不是设置文件：设置无法读取，也无法保存。")
                            .arg(m_path);
            return;
        }
        break;
    case textfile::ReadStatus::TooLarge:
        m_problem = textfile::statusMessage(m_status, m_path,
                                            QStringLiteral("超过 %1 MB").arg(maxFileBytes >> 20));
        m_damaged = true;
        return;
    case textfile::ReadStatus::Unreadable:
        break;
    }
    m_damaged = true;
    m_problem = textfile::statusMessage(m_status, m_path, file.errorString());
}

bool SettingsStore::keepDamagedFile(QString* error) {
    if (!m_damaged || !m_damagedCopy.isEmpty())
        return true;
    const auto fail = [&](const QString& why) {
        if (error)
            *error =
                QStringLiteral("无法保存设置：无法保留原来的设置文件“%1”（%2）。").arg(m_path, why);
        return false;
    };
    if (!textfile::nameTaken(m_path)) {
        // Gone since it was read: nothing left to keep.
        m_damaged = false;
        return true;
    }
    const QString copy = freeDamagedName(m_path);
    if (copy.isEmpty())
        return fail(QStringLiteral("已有太多保留的旧文件"));
    const QByteArray from = QFile::encodeName(m_path);
    const QByteArray to = QFile::encodeName(copy);
    const QFileInfo info(m_path);
    const bool plainFile = info.isFile() && !info.isSymbolicLink();
    bool kept = false;
    QString why;
    if (m_bytesComplete) {
        // A second name for the very same bytes costs nothing, and the save then replaces
        // only the first name. Through a link, the bytes read are copied instead.
        kept = plainFile && filesystem::addHardLink(m_path, copy);
        if (!kept)
            kept = atomicfile::write(copy, m_bytes, &why);
    } else {
        // Bytes that could not be read (or a FIFO, a device): the name itself is moved.
        kept = std::rename(from.constData(), to.constData()) == 0;
        if (!kept)
            why = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!kept)
        return fail(why);
    m_damagedCopy = copy;
    m_noticePending = true;
    m_bytes.clear();
    return true;
}

QString SettingsStore::takeDamageNotice() {
    if (!m_noticePending)
        return {};
    m_noticePending = false;
    return QStringLiteral("设置文件“%1”无法完整读取，原来的文件已保存为“%2”。"
                          "能读出的设置照常使用，其余的恢复为默认值。")
        .arg(m_path, m_damagedCopy);
}

QString SettingsStore::fileName() const {
    return m_path;
}

std::optional<QString> SettingsStore::storedText(const QString& section, const QString& key) const {
    return m_document->value(section, key);
}

QString SettingsStore::readText(const QString& section, const QString& key,
                                const QString& def) const {
    return storedText(section, key).value_or(def);
}

double SettingsStore::readNumber(const QString& section, const QString& key, double def) const {
    const auto text = storedText(section, key);
    if (!text)
        return def;
    return textToNumber(*text).value_or(def);
}

qint64 SettingsStore::readInteger(const QString& section, const QString& key, qint64 def) const {
    const auto text = storedText(section, key);
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
    const auto text = storedText(section, key);
    if (!text)
        return def;
    return textToBool(*text).value_or(def);
}

void SettingsStore::writeText(const QString& section, const QString& key, const QString& value) {
    if (m_document->setValue(section, key, value))
        m_dirty = true;
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
    if (!m_dirty)
        return true;
    const auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (QFileInfo(m_path).isDir())
        return fail(QStringLiteral("无法保存设置：“%1”是一个文件夹，不是设置文件。").arg(m_path));
    if (!keepDamagedFile(error))
        return false;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("无法保存设置：无法创建文件夹“%1”。").arg(folder));
    // The save replaces the name; never through a link to a device or into a FIFO.
    if (textfile::classify(m_path) == textfile::ReadStatus::NotRegularFile)
        return fail(QStringLiteral("无法保存设置：“%1”不是普通文件。").arg(m_path));
    QString why;
    if (!atomicfile::write(m_path, m_document->serialize(), &why))
        return fail(QStringLiteral("无法保存设置：文件“%1”不能写入（%2）。").arg(m_path, why));
    m_dirty = false;
    m_damaged = false;
    return true;
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
