#pragma once

#include <QByteArray>
#include <QString>

// Opening a file the program reads. Only a regular file is opened: a FIFO would block the
// start-up for ever, a device such as /dev/zero never ends, and a folder is not text. A name
// is looked at before it is opened, and the open itself never blocks, so a FIFO put in place
// between the two still cannot hang the program. Symbolic links are followed; what they point
// to must be a regular file too.
namespace textfile {

enum class ReadStatus {
    Ok,
    Missing,        // nothing of that name (a dangling link counts as not regular, not missing)
    NotRegularFile, // a folder, FIFO, socket, device, or a link to one
    Unreadable,     // a regular file that could not be opened or read
    TooLarge,       // larger than the reader accepts
};

// A Chinese sentence for the user saying why path could not be read; empty for Ok. detail is
// the system's reason, when there is one.
QString statusMessage(ReadStatus status, const QString& path, const QString& detail = {});

class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Ok only for a regular file that is now open for reading.
    ReadStatus open(const QString& path);
    void close();

    // Size when opened.
    qint64 size() const { return m_size; }
    // Up to maxBytes; 0 at the end, -1 on an error.
    qint64 read(char* buffer, qint64 maxBytes);
    // The rest of the file, or TooLarge without reading when it holds more than limit bytes
    // (a file growing while it is read is stopped at limit + 1 bytes).
    ReadStatus readAll(QByteArray& bytes, qint64 limit);

    // The system's reason for the last failure, as text.
    const QString& errorString() const { return m_error; }

private:
    int m_fd = -1;
    qint64 m_size = 0;
    QString m_error;
};

// What a name is, without opening it: Ok for a regular file (links followed), Missing when
// nothing has the name, NotRegularFile otherwise (a dangling link included).
ReadStatus classify(const QString& path);
// A name counts as present only when it is a readable regular file (links followed).
bool fileCounts(const QString& path);
// Anything at all has the name, a dangling link included: a name the user may have put there
// on purpose.
bool nameTaken(const QString& path);

} // namespace textfile
