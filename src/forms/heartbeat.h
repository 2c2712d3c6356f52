#pragma once

#include "forms/clock.h"

#include <QObject>
#include <QTimer>

// The program's one wake-up per second, on the wall-clock second boundary. The countdown, the
// clock of "附加功能", the scheduled power action and the reminder all tick on it, so armed
// timers add no wake-ups of their own. Tests do not start it: they call tick() themselves.
class Heartbeat final : public QObject {
    Q_OBJECT
public:
    explicit Heartbeat(const Clock& clock, QObject* parent = nullptr);

    void start();
    void stop();
    bool isActive() const { return m_running; }

    // Emits second() with the clock's time, read once, and returns that time; the timer
    // calls it at each new second.
    Moment tick();

    // Milliseconds from now until just past the next wall-clock second, so that every tick
    // lands in a new second: no second is skipped or shown twice.
    static int msUntilNextSecond(qint64 msecsSinceEpoch);

signals:
    void second(const Moment& now);

private:
    const Clock& m_clock;
    QTimer m_timer;
    bool m_running = false;
};
