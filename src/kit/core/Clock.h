#pragma once

#include <QDateTime>

// The one source of "now" for every rule that depends on the date or the time.
class Clock {
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
};

// Fixes "now" for the life of the object, so that tests can set and advance the time.
// Restores the previous clock on destruction; guards may nest.
class ScopedClock {
public:
    explicit ScopedClock(const QDateTime& start);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

    void set(const QDateTime& moment) { m_now = moment; }
    void advance(qint64 milliseconds) { m_now = m_now.addMSecs(milliseconds); }

private:
    friend class Clock;
    QDateTime m_now;
    ScopedClock* m_previous;
};
