#pragma once

// The server's connections, one Session each, and the state they share with the server. Internal to
// http::Server.
#include "http/Server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace http::detail {

class SessionBase {
public:
    virtual ~SessionBase() = default;
    // Closes the connection if it waits for a request; otherwise the answer under way is its last.
    virtual void stop() = 0;
};

// What every session shares with the server: settings, the handler, and the count of connections, in total
// and per client.
struct Shared {
    Shared(Limits limits, TlsContext tls, Server::Handler handler, Server::Observer observer,
           Server::EventLog events);

    struct Admitted {
        std::list<std::weak_ptr<SessionBase>>::iterator entry;
        std::string client;
    };
    // Counts a new connection of `client`; empty when the client already holds its share (the first refusal
    // of an episode is logged).
    std::optional<Admitted> admit(const boost::asio::ip::address& peer);
    void enrol(const Admitted& admitted, const std::shared_ptr<SessionBase>& session);
    void release(const Admitted& admitted);
    bool full() const;
    // The TLS context for a new connection; empty for plain HTTP.
    TlsContext tls() const;
    // New connections use `context`; those under way keep theirs, which stays alive until the server ends.
    void replaceTls(TlsContext context);
    // Asks every session to stop; true when none is left.
    bool stopSessions();

    const Limits limits;
    const Server::Handler handler;
    const Server::Observer observer;
    const Server::EventLog events;
    // Called after a connection ended, outside the lock: the server resumes accepting or finishes stopping.
    std::function<void()> released;

private:
    bool unlimited(const boost::asio::ip::address& peer) const;

    mutable std::mutex m_mutex;
    TlsContext m_tls;
    std::vector<TlsContext> m_retiredTls;  // reloads are rare: what old connections may still use is kept
    std::list<std::weak_ptr<SessionBase>> m_sessions;
    std::unordered_map<std::string, int> m_perClient;
    std::unordered_set<std::string> m_refusing;  // clients refused since they last had room
};

// Serves one accepted connection, whose socket runs on `io`, until it closes; the session keeps itself alive.
void serve(const std::shared_ptr<Shared>& shared, boost::asio::io_context& io, boost::asio::ip::tcp::socket socket,
           Shared::Admitted admitted, const QString& peer);

}  // namespace http::detail
