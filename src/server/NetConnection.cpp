#include "server/NetConnection.h"

#include "server/ReadOnlyMethods.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"

#include <httplib.h>

#include <algorithm>

namespace {

QString errorText(httplib::Error error) {
    switch (error) {
        case httplib::Error::Connection:
            return QStringLiteral("não foi possível conectar");
        case httplib::Error::ConnectionTimeout:
            return QStringLiteral("o tempo de conexão se esgotou");
        case httplib::Error::Read:
            return QStringLiteral("o servidor não respondeu a tempo ou fechou a conexão");
        case httplib::Error::Write:
            return QStringLiteral("não foi possível enviar a requisição");
        case httplib::Error::Canceled:
            return QStringLiteral("a resposta excede o limite de %1 bytes").arg(wire::MaxBodyBytes);
        case httplib::Error::SSLConnection:
            return QStringLiteral("não foi possível estabelecer a conexão segura (TLS)");
        case httplib::Error::SSLLoadingCerts:
            return QStringLiteral("o arquivo da autoridade certificadora não pôde ser lido");
        case httplib::Error::SSLServerVerification:
            return QStringLiteral(
                "o certificado do servidor não é válido para este endereço ou não foi "
                "emitido pela autoridade certificadora configurada");
        default:
            return QStringLiteral("falha de comunicação (%1)")
                .arg(QString::fromStdString(httplib::to_string(error)));
    }
}

// Module and method names travel unescaped in the path, so only these characters may form them.
bool isPathName(const QString& name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c.unicode() < 128 && c.isLetterOrNumber()) || c == u'.' || c == u'_';
    });
}

// Plain HTTP, or HTTPS that trusts only the given certificate authority and checks the host name.
std::unique_ptr<httplib::ClientImpl> clientFor(const QString& host, int port, const QString& caFile) {
    if (caFile.isEmpty()) {
        return std::make_unique<httplib::ClientImpl>(host.toStdString(), port);
    }
    auto client = std::make_unique<httplib::SSLClient>(host.toStdString(), port);
    client->set_ca_cert_path(caFile.toLocal8Bit().toStdString());
    client->enable_server_certificate_verification(true);
    return client;
}

}  // namespace

// The socket side: one keep-alive HTTP client to Host:Port, alive while the connection is connected.
struct TNetConnection::Link {
    struct Answer {
        int status = 0;
        QByteArray body;
        // The peer closed or reset the connection before the status line arrived, well within the read
        // time-out: a keep-alive socket the server had already given up, or a server that went away.
        bool closedUnanswered = false;
    };

    Link(const QString& host, int port, const QString& caFile, std::chrono::milliseconds connectTimeout,
         std::chrono::milliseconds readTimeout)
        : client(clientFor(host, port, caFile)), answerTimeout(readTimeout) {
        client->set_keep_alive(true);
        client->set_tcp_nodelay(true);  // small requests must not wait for the peer's delayed acknowledgement
        client->set_connection_timeout(connectTimeout);
        client->set_read_timeout(readTimeout);
        client->set_write_timeout(readTimeout);
    }

    // One request. A transport failure comes back through `error`; the body is capped while it arrives.
    Answer exchange(const std::string& method, const QString& path, const QByteArray& body,
                    const QString& terminal, httplib::Error& error) {
        httplib::Request request;
        request.method = method;
        request.path = path.toStdString();
        request.headers = {{"Accept", "application/json"}};
        if (!terminal.isEmpty()) {
            request.headers.emplace("X-Totem-Terminal", terminal.toStdString());
        }
        if (!body.isEmpty()) {
            request.headers.emplace("Content-Type", wire::ContentType);
            request.body = body.toStdString();
        }
        Answer answer;
        bool answerBegan = false;
        request.response_handler = [&answerBegan](const httplib::Response&) {
            answerBegan = true;
            return true;
        };
        request.content_receiver = [&answer](const char* data, size_t length, uint64_t, uint64_t) {
            answer.body.append(data, static_cast<qsizetype>(length));
            return answer.body.size() <= wire::MaxBodyBytes;
        };
        const auto sent = std::chrono::steady_clock::now();
        const httplib::Result result = client->send(request);
        error = result.error();
        answer.status = result ? result->status : 0;
        // A read or write time-out also reports Read or Write, but only once the whole time-out has passed.
        answer.closedUnanswered = (error == httplib::Error::Read || error == httplib::Error::Write) &&
                                  !answerBegan && std::chrono::steady_clock::now() - sent < answerTimeout;
        return answer;
    }

    std::unique_ptr<httplib::ClientImpl> client;
    std::chrono::milliseconds answerTimeout;
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
    httplib::Error error = httplib::Error::Success;
    const Link::Answer answer =
        link->exchange("GET", QStringLiteral("/modules/") + m_serverName, {}, m_terminal, error);
    if (error != httplib::Error::Success) {
        throw ConnectionError(failure.arg(address(), errorText(error)));
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
    httplib::Error error = httplib::Error::Success;
    Link::Answer answer = m_link->exchange("POST", path, body, m_terminal, error);
    if (answer.closedUnanswered && isReadOnlyMethod(m_serverName, method)) {
        // Once, on a fresh connection: the server never saw the call or dropped it unanswered.
        drop();
        open();
        answer = m_link->exchange("POST", path, body, m_terminal, error);
    }
    if (error != httplib::Error::Success) {
        drop();
        throw ConnectionError(failure.arg(method, address(), errorText(error)));
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
