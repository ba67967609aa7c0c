#include "server/NetConnection.h"

#include "server/HttpClient.h"
#include "server/ReadOnlyMethods.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"

#include <algorithm>

namespace {

using Failure = HttpClient::Failure;

QString errorText(const HttpClient::Exchange& exchange) {
    switch (exchange.failure) {
        case Failure::BadAddress:
            return QStringLiteral("endereço do servidor inválido");
        case Failure::Refused:
            return QStringLiteral("não foi possível conectar");
        case Failure::ConnectTimeout:
            return QStringLiteral("o tempo de conexão se esgotou");
        case Failure::AnswerTimeout:
        case Failure::Closed:
            return QStringLiteral("o servidor não respondeu a tempo ou fechou a conexão");
        case Failure::BadAnswer:
            return QStringLiteral("a resposta do servidor veio incompleta ou malformada");
        case Failure::SendFailed:
            return QStringLiteral("não foi possível enviar a requisição");
        case Failure::TooLarge:
            return QStringLiteral("a resposta excede o limite de %1 bytes").arg(wire::MaxBodyBytes);
        case Failure::Tls:
            return QStringLiteral("não foi possível estabelecer a conexão segura (TLS)");
        case Failure::CaFileUnreadable:
            return QStringLiteral("o arquivo da autoridade certificadora não pôde ser lido");
        case Failure::Certificate:
            return QStringLiteral(
                "o certificado do servidor não é válido para este endereço ou não foi "
                "emitido pela autoridade certificadora configurada");
        case Failure::None:
        case Failure::Other:
            break;
    }
    return QStringLiteral("falha de comunicação (%1)").arg(exchange.detail);
}

// Module and method names travel unescaped in the path, so only these characters may form them.
bool isPathName(const QString& name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c.unicode() < 128 && c.isLetterOrNumber()) || c == u'.' || c == u'_';
    });
}

}  // namespace

// The socket side: one keep-alive HTTP client to Host:Port, alive while the connection is connected.
struct TNetConnection::Link {
    Link(const QString& host, int port, const QString& caFile, std::chrono::milliseconds connectTimeout,
         std::chrono::milliseconds readTimeout)
        : client({host, port, caFile}, limits(connectTimeout, readTimeout)) {}

    static HttpClient::Limits limits(std::chrono::milliseconds connectTimeout,
                                     std::chrono::milliseconds readTimeout) {
        HttpClient::Limits limits;
        limits.connectTimeout = connectTimeout;
        limits.answerTimeout = readTimeout;
        limits.maxBodyBytes = wire::MaxBodyBytes;
        return limits;
    }

    static HttpClient::Headers headers(const QString& terminal, bool withBody) {
        HttpClient::Headers lines;
        if (!terminal.isEmpty()) {
            lines.append(qMakePair(QByteArray("X-Totem-Terminal"), terminal.toUtf8()));
        }
        if (withBody) {
            lines.append(qMakePair(QByteArray("Content-Type"), QByteArray(wire::ContentType)));
        }
        return lines;
    }

    HttpClient client;
};

TNetConnection::TNetConnection(QObject* parent) : QObject(parent) {}

TNetConnection::~TNetConnection() = default;

void TNetConnection::setServerName(const QString& name) {
    if (name != m_serverName) {
        drop();
        m_serverName = name;
    }
}

void TNetConnection::setHost(const QString& host) {
    if (host != m_host) {
        drop();
        m_host = host;
    }
}

void TNetConnection::setCaFile(const QString& path) {
    if (path != m_caFile) {
        drop();
        m_caFile = path;
    }
}

void TNetConnection::setPort(int port) {
    if (port != m_port) {
        drop();
        m_port = port;
    }
}

bool TNetConnection::Connected() const {
    return m_link != nullptr;
}

void TNetConnection::setConnected(bool on) {
    if (on && !Connected()) {
        open();
    } else if (!on) {
        drop();
    }
}

QString TNetConnection::address() const {
    return m_host + u':' + QString::number(m_port);
}

void TNetConnection::drop() {
    m_link.reset();
}

void TNetConnection::open() {
    emit BeforeConnect();
    const QString failure = QStringLiteral("Erro durante conexão com o servidor de aplicação %1: %2.");
    if (m_host.trimmed().isEmpty() || m_port <= 0 || m_port > 65535) {
        throw ConnectionError(failure.arg(address(), QStringLiteral("endereço ou porta não informados")));
    }
    if (!isPathName(m_serverName)) {
        throw ConnectionError(failure.arg(
            address(), QStringLiteral("nome de módulo remoto inválido: \"%1\"").arg(m_serverName)));
    }
    auto link = std::make_unique<Link>(m_host, m_port, m_caFile, m_connectTimeout, m_readTimeout);
    const HttpClient::Exchange answer =
        link->client.get(QStringLiteral("/modules/") + m_serverName, link->headers(m_terminal, false));
    if (answer.failure != Failure::None) {
        throw ConnectionError(failure.arg(address(), errorText(answer)));
    }
    if (answer.status == 404) {
        throw ConnectionError(
            failure.arg(address(), QStringLiteral("módulo remoto \"%1\" não encontrado").arg(m_serverName)));
    }
    if (answer.status != 200) {
        const QString detail = wire::decodeError(answer.body);
        throw ConnectionError(
            failure.arg(address(), QStringLiteral("HTTP %1 %2").arg(answer.status).arg(detail).trimmed()));
    }
    wire::ModuleInfo module;
    try {
        module = wire::decodeModule(answer.body);
    } catch (const WireError& invalid) {
        throw ConnectionError(failure.arg(address(), invalid.text()));
    }
    if (!m_serverGuid.isEmpty() && module.guid.compare(m_serverGuid, Qt::CaseInsensitive) != 0) {
        throw ConnectionError(failure.arg(
            address(), QStringLiteral("o módulo remoto \"%1\" tem o identificador \"%2\", esperado \"%3\"")
                           .arg(m_serverName, module.guid, m_serverGuid)));
    }
    m_link = std::move(link);
}

QVariant TNetConnection::call(const QString& method, const QVariantList& arguments) {
    const QString failure = QStringLiteral("Erro durante a chamada de %1 no servidor de aplicação %2: %3.");
    if (!isPathName(method)) {
        throw ConnectionError(failure.arg(method, address(), QStringLiteral("nome de método inválido")));
    }
    const QByteArray body = wire::encodeCall(arguments);
    const QString path = QStringLiteral("/modules/%1/%2").arg(m_serverName, method);
    if (!Connected()) {
        open();
    }
    HttpClient::Exchange answer = m_link->client.post(path, body, m_link->headers(m_terminal, true));
    if (answer.closedUnanswered && isReadOnlyMethod(m_serverName, method)) {
        // Once, on a fresh connection: the server never saw the call or dropped it unanswered.
        drop();
        open();
        answer = m_link->client.post(path, body, m_link->headers(m_terminal, true));
    }
    if (answer.failure != Failure::None) {
        drop();
        throw ConnectionError(failure.arg(method, address(), errorText(answer)));
    }
    if (answer.status != 200) {
        const QString detail = wire::decodeError(answer.body);
        throw ConnectionError(failure.arg(
            method, address(), detail.isEmpty() ? QStringLiteral("HTTP %1").arg(answer.status) : detail));
    }
    QVariant result;
    try {
        result = wire::decodeResult(answer.body);
    } catch (const WireError& invalid) {
        drop();
        throw ConnectionError(failure.arg(method, address(), invalid.text()));
    }
    if (m_throwException && result.typeId() == QMetaType::QString) {
        throw ServerError(result.toString());
    }
    return result;
}
