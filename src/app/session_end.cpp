#include "app/session_end.h"

#include <cstdio>

SessionEnd::SessionEnd(Store store, ExitPath exitPath, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_exitPath(std::move(exitPath)),
      m_sessionReport(&SessionEnd::reportToStderr) {}

bool SessionEnd::storeOnce(const Report& report) {
    if (m_stored)
        return true;
    QString error;
    // Tried once per change: a store that failed is not tried again on the next way out,
    // which would only repeat the same message at the same moment.
    m_stored = true;
    if (m_store(&error))
        return true;
    if (report)
        report(QStringLiteral("无法保存倒计时的字体和颜色：") + error);
    return false;
}

void SessionEnd::styleChanged() {
    m_stored = false;
}

void SessionEnd::signalReceived(int signalNumber) {
    Q_UNUSED(signalNumber)
    if (m_ending)
        return;
    m_ending = true;
    m_exitPath(m_sessionReport);
}

void SessionEnd::commitDataRequested() {
    storeOnce(m_sessionReport);
}

void SessionEnd::aboutToQuit() {
    m_ending = true;
    storeOnce(m_sessionReport);
}

void SessionEnd::watch(SessionEndSignals* signalSource) {
    if (signalSource)
        connect(signalSource, &SessionEndSignals::endRequested, this, &SessionEnd::signalReceived);
}

void SessionEnd::reportToStderr(const QString& message) {
    const QByteArray line = QByteArrayLiteral("Dalvenor: ") + message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

void SessionEnd::setSessionReport(Report report) {
    m_sessionReport = std::move(report);
}
