#include "front/LookupLimiter.h"

#include <algorithm>

void LookupLimiter::refill(Bucket& bucket, Clock::time_point now) const {
    const std::chrono::duration<double, std::ratio<60>> elapsed = now - bucket.updated;
    bucket.tokens = std::min<double>(m_rule.burst, bucket.tokens + elapsed.count() * m_rule.perMinute);
    bucket.updated = now;
}

void LookupLimiter::makeRoom(Clock::time_point now) {
    m_buckets.removeIf([this, now](QHash<QString, Bucket>::iterator entry) {
        refill(entry.value(), now);
        return entry.value().tokens >= m_rule.burst;
    });
    if (m_buckets.size() < m_rule.maxKeys) {
        return;
    }
    const auto oldest =
        std::min_element(m_buckets.begin(), m_buckets.end(),
                         [](const Bucket& a, const Bucket& b) { return a.updated < b.updated; });
    m_buckets.erase(oldest);
}

bool LookupLimiter::take(const QString& key, Clock::time_point now, bool* started) {
    if (m_rule.perMinute <= 0) {
        return true;
    }
    std::lock_guard lock(m_mutex);
    auto entry = m_buckets.find(key);
    if (entry == m_buckets.end()) {
        if (m_buckets.size() >= m_rule.maxKeys) {
            makeRoom(now);
        }
        entry = m_buckets.insert(key, Bucket{static_cast<double>(m_rule.burst), now, false});
    }
    Bucket& bucket = entry.value();
    refill(bucket, now);
    const bool allowed = bucket.tokens >= 1.0;
    if (allowed) {
        bucket.tokens -= 1.0;
    }
    if (started != nullptr) {
        *started = !allowed && !bucket.refusing;
    }
    bucket.refusing = !allowed;
    return allowed;
}

int LookupLimiter::keyCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_buckets.size());
}
