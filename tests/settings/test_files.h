#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <unistd.h>

// Small helpers shared by the file tests.
namespace testfiles {

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Permission bits do not stop the superuser, under whom the tests may run.
inline bool permissionsApply() {
    return ::geteuid() != 0;
}

} // namespace testfiles
