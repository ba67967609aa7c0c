#include "LoopbackAppServer.h"

#include "server/ServerErrors.h"
#include "server/WireFormat.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

constexpr auto Host = "127.0.0.1";
// A stalled method gives up after this, so that a broken test can never hang the suite.
constexpr std::chrono::seconds LongestStall{20};

void send(httplib::Response& response, int status, const QByteArray& body) {
    response.status = status;
    response.set_content(body.toStdString(), wire::ContentType);
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
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_released.notify_all();
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
    m_server = std::make_unique<httplib::Server>();
    install(*m_server);
    // Short keep-alive waits let stop() return quickly while a kiosk connection is still open.
    m_server->set_keep_alive_timeout(1);
    if (m_port == 0) {
        m_port = m_server->bind_to_any_port(Host);
    } else if (!m_server->bind_to_port(Host, m_port)) {
        throw std::runtime_error("the loopback port could not be bound again");
    }
    if (m_port <= 0) {
        throw std::runtime_error("no loopback port for the test server");
    }
    m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
    // stop() only ends a loop that runs, so a server stopped right after its start must be running first.
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void LoopbackAppServer::stop() {
    if (m_server) {
        m_server->stop();
        m_thread.join();
        m_server.reset();
    }
}

void LoopbackAppServer::install(httplib::Server& server) {
    server.Get(R"(/modules/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(m_mutex);
        ++m_moduleChecks;
        const QString name = QString::fromStdString(request.matches[1]);
        const auto module = m_modules.find(name);
        if (module == m_modules.end()) {
            send(response, 404, wire::encodeError(QStringLiteral("Módulo desconhecido.")));
            return;
        }
        send(response, 200, wire::encodeModule({name, module->second}));
    });
    server.Post(
        R"(/modules/([^/]+)/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
            std::unique_lock lock(m_mutex);
            const auto method = m_methods.find(
                {QString::fromStdString(request.matches[1]), QString::fromStdString(request.matches[2])});
            if (method == m_methods.end()) {
                send(response, 404, wire::encodeError(QStringLiteral("Método desconhecido.")));
                return;
            }
            try {
                m_lastArguments = wire::decodeCall(QByteArray::fromStdString(request.body));
            } catch (const WireError& error) {
                send(response, 400, wire::encodeError(error.text()));
                return;
            }
            const Reply reply = method->second(m_lastArguments);
            if (reply.stall) {
                m_released.wait_for(lock, LongestStall, [this] { return m_closing; });
            }
            send(response, reply.status, reply.body);
        });
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

SilentListener::SilentListener() {
    m_socket = listenOnLoopback(m_port);
}

SilentListener::~SilentListener() {
    ::close(m_socket);
}
