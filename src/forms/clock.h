#pragma once

#include <QDateTime>

// The wall clock, replaceable so that time-dependent code is tested without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
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
