#include "http/Session.h"

#include "http/Addresses.h"

#include "server/WireFormat.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <array>
#include <cctype>
#include <optional>
#include <string_view>

namespace http::detail {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = net::ip::tcp;
using SteadyClock = std::chrono::steady_clock;

namespace {

struct Fault {
    int status;
    QString text;
};

const Fault TooSlow{408, QStringLiteral("A requisição não chegou completa a tempo.")};
const Fault HeaderTooLarge{431, QStringLiteral("Os cabeçalhos da requisição excedem o limite do servidor.")};
const Fault TooManyHeaders{431, QStringLiteral("A requisição tem cabeçalhos demais.")};
const Fault BodyTooLarge{413, QStringLiteral("Corpo da requisição excede o limite do servidor.")};
const Fault Malformed{400, QStringLiteral("Requisição inválida.")};
const Fault Encoded{415, QStringLiteral("O servidor não aceita corpo de requisição codificado (Content-Encoding).")};
const Fault UnknownExpectation{417, QStringLiteral("O servidor só atende a expectativa 100-continue.")};
const Fault PlainHttpOnTls{400, QStringLiteral("O servidor de aplicação exige conexão segura (HTTPS).")};

// After an answer that ends a connection, what the client still sends is read and dropped for a moment, so
// that closing with unread bytes does not reset the connection before the client has read the answer.
constexpr std::chrono::seconds LingerTime{1};
constexpr std::size_t LingerBytes = 1024 * 1024;
constexpr std::size_t ReadChunk = 4096;
constexpr std::chrono::seconds StoppingReadWait{1};
// Room in the read buffer beyond a whole header: pipelined bytes and a chunk's size line.
constexpr std::size_t BufferSlack = 16 * 1024;

enum class HeaderState { Incomplete, Complete, TooLarge, TooManyLines, Folded };

struct HeaderScan {
    HeaderState state = HeaderState::Incomplete;
    std::size_t length = 0;  // of the whole header, its empty line included
};

// Reads the header's lines before the parser does: their count, their total size and folded lines, which
// the parser would take.
HeaderScan scanHeader(std::string_view bytes, const Limits& limits) {
    const std::size_t end = std::min(bytes.size(), static_cast<std::size_t>(limits.maxHeaderBytes));
    std::size_t lineStart = 0;
    int headerLines = -1;  // the request line comes first
    for (std::size_t i = 0; i < end; ++i) {
        if (bytes[i] != '\n') {
            continue;
        }
        const std::string_view line = bytes.substr(lineStart, i - lineStart);
        lineStart = i + 1;
        if (headerLines >= 0 && (line.empty() || line == "\r")) {
            return {HeaderState::Complete, i + 1};
        }
        if (headerLines >= 0 && (line.front() == ' ' || line.front() == '\t')) {
            return {HeaderState::Folded, 0};
        }
        if (++headerLines > limits.maxHeaders) {
            return {HeaderState::TooManyLines, 0};
        }
    }
    return {bytes.size() >= static_cast<std::size_t>(limits.maxHeaderBytes) ? HeaderState::TooLarge
                                                                            : HeaderState::Incomplete,
            0};
}

Response answerOf(const Fault& fault) {
    return {fault.status, wire::encodeError(fault.text)};
}

Fault faultOf(const beast::error_code& error) {
    if (error == bhttp::error::header_limit) {
        return HeaderTooLarge;
    }
    if (error == bhttp::error::body_limit) {
        return BodyTooLarge;
    }
    return Malformed;
}

// What the header asks that the server refuses before reading a body.
std::optional<Fault> headerFault(const Request::Message& message) {
    if (message.count(bhttp::field::content_encoding) != 0) {
        return Encoded;
    }
    // Only "chunked": with any other transfer coding the body's framing or content could not be read.
    if (message.count(bhttp::field::transfer_encoding) != 0 &&
        !beast::iequals(message[bhttp::field::transfer_encoding], "chunked")) {
        return Malformed;
    }
    if (message.count(bhttp::field::expect) != 0 &&
        !beast::iequals(message[bhttp::field::expect], "100-continue")) {
        return UnknownExpectation;
    }
    return std::nullopt;
}

bool expectsContinue(const Request::Message& message) {
    return beast::iequals(message[bhttp::field::expect], "100-continue");
}

// A socket error or a message cut short: nothing to answer. Any other error of the parser is the client's
// fault, and answered.
bool clientWentAway(const beast::error_code& error) {
    const beast::error_code parserError = bhttp::error::end_of_stream;
    return error == bhttp::error::end_of_stream || error == bhttp::error::partial_message ||
           error.category() != parserError.category();
}

QString textOf(beast::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <class Stream>
class Session final : public SessionBase, public std::enable_shared_from_this<Session<Stream>> {
public:
    static constexpr bool Tls = !std::is_same_v<Stream, beast::tcp_stream>;

    Session(std::shared_ptr<Shared> shared, net::io_context& io, Stream stream, Shared::Admitted admitted,
            QString peer)
        : m_shared(std::move(shared)),
          m_io(io),
          m_stream(std::move(stream)),
          m_buffer(static_cast<std::size_t>(m_shared->limits.maxHeaderBytes) + BufferSlack),
          m_timer(m_stream.get_executor()),
          m_admitted(std::move(admitted)),
          m_peer(std::move(peer)) {}

    ~Session() override { m_shared->release(m_admitted); }

    void start() {
        net::dispatch(m_stream.get_executor(), [self = this->shared_from_this()] {
            if constexpr (Tls) {
                self->awaitOpening();
            } else {
                self->awaitRequest();
            }
        });
    }

    void stop() override {
        net::post(m_stream.get_executor(), [self = this->shared_from_this()] {
            self->m_stopping = true;
            if (self->m_phase == Phase::Opening || self->m_phase == Phase::Idle) {
                self->closeNow();
            } else if (self->m_phase == Phase::Reading) {
                // A kiosk's request arrives in one go: one still arriving gets a moment, not the whole time-out.
                self->arm(std::min<std::chrono::milliseconds>(self->m_shared->limits.receiveTimeout, StoppingReadWait));
            }
        });
    }

private:
    enum class Phase { Opening, Handshake, Idle, Reading, Working, Writing, Closing, Closed };

    beast::tcp_stream& lowest() { return beast::get_lowest_layer(m_stream); }

    // ---- deadlines: one at a time; a new one replaces the last ----
    void arm(std::chrono::milliseconds after) {
        const unsigned generation = ++m_generation;
        m_timer.expires_after(after);
        m_timer.async_wait([self = this->shared_from_this(), generation](const beast::error_code& error) {
            if (!error && generation == self->m_generation) {
                self->deadlinePassed();
            }
        });
    }

    void disarm() {
        ++m_generation;
        m_timer.cancel();
    }

    void deadlinePassed() {
        if (m_phase == Phase::Reading) {
            // The read under way ends, and the client is told why.
            m_timedOut = true;
            lowest().cancel();
        } else {
            closeNow();
        }
    }

    // Reads what the socket has, up to the buffer's room; `then(error)` afterwards.
    template <class Next>
    void readSome(Next then) {
        const std::size_t room = std::min(ReadChunk, m_buffer.max_size() - m_buffer.size());
        m_stream.async_read_some(m_buffer.prepare(room), [self = this->shared_from_this(), then](
                                                             const beast::error_code& error, std::size_t count) {
            self->m_buffer.commit(count);
            then(error);
        });
    }

    // ---- TLS: what a client sends first decides ----
    void awaitOpening() {
        m_phase = Phase::Opening;
        arm(m_shared->limits.keepAlive);
        const std::size_t room = std::min(ReadChunk, m_buffer.max_size());
        lowest().async_read_some(m_buffer.prepare(room), [self = this->shared_from_this()](
                                                             const beast::error_code& error, std::size_t count) {
            self->m_buffer.commit(count);
            if (error) {
                return self->closeNow();
            }
            self->opened();
        });
    }

    void opened() {
        m_requestStarted = SteadyClock::now();
        // A letter starts a plain HTTP request line; a TLS handshake starts with a byte that is none.
        const char first = *static_cast<const char*>(m_buffer.data().data());
        if (std::isalpha(static_cast<unsigned char>(first))) {
            return answer(lowest(), answerOf(PlainHttpOnTls), false);
        }
        if constexpr (Tls) {
            m_phase = Phase::Handshake;
            arm(m_shared->limits.receiveTimeout);
            // The default for `used` only satisfies a concept that Boost 1.81 states wrongly for this overload.
            m_stream.async_handshake(
                net::ssl::stream_base::server, m_buffer.data(),
                [self = this->shared_from_this()](const beast::error_code& error, std::size_t used = 0) {
                    self->m_buffer.consume(used);
                    self->handshaken(error);
                });
        }
    }

    void handshaken(const beast::error_code& error) {
        if (error) {
            if (m_phase != Phase::Closed) {
                m_shared->events(QStringLiteral("TLS handshake with %1 failed: %2")
                                     .arg(m_peer, QString::fromStdString(error.message())));
            }
            return closeNow();
        }
        awaitRequest();
    }

    // ---- requests ----
    void awaitRequest() {
        if (m_stopping) {
            return closeNow();
        }
        m_phase = Phase::Idle;
        if (m_buffer.size() > 0) {
            return beginRequest();
        }
        arm(m_shared->limits.keepAlive);
        readSome([self = this->shared_from_this()](const beast::error_code& error) {
            if (error) {
                return self->closeNow();
            }
            self->beginRequest();
        });
    }

    void beginRequest() {
        m_phase = Phase::Reading;
        m_requestStarted = SteadyClock::now();
        m_timedOut = false;
        m_path.clear();
        m_terminal.clear();
        arm(m_shared->limits.receiveTimeout);
        readHeader();
    }

    void readHeader() {
        const std::string_view bytes(static_cast<const char*>(m_buffer.data().data()), m_buffer.size());
        const HeaderScan scan = scanHeader(bytes, m_shared->limits);
        switch (scan.state) {
            case HeaderState::Incomplete:
                return readSome([self = this->shared_from_this()](const beast::error_code& error) {
                    if (error) {
                        return self->readFailed(error);
                    }
                    self->readHeader();
                });
            case HeaderState::TooLarge:
                return refuse(HeaderTooLarge);
            case HeaderState::TooManyLines:
                return refuse(TooManyHeaders);
            case HeaderState::Folded:
                return refuse(Malformed);
            case HeaderState::Complete:
                break;
        }
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(m_shared->limits.maxHeaderBytes));
        m_parser->body_limit(static_cast<std::uint64_t>(m_shared->limits.maxBodyBytes));
        beast::error_code error;
        m_buffer.consume(m_parser->put(net::buffer(bytes.data(), scan.length), error));
        if (error || !m_parser->is_header_done()) {
            return refuse(faultOf(error));
        }
        const Request::Message& message = m_parser->get();
        m_path = textOf(message.target()).section(u'?', 0, 0);
        m_terminal = textOf(message[beast::string_view("X-Totem-Terminal")]);
        if (const std::optional<Fault> fault = headerFault(message)) {
            return refuse(*fault);
        }
        if (expectsContinue(message) && !m_parser->is_done()) {
            return sendContinue();
        }
        readBody();
    }

    void sendContinue() {
        static constexpr std::string_view Continue = "HTTP/1.1 100 Continue\r\n\r\n";
        net::async_write(m_stream, net::buffer(Continue.data(), Continue.size()),
                         [self = this->shared_from_this()](const beast::error_code& error, std::size_t) {
                             if (error) {
                                 return self->readFailed(error);
                             }
                             self->readBody();
                         });
    }

    void readBody() {
        if (m_parser->is_done()) {
            return dispatch();
        }
        bhttp::async_read(m_stream, m_buffer, *m_parser,
                          [self = this->shared_from_this()](const beast::error_code& error, std::size_t) {
                              if (error) {
                                  return self->readFailed(error);
                              }
                              self->dispatch();
                          });
    }

    void readFailed(const beast::error_code& error) {
        if (m_timedOut) {
            return refuse(TooSlow);
        }
        if (m_phase == Phase::Closed || clientWentAway(error)) {
            return closeNow();
        }
        refuse(faultOf(error));
    }

    void dispatch() {
        disarm();
        m_phase = Phase::Working;
        ++m_served;
        m_clientKeepsAlive = m_parser->keep_alive();
        Request request(m_parser->release(), m_peer);
        m_parser.reset();
        // An answer given later, from another thread, may come after every connection went quiet: the
        // server's threads wait for it. One given at once is written at once, on this thread.
        auto working = std::make_shared<net::executor_work_guard<net::io_context::executor_type>>(
            m_io.get_executor());
        m_shared->handler(std::move(request), [self = this->shared_from_this(), working](Response response) {
            net::dispatch(self->m_stream.get_executor(), [self, working, response = std::move(response)] {
                self->answered(response);
            });
        });
    }

    void answered(const Response& response) {
        if (m_phase != Phase::Working) {
            return;
        }
        if (!response.terminal.isEmpty()) {
            m_terminal = response.terminal;
        }
        const bool keepAlive = m_clientKeepsAlive && !m_stopping &&
                               m_served < m_shared->limits.requestsPerConnection;
        answer(m_stream, response, keepAlive);
    }

    // A request the server will not serve: the answer says why, and the connection closes, since what
    // follows on the wire can no longer be framed.
    void refuse(const Fault& fault) {
        m_parser.reset();
        answer(m_stream, answerOf(fault), false);
    }

    template <class WriteStream>
    void answer(WriteStream& stream, const Response& response, bool keepAlive) {
        m_phase = Phase::Writing;
        m_status = response.status;
        auto message =
            std::make_shared<bhttp::response<bhttp::string_body>>(static_cast<bhttp::status>(response.status), 11);
        message->set(bhttp::field::content_type,
                     response.contentType.isEmpty() ? QByteArray(wire::ContentType).toStdString()
                                                    : response.contentType.toStdString());
        for (const auto& [name, value] : response.headers) {
            message->set(name.toStdString(), value.toStdString());
        }
        message->keep_alive(keepAlive);
        message->body().assign(response.body.constData(), static_cast<std::size_t>(response.body.size()));
        message->prepare_payload();
        arm(m_shared->limits.writeTimeout);
        bhttp::async_write(stream, *message,
                           [self = this->shared_from_this(), message, keepAlive](const beast::error_code& error,
                                                                                  std::size_t) {
                               self->written(error, keepAlive);
                           });
    }

    void written(const beast::error_code& error, bool keepAlive) {
        const std::chrono::duration<double, std::milli> elapsed = SteadyClock::now() - m_requestStarted;
        m_shared->observer({m_terminal, m_path, m_status, elapsed.count()});
        if (error) {
            return closeNow();
        }
        if (keepAlive) {
            return awaitRequest();
        }
        closeGracefully();
    }

    // ---- closing ----
    void closeGracefully() {
        m_phase = Phase::Closing;
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        arm(LingerTime);
        drain();
    }

    void drain() {
        // What is drained is dropped: every session of this thread may read into the same buffer, as one
        // event loop runs them all.
        thread_local std::array<char, 4096> dropped;
        lowest().async_read_some(net::buffer(dropped), [self = this->shared_from_this()](
                                                             const beast::error_code& error, std::size_t count) {
            self->m_drained += count;
            if (error || self->m_drained > LingerBytes) {
                return self->closeNow();
            }
            self->drain();
        });
    }

    void closeNow() {
        if (m_phase == Phase::Closed) {
            return;
        }
        m_phase = Phase::Closed;
        disarm();
        lowest().close();
    }

    std::shared_ptr<Shared> m_shared;
    net::io_context& m_io;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    net::steady_timer m_timer;
    unsigned m_generation = 0;
    Shared::Admitted m_admitted;
    QString m_peer;
    Phase m_phase = Phase::Opening;
    bool m_stopping = false;
    bool m_timedOut = false;
    bool m_clientKeepsAlive = false;
    int m_served = 0;
    std::optional<bhttp::request_parser<bhttp::string_body>> m_parser;
    // The request under way, for the access log.
    SteadyClock::time_point m_requestStarted;
    QString m_path;
    QString m_terminal;
    int m_status = 0;
    std::size_t m_drained = 0;
};

}  // namespace

Shared::Shared(Limits bounds, TlsContext tls, Server::Handler answer, Server::Observer watcher,
               Server::EventLog log)
    : limits(std::move(bounds)),
      handler(std::move(answer)),
      observer(std::move(watcher)),
      events(std::move(log)),
      m_tls(std::move(tls)) {}

TlsContext Shared::tls() const {
    std::lock_guard lock(m_mutex);
    return m_tls;
}

void Shared::replaceTls(TlsContext context) {
    std::lock_guard lock(m_mutex);
    m_retiredTls.push_back(std::exchange(m_tls, std::move(context)));
}

bool Shared::unlimited(const net::ip::address& peer) const {
    return isAmong(QString::fromStdString(peer.to_string()), limits.unlimitedAddresses);
}

std::optional<Shared::Admitted> Shared::admit(const net::ip::address& peer) {
    std::string client = clientKey(peer);
    const bool anyCount = unlimited(peer);
    std::unique_lock lock(m_mutex);
    int& count = m_perClient[client];
    if (!anyCount && count >= limits.maxConnectionsPerAddress) {
        const bool firstRefusal = m_refusing.insert(client).second;
        lock.unlock();
        if (firstRefusal) {
            events(QStringLiteral("client %1 holds %2 connections, its limit: further ones refused")
                       .arg(QString::fromStdString(client))
                       .arg(limits.maxConnectionsPerAddress));
        }
        return std::nullopt;
    }
    ++count;
    return Admitted{m_sessions.emplace(m_sessions.end()), std::move(client)};
}

void Shared::enrol(const Admitted& admitted, const std::shared_ptr<SessionBase>& session) {
    std::lock_guard lock(m_mutex);
    *admitted.entry = session;
}

void Shared::release(const Admitted& admitted) {
    {
        std::lock_guard lock(m_mutex);
        m_sessions.erase(admitted.entry);
        const auto count = m_perClient.find(admitted.client);
        if (--count->second == 0) {
            m_perClient.erase(count);
        }
        m_refusing.erase(admitted.client);
    }
    // Unset once the server is gone, while its last sessions are destroyed.
    if (released) {
        released();
    }
}

bool Shared::full() const {
    std::lock_guard lock(m_mutex);
    return m_sessions.size() >= static_cast<std::size_t>(limits.maxConnections);
}

bool Shared::stopSessions() {
    std::list<std::weak_ptr<SessionBase>> sessions;
    {
        std::lock_guard lock(m_mutex);
        sessions = m_sessions;
    }
    for (const std::weak_ptr<SessionBase>& entry : sessions) {
        if (const std::shared_ptr<SessionBase> session = entry.lock()) {
            session->stop();
        }
    }
    return sessions.empty();
}

void serve(const std::shared_ptr<Shared>& shared, net::io_context& io, tcp::socket socket, Shared::Admitted admitted,
           const QString& peer) {
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    const auto start = [&](auto session) {
        shared->enrol(admitted, session);
        session->start();
    };
    if (const TlsContext tls = shared->tls()) {
        using TlsStream = beast::ssl_stream<beast::tcp_stream>;
        start(std::make_shared<Session<TlsStream>>(
            shared, io, TlsStream(beast::tcp_stream(std::move(socket)), *tls), admitted, peer));
    } else {
        start(std::make_shared<Session<beast::tcp_stream>>(shared, io, beast::tcp_stream(std::move(socket)),
                                                           admitted, peer));
    }
}

}  // namespace http::detail
