#include "kit/core/Clock.h"

namespace {
ScopedClock* g_fixedClock = nullptr;
}

QDateTime Clock::now() { return g_fixedClock ? g_fixedClock->m_now : QDateTime::currentDateTime(); }

ScopedClock::ScopedClock(const QDateTime& start) : m_now(start), m_previous(g_fixedClock) { g_fixedClock = this; }

ScopedClock::~ScopedClock() { g_fixedClock = m_previous; }
