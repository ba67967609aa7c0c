#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <mutex>

// Token buckets that hold back consumer look-ups per key (a terminal, a client address): each key may
// spend `burst` look-ups at once and earns them back at `perMinute`. A normal queue at a kiosk stays well
// inside; a loop that tries badge after badge runs dry after the burst and is held to the rate.
// The table is bounded: when it is full, keys whose bucket has refilled (idle keys) are dropped first,
// then the longest unused one.
class LookupLimiter {
public:
    using Clock = std::chrono::steady_clock;

    struct Rule {
        int perMinute = 20;  // 0: no limit
        int burst = 10;
        int maxKeys = 10000;
    };

    explicit LookupLimiter(Rule rule) : m_rule(rule) {}

    // Takes one look-up from the key's bucket; false when it is empty. The first refusal after a key was
    // allowed reports `started` so that the log names each throttled key once per episode.
    bool take(const QString& key, Clock::time_point now, bool* started = nullptr);

    int keyCount() const;

private:
    struct Bucket {
        double tokens = 0;
        Clock::time_point updated;
        bool refusing = false;
    };

    void refill(Bucket& bucket, Clock::time_point now) const;
    void makeRoom(Clock::time_point now);

    Rule m_rule;
    QHash<QString, Bucket> m_buckets;
    mutable std::mutex m_mutex;
};
