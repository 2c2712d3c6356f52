#include "forms/heartbeat.h"

#include "forms/clock.h"

Heartbeat::Heartbeat(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // The next second is counted from the time the tick read. Counted from before the
        // listeners' work, the next tick only comes later within its second, never in this one.
        const Moment now = tick();
        if (m_running)
            m_timer.start(msUntilNextSecond(now.msecsSinceEpoch()));
    });
}

void Heartbeat::start() {
    m_running = true;
    m_timer.start(msUntilNextSecond(m_clock.moment().msecsSinceEpoch()));
}

void Heartbeat::stop() {
    m_running = false;
    m_timer.stop();
}

Moment Heartbeat::tick() {
    const Moment now = m_clock.moment();
    emit second(now);
    return now;
}

int Heartbeat::msUntilNextSecond(qint64 msecsSinceEpoch) {
    // A few milliseconds past the boundary, so that a timer firing a little early still
    // reads the new second. Offsets from UTC are whole seconds: the local second starts
    // with the epoch's.
    constexpr int kMargin = 5;
    const int msec = int(((msecsSinceEpoch % 1000) + 1000) % 1000);
    return 1000 - msec + kMargin;
}
