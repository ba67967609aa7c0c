#include "HttpFront.h"

#include "AccessLog.h"
#include "MethodCall.h"
#include "Migrations.h"
#include "server/WireFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Seven methods name a consumer, each with a key per terminal and per address: room for some 3,000 kiosks
// before idle keys are dropped (a few megabytes).
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

// A client that is no trusted proxy is known by its address; a load balancer on loopback, or one named by
// --trusted-proxy, names the kiosk's address in X-Forwarded-For (the last hop it added).
QString clientAddress(const http::Request& request, const QStringList& trustedProxies) {
    const QString peer = request.peer();
    const bool trusted =
        peer == QLatin1String("127.0.0.1") || peer == QLatin1String("::1") || trustedProxies.contains(peer);
    const QString forwarded = trusted ? request.header("X-Forwarded-For") : QString();
    const QString last = forwarded.section(u',', -1).trimmed();
    return last.isEmpty() ? peer : last;
}

}  // namespace

HttpFront::HttpFront(ServerOptions options)
    : m_options(std::move(options)),
      m_lookups({m_options.lookupPerMinute, m_options.lookupBurst, MaxLookupKeys}) {}

http::Response HttpFront::answer(const http::Request& request, Connection& db) {
    http::Response response;
    try {
        response = route(request, db);
    } catch (const std::exception&) {
        response = fault(Failed);
    }
    // The kiosk's header names it; a call without one is known by the register its arguments name.
    if (const QString terminal = request.header("X-Totem-Terminal"); !terminal.isEmpty()) {
        response.terminal = terminal;
    }
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
    if (named && parts.size() == 3) {
        return get ? connect(parts.at(2)) : fault(NotAllowed);
    }
    if (named) {
        return post ? call(request, parts.at(2), parts.at(3), db) : fault(NotAllowed);
    }
    return fault(NotFound);
}

http::Response HttpFront::health(Connection& db) const {
    QJsonObject state{{QStringLiteral("server"), QStringLiteral("ok")}};
    int status = 200;
    try {
        StatementDeadline deadline(m_options.requestTimeoutMs);
        state.insert(QStringLiteral("schemaVersion"), schemaVersion(db));
        db.finishStatements();
        state.insert(QStringLiteral("database"), QStringLiteral("ok"));
    } catch (const StoreError& error) {
        state.insert(QStringLiteral("database"), error.detail());
        status = 503;
    }
    return {status, QJsonDocument(state).toJson(QJsonDocument::Compact), {}};
}

http::Response HttpFront::connect(const QString& moduleName) const {
    try {
        const Module& module = moduleNamed(moduleName);
        return {200, wire::encodeModule({module.serverName, module.guid}), {}};
    } catch (const ProtocolFault& refused) {
        return fault(refused);
    }
}

// Calls that name a consumer are what a badge-enumeration loop repeats; each terminal and each client
// address has its own bucket per method (a consultation calls each method once), so that neither a forged
// terminal header nor many addresses alone get past.
void HttpFront::limitLookups(const http::Request& request, const QString& method) {
    const QString terminal = request.header("X-Totem-Terminal").left(MaxKeyLength);
    const QString address = clientAddress(request, m_options.trustedProxies).left(MaxKeyLength);
    const auto now = LookupLimiter::Clock::now();
    bool started = false;
    // A terminal held back spends nothing of its address, so that other kiosks behind it go on.
    const bool allowed = m_lookups.take(method + QStringLiteral(" terminal ") + terminal, now, &started) &&
                         m_lookups.take(method + QStringLiteral(" address ") + address, now, &started);
    if (started) {
        accesslog::event(QStringLiteral("consumer look-ups held back: method %1, terminal %2, address %3")
                             .arg(method, accesslog::printable(terminal, MaxKeyLength),
                                  accesslog::printable(address, MaxKeyLength)));
    }
    if (!allowed) {
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
            limitLookups(request, decoded.method->name);
        }
        StatementDeadline deadline(m_options.requestTimeoutMs);
        const Answer result = invoke(*decoded.method, db, decoded.arguments, m_options.dateFormat);
        return {200, wire::encodeResult(wireResult(result)), terminal};
    } catch (const MethodFailure& failure) {
        return {200, wire::encodeResult(failure.text()), terminal};
    }
}
