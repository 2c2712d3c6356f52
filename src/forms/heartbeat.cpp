#include "forms/heartbeat.h"

#include "forms/clock.h"

Heartbeat::Heartbeat(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        tick();
        if (m_running)
            m_timer.start(msUntilNextSecond(m_clock.now()));
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

void Heartbeat::tick() {
    emit second(m_clock.now());
}

int Heartbeat::msUntilNextSecond(const QDateTime& now) {
    // A few milliseconds past the boundary, so that a timer firing a little early still
    // reads the new second.
    constexpr int kMargin = 5;
    return 1000 - now.time().msec() + kMargin;
}
