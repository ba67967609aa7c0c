#include "server/HeartbeatSender.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::seconds ShortestPeriod{1};
constexpr std::chrono::seconds LongestPeriod{3600};
constexpr std::chrono::seconds FirstRetry{5};
// A heartbeat is small; a server that takes longer is missed until the next one.
const HttpClient::Limits Limits{2000ms, 4000ms, 16 * 1024, 16 * 1024};

}  // namespace

QByteArray encodeHeartbeat(const KioskReport& report) {
    QJsonObject object{{QStringLiteral("terminal"), report.terminal},
                       {QStringLiteral("version"), report.version},
                       {QStringLiteral("state"), report.state},
                       {QStringLiteral("since"), report.since.toUTC().toString(Qt::ISODate)},
                       {QStringLiteral("consultations"), report.consultations}};
    if (!report.detail.isEmpty()) {
        object.insert(QStringLiteral("detail"), report.detail);
    }
    if (!report.lastError.isEmpty()) {
        object.insert(QStringLiteral("lastError"), report.lastError);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<std::chrono::seconds> heartbeatPeriodOf(const QByteArray& answer) {
    const QJsonValue period = QJsonDocument::fromJson(answer).object().value(QStringLiteral("period"));
    if (!period.isDouble()) {
        return std::nullopt;
    }
    const double seconds = period.toDouble();
    if (seconds < double(ShortestPeriod.count()) || seconds > double(LongestPeriod.count())) {
        return std::nullopt;
    }
    return std::chrono::seconds(static_cast<qint64>(seconds));
}

HeartbeatSender::HeartbeatSender(HttpClient::Target server, KioskReport first)
    : m_report(std::move(first)), m_thread([this, server = std::move(server)] { run(server); }) {}

HeartbeatSender::~HeartbeatSender() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void HeartbeatSender::update(const KioskReport& report, bool now) {
    {
        std::lock_guard lock(m_mutex);
        m_report = report;
        m_sendNow = m_sendNow || now;
    }
    if (now) {
        m_wake.notify_one();
    }
}

void HeartbeatSender::run(HttpClient::Target server) {
    HttpClient client(std::move(server), Limits);
    std::chrono::seconds period = DefaultPeriod;
    std::chrono::seconds retry = FirstRetry;
    std::chrono::seconds wait = period;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, wait, [this] { return m_stopping || m_sendNow; });
        if (m_stopping) {
            return;
        }
        m_sendNow = false;
        const QByteArray body = encodeHeartbeat(m_report);
        lock.unlock();
        const HttpClient::Exchange sent = client.post(
            QStringLiteral("/fleet/heartbeat"), body,
            {qMakePair(QByteArray("Content-Type"), QByteArray("application/json"))});
        if (sent.status == 200) {
            period = heartbeatPeriodOf(sent.body).value_or(period);
            retry = FirstRetry;
            wait = period;
        } else {
            // A server that is back soon (a kiosk started before it, say) hears from the kiosk soon; one that
            // stays away is asked less and less often, never less than once a period.
            wait = std::min(retry, period);
            retry = std::min(retry * 2, period);
        }
        lock.lock();
    }
}
