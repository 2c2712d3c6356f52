#include "addins/exit_window.h"

namespace {

const QString errorPrefix = QStringLiteral("org.freedesktop.DBus.Error.");

bool isError(const QString& name, const char* shortName) {
    return name == errorPrefix + QLatin1String(shortName);
}

bool noBus(const QString& name) {
    return isError(name, "Disconnected") || isError(name, "NoServer") ||
           isError(name, "FileNotFound") || isError(name, "Spawn.ExecFailed");
}

bool noService(const QString& name) {
    return isError(name, "ServiceUnknown") || isError(name, "NameHasNoOwner") ||
           isError(name, "UnknownObject") || isError(name, "UnknownMethod") ||
           isError(name, "UnknownInterface");
}

bool denied(const QString& name) {
    return isError(name, "AccessDenied") || isError(name, "InteractiveAuthorizationRequired") ||
           isError(name, "AuthFailed");
}

bool noSession(const QString& name) {
    return name == QLatin1String("org.freedesktop.login1.NoSuchSession") ||
           name == QLatin1String("org.freedesktop.login1.NoSessionForPID");
}

bool noReply(const QString& name) {
    return isError(name, "NoReply") || isError(name, "Timeout") || isError(name, "TimedOut");
}

} // namespace

PowerBackend::PowerBackend(QObject* parent) : QObject(parent) {
    // The signals carry the action, also across queued connections.
    qRegisterMetaType<PowerAction>();
}

QString actionVerb(PowerAction action) {
    switch (action) {
    case PowerAction::Shutdown:
        return QStringLiteral("关机");
    case PowerAction::Reboot:
        return QStringLiteral("重启");
    case PowerAction::Logoff:
        return QStringLiteral("注销");
    case PowerAction::None:
        break;
    }
    return QString();
}

QString availabilityNote(PowerAction action, const QString& answer) {
    const QString verb = actionVerb(action);
    if (verb.isEmpty() || answer == QLatin1String("yes"))
        return QString();
    if (answer == QLatin1String("challenge"))
        return QStringLiteral("注意：到时系统会要求输入管理员密码，无人输入则不会%1。").arg(verb);
    if (answer == QLatin1String("no"))
        return QStringLiteral("注意：系统不允许您%1，到时将不会%1。").arg(verb);
    return QStringLiteral("注意：此系统不支持%1，到时将不会%1。").arg(verb);
}

QString availabilityErrorNote(PowerAction action, const QString& errorName, const QString& detail) {
    const QString verb = actionVerb(action);
    if (verb.isEmpty())
        return QString();
    if (noBus(errorName))
        return QStringLiteral("注意：无法连接系统总线（D-Bus），到时将不会%1。").arg(verb);
    if (noService(errorName))
        return QStringLiteral("注意：系统中没有运行 systemd-logind，到时将不会%1。").arg(verb);
    if (noSession(errorName))
        return QStringLiteral("注意：找不到您的登录会话，到时将不会%1。").arg(verb);
    if (denied(errorName))
        return QStringLiteral("注意：系统不允许您%1，到时将不会%1。").arg(verb);
    return QStringLiteral("注意：无法确认能否%1（%2）。")
        .arg(verb, detail.isEmpty() ? errorName : detail);
}

QString requestErrorText(PowerAction action, const QString& errorName, const QString& detail) {
    const QString verb = actionVerb(action);
    if (noBus(errorName))
        return QStringLiteral("未能为您%1：无法连接系统总线（D-Bus）。").arg(verb);
    if (noService(errorName))
        return QStringLiteral("未能为您%1：系统中没有运行 systemd-logind。").arg(verb);
    if (noSession(errorName))
        return QStringLiteral("未能为您%1：找不到您的登录会话。").arg(verb);
    if (denied(errorName))
        return QStringLiteral("未能为您%1：系统拒绝了请求，需要管理员授权"
                              "（可能有其他用户登录，或有程序阻止%1）。")
            .arg(verb);
    if (noReply(errorName))
        return QStringLiteral("未能为您%1：系统没有回应。").arg(verb);
    return QStringLiteral("未能为您%1：%2").arg(verb, detail.isEmpty() ? errorName : detail);
}
