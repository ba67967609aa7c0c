#include "fleet/Metrics.h"

#include "modules/Module.h"

#include <QStringList>

namespace {

// Module and method as labels: only names the server serves.
std::pair<QString, QString> labelsOf(const QString& path) {
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    if (parts.value(0) != QLatin1String("modules")) {
        const QStringList own{QStringLiteral("health"), QStringLiteral("fleet"), QStringLiteral("fleet.json"),
                              QStringLiteral("metrics")};
        return {own.contains(parts.value(0)) ? parts.value(0) : QStringLiteral("other"), QString()};
    }
    const Module* module = findModule(parts.value(1));
    if (module == nullptr) {
        return {QStringLiteral("other"), QString()};
    }
    const bool known = parts.size() < 3 || module->method(parts.value(2)) != nullptr;
    return {module->serverName, known ? parts.value(2) : QStringLiteral("other")};
}

}  // namespace

void Metrics::answered(const QString& path, int status, double milliseconds) {
    const auto [module, method] = labelsOf(path);
    const double seconds = milliseconds / 1000;
    std::lock_guard lock(m_mutex);
    ++m_requests[{module, method, status}];
    for (std::size_t i = 0; i < Bounds.size(); ++i) {
        m_buckets[i] += seconds <= Bounds[i] ? 1 : 0;
    }
    ++m_count;
    m_sum += seconds;
}

QByteArray Metrics::text(const FleetCounts& fleet) const {
    QString out;
    const auto family = [&out](const char* name, const char* type, const char* help) {
        out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                   .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
    };
    std::lock_guard lock(m_mutex);
    family("totem_requests_total", "counter", "Requests answered, by module, method and HTTP status.");
    for (const auto& [key, count] : m_requests) {
        out += QStringLiteral("totem_requests_total{module=\"%1\",method=\"%2\",status=\"%3\"} %4\n")
                   .arg(std::get<0>(key), std::get<1>(key))
                   .arg(std::get<2>(key))
                   .arg(count);
    }
    family("totem_request_duration_seconds", "histogram",
           "Time from a request's first byte to its answer's last.");
    for (std::size_t i = 0; i < Bounds.size(); ++i) {
        out += QStringLiteral("totem_request_duration_seconds_bucket{le=\"%1\"} %2\n").arg(Bounds[i]).arg(m_buckets[i]);
    }
    out += QStringLiteral("totem_request_duration_seconds_bucket{le=\"+Inf\"} %1\n").arg(m_count);
    out += QStringLiteral("totem_request_duration_seconds_sum %1\ntotem_request_duration_seconds_count %2\n")
               .arg(m_sum, 0, 'f', 6)
               .arg(m_count);
    family("totem_lookups_held_back_total", "counter", "Consumer look-ups refused by the look-up limit.");
    out += QStringLiteral("totem_lookups_held_back_total %1\n").arg(m_lookupsHeldBack.load());
    family("totem_database_errors_total", "counter", "Requests that the database failed.");
    out += QStringLiteral("totem_database_errors_total %1\n").arg(m_databaseFailures.load());
    family("totem_kiosks_seen", "gauge", "Kiosks heard from in the last five minutes.");
    out += QStringLiteral("totem_kiosks_seen %1\n").arg(fleet.seenRecently);
    family("totem_kiosks_stale", "gauge", "Kiosks not heard from for more than three heartbeats.");
    out += QStringLiteral("totem_kiosks_stale %1\n").arg(fleet.stale);
    family("totem_kiosks_error_box", "gauge", "Kiosks showing an error box.");
    out += QStringLiteral("totem_kiosks_error_box %1\n").arg(fleet.onErrorBox);
    family("totem_kiosks_stuck", "gauge", "Kiosks showing an error box for more than five minutes.");
    out += QStringLiteral("totem_kiosks_stuck %1\n").arg(fleet.stuck);
    family("totem_kiosks_unknown_register", "gauge", "Kiosks whose register the database does not know.");
    out += QStringLiteral("totem_kiosks_unknown_register %1\n").arg(fleet.unknownRegisters);
    return out.toUtf8();
}
