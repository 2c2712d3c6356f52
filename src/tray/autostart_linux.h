#pragma once

#include "tray/autostart.h"

// The per-user XDG autostart entry "Dalvenor.desktop" (the equivalent of the Startup-folder
// shortcut): written through the atomic writer, so that a full disk leaves the old entry
// whole; removed by deleting our own file.
class XdgAutostart final : public Autostart {
public:
    // program: the executable to start; folder: the autostart folder
    // ($XDG_CONFIG_HOME/autostart unless given).
    explicit XdgAutostart(QString program, QString folder = QString());

    bool enable(QString* error) override;
    bool disable(QString* error) override;

    QString entryPath() const;
    static QString defaultFolder();

private:
    QString m_program;
    QString m_folder;
};
