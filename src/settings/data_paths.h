#pragma once

#include <QLatin1String>
#include <QString>

#include <functional>

// Where the program's files live. Files named without a folder ("countdown.ini",
// "settings.ini", "setting.ini", "skinh.she") resolve against the data folder, so that a
// start-at-login entry, a launcher or a shell elsewhere all find the same files.
class DataPaths {
public:
    DataPaths(QString programDir, QString dataDir, QString installedDataDir = {});

    // The file that marks a program folder which runs in place: a build tree or an unpacked
    // portable copy. An installed program has none.
    static constexpr QLatin1String kPortableMark{"dalvenor.portable"};

    // The program folder when it runs in place (it holds the regular file kPortableMark) and
    // is writable; otherwise the per-user folder, seeded with the shipped default
    // "countdown.ini" on first start. So an installed program never writes beside its
    // executable, even when run by the superuser. When the per-user folder can be neither
    // made nor seeded (a read-only program folder and an unwritable home), the folder that
    // holds the shipped "countdown.ini" is used as it is, read-only: the countdown still shows.
    static DataPaths resolve(const QString& programDir);
    // The same with the per-user folder and the test for a writable folder given (tests: the
    // superuser may write into any folder). The mark is looked for in the real folder.
    using WritableTest = std::function<bool(const QString& dir)>;
    static DataPaths resolve(const QString& programDir, const QString& perUserDir,
                             const WritableTest& isWritableDir);

    // False when the data folder is the read-only fallback above: saving there will fail.
    bool dataDirWritable() const { return m_writable; }

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
    bool m_writable = true;
};
