#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

// The per-user store of text values addressed by section and key under the application name
// "Dalvenor" (an INI file). Numbers are written as plain decimal text with "." ("15", "10.5"),
// booleans as "True"/"False". Reading accepts those in any case and numbers for booleans
// (0 false, other true); a value that does not convert gives the caller's default.
class SettingsStore {
public:
    // The store of the current user ($XDG_CONFIG_HOME/Dalvenor/Dalvenor.ini here).
    SettingsStore();
    // A store in the given INI file (tests).
    explicit SettingsStore(const QString& iniPath);
    ~SettingsStore();

    QString fileName() const;

    QString readText(const QString& section, const QString& key, const QString& def) const;
    double readNumber(const QString& section, const QString& key, double def) const;
    qint64 readInteger(const QString& section, const QString& key, qint64 def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    void writeText(const QString& section, const QString& key, const QString& value);
    void writeNumber(const QString& section, const QString& key, double value);
    void writeInteger(const QString& section, const QString& key, qint64 value);
    void writeBool(const QString& section, const QString& key, bool value);

    // Writes pending values to disk (atomically); false with a Chinese message on failure.
    bool sync(QString* error = nullptr);

    // Value forms, shared with everything that writes the store.
    static QString numberToText(double value);
    static std::optional<double> textToNumber(const QString& text);
    static std::optional<bool> textToBool(const QString& text);

private:
    std::unique_ptr<QSettings> m_settings;
};
