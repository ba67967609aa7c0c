#include "kit/core/Clock.h"

namespace {
Clock::Override* g_override = nullptr;
}

QDateTime Clock::now() {
    return g_override ? g_override->m_source() : QDateTime::currentDateTime();
}

Clock::Override::Override(std::function<QDateTime()> source)
    : m_source(std::move(source)), m_previous(g_override) {
    g_override = this;
}

Clock::Override::~Override() {
    g_override = m_previous;
}
