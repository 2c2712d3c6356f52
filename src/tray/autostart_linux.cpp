#include "tray/autostart_linux.h"

#include "settings/atomic_file.h"
#include "tray/desktop_entry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

} // namespace

std::unique_ptr<Autostart> createAutostart() {
    return std::make_unique<XdgAutostart>(QCoreApplication::applicationFilePath());
}

XdgAutostart::XdgAutostart(QString program, QString folder)
    : m_program(std::move(program)), m_folder(folder.isEmpty() ? defaultFolder() : folder) {}

QString XdgAutostart::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutostart::entryPath() const {
    return m_folder + QStringLiteral("/Dalvenor.desktop");
}

bool XdgAutostart::enable(QString* error) {
    const QString path = QDir::toNativeSeparators(entryPath());
    if (!QDir().mkpath(m_folder)) {
        setError(error, QStringLiteral("无法设置开机启动：无法创建文件夹“%1”。")
                            .arg(QDir::toNativeSeparators(m_folder)));
        return false;
    }
    QString why;
    if (!atomicfile::write(entryPath(), desktop_entry::autostartEntry(m_program), &why)) {
        setError(error, QStringLiteral("无法设置开机启动：无法写入“%1”（%2）。").arg(path, why));
        return false;
    }
    return true;
}

bool XdgAutostart::disable(QString* error) {
    QFile file(entryPath());
    if (!QFileInfo::exists(entryPath()) && !QFileInfo(entryPath()).isSymLink())
        return true;
    if (!file.remove()) {
        setError(error, QStringLiteral("无法取消开机启动：无法删除“%1”（%2）。")
                            .arg(QDir::toNativeSeparators(entryPath()), file.errorString()));
        return false;
    }
    return true;
}
