#pragma once

#include "settings/regular_file.h"

#include <QString>

#include <memory>
#include <optional>

class IniDocument;

// The per-user store of text values addressed by section and key under the application name
// "Dalvenor" (an INI file). Numbers are written as plain decimal text with "." ("15", "10.5"),
// booleans as "True"/"False". Reading accepts those in any case and numbers for booleans
// (0 false, other true); a value that does not convert gives the caller's default.
//
// The store never destroys what it could not read. A file with lines that do not parse, one
// too large, unreadable, or something other than a regular file (a FIFO, a device, a link to
// one) still gives every key that could be read; before anything new is written in its place
// it is kept under a name of its own ("Dalvenor.ini.damaged", or ".damaged.2" … when that is
// taken): copied when its bytes were read, moved aside when they could not be. A folder in
// its place is never touched: nothing can then be stored, and sync says so. Values written
// here read back exactly, whatever characters they hold.
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

    // Writes pending values to disk (atomically); false with a Chinese message on failure, the
    // values then stay pending. Nothing pending: true without touching the file.
    bool sync(QString* error = nullptr);

    // The file as found at load could not be read whole (see above).
    bool isDamaged() const { return m_damaged; }
    // What was wrong with it, in Chinese; empty when nothing was.
    const QString& loadProblem() const { return m_problem; }
    // Keeps a damaged file under its own name now rather than at the next sync (for a caller
    // that wants to tell the user at once). True when nothing needs keeping.
    bool keepDamagedFile(QString* error = nullptr);
    // Where the damaged file was kept; empty until it was.
    const QString& damagedCopy() const { return m_damagedCopy; }
    // Once, after a damaged file was kept: a Chinese message saying where; empty otherwise.
    QString takeDamageNotice();

    // Value forms, shared with everything that writes the store.
    static QString numberToText(double value);
    static std::optional<double> textToNumber(const QString& text);
    static std::optional<bool> textToBool(const QString& text);

    // A settings file larger than this is not read (it would be damaged anyway).
    static constexpr qint64 maxFileBytes = 1024 * 1024;

private:
    void load();
    std::optional<QString> storedText(const QString& section, const QString& key) const;

    QString m_path;
    std::unique_ptr<IniDocument> m_document;
    bool m_dirty = false;
    textfile::ReadStatus m_status = textfile::ReadStatus::Missing;
    bool m_damaged = false;
    bool m_bytesComplete = false; // m_bytes hold the whole damaged file
    QByteArray m_bytes;
    QString m_problem;
    QString m_damagedCopy;
    bool m_noticePending = false;
};
