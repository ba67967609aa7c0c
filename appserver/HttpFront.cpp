#include "HttpFront.h"

#include "AccessLog.h"
#include "FrontServer.h"
#include "MethodCall.h"
#include "Migrations.h"
#include "WorkerPool.h"
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

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void answer(httplib::Response& response, int status, const QByteArray& body) {
    response.status = status;
    response.set_content(body.toStdString(), wire::ContentType);
}

void answerFault(httplib::Response& response, const ProtocolFault& fault) {
    answer(response, fault.status, wire::encodeError(fault.text));
}

QString defaultFaultText(int status) {
    switch (status) {
        case 404:
            return QStringLiteral("Recurso não encontrado.");
        case 405:
            return QStringLiteral("Método HTTP não permitido neste caminho.");
        case 413:
            return QStringLiteral("Corpo da requisição excede o limite do servidor.");
        case 400:
            return QStringLiteral("Requisição inválida.");
        default:
            return QStringLiteral("Falha no servidor de aplicação.");
    }
}

QString terminalOf(const Method& method, const QVariantList& arguments) {
    return arguments.value(method.branchArgument).toString() +
           arguments.value(method.registerArgument).toString();
}

}  // namespace

HttpFront::HttpFront(httplib::Server& server, ServerOptions options)
    : m_options(std::move(options)),
      m_lookups({m_options.lookupPerMinute, m_options.lookupBurst, MaxLookupKeys}) {
    server.new_task_queue = [this] {
        return new WorkerPool(m_options.workers, m_options.maxConnections, m_options.database);
    };
    server.set_payload_max_length(static_cast<std::size_t>(m_options.maxBodyBytes));
    // Answers go out in more than one write; without this, delayed ACKs add tens of milliseconds to a call.
    server.set_tcp_nodelay(true);
    server.set_socket_options([this](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        m_listenSocket = socket;
    });
    server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        accesslog::begin(fromStd(request.get_header_value("X-Totem-Terminal")));
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
        accesslog::end(fromStd(request.path), response.status);
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (const std::optional<FrontServer::Refused> refused = FrontServer::currentRefusal()) {
            answerFault(response, {refused->status, refused->text});
            response.set_header("Connection", "close");
        } else if (response.body.empty()) {
            answer(response, response.status, wire::encodeError(defaultFaultText(response.status)));
        }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            answer(response, 500, wire::encodeError(defaultFaultText(500)));
        });
    const auto notAllowed = [](const httplib::Request&, httplib::Response& response) {
        answerFault(response, {405, defaultFaultText(405)});
    };
    const std::string modulePath = R"(/modules/([^/]+))";
    const std::string methodPath = R"(/modules/([^/]+)/([^/]+))";
    server.Get("/health", [this](const auto& request, auto& response) { health(request, response); });
    server.Get(modulePath, [this](const auto& request, auto& response) { connect(request, response); });
    server.Post(methodPath, [this](const auto& request, auto& response) { call(request, response); });
    server.Post("/health", notAllowed);
    server.Post(modulePath, notAllowed);
    server.Get(methodPath, notAllowed);
}

void HttpFront::widenListenBacklog() const {
    if (m_listenSocket >= 0) {
        ::listen(m_listenSocket, SOMAXCONN);
    }
}

void HttpFront::health(const httplib::Request&, httplib::Response& response) const {
    QJsonObject state{{QStringLiteral("server"), QStringLiteral("ok")}};
    int status = 200;
    try {
        StatementDeadline deadline(m_options.requestTimeoutMs);
        state.insert(QStringLiteral("schemaVersion"), schemaVersion(WorkerPool::connection()));
        WorkerPool::connection().finishStatements();
        state.insert(QStringLiteral("database"), QStringLiteral("ok"));
    } catch (const StoreError& error) {
        state.insert(QStringLiteral("database"), error.detail());
        status = 503;
    }
    answer(response, status, QJsonDocument(state).toJson(QJsonDocument::Compact));
}

void HttpFront::connect(const httplib::Request& request, httplib::Response& response) const {
    try {
        const Module& module = moduleNamed(fromStd(request.matches[1]));
        answer(response, 200, wire::encodeModule({module.serverName, module.guid}));
    } catch (const ProtocolFault& fault) {
        answerFault(response, fault);
    }
}

namespace {

// A client that is no trusted proxy is known by its address; a load balancer on loopback, or one named by
// --trusted-proxy, names the kiosk's address in X-Forwarded-For (the last hop it added).
QString clientAddress(const httplib::Request& request, const QStringList& trustedProxies) {
    const QString peer = fromStd(request.remote_addr);
    const bool trusted =
        peer == QLatin1String("127.0.0.1") || peer == QLatin1String("::1") || trustedProxies.contains(peer);
    const QString forwarded = trusted ? fromStd(request.get_header_value("X-Forwarded-For")) : QString();
    const QString last = forwarded.section(u',', -1).trimmed();
    return last.isEmpty() ? peer : last;
}

}  // namespace

// Calls that name a consumer are what a badge-enumeration loop repeats; each terminal and each client
// address has its own bucket per method (a consultation calls each method once), so that neither a forged
// terminal header nor many addresses alone get past.
void HttpFront::limitLookups(const httplib::Request& request, const QString& method) {
    const QString terminal = fromStd(request.get_header_value("X-Totem-Terminal")).left(MaxKeyLength);
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

void HttpFront::call(const httplib::Request& request, httplib::Response& response) {
    try {
        const MethodCall decoded = decodeMethodCall(fromStd(request.matches[1]), fromStd(request.matches[2]),
                                                    QByteArray::fromStdString(request.body));
        accesslog::nameTerminalIfUnknown(terminalOf(*decoded.method, decoded.arguments));
        if (decoded.method->readsConsumer()) {
            limitLookups(request, decoded.method->name);
        }
        StatementDeadline deadline(m_options.requestTimeoutMs);
        const Answer result =
            invoke(*decoded.method, WorkerPool::connection(), decoded.arguments, m_options.dateFormat);
        answer(response, 200, wire::encodeResult(wireResult(result)));
    } catch (const ProtocolFault& fault) {
        answerFault(response, fault);
    } catch (const MethodFailure& failure) {
        answer(response, 200, wire::encodeResult(failure.text()));
    }
}
