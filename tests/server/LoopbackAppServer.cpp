#include "LoopbackAppServer.h"

#include "server/ServerErrors.h"
#include "server/WireFormat.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

http::Response fault(int status, const QString& text) {
    return {status, wire::encodeError(text), {}};
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
int listenOnLoopback(int& port) {
    const int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (listening < 0 || ::bind(listening, generic, length) != 0 || ::listen(listening, 8) != 0 ||
        ::getsockname(listening, generic, &length) != 0) {
        throw std::runtime_error("no loopback listener");
    }
    port = ntohs(address.sin_port);
    return listening;
}

// Reads one HTTP request (head and body) from `pending` and the socket; an empty head when the peer closed.
std::string readRequest(int connection, std::string& pending) {
    std::size_t headEnd = std::string::npos;
    std::size_t bodyLength = 0;
    for (;;) {
        if (headEnd == std::string::npos && (headEnd = pending.find("\r\n\r\n")) != std::string::npos) {
            headEnd += 4;
            const std::size_t field = pending.find("Content-Length: ");
            bodyLength = field < headEnd ? std::stoul(pending.substr(field + 16)) : 0;
        }
        if (headEnd != std::string::npos && pending.size() >= headEnd + bodyLength) {
            std::string head = pending.substr(0, headEnd);
            pending.erase(0, headEnd + bodyLength);
            return head;
        }
        char buffer[4096];
        const ssize_t received = ::recv(connection, buffer, sizeof(buffer), 0);
        if (received <= 0) {
            return {};
        }
        pending.append(buffer, static_cast<std::size_t>(received));
    }
}

void sendAnswer(int connection, const QByteArray& body) {
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(wire::ContentType) +
                              "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                              body.toStdString();
    ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
}

}  // namespace

LoopbackAppServer::Reply LoopbackAppServer::Reply::result(const QVariant& value) {
    return Reply{200, wire::encodeResult(value), false};
}

LoopbackAppServer::Reply LoopbackAppServer::Reply::fault(int status, const QString& error) {
    return Reply{status, wire::encodeError(error), false};
}

LoopbackAppServer::Reply LoopbackAppServer::Reply::raw(int status, const QByteArray& body) {
    return Reply{status, body, false};
}

LoopbackAppServer::Reply LoopbackAppServer::Reply::silence() {
    return Reply{200, {}, true};
}

LoopbackAppServer::LoopbackAppServer() {
    start();
}

LoopbackAppServer::~LoopbackAppServer() {
    stop();
}

void LoopbackAppServer::addModule(const QString& name, const QString& guid) {
    std::lock_guard lock(m_mutex);
    m_modules[name] = guid;
}

void LoopbackAppServer::addMethod(const QString& module, const QString& method, Method answer) {
    std::lock_guard lock(m_mutex);
    m_methods[{module, method}] = std::move(answer);
}

QVariantList LoopbackAppServer::lastArguments() const {
    std::lock_guard lock(m_mutex);
    return m_lastArguments;
}

int LoopbackAppServer::moduleChecks() const {
    std::lock_guard lock(m_mutex);
    return m_moduleChecks;
}

void LoopbackAppServer::start() {
    http::Limits limits;
    // Stalled calls are cut soon after stop(), so that a broken test can never hang the suite.
    limits.stopGrace = std::chrono::milliseconds(200);
    m_server = std::make_unique<http::Server>(
        1, limits, nullptr,
        [this](const http::Request& request, const http::Server::Reply& reply) {
            bool stall = false;
            http::Response response = answer(request, stall);
            if (stall) {
                m_stalled.push_back(reply);
            } else {
                reply(std::move(response));
            }
        },
        [](const http::Answered&) {}, [](const QString&) {});
    m_port = m_server->listen(QStringLiteral("127.0.0.1"), m_port);
    m_thread = std::thread([server = m_server.get()] { server->run(); });
}

void LoopbackAppServer::stop() {
    if (m_server) {
        m_server->stop();
        m_thread.join();
        m_stalled.clear();
        m_server.reset();
    }
}

http::Response LoopbackAppServer::answer(const http::Request& request, bool& stall) {
    const QStringList parts = request.path().split(u'/');
    std::lock_guard lock(m_mutex);
    if (request.method() == "GET" && parts.size() == 3) {
        ++m_moduleChecks;
        const auto module = m_modules.find(parts.at(2));
        if (module == m_modules.end()) {
            return fault(404, QStringLiteral("Módulo desconhecido."));
        }
        return {200, wire::encodeModule({module->first, module->second}), {}};
    }
    const auto method = m_methods.find({parts.value(2), parts.value(3)});
    if (method == m_methods.end()) {
        return fault(404, QStringLiteral("Método desconhecido."));
    }
    try {
        m_lastArguments = wire::decodeCall(request.body());
    } catch (const WireError& error) {
        return fault(400, error.text());
    }
    const Reply reply = method->second(m_lastArguments);
    stall = reply.stall;
    return {reply.status, reply.body, {}};
}

HangingUpServer::HangingUpServer(int hangUps, const QVariant& answer)
    : m_hangUps(hangUps), m_answer(wire::encodeResult(answer)) {
    m_socket = listenOnLoopback(m_port);
    m_thread = std::thread([this] {
        // accept() fails once the destructor shuts the listening socket down.
        for (int connection; (connection = ::accept(m_socket, nullptr, nullptr)) >= 0;) {
            m_connection = connection;
            serve(connection);
            m_connection = -1;
            ::close(connection);
        }
    });
}

HangingUpServer::~HangingUpServer() {
    ::shutdown(m_socket, SHUT_RDWR);
    ::shutdown(m_connection, SHUT_RDWR);
    m_thread.join();
    ::close(m_socket);
}

void HangingUpServer::serve(int connection) {
    std::string pending;
    for (std::string head; !(head = readRequest(connection, pending)).empty();) {
        if (head.starts_with("GET /modules/")) {
            const std::size_t nameEnd = head.find(' ', 13);
            sendAnswer(connection,
                       wire::encodeModule({QString::fromStdString(head.substr(13, nameEnd - 13)), {}}));
        } else if (++m_calls <= m_hangUps) {
            return;
        } else {
            sendAnswer(connection, m_answer);
        }
    }
}

EndlessAnswerServer::EndlessAnswerServer(Script script) : m_script(std::move(script)) {
    m_socket = listenOnLoopback(m_port);
    m_thread = std::thread([this] {
        for (int connection; (connection = ::accept(m_socket, nullptr, nullptr)) >= 0;) {
            answer(connection);
            ::close(connection);
        }
    });
}

EndlessAnswerServer::~EndlessAnswerServer() {
    m_closing = true;
    ::shutdown(m_socket, SHUT_RDWR);
    m_thread.join();
    ::close(m_socket);
}

void EndlessAnswerServer::answer(int connection) const {
    std::string pending;
    const auto send = [connection](const QByteArray& bytes) {
        return bytes.isEmpty() || ::send(connection, bytes.constData(), static_cast<std::size_t>(bytes.size()),
                                         MSG_NOSIGNAL) == bytes.size();
    };
    if (readRequest(connection, pending).empty() || !send(m_script.head)) {
        return;
    }
    for (int i = 0; i < m_script.repeats && !m_closing; ++i) {
        if (!send(m_script.unit)) {
            return;
        }
        std::this_thread::sleep_for(m_script.pace);
    }
    send(m_script.tail);
}

SilentListener::SilentListener() {
    m_socket = listenOnLoopback(m_port);
}

SilentListener::~SilentListener() {
    ::close(m_socket);
}
