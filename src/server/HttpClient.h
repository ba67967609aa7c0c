#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <memory>

// One keep-alive HTTP/1.1 link to one server, on libcurl: plain, or HTTPS verified against one certificate
// authority. Every exchange is bounded: the connection by its own time-out, the whole exchange (connect,
// request, the whole answer) by a deadline, the answer's headers and body by their sizes; nothing larger
// is kept. No compressed answers are asked for or accepted. Blocking: one exchange at a time, on the
// thread that owns the client.
class HttpClient {
public:
    struct Target {
        QString host;
        int port = 0;
        QString caFile;  // empty: plain HTTP
    };

    struct Limits {
        std::chrono::milliseconds connectTimeout{3000};
        std::chrono::milliseconds answerTimeout{10000};  // from the connection to the answer's last byte
        qsizetype maxHeaderBytes = 64 * 1024;
        qsizetype maxBodyBytes = 32 * 1024 * 1024;
    };

    // Why an exchange failed, in the terms the kiosk reports.
    enum class Failure {
        None,
        BadAddress,       // the host cannot form an address
        Refused,          // nothing listens there, or the host cannot be reached
        ConnectTimeout,   // the connection did not complete in time
        AnswerTimeout,    // no whole answer in time
        Closed,           // the server closed or reset the connection before answering
        BadAnswer,        // the answer broke off or broke HTTP's framing
        SendFailed,       // the request could not be sent
        TooLarge,         // the answer's headers or body exceed their limit
        Tls,              // the TLS handshake failed
        CaFileUnreadable, // the certificate authority's file cannot be read
        Certificate,      // the server's certificate is not valid for this host or authority
        Other,
    };

    struct Exchange {
        int status = 0;
        QByteArray body;
        Failure failure = Failure::None;
        QString detail;  // libcurl's own words, for a failure it has no kiosk text for
        // The connection closed or was reset before any of the answer arrived, and well before the deadline:
        // the server never answered this request (a kept-alive socket it had given up, or a server gone).
        bool closedUnanswered = false;
    };

    using Headers = QList<QPair<QByteArray, QByteArray>>;

    HttpClient(Target target, Limits limits);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    Exchange get(const QString& path, const Headers& headers = {});
    // A request sent on a reused connection that the server had closed is never sent again by the library:
    // the caller decides (Exchange::closedUnanswered).
    Exchange post(const QString& path, const QByteArray& body, const Headers& headers = {});

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};
