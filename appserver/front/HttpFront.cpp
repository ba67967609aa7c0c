#include "front/HttpFront.h"

#include "front/AccessLog.h"
#include "modules/MethodCall.h"
#include "store/Migrations.h"
#include "fleet/FleetRecorder.h"
#include "fleet/FleetView.h"
#include "fleet/Heartbeat.h"
#include "fleet/Metrics.h"
#include "http/Addresses.h"
#include "server/WireFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A key per client address and per terminal at an address: room for some 20,000 kiosks before idle keys are
// dropped (a few megabytes).
constexpr int MaxLookupKeys = 50000;
constexpr int MaxKeyLength = 64;
const QString LookupsHeldBackText =
    QStringLiteral("Muitas consultas seguidas neste terminal. Aguarde um minuto e passe o crachá novamente.");

http::Response fault(const ProtocolFault& fault) {
    return {fault.status, wire::encodeError(fault.text), {}};
}

const ProtocolFault NotFound{404, QStringLiteral("Recurso não encontrado.")};
const ProtocolFault NotAllowed{405, QStringLiteral("Método HTTP não permitido neste caminho.")};
const ProtocolFault Failed{500, QStringLiteral("Falha no servidor de aplicação.")};

QString terminalOf(const Method& method, const QVariantList& arguments) {
    return arguments.value(method.branchArgument).toString() +
           arguments.value(method.registerArgument).toString();
}

// A client that is no trusted proxy (loopback, or named by --trusted-proxy) is known by its address. Behind
// trusted proxies, it is the right-most address in X-Forwarded-For that is no trusted proxy: the one the
// nearest of them appended. Whatever the client wrote there itself stands to the left of it.
QString clientAddress(const http::Request& request, const QStringList& trustedProxies) {
    const QStringList trusted = QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("::1")} + trustedProxies;
    QString address = request.peer();
    const QStringList hops = request.headers("X-Forwarded-For").join(u',').split(u',', Qt::SkipEmptyParts);
    for (auto hop = hops.crbegin(); http::isAmong(address, trusted) && hop != hops.crend(); ++hop) {
        address = hop->trimmed();
    }
    return address;
}

}  // namespace

HttpFront::HttpFront(ServerOptions options, FleetRecorder& fleet, Metrics& metrics)
    : m_options(std::move(options)),
      m_fleet(fleet),
      m_metrics(metrics),
      m_lookups({m_options.lookupPerMinute, m_options.lookupBurst, MaxLookupKeys}) {}

http::Response HttpFront::answer(const http::Request& request, Connection& db) {
    http::Response response;
    try {
        response = route(request, db);
    } catch (const std::exception&) {
        response = fault(Failed);
    }
    // Between requests a worker holds no open read: SQLite would keep serving it the snapshot it began, and
    // writes by others (the fleet's, an import's) would stay unseen on this connection.
    db.finishStatements();
    // The kiosk's header names it; a call without one is known by the register its arguments name.
    if (const QString terminal = request.header("X-Totem-Terminal"); !terminal.isEmpty()) {
        response.terminal = terminal;
    }
    const bool consultation =
        response.status == 200 && request.path().endsWith(QLatin1String("/Qvr.rdmTerminalCons/getConsumidor"));
    m_fleet.sighted(response.terminal, clientAddress(request, m_options.trustedProxies), consultation);
    return response;
}

// /health, /modules/<module> and /modules/<module>/<method>; any other path is unknown, any other HTTP
// method on these paths not allowed.
http::Response HttpFront::route(const http::Request& request, Connection& db) {
    const QStringList parts = request.path().split(u'/');
    const bool get = request.method() == "GET";
    const bool post = request.method() == "POST";
    const bool named = parts.size() >= 3 && parts.size() <= 4 && parts.at(1) == QLatin1String("modules") &&
                       !parts.at(2).isEmpty() && !parts.constLast().isEmpty();
    if (request.path() == QLatin1String("/health")) {
        return get ? health(db) : fault(NotAllowed);
    }
    if (request.path() == QLatin1String("/fleet/heartbeat")) {
        return post ? heartbeat(request) : fault(NotAllowed);
    }
    if (QStringList{QStringLiteral("/fleet"), QStringLiteral("/fleet.json"), QStringLiteral("/metrics")}.contains(
            request.path())) {
        return get ? forOperator(request, db) : fault(NotAllowed);
    }
    if (named && parts.size() == 3) {
        return get ? connect(parts.at(2)) : fault(NotAllowed);
    }
    if (named) {
        return post ? call(request, parts.at(2), parts.at(3), db) : fault(NotAllowed);
    }
    return fault(NotFound);
}

// The answer says whether the database is usable and, when the operator has something to do, what; the
// failure's detail (which may name the database's host) goes to the log, once each time the state changes.
http::Response HttpFront::health(Connection& db) {
    QJsonObject state{{QStringLiteral("server"), QStringLiteral("ok")},
                      {QStringLiteral("version"), QStringLiteral(TOTEM_VERSION)}};
    QString failure;
    try {
        StatementDeadline deadline(m_options.requestTimeoutMs);
        const int version = schemaVersion(db);
        db.requireNetwork();
        state.insert(QStringLiteral("schemaVersion"), version);
        state.insert(QStringLiteral("database"), QStringLiteral("ok"));
    } catch (const StoreError& error) {
        failure = error.detail();
        state.insert(QStringLiteral("database"),
                     error.remedy().isEmpty() ? QStringLiteral("unavailable (the server's log says why)")
                                              : error.remedy());
    }
    reportHealth(failure);
    return {failure.isEmpty() ? 200 : 503, QJsonDocument(state).toJson(QJsonDocument::Compact), {}};
}

void HttpFront::reportHealth(const QString& failure) {
    std::lock_guard lock(m_healthMutex);
    if (failure == m_lastHealthFailure) {
        return;
    }
    m_lastHealthFailure = failure;
    accesslog::event(failure.isEmpty() ? QStringLiteral("database usable again")
                                       : QStringLiteral("database unusable: %1").arg(failure),
                     failure.isEmpty() ? accesslog::Priority::Info : accesslog::Priority::Error);
}

http::Response HttpFront::connect(const QString& moduleName) const {
    try {
        const Module& module = moduleNamed(moduleName);
        return {200, wire::encodeModule({module.serverName, module.guid}), {}};
    } catch (const ProtocolFault& refused) {
        return fault(refused);
    }
}

// Calls that name a consumer are what a badge-enumeration loop repeats. All of them share one budget per
// client address and, within it, one per terminal at that address: a terminal header counts only with the
// address that sends it, so no caller can spend another kiosk's budget, and a terminal held back spends
// nothing of its address, so that other kiosks behind it go on.
void HttpFront::limitLookups(const http::Request& request) {
    const QString address =
        http::clientKey(clientAddress(request, m_options.trustedProxies)).left(MaxKeyLength);
    const QString terminal = request.header("X-Totem-Terminal").left(MaxKeyLength);
    const auto now = LookupLimiter::Clock::now();
    bool terminalStarted = false;
    bool addressStarted = false;
    const bool allowed =
        m_lookups.take(QStringLiteral("terminal %1 at %2").arg(terminal, address), now, &terminalStarted) &&
        m_lookups.take(QStringLiteral("address ") + address, now, &addressStarted);
    if (terminalStarted || addressStarted) {
        accesslog::event(QStringLiteral("consumer look-ups held back: terminal %1, address %2")
                             .arg(accesslog::printable(terminal, MaxKeyLength),
                                  accesslog::printable(address, MaxKeyLength)),
                         accesslog::Priority::Warning);
    }
    if (!allowed) {
        m_metrics.lookupHeldBack();
        throw MethodFailure(LookupsHeldBackText);
    }
}

http::Response HttpFront::call(const http::Request& request, const QString& moduleName,
                               const QString& methodName, Connection& db) {
    MethodCall decoded;
    try {
        decoded = decodeMethodCall(moduleName, methodName, request.body());
    } catch (const ProtocolFault& refused) {
        return fault(refused);
    }
    const QString terminal = terminalOf(*decoded.method, decoded.arguments);
    try {
        if (decoded.method->readsConsumer()) {
            limitLookups(request);
        }
        StatementDeadline deadline(m_options.requestTimeoutMs);
        bool databaseFailed = false;
        const Answer result =
            invoke(*decoded.method, db, decoded.arguments, m_options.dateFormat, &databaseFailed);
        if (databaseFailed) {
            m_metrics.databaseFailed();
        }
        return {200, wire::encodeResult(wireResult(result)), terminal};
    } catch (const MethodFailure& failure) {
        return {200, wire::encodeResult(failure.text()), terminal};
    }
}

http::Response HttpFront::heartbeat(const http::Request& request) {
    try {
        const Heartbeat beat = decodeHeartbeat(request.body());
        m_fleet.heartbeat(beat, clientAddress(request, m_options.trustedProxies));
        // The answer paces the kiosks: one setting here, and every kiosk follows it.
        return {200, QStringLiteral("{\"period\":%1}").arg(m_options.heartbeatSeconds).toUtf8(), beat.terminal};
    } catch (const ProtocolFault& refused) {
        return fault(refused);
    }
}

// The fleet's page and data, and the metrics: for loopback (the client's own address, behind a proxy too),
// or for a caller that presents the operator's token, as a bearer token or as the password of HTTP's basic
// authentication, which a browser asks for.
bool HttpFront::operatorMay(const http::Request& request) const {
    const QString client = clientAddress(request, m_options.trustedProxies);
    if (http::isAmong(client, {QStringLiteral("127.0.0.1"), QStringLiteral("::1")})) {
        return true;
    }
    if (m_options.operatorToken.isEmpty()) {
        return false;
    }
    const QString authorization = request.header("Authorization");
    QByteArray presented;
    if (authorization.startsWith(QLatin1String("Bearer "))) {
        presented = authorization.mid(7).trimmed().toUtf8();
    } else if (authorization.startsWith(QLatin1String("Basic "))) {
        const QByteArray pair = QByteArray::fromBase64(authorization.mid(6).trimmed().toLatin1());
        presented = pair.mid(pair.indexOf(':') + 1);
    }
    // Compared whole, so that the time taken tells nothing of how much of it matched.
    const QByteArray token = m_options.operatorToken.toUtf8();
    int difference = presented.size() ^ token.size();
    for (qsizetype i = 0; i < token.size(); ++i) {
        difference |= token.at(i) ^ (i < presented.size() ? presented.at(i) : '\0');
    }
    return difference == 0;
}

http::Response HttpFront::forOperator(const http::Request& request, Connection& db) {
    if (!operatorMay(request)) {
        http::Response refused = fault({401, QStringLiteral("A frota é vista do próprio servidor ou com a chave do "
                                                             "operador (--operator-token).")});
        refused.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"totem-server\"")));
        return refused;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<FleetEntry> fleet;
    try {
        StatementDeadline deadline(m_options.requestTimeoutMs);
        fleet = readFleet(db, now, std::chrono::seconds(m_options.heartbeatSeconds));
    } catch (const StoreError& error) {
        m_metrics.databaseFailed();
        return fault({503, QStringLiteral("Banco de dados indisponível: %1").arg(error.remedy())});
    }
    http::Response response;
    response.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
    if (request.path() == QLatin1String("/metrics")) {
        response.body = m_metrics.text(countFleet(fleet, now));
        response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    } else if (request.path() == QLatin1String("/fleet.json")) {
        response.body = fleetJson(fleet, now);
    } else {
        response.body = fleetPage(fleet, now);
        response.contentType = "text/html; charset=utf-8";
    }
    return response;
}
