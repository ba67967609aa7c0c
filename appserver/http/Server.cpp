#include "http/Server.h"

#include "http/Session.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/range/iterator_range.hpp>

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <vector>

namespace http {

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

QString textOf(const std::string& text) {
    return QString::fromStdString(text);
}

// The system's words, and what the operator can do about the usual causes.
QString whyNotListening(const boost::system::error_code& error) {
    const QString said = textOf(error.message());
    if (error == net::error::address_in_use) {
        return said + QStringLiteral(": another program listens there (ss -ltnp shows which), or another "
                                     "totem-server runs");
    }
    if (error == net::error::access_denied) {
        return said + QStringLiteral(": a port below 1024 needs CAP_NET_BIND_SERVICE (AmbientCapabilities= in "
                                     "the unit), or choose --port 1024 or above");
    }
    if (error == boost::system::errc::address_not_available) {
        return said + QStringLiteral(": no interface of this machine has that address (--listen)");
    }
    return said;
}

}  // namespace

QByteArray Request::method() const {
    const auto text = m_message.method_string();
    return {text.data(), static_cast<qsizetype>(text.size())};
}

QString Request::path() const {
    const auto target = m_message.target();
    return QString::fromUtf8(target.data(), static_cast<qsizetype>(target.size())).section(u'?', 0, 0);
}

QString Request::header(const char* name) const {
    const auto value = m_message[name];
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QStringList Request::headers(const char* name) const {
    QStringList values;
    for (const auto& field : boost::make_iterator_range(m_message.equal_range(name))) {
        values.append(QString::fromUtf8(field.value().data(), static_cast<qsizetype>(field.value().size())));
    }
    return values;
}

QByteArray Request::body() const {
    return QByteArray::fromStdString(m_message.body());
}

// The listening socket and its loop, on the first event loop. Accepting pauses while the server holds its
// most connections, and new clients wait in the kernel's backlog meanwhile. Each accepted connection goes to
// the next event loop in turn.
struct Server::Core : std::enable_shared_from_this<Server::Core> {
    Core(std::shared_ptr<detail::Shared> common,
         const std::vector<std::unique_ptr<net::io_context>>& eventLoops)
        : shared(std::move(common)),
          strand(net::make_strand(*eventLoops.front())),
          acceptor(strand),
          retry(strand),
          grace(strand) {
        for (const auto& loop : eventLoops) {
            loops.push_back(loop.get());
            running.emplace_back(loop->get_executor());
        }
    }

    void accept() {
        net::io_context& loop = *loops[next];
        next = (next + 1) % loops.size();
        acceptor.async_accept(loop, net::bind_executor(strand, [self = shared_from_this(), &loop](
                                                                   const boost::system::error_code& error,
                                                                   tcp::socket socket) {
                                  self->accepted(error, loop, std::move(socket));
                              }));
    }

    void accepted(const boost::system::error_code& error, net::io_context& loop, tcp::socket socket) {
        if (stopping || error == net::error::operation_aborted) {
            return;
        }
        if (error) {
            // Out of descriptors or memory for a moment: the connection stays in the backlog, tried again.
            shared->events(
                QStringLiteral("cannot accept a connection: %1; trying again").arg(textOf(error.message())));
            retry.expires_after(std::chrono::milliseconds(100));
            retry.async_wait([self = shared_from_this()](const boost::system::error_code& waited) {
                if (!waited) {
                    self->accept();
                }
            });
            return;
        }
        admit(loop, std::move(socket));
        if (shared->full()) {
            paused = true;
            shared->events(QStringLiteral("holding %1 connections, the most allowed: new ones wait")
                               .arg(shared->limits.maxConnections));
            return;
        }
        accept();
    }

    void admit(net::io_context& loop, tcp::socket socket) {
        boost::system::error_code error;
        const tcp::endpoint peer = socket.remote_endpoint(error);
        if (error) {
            return;  // gone already
        }
        if (std::optional<detail::Shared::Admitted> admitted = shared->admit(peer.address())) {
            detail::serve(shared, loop, std::move(socket), std::move(*admitted),
                          textOf(peer.address().to_string()));
        }
    }

    // After a connection ended.
    void released() {
        net::post(strand, [self = shared_from_this()] {
            if (self->stopping) {
                if (self->shared->stopSessions()) {
                    self->grace.cancel();
                }
            } else if (self->paused && !self->shared->full()) {
                self->paused = false;
                self->accept();
            }
        });
    }

    void stop() {
        net::post(strand, [self = shared_from_this()] {
            if (self->stopping) {
                return;
            }
            self->stopping = true;
            boost::system::error_code ignored;
            self->acceptor.close(ignored);
            self->retry.cancel();
            // Each loop ends once its connections have.
            self->running.clear();
            if (self->shared->stopSessions()) {
                return;
            }
            // No client can hold the server longer than this.
            self->grace.expires_after(self->shared->limits.stopGrace);
            self->grace.async_wait([self](const boost::system::error_code& waited) {
                if (!waited) {
                    self->shared->events(QStringLiteral("requests still in flight after %1 ms: closed")
                                             .arg(self->shared->limits.stopGrace.count()));
                    for (net::io_context* loop : self->loops) {
                        loop->stop();
                    }
                }
            });
        });
    }

    std::shared_ptr<detail::Shared> shared;
    std::vector<net::io_context*> loops;
    std::vector<net::executor_work_guard<net::io_context::executor_type>> running;
    std::size_t next = 0;
    net::strand<net::io_context::executor_type> strand;
    tcp::acceptor acceptor;
    net::steady_timer retry;
    net::steady_timer grace;
    bool paused = false;
    bool stopping = false;
};

namespace {

std::vector<std::unique_ptr<net::io_context>> eventLoops(int count) {
    std::vector<std::unique_ptr<net::io_context>> loops;
    for (int i = 0; i < std::max(count, 1); ++i) {
        loops.push_back(std::make_unique<net::io_context>(1));  // one thread runs each
    }
    return loops;
}

}  // namespace

Server::Server(int threads, Limits limits, TlsContext tls, Handler handler, Observer observer, EventLog events)
    : m_loops(eventLoops(threads)),
      m_core(std::make_shared<Core>(std::make_shared<detail::Shared>(std::move(limits), std::move(tls),
                                                                     std::move(handler), std::move(observer),
                                                                     std::move(events)),
                                    m_loops)) {
    m_core->shared->released = [core = std::weak_ptr<Core>(m_core)] {
        if (const std::shared_ptr<Core> alive = core.lock()) {
            alive->released();
        }
    };
}

Server::~Server() {
    m_core->shared->released = nullptr;
    m_core.reset();
}

void Server::replaceTls(TlsContext context) {
    m_core->shared->replaceTls(std::move(context));
}

int Server::listen(const QString& address, int port) {
    const QString where = QStringLiteral("%1:%2").arg(address).arg(port);
    boost::system::error_code error;
    tcp::resolver resolver(*m_loops.front());
    const auto endpoints = resolver.resolve(address.toStdString(), std::to_string(port),
                                            tcp::resolver::passive | tcp::resolver::numeric_service, error);
    if (error || endpoints.empty()) {
        throw std::runtime_error(QStringLiteral("cannot listen on %1: no such address (%2)")
                                     .arg(where, textOf(error.message()))
                                     .toStdString());
    }
    const tcp::endpoint endpoint = *endpoints.begin();
    tcp::acceptor& acceptor = m_core->acceptor;
    acceptor.open(endpoint.protocol(), error);
    if (!error) {
        acceptor.set_option(net::socket_base::reuse_address(true), error);
        acceptor.bind(endpoint, error);
    }
    if (!error) {
        acceptor.listen(net::socket_base::max_listen_connections, error);
    }
    if (error) {
        throw std::runtime_error(QStringLiteral("cannot listen on %1: %2").arg(where, whyNotListening(error)).toStdString());
    }
    return acceptor.local_endpoint().port();
}

void Server::run(const ThreadScope& scope) {
    net::post(m_core->strand, [core = m_core] { core->accept(); });
    const auto serve = [this](net::io_context& loop) {
        for (;;) {
            try {
                loop.run();
                return;
            } catch (const std::exception& error) {
                m_core->shared->events(QStringLiteral("unexpected failure in the HTTP front: %1")
                                           .arg(QString::fromUtf8(error.what())));
            }
        }
    };
    const auto runThread = [&serve, &scope](net::io_context& loop) {
        const std::function<void()> serveLoop = [&serve, &loop] { serve(loop); };
        scope ? scope(serveLoop) : serveLoop();
    };
    std::vector<std::thread> others;
    for (std::size_t i = 1; i < m_loops.size(); ++i) {
        others.emplace_back(runThread, std::ref(*m_loops[i]));
    }
    runThread(*m_loops.front());
    for (std::thread& thread : others) {
        thread.join();
    }
}

void Server::stop() {
    m_core->stop();
}

}  // namespace http
