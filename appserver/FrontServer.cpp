#include "FrontServer.h"

#include "AccessLog.h"
#include "server/WireFormat.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace {

using SteadyClock = std::chrono::steady_clock;

QString openSslError() {
    std::array<char, 256> text{};
    ERR_error_string_n(ERR_get_error(), text.data(), text.size());
    return QString::fromLatin1(text.data());
}

[[noreturn]] void tlsFailure(const QString& what) {
    throw std::runtime_error(QStringLiteral("%1: %2").arg(what, openSslError()).toStdString());
}

// Waits until the socket is ready for `events`; false on time-out or error.
bool waitFor(socket_t socket, short events, int timeoutMs) {
    pollfd entry{socket, events, 0};
    return ::poll(&entry, 1, std::max(timeoutMs, 0)) > 0;
}

void setSocketTimeout(socket_t socket, int option, int timeoutMs) {
    timeval value{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, option, &value, sizeof(value));
}

// The address of the socket's peer (or its own), as text, and its port.
std::string addressOf(socket_t socket, bool peer, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    peer ? getpeername(socket, generic, &length) : getsockname(socket, generic, &length);
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text.data(), text.size());
        port = ntohs(v6.sin6_port);
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text.data(), text.size());
        port = ntohs(v4.sin_port);
    }
    return text.data();
}

// Why a request was refused before the library saw all of it. A connection lives on one worker thread,
// so the error handler finds the refusal of the request it answers here.
enum class Refusal { None, HeaderTooLarge, TooManyHeaders, TooSlow };
thread_local Refusal refusalOfThisThread = Refusal::None;

// One connection's bytes, plain or TLS, buffered. While a request's header arrives it counts bytes and
// lines; every read of a request shares one deadline.
class GuardedStream : public httplib::Stream {
public:
    GuardedStream(socket_t socket, SSL* ssl, const ConnectionLimits& limits)
        : m_socket(socket), m_ssl(ssl), m_limits(limits) {}

    // Waits, up to the keep-alive time, for the next request's first byte; false when the connection stays
    // idle, or at once when the server stops.
    bool waitForRequest(const std::atomic<socket_t>& listening) {
        const auto until = SteadyClock::now() + std::chrono::seconds(m_limits.keepAliveSeconds);
        constexpr int SliceMs = 100;
        while (!buffered()) {
            if (listening == INVALID_SOCKET || SteadyClock::now() >= until) {
                return false;
            }
            if (waitFor(m_socket, POLLIN, SliceMs)) {
                return true;
            }
        }
        return true;
    }

    void beginRequest() {
        m_deadline = SteadyClock::now() + std::chrono::milliseconds(m_limits.receiveTimeoutMs);
        m_inHeader = true;
        m_headerBytes = 0;
        m_lines = 0;
        m_lineLength = 0;
        m_previous = 0;
        m_written = 0;
        refusalOfThisThread = Refusal::None;
    }

    // Nothing of the answer was written yet.
    bool unanswered() const { return m_written == 0; }

    bool is_readable() const override { return buffered() || waitFor(m_socket, POLLIN, remainingMs()); }
    bool is_writable() const override { return waitFor(m_socket, POLLOUT, m_limits.writeTimeoutMs); }

    ssize_t read(char* data, size_t size) override {
        if (refusalOfThisThread != Refusal::None || (m_next == m_end && !fill())) {
            return -1;
        }
        const size_t count = std::min(size, m_end - m_next);
        for (size_t i = 0; i < count; ++i) {
            if (m_inHeader && !countHeaderByte(m_buffer[m_next + i])) {
                return -1;
            }
            data[i] = m_buffer[m_next + i];
        }
        m_next += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* data, size_t size) override {
        const ssize_t written = send(data, size);
        m_written += std::max<ssize_t>(written, 0);
        return written;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = addressOf(m_socket, true, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = addressOf(m_socket, false, port);
    }

    socket_t socket() const override { return m_socket; }

private:
    ssize_t send(const char* data, size_t size) const {
        if (m_ssl != nullptr) {
            const int written = SSL_write(m_ssl, data, static_cast<int>(std::min<size_t>(size, INT_MAX)));
            return written > 0 ? written : -1;
        }
        return is_writable() ? ::send(m_socket, data, size, MSG_NOSIGNAL) : -1;
    }

    bool buffered() const { return m_next < m_end || (m_ssl != nullptr && SSL_pending(m_ssl) > 0); }

    int remainingMs() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - SteadyClock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }

    bool fill() {
        if (!buffered() && !waitFor(m_socket, POLLIN, remainingMs())) {
            // Mid-request only: a connection that closes or idles between requests is no refusal.
            refusalOfThisThread = m_headerBytes > 0 || !m_inHeader ? Refusal::TooSlow : Refusal::None;
            return false;
        }
        const ssize_t received = m_ssl != nullptr
                                     ? SSL_read(m_ssl, m_buffer.data(), static_cast<int>(m_buffer.size()))
                                     : ::recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        if (received <= 0) {
            return false;
        }
        m_next = 0;
        m_end = static_cast<size_t>(received);
        return true;
    }

    // The header ends at its first empty line; false (and the refusal set) when it breaks a limit.
    bool countHeaderByte(char byte) {
        if (++m_headerBytes > m_limits.maxHeaderBytes) {
            refusalOfThisThread = Refusal::HeaderTooLarge;
            return false;
        }
        const char previous = std::exchange(m_previous, byte);
        if (byte != '\n') {
            ++m_lineLength;
            return true;
        }
        const bool emptyLine = m_lineLength == 0 || (m_lineLength == 1 && previous == '\r');
        m_lineLength = 0;
        if (++m_lines > 1 && emptyLine) {
            m_inHeader = false;
        } else if (m_lines > m_limits.maxHeaders + 1) {
            refusalOfThisThread = Refusal::TooManyHeaders;
            return false;
        }
        return true;
    }

    socket_t m_socket;
    SSL* m_ssl;
    const ConnectionLimits& m_limits;
    std::array<char, 4096> m_buffer{};
    size_t m_next = 0;
    size_t m_end = 0;
    SteadyClock::time_point m_deadline = SteadyClock::now();
    bool m_inHeader = true;
    int m_headerBytes = 0;
    int m_lines = 0;
    int m_lineLength = 0;
    char m_previous = 0;
    size_t m_written = 0;
};

const char* reasonPhrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 408:
            return "Request Timeout";
        default:
            return "Request Header Fields Too Large";
    }
}

// A whole answer, {"error": text} with the status, after which the connection closes; logged as sent.
void sendClosingAnswer(httplib::Stream& stream, int status, const QString& text) {
    const QByteArray body = wire::encodeError(text);
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + ' ' + reasonPhrase(status) +
                               "\r\nContent-Type: " + wire::ContentType +
                               "\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body.toStdString();
    stream.write(answer.data(), answer.size());
    accesslog::begin({});
    accesslog::end({}, status);
}

QString peerOf(socket_t socket) {
    int port = 0;
    return QString::fromStdString(addressOf(socket, true, port));
}

// What a client on the HTTPS port sends first: nothing (within the time), a TLS handshake record (byte
// 0x16), or a letter, which starts a plain HTTP request line.
enum class Opening { Nothing, Tls, PlainHttp };

Opening openingOf(socket_t socket, int timeoutMs) {
    char first = 0;
    if (!waitFor(socket, POLLIN, timeoutMs) || ::recv(socket, &first, 1, MSG_PEEK) != 1) {
        return Opening::Nothing;
    }
    return std::isalpha(static_cast<unsigned char>(first)) ? Opening::PlainHttp : Opening::Tls;
}

using SslHandle = std::unique_ptr<SSL, decltype(&SSL_free)>;

// The handshake as a whole must end within `timeoutMs`, however slowly its bytes come.
bool handshake(SSL* ssl, socket_t socket, int timeoutMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    const int flags = fcntl(socket, F_GETFL);
    fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    int result = 0;
    while ((result = SSL_accept(ssl)) != 1) {
        const int wanted = SSL_get_error(ssl, result);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if ((wanted != SSL_ERROR_WANT_READ && wanted != SSL_ERROR_WANT_WRITE) ||
            !waitFor(socket, wanted == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT,
                     static_cast<int>(left.count()))) {
            break;
        }
    }
    fcntl(socket, F_SETFL, flags);
    return result == 1;
}

SslHandle acceptTls(SSL_CTX* context, socket_t socket, int timeoutMs) {
    SslHandle ssl(SSL_new(context), &SSL_free);
    if (ssl && SSL_set_fd(ssl.get(), socket) == 1 && handshake(ssl.get(), socket, timeoutMs)) {
        return ssl;
    }
    accesslog::event(QStringLiteral("TLS handshake with %1 failed: %2").arg(peerOf(socket), openSslError()));
    ERR_clear_error();
    return {nullptr, &SSL_free};
}

}  // namespace

SslContext loadTlsContext(const QString& certificateFile, const QString& keyFile) {
    SslContext context(SSL_CTX_new(TLS_server_method()), &SSL_CTX_free);
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) {
        tlsFailure(QStringLiteral("TLS context not created"));
    }
    SSL_CTX_set_options(context.get(), SSL_OP_NO_RENEGOTIATION);
    if (SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.toLocal8Bit().constData()) != 1) {
        tlsFailure(QStringLiteral("certificate %1 not loaded").arg(certificateFile));
    }
    if (SSL_CTX_use_PrivateKey_file(context.get(), keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) !=
        1) {
        tlsFailure(QStringLiteral("private key %1 not loaded").arg(keyFile));
    }
    if (SSL_CTX_check_private_key(context.get()) != 1) {
        tlsFailure(
            QStringLiteral("private key %1 does not match certificate %2").arg(keyFile, certificateFile));
    }
    return context;
}

std::optional<FrontServer::Refused> FrontServer::currentRefusal() {
    switch (refusalOfThisThread) {
        case Refusal::None:
            return std::nullopt;
        case Refusal::TooSlow:
            return Refused{408, QStringLiteral("A requisição não chegou completa a tempo.")};
        case Refusal::TooManyHeaders:
            return Refused{431, QStringLiteral("A requisição tem cabeçalhos demais.")};
        case Refusal::HeaderTooLarge:
            break;
    }
    return Refused{431, QStringLiteral("Os cabeçalhos da requisição excedem o limite do servidor.")};
}

FrontServer::FrontServer(ConnectionLimits limits, SslContext tls) : m_limits(limits), m_tls(std::move(tls)) {
    // The library announces these in its Keep-Alive header; the connection loop below applies them.
    set_keep_alive_timeout(m_limits.keepAliveSeconds);
    set_keep_alive_max_count(static_cast<size_t>(m_limits.requestsPerConnection));
}

bool FrontServer::process_and_close_socket(socket_t socket) {
    // The error queue is the thread's: what an earlier connection left there must not explain this one.
    ERR_clear_error();
    // Blocking reads and writes inside the TLS library end at these at the latest.
    setSocketTimeout(socket, SO_RCVTIMEO, m_limits.receiveTimeoutMs);
    setSocketTimeout(socket, SO_SNDTIMEO, m_limits.writeTimeoutMs);
    if (!m_tls) {
        serve(socket, nullptr);
    } else {
        serveTls(socket);
    }
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return true;
}

void FrontServer::serveTls(socket_t socket) {
    switch (openingOf(socket, m_limits.keepAliveSeconds * 1000)) {
        case Opening::Nothing:
            return;
        case Opening::PlainHttp: {
            // Tells a client that speaks plain HTTP to the HTTPS port why it gets nothing else.
            GuardedStream plain(socket, nullptr, m_limits);
            sendClosingAnswer(plain, 400,
                              QStringLiteral("O servidor de aplicação exige conexão segura (HTTPS)."));
            return;
        }
        case Opening::Tls:
            if (const SslHandle ssl = acceptTls(m_tls.get(), socket, m_limits.receiveTimeoutMs)) {
                serve(socket, ssl.get());
                SSL_shutdown(ssl.get());
            }
    }
}

void FrontServer::serve(socket_t socket, SSL* ssl) {
    GuardedStream stream(socket, ssl, m_limits);
    bool closed = false;
    for (int left = m_limits.requestsPerConnection; left > 0 && !closed; --left) {
        if (!stream.waitForRequest(svr_sock_)) {
            return;
        }
        stream.beginRequest();
        const bool served = process_request(stream, left == 1, closed, nullptr);
        // After a refusal, what is left of the request on the wire cannot be trusted to frame the next one.
        if (const std::optional<Refused> refused = currentRefusal()) {
            // Refused while its first line arrived, the library gives up on it without a word.
            if (stream.unanswered()) {
                sendClosingAnswer(stream, refused->status, refused->text);
            }
            return;
        }
        if (!served) {
            return;
        }
    }
}
