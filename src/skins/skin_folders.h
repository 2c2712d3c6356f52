#pragma once

#include <QList>
#include <QString>

class DataPaths;

// Where skin files lie: the built-in ones in "skins" beside the program (or in the installed
// data folder), a user's own in "skins" of the per-user data folder.
class SkinFolders {
public:
    struct Entry {
        QString name; // the file name shown in the list
        QString path; // the file in the folder it was listed from
    };

    SkinFolders() = default;
    SkinFolders(QString builtInDir, QString userDir);

    // "skins" beside the program when it is a folder, else in the installed data folder;
    // the user's in the per-user data folder (QStandardPaths' application data location).
    static SkinFolders forProgram(const DataPaths& paths);
    static SkinFolders forProgram(const DataPaths& paths, const QString& perUserDataDir);

    const QString& builtInDir() const { return m_builtInDir; }
    const QString& userDir() const { return m_userDir; }

    // A built-in skin by its file name ("itunes.she").
    QString builtInSkin(const QString& fileName) const;
    // The preview drawn from a built-in skin when the program was built ("itunes.she" gives
    // "previews/itunes.png" of the built-in folder).
    QString preview(const QString& skinFileName) const;

    // The "*.she" files (names compared without regard to case) of the built-in folder, then
    // of the user's, each sorted by name; only regular files. A folder that is the same as
    // the other is listed once.
    QList<Entry> list() const;

    // Creates the user's folder when missing; false when it cannot be made.
    bool createUserDir() const;

private:
    QString m_builtInDir;
    QString m_userDir;
};
