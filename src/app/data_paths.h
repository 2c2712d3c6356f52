#pragma once

#include <QString>

// Where the program's files live. Files named without a folder ("countdown.ini",
// "settings.ini", "setting.ini", "skinh.she") resolve against the data folder, so that a
// start-at-login entry, a launcher or a shell elsewhere all find the same files.
class DataPaths {
public:
    DataPaths(QString programDir, QString dataDir, QString installedDataDir = {});

    // The program folder when it is writable; otherwise the per-user folder, seeded with the
    // shipped default "countdown.ini" on first start.
    static DataPaths resolve(const QString& programDir);

    const QString& programDir() const { return m_programDir; }
    const QString& dataDir() const { return m_dataDir; }

    // A file of the data folder: dataFile("countdown.ini").
    QString dataFile(const QString& name) const;
    // "ral.txt": one in a per-user data folder wins, then the program folder, then the
    // installed data folder.
    QString tipsFile() const;
    // A shipped file (default countdown, skins): program folder first, then installed data.
    QString shippedFile(const QString& name) const;

private:
    QString m_programDir;
    QString m_dataDir;
    QString m_installedDataDir;
};
