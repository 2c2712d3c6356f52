#include "tray/tray_presence.h"

#include "tray/tray_host.h"

TrayPresence::TrayPresence(std::unique_ptr<TrayHostProbe> probe,
                           std::chrono::milliseconds gracePeriod, QObject* parent)
    : TrayPresence(ProbeFactory{}, gracePeriod, parent) {
    adopt(std::move(probe));
}

TrayPresence::TrayPresence(ProbeFactory makeProbe, std::chrono::milliseconds gracePeriod,
                           QObject* parent)
    : QObject(parent), m_makeProbe(std::move(makeProbe)), m_gracePeriod(gracePeriod) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(m_gracePeriod);
    connect(&m_timer, &QTimer::timeout, this, &TrayPresence::endGracePeriod);
}

void TrayPresence::ensureProbe() {
    if (m_probe || !m_makeProbe)
        return;
    adopt(m_makeProbe());
    m_makeProbe = nullptr;
}

void TrayPresence::adopt(std::unique_ptr<TrayHostProbe> probe) {
    m_probe = std::move(probe);
    connect(m_probe.get(), &TrayHostProbe::presenceChanged, this, &TrayPresence::presenceChanged);
    m_seen = m_probe->isPresent();
}

TrayPresence::~TrayPresence() = default;

std::chrono::milliseconds TrayPresence::gracePeriodFrom(const QByteArray& value) {
    bool ok = false;
    const qlonglong ms = value.trimmed().toLongLong(&ok);
    if (!ok || ms < 0 || ms > kGracePeriod.count())
        return kGracePeriod;
    return std::chrono::milliseconds(ms);
}

void TrayPresence::start() {
    if (m_started)
        return;
    m_started = true;
    ensureProbe();
    if (!m_seen)
        m_timer.start();
}

bool TrayPresence::hostPresent() {
    ensureProbe();
    return m_probe && m_probe->isPresent();
}

void TrayPresence::endGracePeriod() {
    m_timer.stop();
    if (m_seen || m_noticeDue)
        return;
    m_noticeDue = true;
    emit noticeDue();
}

void TrayPresence::presenceChanged() {
    if (!m_probe || !m_probe->isPresent())
        return;
    m_seen = true;
    m_timer.stop();
    emit hostAppeared();
    if (m_noticeDue) {
        m_noticeDue = false;
        emit noticeWithdrawn();
    }
}
