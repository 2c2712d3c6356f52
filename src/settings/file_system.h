#pragma once

#include <QString>

// The few file-system requests Qt has no word for, one implementation per platform.
namespace filesystem {

// A second name for the very same file (a hard link); false when the file system refuses one
// (another disk, a file system without them, the name already taken).
bool addHardLink(const QString& existing, const QString& newName);

// Makes the entries of the folder that holds path durable, so that a rename into it survives a
// power cut. Best effort: a folder that cannot be synced changes nothing for the caller.
void syncFolderOf(const QString& path);

// Bytes the running user may still write on the disk that holds folder, or -1 when unknown.
qint64 freeBytesAt(const QString& folder);

// The system's error code when path exists but may not be written by this user, else 0.
int writeRefusal(const QString& path);

} // namespace filesystem
