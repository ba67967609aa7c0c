#pragma once

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

// A fake application server on 127.0.0.1, scripted down to the bytes it sends: answers without end, trickles,
// silence and hang-ups too. One connection at a time, on its own thread; stop() and start() keep the port.
class LoopbackAppServer {
public:
    // One request that arrived whole, on the connection it came by.
    struct Exchange {
        int connection;
        QByteArray head;  // the request line and the header lines
        QByteArray body;

        bool send(const QByteArray& bytes) const {
            return ::send(connection, bytes.data(), std::size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
        }
        bool answer(int status, const QByteArray& json) const {
            return send("HTTP/1.1 " + QByteArray::number(status) + " -\r\nContent-Type: application/json" +
                        "\r\nContent-Length: " + QByteArray::number(json.size()) + "\r\n\r\n" + json);
        }
        // Answers nothing until the client gives up and hangs up (or the server stops).
        void awaitHangUp() const {
            for (char byte = 0; ::recv(connection, &byte, 1, 0) > 0;) {
            }
        }
    };
    // Handles one request; false hangs up.
    using Script = std::function<bool(const Exchange&)>;

    explicit LoopbackAppServer(Script script) : m_script(std::move(script)) { start(); }
    ~LoopbackAppServer() { stop(); }
    LoopbackAppServer(const LoopbackAppServer&) = delete;
    LoopbackAppServer& operator=(const LoopbackAppServer&) = delete;
    int port() const { return m_port; }

    void start() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        const int reuse = 1;  // the port of the connections just closed is taken again at once
        ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(m_port));
        socklen_t length = sizeof(address);
        auto* generic = reinterpret_cast<sockaddr*>(&address);
        if (::bind(m_socket, generic, length) != 0 || ::listen(m_socket, 8) != 0 ||
            ::getsockname(m_socket, generic, &length) != 0) {
            throw std::runtime_error("no loopback listener");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            // accept() fails once stop() shuts the listening socket down.
            for (int connection; (connection = ::accept(m_socket, nullptr, nullptr)) >= 0;) {
                m_connection = connection;
                serve(connection);
                m_connection = -1;
                ::close(connection);
            }
        });
    }

    // Goes away: refuses connections and hangs up on the one open.
    void stop() {
        if (m_thread.joinable()) {
            ::shutdown(m_socket, SHUT_RDWR);
            ::shutdown(m_connection, SHUT_RDWR);
            m_thread.join();
            ::close(m_socket);
        }
    }

private:
    void serve(int connection) const {
        std::string pending;
        for (char buffer[4096];;) {
            const std::size_t headEnd = pending.find("\r\n\r\n");
            const std::size_t field = pending.find("Content-Length: ");
            const std::size_t end = headEnd == std::string::npos ? std::string::npos
                                    : field < headEnd ? headEnd + 4 + std::stoul(pending.substr(field + 16))
                                                      : headEnd + 4;
            if (end <= pending.size()) {
                const std::string body = pending.substr(headEnd + 4, end - headEnd - 4);
                const Exchange exchange{connection, QByteArray::fromStdString(pending.substr(0, headEnd)),
                                        QByteArray::fromStdString(body)};
                pending.erase(0, end);
                if (!m_script(exchange)) {
                    return;
                }
                continue;
            }
            const ssize_t received = ::recv(connection, buffer, sizeof(buffer), 0);
            if (received <= 0) {
                return;
            }
            pending.append(buffer, static_cast<std::size_t>(received));
        }
    }

    Script m_script;
    int m_socket = -1;
    int m_port = 0;
    std::atomic<int> m_connection{-1};
    std::thread m_thread;
};
