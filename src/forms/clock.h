#pragma once

#include <QDateTime>

#include <optional>

// One reading of the clock: the instant, and its local time. Made from the system clock, the
// local time is worked out only when somebody asks for it: each working out costs a
// conversion with the zone's rules, and a tick that only advances a count needs none.
class Moment {
public:
    // A reading given as a time (a test's clock): both at once.
    explicit Moment(const QDateTime& time)
        : m_ms(time.isValid() ? time.toMSecsSinceEpoch() : 0), m_valid(time.isValid()),
          m_local(time) {}
    // A reading of the system clock: the instant only, on the plain local clock.
    static Moment fromMSecsSinceEpoch(qint64 ms) {
        Moment moment;
        moment.m_ms = ms;
        return moment;
    }

    bool isValid() const { return m_valid; }
    qint64 msecsSinceEpoch() const { return m_ms; }
    // Whether the local time is the plain local clock's (a test's clock may give another zone).
    bool isLocalClock() const { return !m_local || m_local->timeSpec() == Qt::LocalTime; }
    const QDateTime& local() const {
        if (!m_local)
            m_local = QDateTime::fromMSecsSinceEpoch(m_ms, Qt::LocalTime);
        return *m_local;
    }

private:
    Moment() = default;
    qint64 m_ms = 0;
    bool m_valid = true;
    mutable std::optional<QDateTime> m_local;
};

// The wall clock, replaceable so that time-dependent code is tested without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual Moment moment() const { return Moment(now()); }
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    Moment moment() const override {
        return Moment::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch());
    }
};

// A clock that only moves when told to; for tests and benchmarks.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2011, 6, 5), QTime(8, 0)))
        : m_now(std::move(start)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advanceSeconds(qint64 s) { m_now = m_now.addSecs(s); }
    void advanceMSecs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    void advanceDays(qint64 d) { m_now = m_now.addDays(d); }

private:
    QDateTime m_now;
};
