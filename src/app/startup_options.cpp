#include "app/startup_options.h"

#include "forms/version.h"

namespace startup {

Command commandFromArguments(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v"))
            return Command::PrintVersion;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return Command::PrintHelp;
    }
    return Command::Run;
}

QString versionText() {
    return QStringLiteral("dalvenor ") + QStringLiteral(DALVENOR_VERSION) + u'\n';
}

QString helpText() {
    return QStringLiteral("用法：dalvenor [--version] [--help]\n"
                          "Usage: dalvenor [--version] [--help]\n"
                          "\n"
                          "在桌面上显示高考倒计时和学习提示；菜单在通知区域的图标上，\n"
                          "没有通知区域时再次启动 dalvenor 即可在鼠标指针处打开菜单。\n"
                          "Shows the countdown to the college entrance exam on the desktop.\n"
                          "\n"
                          "  -h, --help     显示本帮助后退出 / show this help and exit\n"
                          "  -v, --version  显示版本后退出 / show the version and exit\n"
                          "\n"
                          "其他参数都被忽略。Any other argument is ignored.\n");
}

QString noXDisplayMessage(const Environment& environment) {
    QString found;
    if (!environment.display.trimmed().isEmpty())
        found = QStringLiteral("DISPLAY=") + QString::fromLocal8Bit(environment.display);
    else
        found = QStringLiteral("DISPLAY 未设置 / DISPLAY is not set");
    if (!environment.waylandDisplay.isEmpty())
        found += QStringLiteral(", WAYLAND_DISPLAY=") +
                 QString::fromLocal8Bit(environment.waylandDisplay);
    return QStringLiteral("dalvenor: 无法连接 X 显示（%1）。\n"
                          "Dalvenor 需要 X11；在 Wayland 会话中需要 XWayland。\n"
                          "dalvenor: cannot connect to an X display (%1).\n"
                          "Dalvenor needs X11; in a Wayland session it needs XWayland.\n")
        .arg(found);
}

} // namespace startup
