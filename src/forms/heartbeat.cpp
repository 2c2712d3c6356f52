#include "forms/heartbeat.h"

#include "forms/clock.h"

Heartbeat::Heartbeat(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // The next second is counted from the time the tick read: each reading of the local
        // time costs a conversion with the zone's rules. Counted from before the listeners'
        // work, the next tick only comes later within its second, never in this one.
        const QDateTime now = tick();
        if (m_running)
            m_timer.start(msUntilNextSecond(now));
    });
}

void Heartbeat::start() {
    m_running = true;
    m_timer.start(msUntilNextSecond(m_clock.now()));
}

void Heartbeat::stop() {
    m_running = false;
    m_timer.stop();
}

QDateTime Heartbeat::tick() {
    const QDateTime now = m_clock.now();
    emit second(now);
    return now;
}

int Heartbeat::msUntilNextSecond(const QDateTime& now) {
    // A few milliseconds past the boundary, so that a timer firing a little early still
    // reads the new second.
    constexpr int kMargin = 5;
    return 1000 - now.time().msec() + kMargin;
}
