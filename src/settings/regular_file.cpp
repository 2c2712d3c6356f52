#include "settings/regular_file.h"

#include <QFileInfo>

namespace textfile {

QString statusMessage(ReadStatus status, const QString& path, const QString& detail) {
    const QString because = detail.isEmpty() ? QString() : QStringLiteral("：%1").arg(detail);
    switch (status) {
    case ReadStatus::Ok:
        return {};
    case ReadStatus::Missing:
        return QStringLiteral("没有找到文件“%1”。").arg(path);
    case ReadStatus::NotRegularFile:
        return QStringLiteral("“%1”不是普通文件（而是文件夹、管道、设备或指向它们的链接），"
                              "无法读取。")
            .arg(path);
    case ReadStatus::Unreadable:
        return QStringLiteral("无法读取文件“%1”%2。").arg(path, because);
    case ReadStatus::TooLarge:
        return detail.isEmpty()
                   ? QStringLiteral("文件“%1”太大，没有读取。").arg(path)
                   : QStringLiteral("文件“%1”太大（%2），没有读取。").arg(path, detail);
    }
    return {};
}

RegularFile::~RegularFile() {
    close();
}

ReadStatus RegularFile::readAll(QByteArray& bytes, qint64 limit) {
    bytes.clear();
    if (m_size > limit)
        return ReadStatus::TooLarge;
    bytes.resize(qsizetype(m_size));
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > limit) {
                bytes.clear();
                return ReadStatus::TooLarge;
            }
            // The file may have grown since it was opened: look for more, a little at a time.
            bytes.resize(qsizetype(qMin<qint64>(limit + 1, bytes.size() + 65536)));
        }
        const qint64 got = read(bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            bytes.clear();
            return ReadStatus::Unreadable;
        }
        if (got == 0)
            break;
        filled += qsizetype(got);
    }
    bytes.truncate(filled);
    return ReadStatus::Ok;
}

ReadStatus classify(const QString& path) {
    if (path.isEmpty())
        return ReadStatus::Missing;
    // exists() follows links; a link that leads nowhere is still something of that name.
    const QFileInfo info(path);
    if (info.exists())
        return info.isFile() ? ReadStatus::Ok : ReadStatus::NotRegularFile;
    return info.isSymbolicLink() ? ReadStatus::NotRegularFile : ReadStatus::Missing;
}

bool fileCounts(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

bool nameTaken(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() || info.isSymbolicLink();
}

} // namespace textfile
