#pragma once

#include "kit/core/Clock.h"

// Fixes "now" for the life of the object, so that tests can set and advance the time. Restores the previous
// clock on destruction; clocks may nest.
class ScopedClock {
public:
    explicit ScopedClock(const QDateTime& start) : m_now(start), m_override([this] { return m_now; }) {}

    void set(const QDateTime& moment) { m_now = moment; }
    void advance(qint64 milliseconds) { m_now = m_now.addMSecs(milliseconds); }

private:
    QDateTime m_now;
    Clock::Override m_override;
};
