#pragma once

#include <httplib.h>

#include <QString>

#include <memory>
#include <optional>

using SslContext = std::shared_ptr<SSL_CTX>;

// The TLS context of a server that presents the certificate chain and key in these PEM files (TLS 1.2 or
// later). Raises std::runtime_error saying which file is wrong and why.
SslContext loadTlsContext(const QString& certificateFile, const QString& keyFile);

// What one connection may send and how long it may hold its worker.
struct ConnectionLimits {
    int maxHeaderBytes = 8192;  // the request line and the headers together
    int maxHeaders = 32;
    int receiveTimeoutMs = 10000;  // a whole request (and a TLS handshake), from its first byte
    int writeTimeoutMs = 5000;
    int keepAliveSeconds = 2;  // idle time before the first and between requests
    int requestsPerConnection = 100;
};

// The HTTP server with its own connection loop: the library parses and routes each request, while the
// connection reads through a stream that refuses an oversized header (431) or a request that trickles in
// slower than the receive time-out (408) before the library buffers it, and speaks TLS when given a
// context. The library's own reader accepts header lines of any length and any number of them.
class FrontServer : public httplib::Server {
public:
    FrontServer(ConnectionLimits limits, SslContext tls);

    // A request the connection refused before the library read all of it: the answer it gets.
    struct Refused {
        int status;
        QString text;
    };
    // The refusal of the request this thread is answering, for the error handler.
    static std::optional<Refused> currentRefusal();

private:
    bool process_and_close_socket(socket_t socket) override;
    void serveTls(socket_t socket);
    void serve(socket_t socket, SSL* ssl);

    ConnectionLimits m_limits;
    SslContext m_tls;
};
