#pragma once

#include "fleet/FleetView.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <tuple>

// What GET /metrics tells a Prometheus server, in its text format: this server's requests by module, method
// and status, their latency, the look-ups held back and the database's failures since the start; and the
// fleet as the database has it.
class Metrics {
public:
    // `path` as the access log has it; paths of no module count as "other", so that no client can make up
    // labels without end.
    void answered(const QString& path, int status, double milliseconds);
    void lookupHeldBack() { ++m_lookupsHeldBack; }
    void databaseFailed() { ++m_databaseFailures; }

    QByteArray text(const FleetCounts& fleet) const;

private:
    static constexpr std::array<double, 12> Bounds{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                   0.1,   0.25,   0.5,   1,    2.5,   10};

    mutable std::mutex m_mutex;
    std::map<std::tuple<QString, QString, int>, quint64> m_requests;
    std::array<quint64, Bounds.size()> m_buckets{};
    quint64 m_count = 0;
    double m_sum = 0;
    std::atomic<quint64> m_lookupsHeldBack{0};
    std::atomic<quint64> m_databaseFailures{0};
};
