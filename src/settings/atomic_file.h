#pragma once

#include <QByteArrayView>
#include <QString>

// The one way the program writes a file. The new bytes go to a temporary file beside the old
// one, which takes the old name only once every byte has reached the disk: a full disk, a
// file size limit or a crash in between leaves the old file exactly as it was, never a cut
// one. A name held by something other than a regular file (a folder, FIFO, device, or a link
// to one, or a link to nothing) is not replaced: a save must not swap a FIFO for a file, nor
// write through a link into a device.
namespace atomicfile {

// Replaces path with bytes. On failure nothing changed and why (when given) holds the reason
// in a few words, for the caller to put into its own Chinese message.
bool write(const QString& path, QByteArrayView bytes, QString* why = nullptr);

// For tests where no small file system can be mounted: every later write behaves as on a
// disk with room for only this many more bytes (the system's "no space left" past them);
// -1 gives the disk back.
void limitSpaceForTesting(qint64 bytes);

} // namespace atomicfile
