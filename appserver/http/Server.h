#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace boost::asio {
class io_context;
namespace ssl {
class context;
}
}  // namespace boost::asio

// totem-server's HTTP/1.1 front on Boost.Beast over Boost.Asio: event-driven, so that an idle or slow
// connection holds a socket and a few kilobytes but no thread. Every byte a client sends is bounded before
// it is kept, and every wait has a deadline. A fixed set of threads, each with its own event loop, runs the
// connections, each connection on one thread; a request that has arrived whole is handed to the handler on
// that thread, which may do its work there.
namespace http {

using TlsContext = std::shared_ptr<boost::asio::ssl::context>;

struct Limits {
    int maxHeaderBytes = 8192;  // the request line and the headers together
    int maxHeaders = 32;
    qsizetype maxBodyBytes = 64 * 1024;  // counted as it arrives, chunked or not
    // A whole request, from its first byte to its last (a TLS handshake included).
    std::chrono::milliseconds receiveTimeout{10000};
    std::chrono::milliseconds writeTimeout{5000};
    std::chrono::seconds keepAlive{2};  // idle before the first request and between requests
    int requestsPerConnection = 100;
    int maxConnections = 10000;
    int maxConnectionsPerAddress = 64;  // an IPv6 client is known by its /64 network
    QStringList unlimitedAddresses;  // peers held to the total only: loopback and trusted load balancers
    // After a stop, the longest the server waits for requests in flight.
    std::chrono::milliseconds stopGrace{25000};
};

// A request as the server read it: whole, within every limit.
class Request {
public:
    using Message = boost::beast::http::request<boost::beast::http::string_body>;

    Request(Message message, QString peer) : m_message(std::move(message)), m_peer(std::move(peer)) {}

    QByteArray method() const;
    QString path() const;  // the target without its query
    QString header(const char* name) const;  // the first line of that name
    QStringList headers(const char* name) const;  // every line of that name, in order
    QByteArray body() const;
    QString peer() const { return m_peer; }  // the connecting address

private:
    Message m_message;
    QString m_peer;
};

struct Response {
    Response() = default;
    Response(int code, QByteArray content, QString asker = {})
        : status(code), body(std::move(content)), terminal(std::move(asker)) {}

    int status = 200;
    QByteArray body;
    QString terminal;  // the kiosk the request came from, for the access log; empty: unknown
    QByteArray contentType;  // empty: JSON, as every answer of the protocol
    QList<QPair<QByteArray, QByteArray>> headers;  // more header lines
};

// What the access log records of each answered request.
struct Answered {
    QString terminal;
    QString path;  // empty when the request line was never read
    int status = 0;
    double milliseconds = 0;  // from the request's first byte to the answer's last
};

class Server {
public:
    // Sends the answer: callable once, from any thread.
    using Reply = std::function<void(Response)>;
    // Called on one of the server's threads for every whole request. It may answer at once, doing the work
    // on that thread (the server's other threads go on serving meanwhile), or later, from another thread.
    using Handler = std::function<void(Request, Reply)>;
    // Runs one of the server's threads: calls `serve` once, with whatever that thread keeps for itself around
    // it (a database connection).
    using ThreadScope = std::function<void(const std::function<void()>& serve)>;
    using Observer = std::function<void(const Answered&)>;
    // A line for the operator: connections refused, the server at its limit, TLS handshakes that failed.
    using EventLog = std::function<void(const QString&)>;

    Server(int threads, Limits limits, TlsContext tls, Handler handler, Observer observer, EventLog events);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; returns the port (the system's choice for 0). Raises std::runtime_error that says
    // why the address cannot be used.
    int listen(const QString& address, int port);
    // Serves on the server's threads, each run inside `scope`, until stop() and the end of what was in
    // flight; returns at the latest Limits::stopGrace after stop().
    void run(const ThreadScope& scope = {});
    // From any thread: no new connections, idle ones closed, requests in flight answered and closed.
    void stop();
    // From any thread, for a server that speaks TLS: new connections present `context` (a renewed certificate),
    // those under way keep the one they began with.
    void replaceTls(TlsContext context);

private:
    struct Core;
    // One event loop per thread. Destroyed last: what their pending handlers hold goes with them while the
    // loops still exist.
    std::vector<std::unique_ptr<boost::asio::io_context>> m_loops;
    std::shared_ptr<Core> m_core;
};

}  // namespace http
