#include "winutil/window_utils.h"

#include <QByteArray>
#include <QFileInfo>

void AvoidSessionBusAutolaunch() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    // A session started by systemd has its bus here even without the variable.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(runtime + "/bus")).exists())
        return;
    // Without a session bus, D-Bus would start one of its own for this X display on the first
    // use (the tray asks for one) and leave it running after the program ends. An address
    // that cannot be reached makes the tray use the X11 protocol at once instead.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/dalvenor-no-session-bus");
}
